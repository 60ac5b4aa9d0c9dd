// The benchmark's page: the page's bus over navigator.hid (the stand-in's
// simulated surface), the exchange benchmark's WebAssembly module over it,
// and the same exchange sent by JavaScript straight to the device, which is
// the stand-in's own share.
import createBench from './exchange.js';
import { WebHidBus } from './webhid_bus.js';

const bus = new WebHidBus(navigator.hid);
document.getElementById('choose').addEventListener('click', () => bus.choose());

// The enter-bootloader request: 01 38 0000, its sum checksum, 17.
function enterRequest() {
  const sum = (0x10000 - (0x01 + 0x38)) & 0xffff;
  const packet = new Uint8Array(64);
  packet.set([0x01, 0x38, 0, 0, sum & 0xff, sum >> 8, 0x17]);
  return packet;
}

window.benchPage = async (count) => {
  const core = await createBench({ bus, onRows: () => {} });
  return core.ccall('bench_exchanges', 'number', ['number'], [count], { async: true });
};

window.benchStandin = async (count) => {
  const [device] = await navigator.hid.getDevices();
  await device.open();
  const packet = enterRequest();
  let answered = null;
  device.addEventListener('inputreport', () => answered());
  const start = performance.now();
  for (let i = 0; i < count; ++i) {
    const answer = new Promise((resolve) => { answered = resolve; });
    await device.sendReport(0, packet);
    await answer;
  }
  const took = performance.now() - start;
  await device.close();
  return (took * 1000) / count;
};
document.body.dataset.ready = 'true';
