// Serves the page on this computer's loopback address, as any static host
// would (with the page's Content-Security-Policy as a header too). With a
// stand-in folder, the page is served with the simulated surface behind a
// stand-in for navigator.hid, loaded before the page's own script: the demo
// and the tests.
//
//   node web/serve.mjs SITE [--standin SIMDIR] [--port N]
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.css': 'text/css; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8', '.wasm': 'application/wasm', '.txt': 'text/plain; charset=utf-8',
  '.json': 'application/json', '.svg': 'image/svg+xml',
};

// The policy the page's own meta element states, and what a header alone
// can add.
export const POLICY = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; img-src 'self'; " +
  "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

const STANDIN_TAG = '<script src="/sim/standin.js"></script>';

function within(root, path) {
  const full = normalize(join(root, path));
  return full.startsWith(normalize(root)) ? full : null;
}

// Starts the server; resolves to { url, close }. `overrides` maps a path
// to the text served in place of the file (the tests' trusted keys).
export function serve({ site, standin = null, port = 0, host = '127.0.0.1', overrides = new Map() }) {
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://host').pathname);
    if (overrides.has(path)) {
      response.writeHead(200, { 'Content-Type': TYPES[extname(path)] || 'text/plain', 'Cache-Control': 'no-store' });
      response.end(overrides.get(path));
      return;
    }
    const fromStandin = standin && path.startsWith('/sim/');
    const file = fromStandin ? within(standin, path.slice('/sim/'.length))
      : within(site, path === '/' ? 'index.html' : path);
    try {
      if (!file) throw new Error('outside');
      let body = await readFile(file);
      if (standin && file.endsWith('.html')) {
        // The stand-in runs before the page's script (a module, deferred).
        const page = body.toString('utf8');
        body = Buffer.from(page.replace('<script type="module"', `${STANDIN_TAG}\n<script type="module"`));
      }
      response.writeHead(200, {
        'Content-Type': TYPES[extname(file)] || 'application/octet-stream',
        'Content-Security-Policy': POLICY,
        'Cache-Control': 'no-store',
      });
      response.end(body);
    } catch {
      response.writeHead(404, { 'Content-Type': 'text/plain' });
      response.end('not found\n');
    }
  });
  return new Promise((resolve) => {
    server.listen(port, host, () => {
      const address = server.address();
      resolve({ url: `http://${host}:${address.port}/`, close: () => new Promise((done) => server.close(done)) });
    });
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const option = (name) => {
    const at = args.indexOf(name);
    return at >= 0 ? args[at + 1] : null;
  };
  const { url } = await serve({ site: args[0], standin: option('--standin'), port: Number(option('--port') || 0) });
  console.log(url);
}
