// The page with the keyboard alone, and as axe-core finds it: Tab reaches
// every control in the order the user needs them, Space and Enter press
// them, and the focused control shows it.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { join } from 'node:path';

import { EXAMPLE, Harness, SOURCE } from './page_harness.mjs';

let harness;
before(async () => { harness = await Harness.start(); });
after(async () => { await harness.stop(); });

const focused = (page) => page.page.evaluate(() => document.activeElement.id);

test('Tab, Space and Enter choose the surface and the file and run an update', async () => {
  const page = await harness.open('serial=0042');
  const keys = page.page.keyboard;
  await keys.press('Tab');
  assert.equal(await focused(page), 'choose-surface');
  await keys.press('Space');
  await page.page.waitForFunction(() => document.getElementById('presence').textContent.startsWith('Connected'));
  await keys.press('Tab');
  assert.equal(await focused(page), 'file');
  const [chooser] = await Promise.all([page.page.waitForEvent('filechooser'), keys.press('Space')]);
  await chooser.setFiles(EXAMPLE);
  await page.page.waitForFunction(() => !document.getElementById('update').disabled);
  await keys.press('Tab');
  assert.equal(await focused(page), 'update');
  const outline = await page.page.$eval('#update', (e) => getComputedStyle(e).outlineStyle);
  assert.notEqual(outline, 'none', 'the focused button shows its focus');
  await keys.press('Enter');
  const outcome = await page.outcome();
  assert.equal(outcome.success, true, outcome.message);
  assert.deepEqual(await page.sim(() => [vireonSim.holdsImage(1), vireonSim.holdsImage(2)]), [true, true]);
  await keys.press('Tab');
  assert.equal(await focused(page), 'log');
  await keys.press('Tab');
  assert.equal(await focused(page), 'save-log');
  await page.close();
});

// axe-core is injected as a script of its own, which the page's policy
// refuses: this check alone runs with the policy lifted.
async function violations(page) {
  await page.page.addScriptTag({ path: join(SOURCE, 'node_modules', 'axe-core', 'axe.min.js') });
  const result = await page.page.evaluate(() => axe.run(document));
  return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
}

test('axe-core finds no violation before an update, after a failed one, at the prompt to choose again', async () => {
  const page = await harness.open('fault=cut:1:3', { context: { bypassCSP: true } });
  assert.deepEqual(await violations(page), []);
  await page.chooseSurface();
  await page.chooseFile(EXAMPLE);
  const outcome = await page.update();
  assert.equal(outcome.success, false);
  assert.deepEqual(await violations(page), []);
  await page.close();
  const forgetting = await harness.open('', { context: { bypassCSP: true } });
  await forgetting.chooseSurface();
  await forgetting.chooseFile(EXAMPLE);
  await forgetting.page.click('#update');
  await forgetting.page.waitForSelector('#rechoose:not([hidden])', { timeout: 30000 });
  assert.deepEqual(await violations(forgetting), []);
  await forgetting.close();
});

test('the page loads only from its own origin and runs under its own policy without a refusal', async () => {
  const requests = [];
  const page = await harness.open('serial=0042', { onRequest: (url) => requests.push(url) });
  await page.chooseSurface();
  await page.chooseFile(EXAMPLE);
  assert.equal((await page.update()).success, true);
  assert.deepEqual(page.problems, []);
  const policy = await page.page.$eval('meta[http-equiv="Content-Security-Policy"]', (m) => m.content);
  assert.match(policy, /script-src 'self' 'wasm-unsafe-eval';/);
  assert.doesNotMatch(policy, /'unsafe-eval'|'unsafe-inline'/);
  const origin = new URL(page.page.url()).origin;
  assert.deepEqual(requests.filter((url) => new URL(url).origin !== origin), []);
  assert.ok(requests.some((url) => url.endsWith('/updater.wasm')), requests.join('\n'));
  await page.close();
});
