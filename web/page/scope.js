// SPDX-License-Identifier: GPL-3.0-or-later
// The live scope: the last 40 ms of the sound, about 30 times a second, read from an analyser
// on the page's own thread so that the audio thread posts nothing.

const kShownSamples = 320; // 40 ms at 8000 Hz
const kFrameMilliseconds = 33;

export function runScope(canvas, analyser) {
    const context = canvas.getContext('2d');
    const samples = new Float32Array(analyser.fftSize);
    let last = 0;
    const draw = (now) => {
        requestAnimationFrame(draw);
        if (now - last < kFrameMilliseconds) return;
        last = now;
        const { width, height } = canvas;
        analyser.getFloatTimeDomainData(samples);
        context.clearRect(0, 0, width, height);
        context.strokeStyle = getComputedStyle(canvas).color;
        context.lineWidth = Math.max(1, width / 400);
        context.beginPath();
        const first = samples.length - kShownSamples;
        for (let i = 0; i < kShownSamples; ++i) {
            // Full scale fills the height; the chaos can overshoot it, so hold the trace inside.
            const value = Math.max(-1, Math.min(1, samples[first + i]));
            const x = (i / (kShownSamples - 1)) * width;
            const y = (0.5 - value * 0.45) * height;
            if (i === 0) context.moveTo(x, y);
            else context.lineTo(x, y);
        }
        context.stroke();
    };
    requestAnimationFrame(draw);
}
