// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument on the audio thread: one module instance rendering at the context's 8000 Hz.
// process() neither allocates nor posts (unless a recording was asked for) nor waits.
import { loadModuleNow } from './module.js';

class VireonProcessor extends AudioWorkletProcessor {
    constructor(options) {
        super();
        const { bytes, controls, record } = options.processorOptions;
        this.vireon = loadModuleNow(bytes);
        this.player = this.vireon.vireon_create();
        this.output = this.vireon.vireon_render(this.player, 0);
        this.block = null;
        this.frame = 0;
        this.record = record;
        this.noteStatus = 0;
        controls.forEach((value, control) => this.vireon.vireon_control(this.player, control, value));
        this.port.onmessage = (event) => this.apply(event.data);
    }

    // Messages arrive between blocks, so each acts at the first frame of the next block.
    apply(event) {
        if (event.message !== undefined) {
            this.vireon.vireon_midi(this.player, event.message);
        } else {
            this.vireon.vireon_control(this.player, event.control, event.value);
        }
        if (this.record) this.port.postMessage({ applied: event, frame: this.frame });
        const status = this.vireon.vireon_note_status(this.player);
        if (status !== this.noteStatus) {
            this.noteStatus = status;
            this.port.postMessage({ noteStatus: status });
        }
    }

    process(inputs, outputs) {
        const out = outputs[0][0];
        this.vireon.vireon_render(this.player, out.length);
        if (this.block === null || this.block.length !== out.length) {
            this.block = new Float32Array(this.vireon.memory.buffer, this.output, out.length);
        }
        out.set(this.block);
        if (this.record) this.port.postMessage({ block: out.slice(), frame: this.frame });
        this.frame += out.length;
        return true;
    }
}

registerProcessor('vireon', VireonProcessor);
