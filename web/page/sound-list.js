// SPDX-License-Identifier: GPL-3.0-or-later
// The factory sounds in a list beside the controls. Choosing one moves every control to its
// position at once, as the program's Sounds menu does; the sound then plays as vireon-render
// --sound plays it, since a control already at its position is left alone. The name of the
// sound chosen is kept with the other settings, and the list shows it for as long as the
// controls hold its positions.
import { loadSetting, saveSetting } from './storage.js';

export class SoundList {
    /// `loadSounds()` gives the factory sounds or throws a sentence saying why it cannot;
    /// `controls` are the Controls a sound moves.
    constructor(select, description, loadSounds, controls) {
        this.select = select;
        this.description = description;
        this.controls = controls;
        try {
            this.sounds = loadSounds();
        } catch (error) {
            this.sounds = [];
            description.textContent = error.message;
        }
        // Stands for the controls when they hold no chosen sound; never chosen itself.
        this.elsewhere = new Option('', '');
        this.elsewhere.disabled = true;
        select.append(this.elsewhere, ...this.sounds.map((sound) => {
            const option = new Option(sound.name, sound.name);
            option.title = sound.description;
            return option;
        }));
        select.disabled = this.sounds.length === 0;
        const stored = loadSetting('sound', null);
        this.chosen = this.sounds.find((sound) => sound.name === stored) ?? null;
        select.addEventListener('change', () => this.choose(select.value));
        this.show();
    }

    choose(name) {
        const sound = this.sounds.find((candidate) => candidate.name === name);
        if (!sound) return;
        this.chosen = sound;
        saveSetting('sound', sound.name);
        this.controls.setPositions(sound.positions);
        this.show();
    }

    /// Shows the sound chosen, or that the controls have moved from it; for after every move.
    show() {
        if (this.sounds.length === 0) return;
        const held = this.chosen?.positions.every(
            (position, index) => position === this.controls.positions[index]) ?? false;
        this.elsewhere.textContent =
            this.chosen ? `${this.chosen.name}, changed` : 'Choose a sound';
        this.select.value = held ? this.chosen.name : '';
        this.description.textContent = this.chosen?.description ?? '';
    }
}
