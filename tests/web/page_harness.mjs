// The page in a real browser for the tests: Debian's Chromium, headless,
// driven by playwright-core, the page served from this computer with the
// simulated surface behind the stand-in for navigator.hid. A test that
// lacks Chromium or the npm packages exits 77, ctest's skip.
import { existsSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

export const SOURCE = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
export const BUILD = process.env.VIREON_WEB_BUILD || join(SOURCE, 'build', 'test', 'web');
export const CHROMIUM = process.env.VIREON_CHROMIUM || '/usr/bin/chromium';
export const EXAMPLE = join(SOURCE, 'examples', 'vireon-surface-demo.cyacd');

const playwright = join(SOURCE, 'node_modules', 'playwright-core', 'index.mjs');
if (!existsSync(CHROMIUM) || !existsSync(playwright) || !existsSync(join(BUILD, 'site', 'updater.wasm'))) {
  console.log(`skipped: needs ${CHROMIUM}, npm ci and the built page in ${BUILD}`);
  process.exit(77);
}
const { chromium } = await import(playwright);
const { serve } = await import(join(SOURCE, 'web', 'serve.mjs'));

// The desktop tests' shorter limits: a silent surface costs 0.3 s, one that
// stays on the bus after its exit command 1 s.
export const TEST_LIMITS = { readLimitMs: 300, restartAllowanceMs: 1000 };

export class Harness {
  static async start() {
    const harness = new Harness();
    harness.overrides = new Map();
    const { overrides } = harness;
    harness.server = await serve({ site: join(BUILD, 'site'), standin: join(BUILD, 'sim'), overrides });
    harness.browser = await chromium.launch({ executablePath: CHROMIUM, args: ['--no-sandbox'] });
    return harness;
  }

  // The keys the page trusts and its requirement, in place of those built
  // into it: { requireSignature, keys: [{ name, text }] }; null: the built ones.
  trust(trusted) {
    if (trusted) this.overrides.set('/trusted-keys.json', JSON.stringify(trusted));
    else this.overrides.delete('/trusted-keys.json');
  }

  async stop() {
    await this.browser.close();
    await this.server.close();
  }

  // The page with the simulated surface set up by `query` (the stand-in's
  // options); `problems` collects what the console and the page report as
  // errors (a refused script, a failed load, an exception).
  async open(query = '', { limits = TEST_LIMITS, context = {}, onRequest = null } = {}) {
    const browserContext = await this.browser.newContext({ acceptDownloads: true, ...context });
    const page = await browserContext.newPage();
    if (onRequest) page.on('request', (request) => onRequest(request.url()));
    const problems = [];
    page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
    page.on('pageerror', (error) => problems.push(error.message));
    if (limits) await page.addInitScript((l) => { globalThis.vireonTestLimits = l; }, limits);
    await page.goto(`${this.server.url}${query ? `?${query}` : ''}`);
    await page.waitForSelector('body[data-ready=true]');
    return new PageUnderTest(page, browserContext, problems);
  }
}

export class PageUnderTest {
  constructor(page, context, problems) {
    this.page = page;
    this.context = context;
    this.problems = problems;
  }

  async close() { await this.context.close(); }

  text(selector) { return this.page.textContent(selector); }

  async chooseSurface() {
    await this.page.click('#choose-surface');
    await this.page.waitForFunction(() => document.getElementById('presence').textContent.startsWith('Connected'));
  }

  // Chooses the files and waits for the page's check of them.
  async chooseFile(...paths) {
    const checks = await this.page.$eval('#file-state', (e) => Number(e.dataset.checks || 0));
    await this.page.setInputFiles('#file', paths);
    await this.page.waitForFunction(
      (before) => Number(document.getElementById('file-state').dataset.checks || 0) > before, checks);
  }

  // Presses UPDATE and waits for the outcome: { message, fix, success }.
  async update() {
    await this.page.click('#update');
    return this.outcome();
  }

  async outcome() {
    await this.page.waitForSelector('#outcome:not([hidden])', { timeout: 120000 });
    await this.page.waitForFunction(() => !document.getElementById('choose-surface').disabled);
    return {
      message: await this.text('#outcome-message'),
      fix: await this.text('#outcome-fix'),
      success: await this.page.$eval('#outcome', (e) => e.classList.contains('succeeded')),
    };
  }

  // The log as the user saves it, through the browser's download.
  async savedLog() {
    const [download] = await Promise.all([this.page.waitForEvent('download'), this.page.click('#save-log')]);
    if (download.suggestedFilename() !== 'log.txt') throw new Error(`saved as ${download.suggestedFilename()}`);
    return (await readFile(await download.path(), 'utf8')).split('\n').filter(Boolean).map((line) => line.slice(24));
  }

  sim(expression, ...args) { return this.page.evaluate(expression, ...args); }
}
