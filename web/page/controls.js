// SPDX-License-Identifier: GPL-3.0-or-later
// The controls, made from the table of controls the module carries: the same labels, ranges,
// start-up positions and names of switch positions as the program, the plugin and
// vireon-render.
import { loadSetting, saveSetting } from './storage.js';

const kUnits = ['', ' ms', ' %', ' st', ' smp'];

function storedPosition(stored, control) {
    const value = stored?.[control.symbol];
    return Number.isInteger(value) && value >= control.min && value <= control.max
        ? value
        : control.initial;
}

export class Controls {
    /// Builds the controls into `panel`; `onMove(index, position)` hears every move.
    constructor(panel, table, onMove) {
        this.table = table;
        this.onMove = onMove;
        const stored = loadSetting('controls', {});
        this.positions = table.map((control) => storedPosition(stored, control));
        this.inputs = table.map((control, index) => this.build(panel, control, index));
    }

    build(panel, control, index) {
        const spin = control.symbol === 'disorder';
        const choice = control.values.length > 0;
        const box = document.createElement('div');
        const kind = spin ? 'spin' : choice ? 'choice' : 'slider';
        box.className = `control ${kind} control-${control.symbol}` +
                        (control.playing ? ' playing' : '');
        const id = `control-${control.symbol}`;
        const label = document.createElement('label');
        label.htmlFor = id;
        label.textContent = control.label;
        label.title = control.name;
        const input = document.createElement(choice ? 'select' : 'input');
        input.id = id;
        if (choice) {
            control.values.forEach((name, at) => input.append(new Option(name, control.min + at)));
        } else {
            input.type = spin ? 'number' : 'range';
            Object.assign(input, { min: control.min, max: control.max, step: 1 });
        }
        input.value = this.positions[index];
        input.setAttribute('aria-description', control.description);
        const shown = document.createElement('output');
        shown.htmlFor = id;
        const show = () => {
            shown.textContent = `${this.positions[index]}${kUnits[control.unit] ?? ''}`;
            input.setAttribute('aria-valuetext', shown.textContent);
        };
        show();
        input.addEventListener('input', () => {
            const value = Number(input.value);
            // A half-typed number is not a position; leaving the box puts the last one back.
            if (input.value === '' || !Number.isFinite(value)) return;
            const position = Math.min(control.max, Math.max(control.min, Math.round(value)));
            this.move(index, position);
            show();
        });
        input.addEventListener('change', () => {
            input.value = this.positions[index];
        });
        box.append(label, input, ...(spin || choice ? [] : [shown]));
        panel.append(box);
        return { input, show };
    }

    move(index, position) {
        if (this.positions[index] === position) return;
        this.positions[index] = position;
        saveSetting('controls',
                    Object.fromEntries(this.table.map((c, i) => [c.symbol, this.positions[i]])));
        this.onMove(index, position);
    }

    /// Moves every control at once, as a sound from a list of sounds would.
    setPositions(positions) {
        positions.forEach((position, index) => {
            this.move(index, position);
            this.inputs[index].input.value = position;
            this.inputs[index].show();
        });
    }

    /// The positions to render with: Havoc, Bedlam and Disorder at 0 while they keep their
    /// start-up positions, for their exact start-up values, as in the live instrument.
    renderPositions() {
        return this.table.map((control, index) => {
            const atStart = this.positions[index] === control.initial;
            return atStart && !control.atNextNote ? 0 : this.positions[index];
        });
    }
}
