// SPDX-License-Identifier: GPL-3.0-or-later
// Render in the page: a MIDI file or an events file in, a WAV file out, the same as
// vireon-render gives for the same input and the page's control positions.

const kMidiNames = /\.(mid|midi|smf|kar)$/i;

/// Which reader a file needs: its name first, then its first bytes.
export function fileKind(name, bytes) {
    if (kMidiNames.test(name)) return 'midi';
    const head = new TextDecoder().decode(new Uint8Array(bytes, 0, Math.min(4, bytes.byteLength)));
    return head === 'MThd' ? 'midi' : 'events';
}

export function wavName(name) {
    return `${name.replace(/\.[^.]*$/, '') || 'vireon'}.wav`;
}

/// Renders `file` (a File, or null for silence) in a worker. `progress(fraction)` hears how far
/// it got; resolves with { wav, frames, milliseconds } or rejects with a sentence.
export function renderFile(moduleBytes, file, positions, rate, progress) {
    return new Promise((resolve, reject) => {
        const worker = new Worker(new URL('./render-worker.js', import.meta.url), { type: 'module' });
        let total = 0;
        worker.onmessage = ({ data }) => {
            if (data.total !== undefined && data.wav === undefined) total = data.total;
            if (data.done !== undefined) progress(total ? data.done / total : 0);
            if (data.error !== undefined || data.wav !== undefined) {
                worker.terminate();
                if (data.error !== undefined) reject(new Error(data.error));
                else resolve(data);
            }
        };
        worker.onerror = (event) => {
            worker.terminate();
            reject(new Error(`The rendering failed (${event.message}).`));
        };
        (file ? file.arrayBuffer() : Promise.resolve(null)).then((fileBytes) => {
            worker.postMessage({
                moduleBytes,
                fileBytes,
                kind: file ? fileKind(file.name, fileBytes) : 'none',
                name: file ? file.name : 'silence',
                positions,
                rate,
            });
        }, (error) => reject(new Error(`The file could not be read (${error.message}).`)));
    });
}
