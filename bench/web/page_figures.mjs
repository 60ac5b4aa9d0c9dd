// The page's figures in headless Chromium: what a browser transfers to load
// it (each file gzipped, as a web server sends it), its first paint, and the
// time of one exchange between WebAssembly and the surface through WebHID
// (the stand-in's simulated surface, which answers in the next task): the
// benchmark module's enter-bootloader exchanges through the HID transport
// (as the desktop's BM_Exchange), the same exchange sent by JavaScript
// straight to the stand-in (its own share), and the average exchange of
// whole updates of the example file (each stage's time in the page's log
// over the requests its chip received, the page's rendering included).
// Prints JSON.
//
//   node bench/web/page_figures.mjs BUILD_DIR [RUNS] [DESKTOP_EXCHANGE_NS]
// (with the desktop host's exchange in ns: a table beside it instead)
import { mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { fileURLToPath } from 'node:url';

const source = join(fileURLToPath(import.meta.url), '..', '..', '..');
const top = process.argv[2] || join(source, 'build', 'release');
const build = join(top, 'web');
const benchDir = join(top, 'bench', 'web');
const runs = Number(process.argv[3] || 5);
const { chromium } = await import(join(source, 'node_modules', 'playwright-core', 'index.mjs'));
const { serve } = await import(join(source, 'web', 'serve.mjs'));
const example = join(source, 'examples', 'vireon-surface-demo.cyacd');

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// The page's own files, as served.
const site = join(build, 'site');
const sizes = {};
for (const file of readdirSync(site)) {
  const bytes = readFileSync(join(site, file));
  sizes[file] = { bytes: bytes.length, gzip: gzipSync(bytes, { level: 9 }).length };
}
// libsodium's build loads only when a signature is to be checked.
const onDemand = (file) => file.startsWith('sodium');
const add = (files) => files.reduce(
  (sum, file) => ({ bytes: sum.bytes + sizes[file].bytes, gzip: sum.gzip + sizes[file].gzip }), { bytes: 0, gzip: 0 });
const total = add(Object.keys(sizes).filter((file) => !onDemand(file)));
const signatureTotal = add(Object.keys(sizes).filter(onDemand));

const server = await serve({ site, standin: join(build, 'sim') });
const executablePath = process.env.VIREON_CHROMIUM || '/usr/bin/chromium';
const browser = await chromium.launch({ executablePath, args: ['--no-sandbox'] });
// The floor any page pays: one line of text, served the same way.
const bareSite = mkdtempSync(join(tmpdir(), 'vireon-bare-page-'));
writeFileSync(join(bareSite, 'index.html'),
  '<!doctype html><html lang="en"><title>bare</title><p>Vireon Surface</p></html>\n');
const firstPaint = async (url) => {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForFunction(() => performance.getEntriesByName('first-paint').length > 0);
  const at = await page.evaluate(() => performance.getEntriesByName('first-paint')[0].startTime);
  await context.close();
  return at;
};
const barePaints = [];
const paints = [];
const exchanges = [];
const pagePath = [];
const standinAlone = [];
const benchServer = await serve({ site: benchDir, standin: join(build, 'sim') });
for (let run = 0; run < runs; ++run) {
  // First paint of the page as shipped (no stand-in) and of the bare page,
  // in turns, a fresh context each time.
  const plain = await serve({ site });
  const bare = await serve({ site: bareSite });
  paints.push(await firstPaint(plain.url));
  barePaints.push(await firstPaint(bare.url));
  await plain.close();
  await bare.close();

  // An update: each stage's time over its requests.
  const updating = await browser.newContext();
  const tab = await updating.newPage();
  await tab.goto(`${server.url}?serial=0042`);
  await tab.waitForSelector('body[data-ready=true]');
  await tab.click('#choose-surface');
  await tab.waitForFunction(() => document.getElementById('presence').textContent.startsWith('Connected'));
  await tab.setInputFiles('#file', example);
  await tab.waitForFunction(() => !document.getElementById('update').disabled);
  await tab.click('#update');
  await tab.waitForSelector('#outcome:not([hidden])', { timeout: 120000 });
  // Each stage from the log: from its start to its end, over the requests
  // its chip received.
  const log = (await tab.textContent('#log')).split('\n');
  const requests = await tab.evaluate(() => [vireonSim.requestsTo(1), vireonSim.requestsTo(2)]);
  const at = (prefix) => {
    const line = log.find((l) => l.slice(24).startsWith(prefix));
    return Date.parse(line.slice(0, 23).replace(' ', 'T'));
  };
  for (const image of [1, 2]) {
    const took = at(`image ${image} programmed and verified`) - at(`Image ${image}: on `);
    exchanges.push((took * 1000) / requests[image - 1]);
  }
  await updating.close();

  // One exchange, 2000 times: through the page's path, then JavaScript alone.
  const benching = await browser.newContext();
  const bench = await benching.newPage();
  await bench.goto(`${benchServer.url}exchange.html?serial=0042`);
  await bench.waitForSelector('body[data-ready=true]');
  await bench.click('#choose');
  await bench.waitForFunction(async () => (await navigator.hid.getDevices()).length > 0);
  pagePath.push(await bench.evaluate(() => window.benchPage(2000)));
  standinAlone.push(await bench.evaluate(() => window.benchStandin(2000)));
  await benching.close();
}
await benchServer.close();
await browser.close();
await server.close();

const figures = {
  files: sizes,
  total,
  signatureTotal,
  firstPaintMs: median(paints),
  bareFirstPaintMs: median(barePaints),
  exchangeUs: median(pagePath),
  standinUs: median(standinAlone),
  updateExchangeUs: median(exchanges),
  runs,
};
const desktopNs = Number(process.argv[4] || 0);
if (!desktopNs) {
  console.log(JSON.stringify(figures, null, 2));
} else {
  // As a table beside the desktop host's exchange (bench_simbus BM_Exchange).
  const size = (name, s) => `${name.padEnd(18)} ${String(s.bytes).padStart(8)} B  gzip ${String(s.gzip).padStart(7)} B`;
  const us = (value) => `${value.toFixed(1)} us`;
  const desktopUs = desktopNs / 1000;
  for (const [file, s] of Object.entries(sizes)) console.log(size(file, s));
  console.log(size('page at load', total));
  console.log(`${size('+ for signatures', signatureTotal)} (libsodium, loaded when a signature is checked)`);
  console.log(`first paint           ${figures.firstPaintMs.toFixed(1)} ms (median of ${runs}); a bare one-line page ` +
    `${figures.bareFirstPaintMs.toFixed(1)} ms, ratio ${(figures.firstPaintMs / figures.bareFirstPaintMs).toFixed(2)}`);
  console.log(`one exchange, page    ${us(figures.exchangeUs)} (HID transport in WebAssembly, WebHID, stand-in)`);
  console.log(`  of which stand-in   ${us(figures.standinUs)} (the same exchange from JavaScript, straight to it)`);
  console.log(`  page path alone     ${us(figures.exchangeUs - figures.standinUs)}`);
  console.log(`one exchange, desktop ${us(desktopUs)} (HID transport, simulated bus)`);
  console.log(`ratio page/desktop    ${(figures.exchangeUs / desktopUs).toFixed(1)}`);
  console.log(`in whole updates      ${us(figures.updateExchangeUs)} per exchange (rendering included)`);
}
