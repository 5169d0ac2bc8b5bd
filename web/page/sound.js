// SPDX-License-Identifier: GPL-3.0-or-later
// The sound: an AudioContext at the engine's own 8000 Hz, which the browser carries to the
// device's rate, with the instrument in an AudioWorklet. Browsers start sound only from a user
// gesture, so start() belongs in a click or key handler.

const kEngineRate = 8000;
// How long after its time stamp, past the frame the worklet renders at that moment, a MIDI
// message or a key plays: one render quantum, since the worklet renders a quantum at a time,
// and 4 ms for the message to reach it. Every message then waits the same time, and notes
// keep the spacing they were played with.
const kQuantumFrames = 128;
const kDelayFrames = kQuantumFrames + 32;

export class Sound {
    /// `bytes`: the module; `controls()`: the control positions to start from; `onNoteStatus`
    /// gets 0 (no message yet), 1 ("On") or 2 ("Off"); `record` keeps every block rendered and
    /// every event with its frame, for checking what was played.
    constructor(bytes, controls, onNoteStatus, record = false) {
        this.bytes = bytes;
        this.controls = controls;
        this.onNoteStatus = onNoteStatus;
        this.record = record ? { blocks: [], events: [], arrivals: [] } : null;
        this.delayFrames = kDelayFrames;
        // Messages that reached the worklet after their frame and played late.
        this.late = 0;
        this.node = null;
        this.context = null;
        this.analyser = null;
        this.starting = null;
        // Events sent while the worklet loads, played as soon as it runs.
        this.waiting = [];
    }

    get running() {
        return this.node !== null;
    }

    /// Starts the sound; resolves when the instrument plays, rejects with a sentence for people.
    start() {
        this.starting ??= this.open().catch((error) => {
            this.starting = null;
            this.waiting = [];
            throw error;
        });
        return this.starting;
    }

    async open() {
        let context;
        try {
            context = new AudioContext({ sampleRate: kEngineRate, latencyHint: 'interactive' });
        } catch (error) {
            throw new Error(
                `This browser cannot play at ${kEngineRate} Hz (${error.message}), the rate Vireon ` +
                    'plays at. Try a current Chrome, Edge, Firefox or Opera.');
        }
        if (context.sampleRate !== kEngineRate) {
            context.close();
            throw new Error(`This browser plays at ${context.sampleRate} Hz only, not at ` +
                            `${kEngineRate} Hz, the rate Vireon plays at.`);
        }
        await context.audioWorklet.addModule(new URL('./worklet.js', import.meta.url));
        const node = new AudioWorkletNode(context, 'vireon', {
            numberOfInputs: 0,
            numberOfOutputs: 1,
            outputChannelCount: [1],
            processorOptions: { bytes: this.bytes, controls: this.controls(), record: !!this.record },
        });
        node.port.onmessage = (event) => this.heard(event.data);
        this.analyser = new AnalyserNode(context, { fftSize: 512 });
        node.connect(context.destination);
        node.connect(this.analyser);
        await context.resume();
        this.context = context;
        this.node = node;
        for (const event of this.waiting) node.port.postMessage(event);
        this.waiting = [];
    }

    heard(data) {
        if (data.noteStatus !== undefined) this.onNoteStatus(data.noteStatus);
        if (data.late !== undefined) this.late = data.late;
        if (!this.record) return;
        if (data.block) {
            this.record.origin = data.origin;
            this.record.blocks.push(data.block);
        }
        if (data.applied) this.record.events.push({ ...data.applied, frame: data.frame });
        if (data.arrived) this.record.arrivals.push({ ...data.arrived, frame: data.frame });
    }

    send(event) {
        if (this.node) {
            this.node.port.postMessage(event);
        } else if (this.starting) {
            this.waiting.push(event);
        }
    }

    /// A MIDI message packed as status | data1 << 8 | data2 << 16, played `delayFrames` after
    /// `time` (performance.now()'s clock): the moment it was played.
    sendMessage(message, time = performance.now()) {
        this.send({ message, at: this.frameAt(time) });
    }

    /// The context frame a message stamped `time` plays at, or undefined (at once) while the
    /// context cannot tell its time yet.
    frameAt(time) {
        const context = this.context;
        if (!context) return undefined;
        const now = performance.now();
        // A stamp from the future, or none, is taken for now: nothing waits on a wrong clock.
        if (!(time <= now)) time = now;
        const { contextTime, performanceTime } = context.getOutputTimestamp();
        if (!(performanceTime > 0)) return undefined;
        // The output time stamp tells which frame is heard when; the worklet renders the
        // browser's own latency ahead of that.
        const ahead = (Number(context.baseLatency) || 0) + (Number(context.outputLatency) || 0);
        const seconds = contextTime + (time - performanceTime) / 1000 + ahead;
        return Math.round(seconds * kEngineRate) + kDelayFrames;
    }

    /// A control (its index in the table of controls) moved to `value`.
    sendControl(control, value) {
        this.send({ control, value });
    }
}
