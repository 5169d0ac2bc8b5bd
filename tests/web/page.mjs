// SPDX-License-Identifier: GPL-3.0-or-later
// The page in Debian's headless chromium, served from build/web on localhost: what it plays
// from the mouse, the computer keys and a MIDI input, and what it renders, equal
// vireon-render's output bit for bit; MIDI messages play at the frame their time stamps give.
// Saves a screenshot; prints the time to ready and the delay and jitter of timed messages.
// node page.mjs BUILD_DIR SOURCE_DIR
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { strict as assert } from 'node:assert';
import puppeteer from 'puppeteer-core';

const [build, source] = process.argv.slice(2).map((path) => resolve(path));
const { serve } = await import(pathToFileURL(join(source, 'web', 'serve.mjs')));
const renderer = join(build, 'tools', 'vireon-render');
const folder = mkdtempSync(join(tmpdir(), 'vireon-page-'));

function render(args) {
    return execFileSync(renderer, [...args, '-o', '-'], { maxBuffer: 1 << 28 });
}

// Stand-ins for Web MIDI, put in place before the page's scripts run: one input whose messages
// the test sends, or a refusal as where no MIDI system answers.
function midiInput() {
    globalThis.vireonRecord = true;
    const input = { id: 'test-1', name: 'Test keyboard', type: 'input', onmidimessage: null };
    globalThis.testMidi = (bytes, timeStamp = performance.now()) =>
        input.onmidimessage?.({ data: new Uint8Array(bytes), timeStamp });
    const access = { inputs: new Map([[input.id, input]]), outputs: new Map(),
                     addEventListener() {} };
    navigator.requestMIDIAccess = async () => access;
}
function midiRefused() {
    globalThis.vireonRecord = true;
    navigator.requestMIDIAccess = async () => {
        throw new DOMException('Platform dependent initialization failed.', 'InvalidStateError');
    };
}

async function openPage(browser, origin, standIn) {
    const page = await browser.newPage();
    const problems = [];
    page.on('console', (message) => message.type() === 'error' && problems.push(message.text()));
    page.on('pageerror', (error) => problems.push(error.message));
    await page.evaluateOnNewDocument(standIn);
    await page.goto(origin, { waitUntil: 'load' });
    await page.waitForFunction(() => globalThis.vireonReady !== undefined);
    return { page, problems };
}

const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
const pause = (milliseconds) => new Promise((done) => setTimeout(done, milliseconds));

// Everything the worklet rendered, and the events file that says what it was given when.
async function played(page) {
    const record = await page.evaluate(async () => {
        await new Promise((done) => setTimeout(done, 300));
        const { blocks, events } = document.vireonSound.record;
        const samples = new Float32Array(blocks.reduce((n, block) => n + block.length, 0));
        let at = 0;
        for (const block of blocks) {
            samples.set(block, at);
            at += block.length;
        }
        return { samples: [...new Uint8Array(samples.buffer)], events };
    });
    const lines = record.events.filter((event) => event.message !== undefined).map((event) =>
        `${event.frame} ${event.message & 0xff} ${(event.message >> 8) & 0xff} ${event.message >> 16}`);
    const eventsPath = join(folder, `played-${lines.length}.txt`);
    writeFileSync(eventsPath, `${lines.join('\n')}\n`);
    return { samples: Buffer.from(record.samples), eventsPath, lines };
}

function assertHeardAsRendered({ samples, eventsPath, lines }, what, options = []) {
    const expected = render(['--events', eventsPath, '--length', String(samples.length / 4),
                             ...options]);
    assert.ok(expected.some((byte) => byte !== 0), `${what}: the phrase makes a sound`);
    assert.ok(samples.equals(expected), `${what}: heard as vireon-render renders ${lines.join('; ')}`);
}

// Five MIDI messages handed over at once, as a MIDI driver hands over what it gathered: one
// stamped long ago, then a short phrase stamped a few milliseconds apart. Gives their stamps,
// the frames the context's clock gives those and what the page waits after them.
const kLate = [0xb0, 1, 0];
const kPhrase = [[[0x90, 67, 90], 5.9], [[0x80, 67, 0], 4.3], [[0x90, 69, 90], 2.2],
                 [[0x80, 69, 0], 0.4]];
async function sendTimedMidi(page) {
    return page.evaluate((late, phrase) => {
        const { context, delayFrames } = document.vireonSound;
        const now = performance.now();
        testMidi(late, now - 300);
        const stamps = phrase.map(([bytes, before]) => {
            testMidi(bytes, now - before);
            return now - before;
        });
        const { contextTime, performanceTime } = context.getOutputTimestamp();
        const ahead = context.baseLatency + (context.outputLatency || 0);
        const frames = stamps.map((stamp) =>
            (contextTime + ahead + (stamp - performanceTime) / 1000) * context.sampleRate);
        return { frames, delayFrames, ahead, rate: context.sampleRate };
    }, kLate, kPhrase);
}

// The phrase plays at its stamps' frames plus the delay, to within a frame; the message
// stamped long ago plays as soon as it came, and is counted as late.
async function assertPlayedOnTime(page, { frames, delayFrames, ahead, rate }) {
    const { events, arrivals, origin, late } = await page.evaluate(() => ({
        ...document.vireonSound.record, late: document.vireonSound.late }));
    assert.equal(late, 1, 'only the message stamped long ago came late');
    const lateAt = events.findIndex((event) => event.message === (kLate[0] | kLate[1] << 8));
    assert.equal(events[lateAt].frame, arrivals.at(-kPhrase.length - 1).frame,
                 'the late message plays as soon as it came');
    const played = events.slice(lateAt + 1, lateAt + 1 + kPhrase.length);
    assert.equal(played.length, kPhrase.length);
    const errors = played.map((event, i) => event.frame + origin - (frames[i] + delayFrames));
    for (const [i, error] of errors.entries()) {
        assert.ok(Math.abs(error) <= 1, `message ${i + 1} of the phrase plays ${error} frames ` +
                                        'from its time stamp plus the delay');
    }
    const jitter = Math.max(...errors) - Math.min(...errors);
    const spare = Math.min(...arrivals.slice(-kPhrase.length).map(
        (arrival) => arrival.at - origin - arrival.frame));
    const ms = (frames) => (1000 * frames / rate).toFixed(1);
    console.log(`Timed MIDI: played ${delayFrames} frames (${ms(delayFrames)} ms) after the ` +
                `frame rendered at its time stamp, heard ${ms(delayFrames + ahead * rate)} ms ` +
                `after it with the browser's latency; jitter ${jitter.toFixed(1)} frames ` +
                `(${(1000 * jitter / rate).toFixed(2)} ms); arrived at least ${spare} frames (${ms(spare)} ms) early.`);
}

async function renderedInPage(page, file) {
    await page.$eval('#render', (details) => (details.open = true));
    const chooser = await page.$('#render-file');
    await chooser.uploadFile(file);
    await page.click('#render-start');
    await page.waitForFunction(() => !document.querySelector('#render-link').hidden ||
                                     document.querySelector('#render-start').disabled === false &&
                                     document.querySelector('#render-message').textContent.endsWith('.'));
    const bytes = await page.evaluate(async () => {
        const link = document.querySelector('#render-link');
        if (link.hidden) throw new Error(document.querySelector('#render-message').textContent);
        return [...new Uint8Array(await (await fetch(link.href)).arrayBuffer())];
    });
    return Buffer.from(bytes);
}

// The WAV files equal but for PEAK's time stamp (bytes 60 to 63), which is the time of writing.
function assertSameWav(inPage, args, what) {
    const wavPath = join(folder, 'expected.wav');
    execFileSync(renderer, [...args, '-o', wavPath]);
    const expected = readFileSync(wavPath);
    assert.equal(inPage.length, expected.length, `${what}: the length of the WAV file`);
    for (const wav of [inPage, expected]) wav.fill(0, 60, 64);
    assert.ok(inPage.equals(expected), `${what}: the WAV file vireon-render writes`);
}

const server = await serve(join(build, 'web'));
const origin = `http://127.0.0.1:${server.address().port}/`;
const browser = await puppeteer.launch({
    executablePath: process.env.VIREON_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
});
try {
    const { page, problems } = await openPage(browser, origin, midiInput);
    const ready = await page.evaluate(() => globalThis.vireonReady);
    console.log(`From page load to ready to play: ${Math.round(ready)} ms.`);
    assert.equal(await text(page, '#midi-status'), 'MIDI IN');
    assert.ok((await text(page, '#midi-input')).includes('Test keyboard'));

    // The mouse on A4 (the tenth key from C4) starts the sound and plays; then Z and MIDI.
    const keys = await page.$$('#keys .key');
    // Below the controls, which may reach past the first screen.
    await keys[9].scrollIntoView();
    const box = await keys[9].boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height - 10);
    await page.mouse.down();
    await page.waitForFunction(() => document.querySelector('#note-status').textContent === 'On');
    await pause(200);
    await page.mouse.up();
    await pause(100);
    await page.keyboard.down('z');
    await pause(200);
    await page.keyboard.up('z');
    await page.evaluate(() => testMidi([0x90, 64, 100]));
    await pause(150);
    await page.evaluate(() => testMidi([0xb0, 1, 64]));
    await pause(150);
    await page.evaluate(() => testMidi([0x80, 64, 0]));
    await page.waitForFunction(() => document.querySelector('#note-status').textContent === 'Off');
    const timed = await sendTimedMidi(page);
    const heard = await played(page);
    assert.equal(heard.lines.length, 12, 'mouse, key and MIDI: twelve messages');
    assertHeardAsRendered(heard, 'mouse, computer key and MIDI');
    await assertPlayedOnTime(page, timed);

    // Offline: the demo phrase with Havoc a step up, and a MIDI file.
    await page.focus('#control-havoc');
    await page.keyboard.press('ArrowUp');
    const demo = join(source, 'share', 'demo-phrase.txt');
    assertSameWav(await renderedInPage(page, demo), ['--events', demo, '--havoc', '46'], 'demo');
    const midiFile = join(source, 'tests', 'tools', 'two-tracks.mid');
    await page.select('#render-rate', '48000');
    assertSameWav(await renderedInPage(page, midiFile),
                  ['--midi', midiFile, '--havoc', '46', '--rate', '48000'], 'MIDI file at 48000 Hz');
    // The playing controls, from the same table: a list of names and a slider.
    await page.select('#control-priority', '1');
    await page.focus('#control-fade');
    await page.keyboard.press('ArrowDown');
    assertSameWav(await renderedInPage(page, demo),
                  ['--events', demo, '--havoc', '46', '--priority', 'last-held', '--fade', '999',
                   '--rate', '48000'], 'demo with playing controls');
    await page.select('#control-priority', '0');
    await page.focus('#control-fade');
    await page.keyboard.press('ArrowUp');
    await page.screenshot({ path: join(build, 'web-page.png'), fullPage: true });
    assert.deepEqual(problems, [], 'no console errors');

    // MIDI refused: the page says so, and the keyboard still plays, with the Havoc kept from
    // the first visit.
    const refused = await openPage(browser, origin, midiRefused);
    assert.equal(await refused.page.$eval('#control-havoc', (input) => input.value), '46');
    assert.equal(await text(refused.page, '#midi-status'), 'No MIDI IN');
    assert.match(await text(refused.page, '#midi-problem'), /MIDI input is not available/);
    await refused.page.keyboard.down('q');
    await refused.page.waitForFunction(() => document.querySelector('#note-status').textContent === 'On');
    await pause(100);
    await refused.page.keyboard.up('q');
    assertHeardAsRendered(await played(refused.page), 'without MIDI', ['--havoc', '46']);
    assert.deepEqual(refused.problems, [], 'no console errors without MIDI');

    // A factory sound chosen on a first visit, then a note: vireon-render --sound. Metal Pluck
    // keeps Havoc at its start-up position, whose exact start-up value it must leave alone.
    const fresh = await openPage(await browser.createBrowserContext(), origin, midiRefused);
    await fresh.page.select('#sound', 'Metal Pluck');
    assert.equal(await fresh.page.$eval('#control-decay', (input) => input.value), '400');
    await fresh.page.$eval('#sound', (select) => select.blur());
    await fresh.page.keyboard.down('q');
    await fresh.page.waitForFunction(
        () => document.querySelector('#note-status').textContent === 'On');
    await pause(100);
    await fresh.page.keyboard.up('q');
    assertHeardAsRendered(await played(fresh.page), 'Metal Pluck', ['--sound', 'Metal Pluck']);
    await fresh.page.reload({ waitUntil: 'load' });
    await fresh.page.waitForFunction(() => globalThis.vireonReady !== undefined);
    assert.equal(await fresh.page.$eval('#sound', (select) => select.value), 'Metal Pluck');
    assert.deepEqual(fresh.problems, [], 'no console errors with a factory sound');
    console.log('The page plays and renders as vireon-render does.');
} finally {
    await browser.close();
    server.close();
}
