// SPDX-License-Identifier: GPL-3.0-or-later
// Loads Vireon's WebAssembly modules, the instrument core from the same source as the program's:
// vireon-play.wasm for the page and its audio worklet, vireon-render.wasm for its render worker.
// Shared by the page, the worklet, the worker and the tests.

// The module asks the system for nothing but standard error, which a page does not have: the
// standard library reaches for it only on a fault it cannot report otherwise.
const kNoSystem = 52; // WASI's "function not supported"

function imports(output) {
    return {
        env: {
            vireon_begin: output?.begin ?? (() => {}),
            vireon_write: output?.write ?? (() => 0),
        },
        wasi_snapshot_preview1: {
            fd_write: () => kNoSystem,
            fd_seek: () => kNoSystem,
            fd_close: () => kNoSystem,
        },
    };
}

function started(instance) {
    // The sine and power tables are built by static constructors: without this call every
    // sample would be wrong.
    instance.exports.__wasm_call_ctors();
    return instance.exports;
}

/// The module's exports from its bytes, compiled in the background (the page's own thread
/// may not compile large modules at once). `output` receives offline renderings: begin(frames)
/// and write(pointer, count), which returns 0 to stop.
export async function loadModule(bytes, output) {
    const { instance } = await WebAssembly.instantiate(bytes, imports(output));
    return started(instance);
}

/// The same at once, for an audio worklet or a worker, where compiling may take its time.
export function loadModuleNow(bytes, output) {
    return started(new WebAssembly.Instance(new WebAssembly.Module(bytes), imports(output)));
}

/// The text of a NUL-terminated string in the module's memory.
export function moduleText(vireon, pointer) {
    const bytes = new Uint8Array(vireon.memory.buffer, pointer);
    return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
}

/// The table of controls, as the program, the plugin and vireon-render have it.
export function controlTable(vireon) {
    return JSON.parse(moduleText(vireon, vireon.vireon_controls_json()));
}

/// The factory sounds, as the program's Sounds menu and vireon-render --sound have them:
/// [{ name, description, positions }], each position in the table of controls' order.
export function factorySounds(vireon) {
    const { sounds, problem } = JSON.parse(moduleText(vireon, vireon.vireon_sounds_json()));
    if (problem !== undefined) throw new Error(`The factory sounds are damaged: ${problem}.`);
    return sounds;
}

/// A MIDI message of one to three bytes packed as the note handling takes it, or null for
/// anything longer (system exclusive), which it never sees.
export function packMessage(bytes) {
    if (bytes.length < 1 || bytes.length > 3) return null;
    return (bytes[0] | ((bytes[1] ?? 0) << 8) | ((bytes[2] ?? 0) << 16)) >>> 0;
}
