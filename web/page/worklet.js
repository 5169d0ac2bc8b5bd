// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument on the audio thread: one module instance rendering at the context's 8000 Hz.
// MIDI messages come with the context frame they are to act at; the render quantum is split
// there, so that each acts at that very sample whichever quantum it arrived before.
// process() neither allocates nor waits; it posts only when the note status changes (and
// every block when a recording was asked for).
import { loadModuleNow } from './module.js';

// Far more messages than a MIDI cable carries in the time one waits here; should they come
// all the same, the earliest is played at once to make room, so that none is lost.
const kQueueCapacity = 1024;
// A frame further ahead than this is not a time stamp of this context: played at once.
const kMostFramesAhead = 8000;

class VireonProcessor extends AudioWorkletProcessor {
    constructor(options) {
        super();
        const { bytes, controls, record } = options.processorOptions;
        this.vireon = loadModuleNow(bytes);
        this.player = this.vireon.vireon_create();
        this.output = this.vireon.vireon_render(this.player, 0) / Float32Array.BYTES_PER_ELEMENT;
        this.heap = new Float32Array(this.vireon.memory.buffer);
        // The waiting messages in frame order: a ring of `count` from `head`.
        this.frames = new Float64Array(kQueueCapacity);
        this.messages = new Uint32Array(kQueueCapacity);
        this.head = 0;
        this.count = 0;
        this.late = 0;
        this.frame = 0; // frames rendered
        // The context frame of the first frame rendered, once known. Chrome gives a stale
        // currentFrame in the first process() call, so it is taken again in every call.
        this.origin = -1;
        this.record = record;
        this.noteStatus = 0;
        controls.forEach((value, control) => this.vireon.vireon_control(this.player, control, value));
        this.port.onmessage = (event) => this.arrived(event.data);
    }

    // Between blocks: currentFrame is the first frame of the next block.
    arrived(event) {
        if (event.message === undefined) {
            // Controls move with the hand; they act at the next block.
            this.vireon.vireon_control(this.player, event.control, event.value);
            this.recorded(event, currentFrame);
            this.reportNoteStatus();
            return;
        }
        let at = Number.isFinite(event.at) ? Math.floor(event.at) : currentFrame;
        if (at < currentFrame) {
            // Later than its frame: it plays as soon as it can, and the page is told.
            at = currentFrame;
            this.port.postMessage({ late: ++this.late });
        }
        at = Math.min(at, currentFrame + kMostFramesAhead);
        if (this.count === kQueueCapacity) this.playNext(currentFrame);
        this.enqueue(at, event.message >>> 0);
        if (this.record) this.port.postMessage({ arrived: event, frame: this.local(currentFrame) });
    }

    // Inserted after every message due at the same frame or earlier, so that messages keep
    // their order.
    enqueue(at, message) {
        let i = this.count;
        while (i > 0 && this.frames[(this.head + i - 1) % kQueueCapacity] > at) {
            const from = (this.head + i - 1) % kQueueCapacity;
            const to = (this.head + i) % kQueueCapacity;
            this.frames[to] = this.frames[from];
            this.messages[to] = this.messages[from];
            --i;
        }
        const slot = (this.head + i) % kQueueCapacity;
        this.frames[slot] = at;
        this.messages[slot] = message;
        ++this.count;
    }

    // The earliest waiting message, played at context frame `frame`.
    playNext(frame) {
        const at = this.frames[this.head];
        const message = this.messages[this.head];
        this.head = (this.head + 1) % kQueueCapacity;
        --this.count;
        this.vireon.vireon_midi(this.player, message);
        if (this.record) this.recorded({ message, at }, frame);
    }

    // A context frame as the count of frames rendered before it, as recordings have them.
    local(frame) {
        return this.origin < 0 ? 0 : frame - this.origin;
    }

    recorded(event, frame) {
        if (this.record) this.port.postMessage({ applied: event, frame: this.local(frame) });
    }

    reportNoteStatus() {
        const status = this.vireon.vireon_note_status(this.player);
        if (status !== this.noteStatus) {
            this.noteStatus = status;
            this.port.postMessage({ noteStatus: status });
        }
    }

    process(inputs, outputs) {
        const out = outputs[0][0];
        const start = currentFrame;
        this.origin = start - this.frame;
        let done = 0;
        let played = false;
        while (done < out.length) {
            // Everything due by this frame; a message due earlier came too late and plays now.
            while (this.count > 0 && this.frames[this.head] <= start + done) {
                this.playNext(start + done);
                played = true;
            }
            const end = this.count > 0 ? Math.min(out.length, this.frames[this.head] - start)
                                       : out.length;
            this.vireon.vireon_render(this.player, end - done);
            if (this.heap.buffer !== this.vireon.memory.buffer) {
                this.heap = new Float32Array(this.vireon.memory.buffer);
            }
            for (let i = done, from = this.output; i < end; ++i, ++from) out[i] = this.heap[from];
            done = end;
        }
        if (played) this.reportNoteStatus();
        if (this.record) this.port.postMessage({ block: out.slice(), frame: this.frame,
                                                   origin: this.origin });
        this.frame += out.length;
        return true;
    }
}

registerProcessor('vireon', VireonProcessor);
