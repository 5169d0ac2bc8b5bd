// SPDX-License-Identifier: GPL-3.0-or-later
// The page: the instrument's controls, keyboard, scope, MIDI input and renderer, wired to the
// sound.
import { loadModule, controlTable, factorySounds } from './module.js';
import { Sound } from './sound.js';
import { Controls } from './controls.js';
import { SoundList } from './sound-list.js';
import { Keyboard } from './keyboard.js';
import { runScope } from './scope.js';
import { openMidi } from './midi.js';
import { renderFile, wavName } from './render.js';
import { loadSetting, saveSetting } from './storage.js';

const $ = (id) => document.getElementById(id);
const kNoteTexts = ['', 'On', 'Off'];

function say(text, problem = false) {
    $('message').textContent = text;
    $('message').classList.toggle('problem', problem);
}

function light(id, text, on) {
    $(id).textContent = text;
    $(id).classList.toggle('on', on);
}

async function fetchModule(name) {
    const response = await fetch(new URL(`./${name}`, import.meta.url));
    if (!response.ok) throw new Error(`${name} could not be loaded (${response.status}).`);
    return response.arrayBuffer();
}

async function main() {
    const moduleBytes = await fetchModule('vireon-play.wasm');
    const vireon = await loadModule(moduleBytes);
    const table = controlTable(vireon);

    let controls = null;
    const sound = new Sound(moduleBytes, () => controls.positions,
                            (status) => light('note-status', kNoteTexts[status], status === 1),
                            !!globalThis.vireonRecord);
    // Where a recording can be read back, for checking what was played.
    document.vireonSound = sound;
    const chaos = $('chaos');
    const envelope = $('envelope');
    const playing = $('playing');
    // The chaos controls, the envelope and the playing controls each in their own group, in the
    // table's order.
    const panel = {
        append: (box) => (box.classList.contains('playing') ? playing
                          : box.className.match(/attack|decay|sustain|release/) ? envelope
                          : chaos).append(box),
    };
    let soundList = null;
    controls = new Controls(panel, table, (index, position) => {
        sound.sendControl(index, position);
        soundList?.show();
    });
    soundList = new SoundList($('sound'), $('sound-description'), () => factorySounds(vireon),
                              controls);

    const startSound = () => {
        if (sound.running) return;
        sound.start().then(() => {
            light('sound-status', 'Sound on', true);
            // Hidden, not removed: the keys must not move under a finger or a pointer.
            $('start').style.visibility = 'hidden';
            say('Play with the mouse, touch, the computer keys or a MIDI keyboard.');
            runScope($('scope'), sound.analyser);
        }, (error) => say(error.message, true));
    };
    $('start').addEventListener('click', startSound);

    const play = (message, time) => sound.sendMessage(message, time);
    const keyboard = new Keyboard($('keys'), $('octave'), play,
                                  loadSetting('octave', undefined));
    keyboard.onGesture = startSound;
    keyboard.onShift = (base) => saveSetting('octave', base);

    openMidi($('midi-input'), play, (open, why) => {
        light('midi-status', open ? 'MIDI IN' : 'No MIDI IN', open);
        $('midi-problem').textContent = why;
    });

    setUpRendering(controls);
    say('Press Start sound, a piano key or a computer key to play: browsers start sound only ' +
        'after you do something on the page.');
    globalThis.vireonReady = performance.now();
}

function setUpRendering(controls) {
    // The renderer's module is fetched when a file is first rendered, not with the page.
    let renderModule = null;
    const drop = $('drop');
    const chooser = $('render-file');
    let file = null;
    const choose = (chosen) => {
        file = chosen;
        $('render-message').textContent = chosen ? `${chosen.name}: press Render.` : '';
    };
    chooser.addEventListener('change', () => choose(chooser.files[0] ?? null));
    drop.addEventListener('dragover', (event) => {
        event.preventDefault();
        drop.classList.add('over');
    });
    drop.addEventListener('dragleave', () => drop.classList.remove('over'));
    drop.addEventListener('drop', (event) => {
        event.preventDefault();
        drop.classList.remove('over');
        choose(event.dataTransfer.files[0] ?? null);
    });
    $('render-start').addEventListener('click', async () => {
        if (!file) {
            $('render-message').textContent = 'Choose a MIDI file or an events file first.';
            return;
        }
        const progress = $('render-progress');
        const link = $('render-link');
        progress.hidden = false;
        progress.value = 0;
        link.hidden = true;
        $('render-start').disabled = true;
        $('render-message').textContent = `Rendering ${file.name}…`;
        try {
            renderModule ??= fetchModule('vireon-render.wasm').catch((error) => {
                renderModule = null;
                throw error;
            });
            const result = await renderFile(await renderModule, file, controls.renderPositions(),
                                             Number($('render-rate').value),
                                             (fraction) => (progress.value = fraction));
            if (link.href) URL.revokeObjectURL(link.href);
            link.href = URL.createObjectURL(result.wav);
            link.download = wavName(file.name);
            link.textContent = `Download ${link.download}`;
            link.hidden = false;
            $('render-message').textContent =
                `${result.frames} samples (${(result.frames / Number($('render-rate').value)).toFixed(1)} s) rendered in ` +
                `${Math.round(result.milliseconds)} ms.`;
            link.click();
        } catch (error) {
            $('render-message').textContent = error.message;
        } finally {
            progress.hidden = true;
            $('render-start').disabled = false;
        }
    });
}

main().catch((error) => say(`Vireon could not start: ${error.message}`, true));

// The service worker keeps the page's files, so that it installs as an app and plays offline.
// Browsers have it only on https and on this computer; without it the page plays as before.
if ('serviceWorker' in navigator) {
    addEventListener('load', () => {
        navigator.serviceWorker.register(new URL('./service-worker.js', import.meta.url))
            .catch((error) => console.warn(`Vireon will not play offline: ${error.message}`));
    });
}
