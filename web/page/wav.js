// SPDX-License-Identifier: GPL-3.0-or-later
// The header of a 32-bit float mono WAV file, laid out as vireon-render's (libsndfile's) is:
// RIFF, fmt, fact, PEAK with the loudest sample, then data. Only PEAK's time stamp differs.

export const kWavHeaderBytes = 80;

/// The header for `frames` samples at `rate`, whose largest magnitude `peak` is first found at
/// frame `peakFrame`, written at `seconds` since 1970.
export function wavHeader(rate, frames, peak, peakFrame, seconds) {
    const dataBytes = frames * 4;
    const view = new DataView(new ArrayBuffer(kWavHeaderBytes));
    let at = 0;
    const text = (value) => {
        for (const c of value) view.setUint8(at++, c.charCodeAt(0));
    };
    const u32 = (value) => {
        view.setUint32(at, value, true);
        at += 4;
    };
    const u16 = (value) => {
        view.setUint16(at, value, true);
        at += 2;
    };
    text('RIFF');
    u32(kWavHeaderBytes - 8 + dataBytes);
    text('WAVEfmt ');
    u32(16);
    u16(3); // IEEE float
    u16(1); // mono
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(32);
    text('fact');
    u32(4);
    u32(frames);
    text('PEAK');
    u32(16);
    u32(1); // version
    u32(seconds >>> 0);
    view.setFloat32(at, peak, true);
    at += 4;
    u32(peakFrame);
    text('data');
    u32(dataBytes);
    return view.buffer;
}
