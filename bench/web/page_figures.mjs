// The page's figures in headless Chromium: what a browser transfers to load
// it (each file gzipped, as a web server sends it), its first paint, and the
// time of one exchange between the WebAssembly core and the surface through
// WebHID (the stand-in's simulated surface, which answers in the next task),
// taken from whole updates of the example file. Prints JSON.
//
//   node bench/web/page_figures.mjs BUILD_WEB_DIR [RUNS]
import { readFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { fileURLToPath } from 'node:url';

const source = join(fileURLToPath(import.meta.url), '..', '..', '..');
const build = process.argv[2] || join(source, 'build', 'test', 'web');
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
const total = Object.values(sizes).reduce((sum, s) => ({ bytes: sum.bytes + s.bytes, gzip: sum.gzip + s.gzip }), { bytes: 0, gzip: 0 });

const server = await serve({ site, standin: join(build, 'sim') });
const browser = await chromium.launch({ executablePath: process.env.VIREON_CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
const paints = [];
const exchanges = [];
for (let run = 0; run < runs; ++run) {
  // First paint of the page as shipped (no stand-in), a fresh context each time.
  const plain = await serve({ site });
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(plain.url);
  await page.waitForFunction(() => performance.getEntriesByName('first-paint').length > 0);
  paints.push(await page.evaluate(() => performance.getEntriesByName('first-paint')[0].startTime));
  await context.close();
  await plain.close();

  // An update: each stage's time over its requests.
  const updating = await browser.newContext();
  const tab = await updating.newPage();
  await tab.goto(`${server.url}?serial=0042`);
  await tab.waitForSelector('body[data-ready=true]');
  await tab.click('#choose-surface');
  await tab.waitForFunction(() => document.getElementById('presence').textContent.startsWith('Connected'));
  await tab.setInputFiles('#file', example);
  await tab.waitForFunction(() => !document.getElementById('update').disabled);
  await tab.evaluate(() => {
    const marks = [];
    window.stageMarks = marks;
    new MutationObserver(() => {
      const text = document.getElementById('stage-line').textContent;
      const image = /^Image (\d): row (\d+) of (\d+)$/.exec(text);
      if (image) marks.push({ image: Number(image[1]), row: Number(image[2]), at: performance.now() });
    }).observe(document.getElementById('stage-line'), { childList: true, characterData: true, subtree: true });
  });
  await tab.click('#update');
  await tab.waitForSelector('#outcome:not([hidden])', { timeout: 120000 });
  const marks = await tab.evaluate(() => window.stageMarks);
  const requests = await tab.evaluate(() => [vireonSim.requestsTo(1), vireonSim.requestsTo(2)]);
  for (const image of [1, 2]) {
    // From the first row reported to the last: rows' exchanges only.
    const rows = marks.filter((m) => m.image === image && m.row > 0);
    const first = rows[0];
    const last = rows[rows.length - 1];
    const perRow = requests[image - 1] / 32; // the example's 32 rows; the rest is a few exchanges
    exchanges.push(((last.at - first.at) * 1000) / ((last.row - first.row) * perRow));
  }
  await updating.close();
}
await browser.close();
await server.close();

console.log(JSON.stringify({
  files: sizes,
  total,
  firstPaintMs: median(paints),
  exchangeUs: median(exchanges),
  runs,
}, null, 2));
