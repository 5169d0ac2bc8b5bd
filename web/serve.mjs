// SPDX-License-Identifier: GPL-3.0-or-later
// A static file server for the page on this computer only: node serve.mjs FOLDER [PORT].
// Port 0 (the default) takes a free one. Prints the address once it listens.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';

const kTypes = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.wasm': 'application/wasm',
    '.webmanifest': 'application/manifest+json',
    '.png': 'image/png',
    '.mid': 'audio/midi',
    '.txt': 'text/plain; charset=utf-8',
};

export function serve(folder, port = 0, host = '127.0.0.1') {
    const root = resolve(folder);
    const server = createServer(async (request, response) => {
        let path;
        try {
            path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
        } catch {
            response.writeHead(400).end('Bad request');
            return;
        }
        if (path.endsWith('/')) path += 'index.html';
        const file = normalize(join(root, path));
        // Nothing outside the folder, whatever the request says.
        if (file !== root && !file.startsWith(root + sep)) {
            response.writeHead(403).end('Forbidden');
            return;
        }
        try {
            const body = await readFile(file);
            response.writeHead(200, {
                'Content-Type': kTypes[extname(file)] ?? 'application/octet-stream',
                'Cache-Control': 'no-cache',
            });
            response.end(request.method === 'HEAD' ? undefined : body);
        } catch {
            response.writeHead(404).end('Not found');
        }
    });
    return new Promise((resolveListening, reject) => {
        server.once('error', reject);
        server.listen(port, host, () => resolveListening(server));
    });
}

if (import.meta.url === `file://${process.argv[1]}`) {
    const [folder, port] = process.argv.slice(2);
    if (!folder) {
        console.error('Usage: node serve.mjs FOLDER [PORT]');
        process.exit(2);
    }
    serve(folder, Number(port ?? 0)).then((server) => {
        console.log(`Vireon: http://127.0.0.1:${server.address().port}/`);
    }, (error) => {
        console.error(`Could not serve ${folder}: ${error.message}. Give another port.`);
        process.exit(2);
    });
}
