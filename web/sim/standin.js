// A stand-in for navigator.hid over the simulated surface (surface.wasm, the
// desktop tests' simulated bus compiled to WebAssembly), for the demo and
// the tests. Loaded before the page's own script, it answers the page as a
// browser with WebHID does: getDevices, requestDevice (only in a user's
// click), connect and disconnect as the surface restarts, sendReport and
// inputreport. As Chrome does, it forgets a surface without a serial number
// when it leaves the bus, and after a failed read it reads no more from
// that connection.
//
// Query string: fault=KIND:STAGE:N (repeatable, as the demo programs'
// --fault), rows=N&rowSize=N (the generator's two-chip layout; default the
// example file's), chip=2 (powered up in its second chip's bootloader),
// serial=TEXT (a surface with a serial number keeps its permission).
(() => {
  const params = new URLSearchParams(location.search);
  const serial = params.get('serial') || '';
  const SURFACE = { vendorId: 0x1502, productId: 0x0101 };
  const POLL_MS = 10;
  const CHOOSER_WAIT_MS = 3000;

  // The surface's answer comes in a task of its own after the write, as a
  // report from the browser's USB side does; a message port, not a timer,
  // so that no timer's clamping is counted as the page's.
  const later = (() => {
    const channel = new MessageChannel();
    const queue = [];
    channel.port1.onmessage = () => queue.shift()();
    return (task) => {
      queue.push(task);
      channel.port2.postMessage(0);
    };
  })();

  const hid = new EventTarget();
  const granted = new Set();
  let sim = null;
  let current = null; // the device object of the surface's present appearance
  let appearance = 0;
  let grantedBefore = false; // the user granted the surface at some appearance

  function call(name, returns, types, args) {
    return sim.ccall(name, returns, types, args);
  }

  function busEvent(type, device) {
    const event = new Event(type);
    Object.defineProperty(event, 'device', { value: device });
    hid.dispatchEvent(event);
    const handler = hid[`on${type}`];
    if (typeof handler === 'function') handler.call(hid, event);
  }

  class StandinDevice extends EventTarget {
    constructor() {
      super();
      this.vendorId = SURFACE.vendorId;
      this.productId = SURFACE.productId;
      this.productName = 'Vireon Surface';
      this.collections = [
        { usagePage: 0xff00, usage: 1, inputReports: [{ reportId: 0 }], outputReports: [{ reportId: 0 }] },
      ];
      this.opened = false;
      this.gone = false;
      this.handle = 0;
      this.reading = false;
      this.oninputreport = null;
    }

    async open() {
      if (this.gone) throw new DOMException('Failed to open the device.', 'NotAllowedError');
      if (this.opened) throw new DOMException('The device is already open.', 'InvalidStateError');
      this.handle = call('sim_open', 'number', [], []);
      if (!this.handle) throw new DOMException('Failed to open the device.', 'NotAllowedError');
      this.opened = true;
      this.reading = true;
    }

    async close() {
      if (this.handle) call('sim_close', null, ['number'], [this.handle]);
      this.handle = 0;
      this.opened = false;
    }

    async forget() {
      granted.delete(this);
      await this.close();
    }

    async sendReport(reportId, data) {
      if (!this.opened) throw new DOMException('The device must be opened first.', 'InvalidStateError');
      const bytes = data.buffer
        ? new Uint8Array(data.buffer.slice(data.byteOffset, data.byteOffset + data.byteLength)) : new Uint8Array(data);
      const at = sim._malloc(bytes.length + 1);
      sim.HEAPU8[at] = reportId;
      sim.HEAPU8.set(bytes, at + 1);
      const written = call('sim_write', 'number', ['number', 'number', 'number'], [this.handle, at, bytes.length + 1]);
      sim._free(at);
      if (written < 0) {
        const text = call('sim_error', 'string', ['number'], [this.handle]);
        look(); // an unplugged surface has left the bus: its disconnect comes first
        throw new DOMException(text || 'Failed to write the report.', 'NotAllowedError');
      }
      later(() => this.pump());
    }

    // Hands over the answers waiting on the surface as input reports.
    pump() {
      if (!this.opened || !this.reading) return;
      const at = sim._malloc(64);
      for (;;) {
        const got = call('sim_read', 'number', ['number', 'number'], [this.handle, at]);
        if (got < 0) {
          // Chrome takes a failed read as the connection's end: it reads
          // nothing more from it until the device is opened again.
          this.reading = false;
          break;
        }
        if (got === 0) break;
        const event = new Event('inputreport');
        Object.defineProperties(event, {
          device: { value: this },
          reportId: { value: 0 },
          data: { value: new DataView(sim.HEAPU8.slice(at, at + got).buffer) },
        });
        this.dispatchEvent(event);
        if (typeof this.oninputreport === 'function') this.oninputreport(event);
      }
      sim._free(at);
    }
  }

  // The surface's presence, as the browser's USB stack sees it change.
  function look() {
    if (!sim) return;
    const now = call('sim_presence', 'number', [], []);
    if (now === appearance) return;
    if (current) {
      const gone = current;
      current = null;
      gone.gone = true;
      gone.opened = false;
      const wasGranted = granted.delete(gone);
      if (wasGranted) busEvent('disconnect', gone);
    }
    appearance = now;
    if (now) {
      current = new StandinDevice();
      // A permission for a surface without a serial number lasts only while
      // it stays on the bus.
      if (grantedBefore && serial) {
        granted.add(current);
        busEvent('connect', current);
      }
    }
  }

  const ready = import('/sim/surface.js').then((module) => module.default()).then((module) => {
    sim = module;
    const rows = Number(params.get('rows') || 0);
    sim.ccall('sim_attach', null, ['number', 'number', 'number', 'string'],
      [rows, Number(params.get('rowSize') || 64), Number(params.get('chip') || 1), serial]);
    for (const fault of params.getAll('fault')) {
      const why = sim.ccall('sim_add_fault', 'string', ['string'], [fault]);
      if (why) console.error(`stand-in: ${why}`);
    }
    look();
    setInterval(look, POLL_MS);
  });

  hid.getDevices = async () => {
    await ready;
    return [...granted];
  };

  hid.requestDevice = async (options) => {
    if (!navigator.userActivation.isActive) {
      throw new DOMException('Must be handling a user gesture to show a permission request.', 'SecurityError');
    }
    const filters = (options && options.filters) || [];
    await ready;
    // The chooser lists the surface once it is on the bus; the user picks it.
    for (const started = performance.now(); !current && performance.now() - started < CHOOSER_WAIT_MS;) {
      await new Promise((resolve) => setTimeout(resolve, POLL_MS));
    }
    const fits = filters.some((f) => f.vendorId === SURFACE.vendorId
      && (f.productId === undefined || f.productId === SURFACE.productId));
    if (!current || !fits) return [];
    granted.add(current);
    grantedBefore = true;
    return [current];
  };

  Object.defineProperty(Navigator.prototype, 'hid', { get: () => hid, configurable: true });

  // For the tests and the curious: what the simulated surface holds and does.
  window.vireonSim = {
    ready,
    holdsImage: (chip) => call('sim_holds_image', 'number', ['number'], [chip]) === 1,
    requestsTo: (chip) => call('sim_requests_to', 'number', ['number'], [chip]),
    restarts: () => call('sim_restarts', 'number', [], []),
    unplug: () => { call('sim_unplug', null, [], []); look(); },
    plugIn: () => { call('sim_plug_in', null, [], []); look(); },
  };
})();
