// Whole updates through the page in Chromium, on the simulated surface:
// the surface's chips hold what the file holds afterwards, the page tells
// the outcome and its fix as the window and vireon-flash do, and the saved
// log ends with the result.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';

import { EXAMPLE, Harness } from './page_harness.mjs';

let harness;
before(async () => { harness = await Harness.start(); });
after(async () => { await harness.stop(); });

const programmed = 'Update complete: both images of vireon-surface-demo.cyacd are programmed.';

test('an update, offline once the page loaded, programs both chips; the saved log ends with its result', async () => {
  const page = await harness.open('serial=0042');
  await page.context.setOffline(true);
  await page.chooseSurface();
  await page.chooseFile(EXAMPLE);
  assert.equal(await page.text('#stage-line'), 'Press UPDATE to program vireon-surface-demo.cyacd.');
  const outcome = await page.update();
  assert.deepEqual(outcome, { message: programmed, fix: '', success: true });
  assert.deepEqual(await page.sim(() => [vireonSim.holdsImage(1), vireonSim.holdsImage(2)]), [true, true]);
  assert.equal(await page.text('#stage-line'), 'Result: both images programmed.');
  assert.equal(await page.page.$eval('#progress', (p) => p.value), 100);
  const log = await page.savedLog();
  assert.ok(log.includes('image 1 programmed and verified'), log.join('\n'));
  assert.ok(log.includes('image 2 programmed and verified'), log.join('\n'));
  assert.equal(log.at(-1), 'Result: both images programmed.');
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('a surface left in its second chip is waited for and then updated', async () => {
  const page = await harness.open('serial=0042&chip=2');
  await page.chooseSurface();
  await page.chooseFile(EXAMPLE);
  const outcome = await page.update();
  assert.deepEqual(outcome, { message: programmed, fix: '', success: true });
  assert.deepEqual(await page.sim(() => [vireonSim.holdsImage(1), vireonSim.holdsImage(2)]), [true, true]);
  const log = await page.savedLog();
  assert.ok(log.some((line) => line.startsWith('The surface answered as its second chip')), log.join('\n'));
  await page.close();
});

test('a browser that forgets the surface at its restart asks for it again, then the update goes on', async () => {
  const page = await harness.open(''); // no serial number: the permission ends as it leaves the bus
  await page.chooseSurface();
  await page.chooseFile(EXAMPLE);
  await page.page.click('#update');
  await page.page.waitForSelector('#rechoose:not([hidden])', { timeout: 30000 });
  assert.match(await page.text('#rechoose'), /forgot it/);
  await page.page.click('#rechoose-button');
  const outcome = await page.outcome();
  assert.deepEqual(outcome, { message: programmed, fix: '', success: true });
  assert.equal(await page.page.isHidden('#rechoose'), true);
  assert.deepEqual(await page.sim(() => [vireonSim.holdsImage(1), vireonSim.holdsImage(2)]), [true, true]);
  await page.close();
});

test('a surface unplugged in the middle of image 1 is told as unplugged, with the fix', async () => {
  const page = await harness.open('serial=0042');
  await page.chooseSurface();
  await page.chooseFile(EXAMPLE);
  // Pulled out as row 10 of image 1 shows, from within the page, whose
  // event loop runs the update.
  await page.sim(() => {
    const line = document.getElementById('stage-line');
    const watcher = new MutationObserver(() => {
      const row = /^Image 1: row (\d+) of 32$/.exec(line.textContent);
      if (row && Number(row[1]) >= 10) {
        watcher.disconnect();
        vireonSim.unplug();
      }
    });
    watcher.observe(line, { childList: true, characterData: true, subtree: true });
  });
  const outcome = await page.update();
  assert.equal(outcome.success, false);
  assert.match(outcome.message, /^The transfer to the surface failed: the surface was unplugged\. It stopped at /);
  assert.equal(outcome.fix, 'Keep the surface plugged in and check its cable; the surface may hold a partial image: ' +
    'run the update again, which mends it.');
  const log = await page.savedLog();
  assert.equal(log.at(-1),
    'Result: failed in image 1; the surface may hold part of image 1 and not image 2; run the update again.');
  await page.close();
});

test('a damaged file is refused by the firmware rules before anything reaches the surface', async () => {
  const { mkdtempSync, readFileSync, writeFileSync } = await import('node:fs');
  const { tmpdir } = await import('node:os');
  const { join } = await import('node:path');
  const lines = readFileSync(EXAMPLE, 'utf8').split('\n');
  lines[3] = `${lines[3].slice(0, 20)}Z${lines[3].slice(21)}`;
  const damaged = join(mkdtempSync(join(tmpdir(), 'vireon-web-')), 'damaged.cyacd');
  writeFileSync(damaged, lines.join('\n'));
  const page = await harness.open('serial=0042');
  await page.chooseSurface();
  await page.chooseFile(damaged);
  assert.equal(await page.text('#file-state'), "damaged.cyacd is refused: Line 4 of the file (image 1) has 'Z' " +
    "where a hex digit belongs. Use the surface's two-image firmware file (.cyacd) as it was delivered.");
  assert.equal(await page.page.isDisabled('#update'), true);
  assert.deepEqual(await page.sim(() => [vireonSim.requestsTo(1), vireonSim.requestsTo(2)]), [0, 0]);
  await page.close();
});

// The page reads no file larger than any firmware file (16 MiB), as the
// window and vireon-flash do not: such a file, and its signature, are
// refused by the size alone; a file of exactly the limit is read and
// judged by the firmware rules.
test('a file over the size limit is refused by its size unread; one at the limit is read', async () => {
  const { closeSync, mkdtempSync, openSync, writeFileSync, ftruncateSync } = await import('node:fs');
  const { tmpdir } = await import('node:os');
  const { join } = await import('node:path');
  const folder = mkdtempSync(join(tmpdir(), 'vireon-web-'));
  const sized = (name, size) => {
    const fd = openSync(join(folder, name), 'w');
    ftruncateSync(fd, size);
    closeSync(fd);
    return join(folder, name);
  };
  const limit = 16 * 1024 * 1024;
  const huge = sized('huge.cyacd', limit + 1);
  writeFileSync(`${huge}.minisig`, 'untrusted comment: never read\n');
  const page = await harness.open('serial=0042');
  await page.sim(() => {
    const read = Blob.prototype.arrayBuffer;
    globalThis.vireonReads = [];
    Blob.prototype.arrayBuffer = function arrayBuffer() {
      globalThis.vireonReads.push(this.name);
      return read.call(this);
    };
  });
  await page.chooseSurface();
  await page.chooseFile(huge, `${huge}.minisig`);
  assert.equal(await page.text('#file-state'), 'huge.cyacd is refused: This file is 16.0 MiB (16777217 bytes); a ' +
    "firmware file for the surface is at most 16 MiB. Use the surface's two-image firmware file (.cyacd) as it was " +
    'delivered.');
  assert.equal(await page.page.isDisabled('#update'), true);
  assert.deepEqual(await page.sim(() => globalThis.vireonReads), []);

  await page.chooseFile(sized('limit.cyacd', limit));
  assert.match(await page.text('#file-state'), /^limit\.cyacd is refused: This is not a firmware file:/);
  assert.deepEqual(await page.sim(() => globalThis.vireonReads), ['limit.cyacd']);
  assert.deepEqual(page.problems, []);
  await page.close();
});
