// Pictures of the page at each step of an update, on the simulated
// surface, for the README: docs/web-ready.png, web-image1.png,
// web-rechoose.png, web-done.png and web-failed.png.
//
//   node web/pictures.mjs BUILD_WEB_DIR [OUT_DIR]
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { serve } from './serve.mjs';

const source = join(fileURLToPath(import.meta.url), '..', '..');
const build = process.argv[2] || join(source, 'build', 'test', 'web');
const out = process.argv[3] || join(source, 'docs');
const { chromium } = await import(join(source, 'node_modules', 'playwright-core', 'index.mjs'));
const example = join(source, 'examples', 'vireon-surface-demo.cyacd');

const server = await serve({ site: join(build, 'site'), standin: join(build, 'sim') });
const executablePath = process.env.VIREON_CHROMIUM || '/usr/bin/chromium';
const browser = await chromium.launch({ executablePath, args: ['--no-sandbox'] });

async function ready(query) {
  const page = await browser.newPage({ viewport: { width: 760, height: 980 } });
  await page.goto(`${server.url}?${query}`);
  await page.waitForSelector('body[data-ready=true]');
  await page.click('#choose-surface');
  await page.waitForFunction(() => document.getElementById('presence').textContent.startsWith('Connected'));
  await page.setInputFiles('#file', example);
  await page.waitForFunction(() => !document.getElementById('update').disabled);
  return page;
}
const picture = (page, name) => page.screenshot({ path: join(out, `web-${name}.png`) });

const forgetting = await ready('');
await forgetting.focus('#update');
await picture(forgetting, 'ready');
await forgetting.click('#update');
await forgetting.waitForFunction(() => /^Image 1: row 1[0-9] of 32$/.test(
  document.getElementById('stage-line').textContent));
await picture(forgetting, 'image1');
await forgetting.waitForSelector('#rechoose:not([hidden])');
await picture(forgetting, 'rechoose');
await forgetting.click('#rechoose-button');
await forgetting.waitForSelector('#outcome:not([hidden])', { timeout: 120000 });
await forgetting.waitForFunction(() => !document.getElementById('choose-surface').disabled);
await picture(forgetting, 'done');

const failing = await ready('serial=0042&fault=cut:2:8');
await failing.click('#update');
await failing.waitForSelector('#outcome:not([hidden])', { timeout: 120000 });
await failing.waitForFunction(() => !document.getElementById('choose-surface').disabled);
await picture(failing, 'failed');

await browser.close();
await server.close();
