// The page: renders what the update engine (the WebAssembly core) says and
// performs the step it answers. It decides nothing about an update: which
// surface, when to run a stage, what failed and what to do about it are all
// the engine's.
import createUpdater from './updater.js';
import { WebHidBus } from './webhid_bus.js';
import { PageLog, pairFiles } from './page_log.js';

const $ = (id) => document.getElementById(id);
const ui = {
  unsupported: $('unsupported'), presence: $('presence'), chooseSurface: $('choose-surface'),
  file: $('file'), fileState: $('file-state'), update: $('update'), progress: $('progress'),
  stageLine: $('stage-line'), rechoose: $('rechoose'), rechooseButton: $('rechoose-button'),
  outcome: $('outcome'), outcomeMessage: $('outcome-message'), outcomeFix: $('outcome-fix'),
  log: $('log'), saveLog: $('save-log'),
};

// The surface must have been off the bus this long in a run before the page
// offers to choose it again: a browser that kept the permission has it back
// by then.
const RECHOOSE_AFTER_MS = 1500;
const TICK_MS = 250;

const log = new PageLog();
const state = {
  core: null, bus: null, file: null, rows: [0, 0], usable: false,
  running: false, releaseLock: null, goneSince: null, busChanged: null, stopAsked: false,
};

function note(text) {
  log.add(text);
  ui.log.textContent = log.text();
  ui.log.scrollTop = ui.log.scrollHeight;
}

// A call of the core that does not wait; it may come while a stage waits
// on WebHID, so it goes straight to the export rather than through ccall.
function call(name, ...args) {
  return JSON.parse(state.core.UTF8ToString(state.core[`_${name}`](...args)));
}

function surfaces() {
  return state.bus ? state.bus.list() : [];
}

function render() {
  if (!state.core) return;
  const present = surfaces();
  if (present.length && state.goneSince !== null) state.goneSince = null;
  if (!present.length && state.running && state.goneSince === null) state.goneSince = performance.now();
  ui.presence.textContent = present.length
    ? `Connected: ${present.map((s) => s.path).join(', ')}`
    : 'Not connected';
  const line = call('vw_line', present.length ? 1 : 0, 0);
  if (ui.stageLine.textContent !== line.text) ui.stageLine.textContent = line.text;
  const total = state.rows[0] + state.rows[1];
  let value = Number(ui.progress.value);
  if (line.kind === 'rows' && total) value = ((line.image === 2 ? state.rows[0] : 0) + line.rowsDone) * 100 / total;
  if (line.kind === 'result') value = line.ceiling;
  if (line.kind === 'idle') value = 0;
  ui.progress.value = Math.min(value, line.ceiling || 100);
  ui.update.disabled = state.running || !state.usable || !present.length;
  ui.chooseSurface.disabled = state.running;
  ui.file.disabled = state.running;
  const away = state.goneSince === null ? 0 : performance.now() - state.goneSince;
  const rechoose = state.running && away >= RECHOOSE_AFTER_MS;
  if (ui.rechoose.hidden === rechoose) {
    ui.rechoose.hidden = !rechoose;
    if (rechoose) note('The surface is off the bus: offering to choose it again.');
  }
}

// Rows arrive faster than a screen shows them: one render per frame.
let renderQueued = false;
function renderSoon() {
  if (renderQueued) return;
  renderQueued = true;
  requestAnimationFrame(() => {
    renderQueued = false;
    render();
  });
}

async function chooseSurface() {
  try {
    const chosen = await state.bus.choose();
    note(chosen ? `Surface chosen: ${surfaces().map((s) => s.path).join(', ')}` : 'No surface chosen.');
  } catch (error) {
    note(`No surface chosen: ${error.message}`);
  }
  render();
}

// Copies `parts` (strings and byte arrays) into the module's memory, one
// after the other (strings with their end), calls `use` with their
// addresses and frees them.
function inMemory(parts, use) {
  const core = state.core;
  const bytes = parts.map((part) => (typeof part === 'string' ? new TextEncoder().encode(`${part}\0`) : part));
  const at = core._malloc(bytes.reduce((sum, b) => sum + b.length, 0) + 1);
  const addresses = [];
  let next = at;
  for (const b of bytes) {
    core.HEAPU8.set(b, next);
    addresses.push(next);
    next += b.length;
  }
  try {
    return use(...addresses);
  } finally {
    core._free(at);
  }
}

// libsodium's JavaScript build, loaded the first time a signature is to be
// checked.
async function loadSodium() {
  if (state.core.sodium) return;
  try {
    const { default: sodium } = await import('./sodium-wrappers.js');
    await sodium.ready;
    state.core.sodium = sodium;
  } catch (error) {
    note(`libsodium did not start: ${error.message}`);
  }
}

async function trustBuiltInKeys() {
  const trust = await (await fetch('trusted-keys.json')).json();
  state.core._vw_require_signatures(trust.requireSignature ? 1 : 0);
  for (const key of trust.keys) {
    const problem = JSON.parse(inMemory([key.name, key.text],
      (name, text) => state.core.UTF8ToString(state.core._vw_trust_key(name, text))));
    if (problem) note(problem);
  }
  const names = trust.keys.map((key) => key.name).join(', ') || 'none';
  note(`Trusted keys: ${names}${trust.requireSignature ? '; signatures required' : ''}.`);
}

async function chooseFile() {
  const { firmware, signature, problem } = pairFiles(ui.file.files);
  state.usable = false;
  if (!firmware) {
    ui.fileState.textContent = problem;
    note(problem);
    render();
    return;
  }
  // A file larger than any firmware file is not read: the core refuses it
  // by its size.
  const unread = firmware.size > state.core._vw_file_limit();
  const signed = signature && !unread;
  const bytes = unread ? new Uint8Array(0) : new Uint8Array(await firmware.arrayBuffer());
  const signatureBytes = signed ? new Uint8Array(await signature.arrayBuffer()) : new Uint8Array(0);
  if (signed) await loadSodium();
  const checked = inMemory([firmware.name, bytes, signatureBytes], (name, at, signatureAt) =>
    call('vw_choose', name, at, bytes.length, firmware.size, signatureAt, signed ? signatureBytes.length : -1));
  state.file = firmware.name;
  state.usable = checked.usable;
  state.rows = [checked.rows1, checked.rows2];
  ui.fileState.textContent = checked.usable
    ? `${firmware.name}: ${checked.rows1} and ${checked.rows2} rows. ${checked.signature}`
    : `${checked.problem} ${checked.fix}`;
  ui.fileState.classList.toggle('problem', !checked.usable);
  note(`Chose ${firmware.name}${signature ? ` with ${signature.name}` : ''}.`);
  if (checked.signature) note(checked.signature);
  ui.fileState.dataset.checks = String(Number(ui.fileState.dataset.checks || 0) + 1);
  if (!checked.usable) note(checked.problem);
  render();
}

// Resolves on the next change of the bus ("change"), at `untilIn` ms
// ("time"), or when the user leaves ("stop").
function busEvent(untilIn) {
  return new Promise((resolve) => {
    const done = (what) => {
      clearTimeout(timer);
      state.bus.removeEventListener('change', onChange);
      state.busChanged = null;
      resolve(what);
    };
    const onChange = () => done('change');
    const timer = setTimeout(() => done('time'), Math.max(untilIn, 0));
    state.bus.addEventListener('change', onChange);
    state.busChanged = done;
  });
}

// The browser's lock on the surface: one page updates it at a time.
function claimLock() {
  return new Promise((resolve) => {
    navigator.locks.request('vireon-surface', { ifAvailable: true }, (lock) => {
      if (!lock) {
        resolve(false);
        return undefined;
      }
      resolve(true);
      return new Promise((release) => { state.releaseLock = release; });
    });
  });
}

function showOutcome(outcome) {
  ui.outcome.hidden = false;
  ui.outcome.classList.toggle('succeeded', outcome.success);
  ui.outcome.classList.toggle('failed', !outcome.success);
  ui.outcomeMessage.textContent = outcome.message;
  ui.outcomeFix.textContent = outcome.fix;
  if (outcome.message) note(outcome.message);
  if (outcome.fix) note(outcome.fix);
  note(outcome.result);
}

async function runUpdate() {
  if (state.running) return;
  state.running = true;
  state.stopAsked = false;
  ui.outcome.hidden = true;
  note(`UPDATE pressed: ${state.file}.`);
  const ticker = setInterval(render, TICK_MS);
  render();
  let step = call('vw_start');
  let looked = false;
  for (;;) {
    for (const n of step.notes) note(n.text);
    const next = step.next;
    if (next.kind === 'finish' || next.kind === 'nothing') {
      if (next.outcome) showOutcome(next.outcome);
      break;
    }
    if (next.kind === 'look') {
      // A look right away after any other event; after a look, the next
      // change of the bus or the engine's deadline.
      const what = looked ? await busEvent(next.untilIn) : 'change';
      looked = true;
      step = what === 'stop' ? call('vw_interrupted') : call(what === 'change' ? 'vw_seen' : 'vw_time_passed');
      continue;
    }
    looked = false;
    if (next.kind === 'claim') {
      step = call('vw_claimed', (await claimLock()) ? 1 : 0);
    } else if (next.kind === 'run') {
      note(`Image ${next.image}: ${next.attempt > 1 ? `try ${next.attempt} ` : ''}on ${next.surface}.`);
      render();
      step = JSON.parse(await state.core.ccall('vw_run_stage', 'string', [], [], { async: true }));
    } else {
      step = call('vw_pause_over');
    }
  }
  clearInterval(ticker);
  if (state.releaseLock) state.releaseLock();
  state.releaseLock = null;
  state.running = false;
  state.goneSince = null;
  render();
}

function saveLog() {
  const url = URL.createObjectURL(new Blob([log.text()], { type: 'text/plain' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = 'log.txt';
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

// Leaving the page: the engine says whether that is harmless now.
function beforeUnload(event) {
  if (!state.core) return;
  const answer = state.core.UTF8ToString(state.core._vw_close_answer());
  if (answer === 'ask' || answer === 'refuse') {
    event.preventDefault();
    event.returnValue = '';
  } else if (answer === 'end-run' && state.busChanged) {
    state.busChanged('stop');
  }
}

async function start() {
  if (!('hid' in navigator)) {
    ui.unsupported.hidden = false;
    ui.stageLine.textContent = '';
    ui.chooseSurface.disabled = ui.file.disabled = true;
    return;
  }
  state.bus = new WebHidBus(navigator.hid);
  const limits = globalThis.vireonTestLimits; // set only by the tests, as the desktop tests shorten theirs
  state.core = await createUpdater({ bus: state.bus, onRows: renderSoon });
  if (limits) state.core._vw_set_limits(limits.readLimitMs, limits.restartAllowanceMs);
  state.bus.addEventListener('change', () => render());
  await trustBuiltInKeys();
  await state.bus.start();
  ui.chooseSurface.addEventListener('click', chooseSurface);
  ui.rechooseButton.addEventListener('click', chooseSurface);
  ui.file.addEventListener('change', chooseFile);
  ui.update.addEventListener('click', runUpdate);
  ui.saveLog.addEventListener('click', saveLog);
  window.addEventListener('beforeunload', beforeUnload);
  note('vireon.control in the browser: ready.');
  document.body.dataset.ready = 'true';
  render();
}

start();
