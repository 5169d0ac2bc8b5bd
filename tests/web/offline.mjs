// SPDX-License-Identifier: GPL-3.0-or-later
// The page as an app, in Debian's headless chromium: installable, with icons as its manifest
// names them; once visited it starts and plays with the network and the server gone; and a new
// build's files replace the kept ones at the next visit. Serves a copy of build/web, which it
// changes as a new build would.
// node offline.mjs BUILD_DIR SOURCE_DIR CMAKE
import { execFileSync } from 'node:child_process';
import { appendFileSync, cpSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { strict as assert } from 'node:assert';
import puppeteer from 'puppeteer-core';

const [build, source, cmake] = process.argv.slice(2);
const { serve } = await import(pathToFileURL(join(resolve(source), 'web', 'serve.mjs')));
const folder = mkdtempSync(join(tmpdir(), 'vireon-app-'));
const web = join(folder, 'web');
cpSync(join(build, 'web'), web, { recursive: true });
const worker = join(web, 'service-worker.js');
const version = () => readFileSync(worker, 'utf8').match(/kVersion = '(\w+)'/)[1];

let server = await serve(web);
const port = server.address().port;
const origin = `http://127.0.0.1:${port}/`;
const browser = await puppeteer.launch({
    executablePath: process.env.VIREON_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
});
try {
    const page = await browser.newPage();
    const problems = [];
    page.on('console', (message) => message.type() === 'error' && problems.push(message.text()));
    page.on('pageerror', (error) => problems.push(error.message));
    await page.evaluateOnNewDocument(() => {
        globalThis.vireonRecord = true;
        navigator.requestMIDIAccess = async () => {
            throw new DOMException('No MIDI system.', 'InvalidStateError');
        };
    });
    await page.goto(origin, { waitUntil: 'load' });
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
    assert.deepEqual(await page.evaluate(() => caches.keys()), [`vireon ${origin} ${version()}`], 'this build\'s cache alone');

    const cdp = await page.createCDPSession();
    const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors, [], 'chromium would install the page');
    const icons = await page.evaluate(async () => {
        const { icons } = await (await fetch('manifest.webmanifest')).json();
        return Promise.all(icons.map(async ({ src, sizes }) => {
            const bitmap = await createImageBitmap(await (await fetch(src)).blob());
            return [sizes, `${bitmap.width}x${bitmap.height}`];
        }));
    });
    for (const [sizes, drawn] of icons) assert.equal(drawn, sizes, 'an icon as large as named');
    assert.ok(['192x192', '512x512'].every((size) => icons.some(([sizes]) => sizes === size)));
    const served = readdirSync(web).filter((name) => name !== 'service-worker.js');
    const missing = await page.evaluate(async (names) =>
        (await Promise.all(names.map(async (name) => (await caches.match(name)) ? null : name)))
            .filter((name) => name), served);
    assert.deepEqual(missing, [], 'every served file kept');

    // Offline, and the server gone: the page still starts, and a note sounds.
    await page.setOfflineMode(true);
    server.closeAllConnections();
    server.close();
    const offline = await page.reload({ waitUntil: 'load' });
    assert.ok(offline.fromServiceWorker(), 'offline, the page comes from the service worker');
    await page.waitForFunction(() => globalThis.vireonReady !== undefined);
    await page.keyboard.down('q');
    await page.waitForFunction(() => document.querySelector('#note-status').textContent === 'On');
    await new Promise((done) => setTimeout(done, 200));
    await page.keyboard.up('q');
    const loudest = await page.evaluate(() => Math.max(
        ...document.vireonSound.record.blocks.map((block) => Math.max(...block.map(Math.abs)))));
    assert.ok(loudest > 0.01, `offline, a note sounds (loudest sample ${loudest})`);

    // A new build, its service worker written as the build writes it: at the next visit its
    // files replace the kept ones, whose cache is deleted.
    const writeWorker = () => execFileSync(cmake, [
        `-DFOLDER=${web}`, `-DFILES=${served.join(',')}`,
        `-DTEMPLATE=${join(source, 'web', 'page', 'service-worker.js.in')}`,
        `-DOUTPUT=${worker}`, '-P', join(source, 'web', 'ServiceWorker.cmake')]);
    const built = version();
    writeWorker();
    assert.equal(version(), built, 'the build\'s version is made of every served file');
    appendFileSync(join(web, 'style.css'), '/* a new build */\n');
    writeWorker();
    assert.notEqual(version(), built, 'a changed file renames the cache');
    server = await serve(web, port);
    await page.setOfflineMode(false);
    await page.reload({ waitUntil: 'load' });
    await page.waitForFunction(async (name) => (await caches.keys()).join() === name,
                               {}, `vireon ${origin} ${version()}`);
    const style = await page.evaluate(async () => (await caches.match('style.css')).text());
    assert.ok(style.endsWith('/* a new build */\n'), 'the new build\'s files kept');
    assert.deepEqual(problems, [], 'no console errors');
    console.log('The page installs, plays offline and takes a new build at the next visit.');
} finally {
    await browser.close();
    server.close();
    rmSync(folder, { recursive: true });
}
