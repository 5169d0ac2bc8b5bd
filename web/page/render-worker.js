// SPDX-License-Identifier: GPL-3.0-or-later
// Renders a file off the page's thread with the module's copy of vireon-render's offline
// rendering, and hands back the WAV file: the same samples, the same header.
import { loadModuleNow, moduleText } from './module.js';
import { wavHeader } from './wav.js';

// Samples are gathered in pieces of this many, so that long renderings are a few large
// buffers rather than millions of small ones.
const kPieceSamples = 1 << 20;
const kProgressMilliseconds = 100;

const kKinds = { none: 0, events: 1, midi: 2 };

self.onmessage = ({ data }) => {
    const { moduleBytes, fileBytes, kind, name, positions, rate } = data;
    const pieces = [];
    let piece = new Float32Array(kPieceSamples);
    let filled = 0;
    let frames = 0;
    let total = 0;
    let peak = 0;
    let peakFrame = 0;
    let reported = 0;
    const vireon = loadModuleNow(moduleBytes, {
        begin: (count) => {
            total = count;
            self.postMessage({ total });
        },
        write: (pointer, count) => {
            const block = new Float32Array(vireon.memory.buffer, pointer, count);
            for (let i = 0; i < count; ++i) {
                // The first of the largest, as libsndfile's PEAK chunk records it.
                const magnitude = Math.abs(block[i]);
                if (magnitude > peak) {
                    peak = magnitude;
                    peakFrame = frames + i;
                }
            }
            let done = 0;
            while (done < count) {
                const taken = Math.min(count - done, kPieceSamples - filled);
                piece.set(block.subarray(done, done + taken), filled);
                filled += taken;
                done += taken;
                if (filled === kPieceSamples) {
                    pieces.push(piece);
                    piece = new Float32Array(kPieceSamples);
                    filled = 0;
                }
            }
            frames += count;
            const now = performance.now();
            if (now - reported >= kProgressMilliseconds) {
                reported = now;
                self.postMessage({ done: frames });
            }
            return 1;
        },
    });

    const bytes = fileBytes ? new Uint8Array(fileBytes) : new Uint8Array(0);
    const input = vireon.vireon_alloc(bytes.length);
    const encodedName = new TextEncoder().encode(`${name}\0`);
    const namePointer = vireon.vireon_alloc(encodedName.length);
    const positionsPointer = vireon.vireon_alloc(positions.length * 4);
    if (!input || !namePointer || !positionsPointer) {
        self.postMessage({ error: 'The file is too large to render in this browser.' });
        return;
    }
    new Uint8Array(vireon.memory.buffer, input, bytes.length).set(bytes);
    new Uint8Array(vireon.memory.buffer, namePointer, encodedName.length).set(encodedName);
    new Int32Array(vireon.memory.buffer, positionsPointer, positions.length).set(positions);
    const started = performance.now();
    const error = vireon.vireon_render_file(kKinds[kind], input, bytes.length, namePointer,
                                            positionsPointer, rate, 0);
    if (error) {
        self.postMessage({ error: moduleText(vireon, error) });
        return;
    }
    pieces.push(piece.subarray(0, filled));
    const header = wavHeader(rate, frames, peak, peakFrame, Math.floor(Date.now() / 1000));
    const wav = new Blob([header, ...pieces], { type: 'audio/wav' });
    self.postMessage({ wav, frames, total, milliseconds: performance.now() - started });
};
