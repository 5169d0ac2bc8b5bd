// SPDX-License-Identifier: GPL-3.0-or-later
// In node: the engine compiled to WebAssembly gives the stored reference bits of
// tests/engine/PortableReferenceTest.cpp, and the page's render module renders what vireon-render
// renders. Prints the sizes of the page's two modules and the speed against the native renderer.
// node reference.mjs BUILD_DIR SOURCE_DIR
import { execFileSync } from 'node:child_process';
import { readFileSync, statSync, writeFileSync, mkdtempSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { strict as assert } from 'node:assert';

const [build, source] = process.argv.slice(2).map((path) => resolve(path));
const { loadModule, moduleText } = await import(pathToFileURL(join(build, 'web', 'module.js')));

// The stored hashes: {"name", {0x..., 0x..., }},
const stored = [...readFileSync(join(source, 'tests/engine/RenderReference.inc'), 'utf8')
                      .matchAll(/\{"([^"]*)", \{([^}]*)\}\}/g)]
                   .map(([, name, list]) => ({ name, hashes: list.match(/0x[0-9a-f]+/g).map(BigInt) }));

const sweep = await loadModule(readFileSync(join(build, 'web-build', 'vireon_sweep.wasm')));
const count = sweep.sweep_case_count();
assert.equal(count, stored.length, 'every case of the sweep has stored hashes');
const secondsAt = sweep.vireon_test_alloc(4);
for (let i = 0; i < count; ++i) {
    assert.equal(moduleText(sweep, sweep.sweep_case_name(i)), stored[i].name);
    const pointer = sweep.sweep_case_hashes(i, secondsAt);
    const seconds = new Uint32Array(sweep.memory.buffer, secondsAt, 1)[0];
    const hashes = [...new BigUint64Array(sweep.memory.buffer, pointer, seconds)];
    assert.deepEqual(hashes, stored[i].hashes, `"${stored[i].name}" has its stored hashes`);
}
assert.ok(sweep.sine_matches_reference(), 'the sine is correctly rounded');
assert.ok(sweep.powers_match_reference(), 'every power is correctly rounded');
console.log(`${count} renders of the sweep, the sine and the powers: the stored bits.`);

// A minute of a held note with moving notes around it, through the page's module and through
// vireon-render, timed in the same run.
const modulePath = join(build, 'web', 'vireon-render.wasm');
const lines = ['0 0x90 57 100'];
for (let s = 8000; s < 480000; s += 8000) lines.push(`${s} 0x90 ${40 + (s / 8000) % 40} 90`);
lines.push('480000 0x80 57 0');
const folder = mkdtempSync(join(tmpdir(), 'vireon-web-'));
const eventsPath = join(folder, 'minute.txt');
writeFileSync(eventsPath, `${lines.join('\n')}\n`);
const options = ['--havoc', '70', '--bedlam', '20', '--attack', '300', '--release', '200'];
const positions = [70, 20, 300, 1000, 50, 200, 0];

let started = performance.now();
const native = execFileSync(join(build, 'tools', 'vireon-render'),
                            ['--events', eventsPath, ...options, '-o', '-'],
                            { maxBuffer: 1 << 26 });
const nativeSeconds = (performance.now() - started) / 1000;

// The render module renders `text` (an events file) at `rate`; a fresh instance each time, as the
// page's worker uses it.
async function renderInModule(text, rate) {
    const pieces = [];
    const vireon = await loadModule(readFileSync(modulePath), {
        write: (pointer, count) => {
            pieces.push(Buffer.from(new Float32Array(vireon.memory.buffer, pointer, count).slice().buffer));
            return 1;
        },
    });
    const bytes = Buffer.from(text);
    const input = vireon.vireon_alloc(bytes.length);
    new Uint8Array(vireon.memory.buffer, input).set(bytes);
    const name = vireon.vireon_alloc(16);
    new Uint8Array(vireon.memory.buffer, name).set(Buffer.from('phrase.txt\0'));
    const settings = vireon.vireon_alloc(positions.length * 4);
    new Int32Array(vireon.memory.buffer, settings, positions.length).set(positions);
    const error = vireon.vireon_render_file(1, input, bytes.length, name, settings, rate, 0);
    assert.equal(error, 0, error ? moduleText(vireon, error) : '');
    return Buffer.concat(pieces);
}

started = performance.now();
const inModule = await renderInModule(`${lines.join('\n')}\n`, 8000);
const moduleSeconds = (performance.now() - started) / 1000;
assert.ok(inModule.equals(native), 'the module renders what vireon-render renders');

// The first notes of the minute at the rates devices use: the converter's arithmetic is the same
// in the module as in the native build.
const phrase = [...lines.slice(0, 4), '40000 0x80 57 0'];
writeFileSync(eventsPath, `${phrase.join('\n')}\n`);
for (const rate of [44100, 48000, 96000]) {
    const expected = execFileSync(join(build, 'tools', 'vireon-render'),
                                  ['--events', eventsPath, ...options, '--rate', String(rate), '-o', '-'],
                                  { maxBuffer: 1 << 26 });
    assert.ok((await renderInModule(`${phrase.join('\n')}\n`, rate)).equals(expected),
              `the module renders what vireon-render --rate ${rate} renders`);
}
console.log('The module renders as vireon-render does at 8000, 44100, 48000 and 96000 Hz.');

for (const name of ['vireon-play.wasm', 'vireon-render.wasm']) {
    console.log(`Module size of ${name}: ${statSync(join(build, 'web', name)).size} bytes.`);
}
console.log(`Rendering ${native.length / 4} samples: native ${nativeSeconds.toFixed(3)} s, ` +
            `module ${moduleSeconds.toFixed(3)} s, speed ratio ${(nativeSeconds / moduleSeconds).toFixed(2)}.`);
