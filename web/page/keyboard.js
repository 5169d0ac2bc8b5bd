// SPDX-License-Identifier: GPL-3.0-or-later
// The on-screen keyboard: two octaves of keys for the mouse and touch, and the program's
// computer keys (the Z row one octave, the Q row the next, - and + to shift both).

const kOctave = 12;
const kLowestBase = 12; // C0
const kHighestBase = 96; // C7: the top row then ends at B8
const kStartBase = 60; // C4
const kVelocity = 100;
const kNames = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];
const kBlack = new Set([1, 3, 6, 8, 10]);
// Key positions, not letters, so that the rows stay rows on every keyboard layout.
const kNoteCodes = ['KeyZ', 'KeyS', 'KeyX', 'KeyD', 'KeyC', 'KeyV', 'KeyG', 'KeyB', 'KeyH', 'KeyN',
                    'KeyJ', 'KeyM', 'KeyQ', 'Digit2', 'KeyW', 'Digit3', 'KeyE', 'KeyR', 'Digit5',
                    'KeyT', 'Digit6', 'KeyY', 'Digit7', 'KeyU'];
const kDown = new Set(['Minus', 'NumpadSubtract']);
const kUp = new Set(['Equal', 'NumpadAdd']);

export function noteName(note) {
    return `${kNames[note % kOctave]}${Math.floor(note / kOctave) - 1}`;
}

export class Keyboard {
    /// `send(message, time)` gets each note-on and note-off, packed as the note handling takes
    /// it, with the time it was played (performance.now()'s clock);
    /// `label` shows where the rows start.
    constructor(keysElement, label, send, base = kStartBase) {
        this.send = send;
        this.label = label;
        this.base = Math.min(kHighestBase, Math.max(kLowestBase, base));
        this.heldCodes = new Map(); // computer key -> note it started
        this.pointerNotes = new Map(); // pointer -> note it holds
        this.keys = [];
        for (let i = 0; i < 2 * kOctave; ++i) {
            const key = document.createElement('div');
            key.className = kBlack.has(i % kOctave) ? 'key black' : 'key white';
            key.dataset.semitone = i;
            keysElement.append(key);
            this.keys.push(key);
        }
        this.listen(keysElement);
        this.shift(0);
    }

    noteOn(note) {
        this.send(0x90 | (note << 8) | (kVelocity << 16), performance.now());
        this.show();
    }

    noteOff(note) {
        this.send(0x80 | (note << 8), performance.now());
        this.show();
    }

    shift(octaves) {
        this.base = Math.min(kHighestBase, Math.max(kLowestBase, this.base + octaves * kOctave));
        this.keys.forEach((key, i) => key.setAttribute('aria-label', noteName(this.base + i)));
        this.label.textContent = `Keys Z to M from ${noteName(this.base)}, Q to U from ` +
                                 `${noteName(this.base + kOctave)}. Octave: - and +`;
        this.show();
        this.onShift?.(this.base);
    }

    show() {
        const held = new Set([...this.heldCodes.values(), ...this.pointerNotes.values()]);
        this.keys.forEach((key, i) => key.classList.toggle('held', held.has(this.base + i)));
    }

    /// Ends every note the keyboard holds: the page lost the focus or was hidden.
    releaseAll() {
        const notes = [...this.heldCodes.values(), ...this.pointerNotes.values()];
        this.heldCodes.clear();
        this.pointerNotes.clear();
        notes.forEach((note) => this.noteOff(note));
    }

    // A pointer that slides onto another key plays it before letting the old one go: legato,
    // as on the program's keyboard.
    pointerTo(pointer, key) {
        const note = this.base + Number(key.dataset.semitone);
        const previous = this.pointerNotes.get(pointer);
        if (previous === note) return;
        this.pointerNotes.set(pointer, note);
        this.noteOn(note);
        if (previous !== undefined) this.noteOff(previous);
    }

    pointerUp(pointer) {
        const note = this.pointerNotes.get(pointer);
        if (note === undefined) return;
        this.pointerNotes.delete(pointer);
        this.noteOff(note);
    }

    listen(keysElement) {
        keysElement.addEventListener('pointerdown', (event) => {
            const key = event.target.closest('.key');
            if (!key) return;
            event.preventDefault();
            // Touch captures the pointer on its first target; release it so sliding plays on.
            keysElement.releasePointerCapture?.(event.pointerId);
            this.onGesture?.();
            this.pointerTo(event.pointerId, key);
        });
        keysElement.addEventListener('pointerover', (event) => {
            const key = event.target.closest('.key');
            if (key && this.pointerNotes.has(event.pointerId)) this.pointerTo(event.pointerId, key);
        });
        for (const type of ['pointerup', 'pointercancel']) {
            window.addEventListener(type, (event) => this.pointerUp(event.pointerId));
        }
        keysElement.addEventListener('pointerleave', (event) => {
            if (event.pointerType === 'mouse') this.pointerUp(event.pointerId);
        });
        document.addEventListener('keydown', (event) => this.keyDown(event));
        document.addEventListener('keyup', (event) => this.keyUp(event));
        window.addEventListener('blur', () => this.releaseAll());
        document.addEventListener('visibilitychange', () => {
            if (document.hidden) this.releaseAll();
        });
    }

    // Keys typed into a box or a list are theirs, not notes.
    static typing(event) {
        const target = event.target;
        return event.ctrlKey || event.metaKey || event.altKey ||
               target.matches?.('input[type=number], input[type=text], select, textarea');
    }

    keyDown(event) {
        if (Keyboard.typing(event)) return;
        if (kDown.has(event.code) || kUp.has(event.code)) {
            event.preventDefault();
            if (!event.repeat) this.shift(kDown.has(event.code) ? -1 : 1);
            return;
        }
        const semitone = kNoteCodes.indexOf(event.code);
        if (semitone < 0) return;
        event.preventDefault();
        // A held key repeats; it still plays once.
        if (event.repeat || this.heldCodes.has(event.code)) return;
        this.onGesture?.();
        const note = this.base + semitone;
        this.heldCodes.set(event.code, note);
        this.noteOn(note);
    }

    keyUp(event) {
        const note = this.heldCodes.get(event.code);
        if (note === undefined) return;
        this.heldCodes.delete(event.code);
        this.noteOff(note);
    }
}
