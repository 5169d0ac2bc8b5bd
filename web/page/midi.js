// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI input through Web MIDI: every input the browser lists, or the one chosen.
import { loadSetting, saveSetting } from './storage.js';
import { packMessage } from './module.js';

const kAllInputs = '';

/// Opens MIDI input. `onMessage(packed, time)` gets each short message of the chosen inputs
/// with its time stamp (performance.now()'s clock),
/// `onStatus(open, sentence)` whether MIDI input is open and, when it is not, why.
export async function openMidi(chooser, onMessage, onStatus) {
    if (!navigator.requestMIDIAccess) {
        chooser.disabled = true;
        onStatus(false, 'This browser has no Web MIDI (Chrome, Edge, Firefox and Opera have it). ' +
                        'Play with the mouse, touch or the computer keys.');
        return;
    }
    let access;
    try {
        access = await navigator.requestMIDIAccess({ sysex: false });
    } catch (error) {
        chooser.disabled = true;
        onStatus(false, `MIDI input is not available (${error.message}). Allow MIDI for this ` +
                        'page in the browser\'s site settings and reload, or play with the ' +
                        'mouse, touch or the computer keys.');
        return;
    }
    let chosen = loadSetting('midiInput', kAllInputs);
    const list = () => {
        const inputs = [...access.inputs.values()];
        chooser.replaceChildren(new Option('All MIDI inputs', kAllInputs));
        for (const input of inputs) chooser.append(new Option(input.name, input.id));
        chooser.value = inputs.some((input) => input.id === chosen) ? chosen : kAllInputs;
        chooser.disabled = false;
        for (const input of inputs) {
            input.onmidimessage = (event) => {
                if (chooser.value !== kAllInputs && chooser.value !== input.id) return;
                const packed = packMessage(event.data);
                if (packed !== null) onMessage(packed, event.timeStamp);
            };
        }
        const open = inputs.length > 0;
        onStatus(open, open ? '' : 'No MIDI input is connected. Connect one and it shows here.');
    };
    chooser.addEventListener('change', () => {
        chosen = chooser.value;
        saveSetting('midiInput', chosen);
    });
    access.addEventListener('statechange', list);
    list();
}
