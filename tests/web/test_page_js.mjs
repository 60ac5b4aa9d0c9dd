// The page's own JavaScript where it holds logic: the bus over WebHID (with
// a WebHID of the test's own, which the test drives event by event), the
// pairing of a firmware file with its signature, and the log's lines.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { SURFACE, WebHidBus } from '../../web/webhid_bus.js';
import { PageLog, pairFiles } from '../../web/page_log.js';

class FakeDevice extends EventTarget {
  constructor(ids = SURFACE) {
    super();
    Object.assign(this, ids);
    this.opened = false;
    this.sent = [];
    this.failWith = null;
  }
  async open() { this.opened = true; }
  async close() { this.opened = false; }
  async sendReport(reportId, data) {
    if (this.failWith) throw new Error(this.failWith);
    this.sent.push([reportId, [...data]]);
  }
  answer(bytes) {
    const event = new Event('inputreport');
    event.data = new DataView(new Uint8Array(bytes).buffer);
    this.dispatchEvent(event);
  }
}

class FakeHid extends EventTarget {
  constructor(granted = []) { super(); this.granted = granted; }
  async getDevices() { return this.granted; }
  emit(type, device) {
    const event = new Event(type);
    event.device = device;
    this.dispatchEvent(event);
  }
}

async function busWith(...devices) {
  const hid = new FakeHid(devices);
  const bus = new WebHidBus(hid);
  await bus.start();
  return { hid, bus };
}

test('each appearance of a surface carries a new enumeration; other devices are not listed', async () => {
  const first = new FakeDevice();
  const { hid, bus } = await busWith(first, new FakeDevice({ vendorId: 0x1502, productId: 0x0202 }));
  assert.deepEqual(bus.list(), [{ path: 'webhid:1', enumeration: 1 }]);
  hid.emit('disconnect', first);
  assert.deepEqual(bus.list(), []);
  const back = new FakeDevice();
  hid.emit('connect', back);
  hid.emit('connect', back); // told twice: one appearance
  assert.deepEqual(bus.list(), [{ path: 'webhid:2', enumeration: 2 }]);
});

test('a write goes out as its report id and the packet after it', async () => {
  const device = new FakeDevice();
  const { bus } = await busWith(device);
  const connection = await bus.open('webhid:1');
  assert.equal(await bus.write(connection, 0, new Uint8Array([1, 0x38, 0, 0])), 5);
  assert.deepEqual(device.sent, [[0, [1, 0x38, 0, 0]]]);
});

test('a failed write is told in the browser\'s words, or as a disconnection when the device left', async () => {
  const device = new FakeDevice();
  const { hid, bus } = await busWith(device);
  const connection = await bus.open('webhid:1');
  device.failWith = 'Failed to write the report.';
  assert.equal(await bus.write(connection, 0, new Uint8Array(64)), -1);
  assert.equal(bus.errorText(connection), 'Failed to write the report.');
  setTimeout(() => hid.emit('disconnect', device), 10);
  assert.equal(await bus.write(connection, 0, new Uint8Array(64)), -1);
  assert.equal(bus.errorText(connection), 'the device disconnected (Failed to write the report.)');
});

test('reads take the answers in order, time out with 0 and fail once the device left', async () => {
  const device = new FakeDevice();
  const { hid, bus } = await busWith(device);
  const connection = await bus.open('webhid:1');
  device.answer([1, 0, 0, 0]);
  device.answer([2]);
  assert.deepEqual([...await bus.read(connection, 0)], [1, 0, 0, 0]);
  assert.deepEqual([...await bus.read(connection, 0)], [2]);
  assert.equal(await bus.read(connection, 20), 0);
  setTimeout(() => device.answer([3]), 10);
  assert.deepEqual([...await bus.read(connection, 1000)], [3]);
  setTimeout(() => hid.emit('disconnect', device), 10);
  assert.equal(await bus.read(connection, -1), -1);
  assert.equal(bus.errorText(connection), 'the device disconnected');
});

test('an open of a surface that is not on the bus fails with its reason', async () => {
  const { bus } = await busWith();
  assert.equal(await bus.open('webhid:7'), 0);
  assert.equal(bus.errorText(0), "Failed to open a device with path 'webhid:7': it is not on the bus");
});

test('the firmware file is paired with the signature named after it', () => {
  const file = (name) => ({ name });
  const cases = [
    [['fw.cyacd'], 'fw.cyacd', null, ''],
    [['fw.cyacd.minisig', 'fw.cyacd'], 'fw.cyacd', 'fw.cyacd.minisig', ''],
    [['fw.cyacd.minisig'], null, null, 'Choose the firmware file (.cyacd) too, not only its signature.'],
    [['a.cyacd', 'b.cyacd'], null, null, 'Choose one firmware file at a time.'],
    [['fw.cyacd', 'old.cyacd.minisig'], null, null,
      'old.cyacd.minisig is not the signature of fw.cyacd (that is fw.cyacd.minisig).'],
  ];
  for (const [names, firmware, signature, problem] of cases) {
    const paired = pairFiles(names.map(file));
    const got = [paired.firmware && paired.firmware.name, paired.signature && paired.signature.name, paired.problem];
    assert.deepEqual(got, [firmware, signature, problem], names.join(' '));
  }
});

test('a log entry stays one line, its control characters escaped', () => {
  const log = new PageLog(() => new Date(2024, 4, 1, 14, 3, 7, 25));
  assert.equal(log.add('two\nlines \u001b[1m'), '2024-05-01 14:03:07.025 two\\nlines \\x1b[1m');
  assert.equal(log.text(), '2024-05-01 14:03:07.025 two\\nlines \\x1b[1m\n');
});
