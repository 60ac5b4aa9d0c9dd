// The cause matrix through the page: each fault kind at the first, a middle
// and the last exchange of each stage, on the desktop matrix's surface,
// gives the cause sentence, the fix and the result line the window and
// vireon-flash give (tests/matrix/fault_kinds.tsv, which both read). The
// page tries no stage twice, as vireon-flash does not.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { BUILD, Harness, SOURCE } from './page_harness.mjs';

// The desktop matrix's images: two chips of 4 rows of 64 bytes.
const LAYOUT = 'rows=4&rowSize=64';
const folder = mkdtempSync(join(tmpdir(), 'vireon-web-matrix-'));
const FILE = join(folder, 'surface.cyacd');
execFileSync(process.env.VIREON_CYACD_GEN || join(BUILD, '..', 'tools', 'cyacd-gen'),
  ['--out', FILE, '--rows', '4', '--row-size', '64']);

const kinds = readFileSync(join(SOURCE, 'tests', 'matrix', 'fault_kinds.tsv'), 'utf8').split('\n')
  .filter((line) => line && !line.startsWith('#'))
  .map((line) => {
    const [name, exitLost, cause, pageCause] = line.split('\t');
    return { name, exitLost: exitLost === 'yes', cause: pageCause === '-' ? cause : pageCause };
  });

const RESULT = {
  nothing1: 'Result: failed in image 1; nothing was written; run the update again.',
  part1: 'Result: failed in image 1; the surface may hold part of image 1 and not image 2; run the update again.',
  failed2: 'Result: failed in image 2; the surface holds image 1 only; run the update again.',
  notRestarted: 'Result: image 1 programmed; the surface did not restart into its second chip; re-plug it and run ' +
    'the update again.',
  programmed: 'Result: both images programmed.',
  noted: 'Result: both images programmed; the surface did not restart by itself: unplug and re-plug it to start ' +
    'the new firmware.',
};
const CABLE = 'Keep the surface plugged in and check its cable; ';
const MENDS = 'the surface may hold a partial image: run the update again, which mends it.';

let harness;
let lengths;
before(async () => {
  harness = await Harness.start();
  // The exchanges of each stage in a clean update, counted once.
  const page = await harness.open(`serial=0042&${LAYOUT}`);
  await page.chooseSurface();
  await page.chooseFile(FILE);
  assert.equal((await page.update()).success, true);
  lengths = await page.sim(() => [vireonSim.requestsTo(1), vireonSim.requestsTo(2)]);
  await page.close();
});
after(async () => { await harness.stop(); });

function exchange(place, stage) {
  return place === 'first' ? '1' : place === 'middle' ? String(lengths[stage - 1] / 2) : 'last';
}

// What the page must tell for one cell.
function expected(kind, stage, place) {
  if (place !== 'last') {
    const where = place === 'first' ? `It stopped at exchange 1 of image ${stage} (enter bootloader).`
      : `It stopped at row 1 of image ${stage} (verify row), exchange 8.`;
    const mend = place === 'middle' ? MENDS : stage === 1 ? 'nothing was written: run the update again.'
      : 'image 2 is not programmed yet: run the update again, which programs both.';
    return {
      success: false, message: `${kind.cause} ${where}`, fix: CABLE + mend,
      result: stage === 2 ? RESULT.failed2 : place === 'first' ? RESULT.nothing1 : RESULT.part1,
    };
  }
  // The exit command has no answer to fail; one that never reached the
  // surface leaves it where it was.
  if (!kind.exitLost) return { success: true, result: RESULT.programmed };
  if (stage === 1) {
    const fix = 'Unplug the surface, plug it in again and run the update again.';
    return { success: false, fix, result: RESULT.notRestarted };
  }
  return { success: true, result: RESULT.noted };
}

test('the middle exchange of each stage verifies row 1', () => {
  assert.deepEqual(lengths, [16, 16]);
});

for (const kind of kinds) {
  for (const stage of [1, 2]) {
    for (const place of ['first', 'middle', 'last']) {
      test(`${kind.name} at the ${place} exchange of stage ${stage}`, async () => {
        const fault = `${kind.name}:${stage}:${exchange(place, stage)}`;
        const page = await harness.open(`serial=0042&${LAYOUT}&fault=${fault}`);
        await page.chooseSurface();
        await page.chooseFile(FILE);
        const outcome = await page.update();
        const want = expected(kind, stage, place);
        assert.equal(outcome.success, want.success, `${fault}: ${outcome.message}`);
        if (want.message !== undefined) assert.equal(outcome.message, want.message, fault);
        if (want.fix !== undefined) assert.equal(outcome.fix, want.fix, fault);
        if (stage === 1 && place === 'last' && kind.exitLost) {
          assert.match(outcome.message, /did not restart into its second chip/, fault);
        }
        const log = await page.savedLog();
        assert.equal(log.at(-1), want.result, fault);
        assert.deepEqual(page.problems, [], fault);
        await page.close();
      });
    }
  }
}
