// Signed firmware through the page: the engine's minisign rules with
// libsodium's JavaScript build, against keys made at test time with the
// real minisign tool (no secret key is kept) and served to the page as its
// built-in list; the page refuses what the window and vireon-flash refuse,
// in their words.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { EXAMPLE, Harness } from './page_harness.mjs';

const folder = mkdtempSync(join(tmpdir(), 'vireon-web-signed-'));
try {
  execFileSync('minisign', ['-v'], { stdio: 'ignore' });
} catch {
  console.log('skipped: needs the minisign tool');
  process.exit(77);
}

function makeKey(name) {
  const base = join(folder, name);
  execFileSync('minisign', ['-G', '-W', '-p', `${base}.pub`, '-s', `${base}.key`], { stdio: 'ignore' });
  const text = readFileSync(`${base}.pub`, 'utf8');
  return { name: `${name}.pub`, text, secret: `${base}.key`, id: text.split('\n')[0].split(' ').pop() };
}

// A copy of the example file named `name`, signed with `key` unless null.
function signedFile(name, key, comment = 'surface 2.3.1') {
  const file = join(mkdtempSync(join(folder, 'f-')), name);
  copyFileSync(EXAMPLE, file);
  if (key) {
    const sign = ['-S', '-s', key.secret, '-m', file, '-t', comment, '-x', `${file}.minisig`];
    execFileSync('minisign', sign, { stdio: 'ignore' });
  }
  return file;
}

let harness;
let maker;
let stranger;
before(async () => {
  harness = await Harness.start();
  maker = makeKey('vireon-maker');
  stranger = makeKey('stranger');
});
after(async () => { await harness.stop(); });

async function choose({ files, requireSignature = false }) {
  harness.trust({ requireSignature, keys: [{ name: maker.name, text: maker.text }] });
  const page = await harness.open('serial=0042');
  await page.chooseSurface();
  await page.chooseFile(...files);
  return page;
}

const deliver = "Use the firmware file exactly as its maker released it.";

test('a file signed with a trusted key is used, and the line before the update names the key and comment', async () => {
  const file = signedFile('surface.cyacd', maker);
  const page = await choose({ files: [file, `${file}.minisig`] });
  assert.equal(await page.text('#stage-line'),
    `Press UPDATE to program surface.cyacd. The file is signed with the trusted key ${maker.id}: surface 2.3.1.`);
  const outcome = await page.update();
  assert.equal(outcome.success, true, outcome.message);
  const log = await page.savedLog();
  const good = `Signature good: signed with the trusted key id ${maker.id} (vireon-maker.pub); trusted comment: ` +
    'surface 2.3.1';
  assert.ok(log.includes(good), log.join('\n'));
  assert.deepEqual(page.problems, []);
  await page.close();
});

// Each refusal: the file's state says why and what to do, UPDATE is not
// offered and nothing reaches the surface.
async function assertRefused(page, text) {
  assert.equal(await page.text('#file-state'), text);
  assert.equal(await page.page.isDisabled('#update'), true);
  assert.deepEqual(await page.sim(() => [vireonSim.requestsTo(1), vireonSim.requestsTo(2)]), [0, 0]);
  await page.close();
}

test('a file with one byte changed after signing is refused', async () => {
  const file = signedFile('surface.cyacd', maker);
  const bytes = readFileSync(file);
  bytes[100] = bytes[100] === 0x41 ? 0x42 : 0x41;
  writeFileSync(file, bytes);
  const page = await choose({ files: [file, `${file}.minisig`] });
  await assertRefused(page, 'surface.cyacd is refused: The file was changed after it was signed: it does not match ' +
    `its signature in surface.cyacd.minisig. ${deliver}`);
});

test('a file signed with a key the page does not trust is refused, naming the key id', async () => {
  const file = signedFile('surface.cyacd', stranger);
  const page = await choose({ files: [file, `${file}.minisig`] });
  const id = stranger.id;
  await assertRefused(page, 'surface.cyacd is refused: It was signed with a key this computer does not trust: ' +
    `key id ${id}.` +
    ` If you trust the file's maker, install their public key (a .pub file whose key id is ${id}) in the page's ` +
    'trusted keys (web/keys/ of its build; then build and serve the page again).');
});

test('a signature whose trusted comment was changed is refused', async () => {
  const file = signedFile('surface.cyacd', maker);
  const signature = readFileSync(`${file}.minisig`, 'utf8')
    .replace('trusted comment: surface 2.3.1', 'trusted comment: surface 9.9.9');
  writeFileSync(`${file}.minisig`, signature);
  const page = await choose({ files: [file, `${file}.minisig`] });
  await assertRefused(page,
    'surface.cyacd is refused: The trusted comment in surface.cyacd.minisig was changed after ' +
    'it was signed. Use the signature exactly as the maker released it, or ask them for it again.');
});

test('an unsigned file is used when the page does not require signatures', async () => {
  const file = signedFile('surface.cyacd', null);
  const page = await choose({ files: [file] });
  assert.equal(await page.page.isDisabled('#update'), false);
  assert.match(await page.text('#file-state'),
    /The file carries no signature \(no surface\.cyacd\.minisig chosen with it\); it is used unsigned\.$/);
  await page.close();
});

test('an unsigned file is refused when the page was built to require signatures', async () => {
  const file = signedFile('surface.cyacd', null);
  const page = await choose({ files: [file], requireSignature: true });
  await assertRefused(page,
    'surface.cyacd is refused: The file carries no signature (no surface.cyacd.minisig chosen ' +
    'with it), and this computer requires signed firmware (the page was built to require signed firmware). Ask the ' +
    'surface\'s maker for the signed release: the firmware file with its .minisig file beside it.');
});
