// SPDX-License-Identifier: GPL-3.0-or-later
// Settings kept in the browser's local storage. Storage may be missing, full or refused
// (private windows), and what it holds may have been written by another version or by hand:
// every read falls back to the default, and a failed write only loses the setting.

const kPrefix = 'vireon.';

export function loadSetting(name, fallback) {
    try {
        const text = localStorage.getItem(kPrefix + name);
        return text === null ? fallback : JSON.parse(text);
    } catch {
        return fallback;
    }
}

export function saveSetting(name, value) {
    try {
        localStorage.setItem(kPrefix + name, JSON.stringify(value));
    } catch {
        // Settings are a convenience: playing goes on without them.
    }
}
