// The page's view of the USB HID bus through WebHID: the surfaces the user
// granted this page that are on the bus now, their connections and each
// connection's input reports. The WebAssembly core reaches it as
// Module.bus, through its hidapi over WebHID (wasm/hidapi_webhid.cpp) and
// its listing (wasm/hid_listing_webhid.cpp); it decides nothing about an
// update.
//
// WebHID has no device node and no USB device number. A device is named by
// the object the browser gives for it ("webhid:N"), and carries the count
// of the bus's appearances at its latest one: every connect event, and every
// device the user grants, counts one, so a surface that came back from a
// restart has another number.

export const SURFACE = { vendorId: 0x1502, productId: 0x0101 };

// hidraw keeps this many input reports per open file; so does a connection.
const QUEUE_LIMIT = 64;
// A write can fail a moment before the browser reports the device gone.
const DISCONNECT_GRACE_MS = 250;
const DISCONNECTED = 'the device disconnected';

export class WebHidBus extends EventTarget {
  constructor(hid) {
    super();
    this.hid = hid;
    this.appearances = 0;
    this.present = new Map(); // HIDDevice -> { path, enumeration }
    this.paths = new WeakMap();
    this.nextPath = 1;
    this.connections = new Map(); // number -> { device, queue, failed, error, wake, onReport }
    this.nextConnection = 1;
    this.processError = '';
    hid.addEventListener('connect', (event) => this.appeared(event.device));
    hid.addEventListener('disconnect', (event) => this.left(event.device));
  }

  // The surfaces granted before (a page opened again).
  async start() {
    for (const device of await this.hid.getDevices()) this.appeared(device);
  }

  // The browser's chooser; needs the user's click. The number of surfaces
  // chosen.
  async choose() {
    const chosen = await this.hid.requestDevice({ filters: [SURFACE] });
    for (const device of chosen) this.appeared(device);
    return chosen.length;
  }

  appeared(device) {
    if (device.vendorId !== SURFACE.vendorId || device.productId !== SURFACE.productId) return;
    if (this.present.has(device)) return;
    if (!this.paths.has(device)) this.paths.set(device, `webhid:${this.nextPath++}`);
    this.present.set(device, { path: this.paths.get(device), enumeration: ++this.appearances });
    this.dispatchEvent(new Event('change'));
  }

  left(device) {
    if (!this.present.delete(device)) return;
    for (const connection of this.connections.values()) {
      if (connection.device === device) this.fail(connection, DISCONNECTED);
    }
    this.dispatchEvent(new Event('change'));
  }

  list(vendorId = SURFACE.vendorId, productId = SURFACE.productId) {
    const listed = [];
    for (const [device, entry] of this.present) {
      if (device.vendorId === vendorId && device.productId === productId) listed.push({ ...entry });
    }
    return listed;
  }

  deviceAt(path) {
    for (const [device, entry] of this.present) if (entry.path === path) return device;
    return null;
  }

  // A connection number, or 0 with the reason in errorText(0).
  async open(path) {
    const device = this.deviceAt(path);
    if (!device) {
      this.processError = `Failed to open a device with path '${path}': it is not on the bus`;
      return 0;
    }
    try {
      if (!device.opened) await device.open();
    } catch (error) {
      this.processError = `Failed to open a device with path '${path}': ${error.message}`;
      return 0;
    }
    const number = this.nextConnection++;
    const connection = { device, queue: [], failed: false, error: '', wake: null };
    connection.onReport = (event) => {
      if (connection.failed || connection.queue.length >= QUEUE_LIMIT) return;
      const data = event.data;
      connection.queue.push(new Uint8Array(data.buffer, data.byteOffset, data.byteLength).slice());
      this.wake(connection);
    };
    device.addEventListener('inputreport', connection.onReport);
    this.connections.set(number, connection);
    this.processError = '';
    return number;
  }

  fail(connection, text) {
    if (connection.failed) return;
    connection.failed = true;
    connection.error = text;
    this.wake(connection);
  }

  wake(connection) {
    const wake = connection.wake;
    connection.wake = null;
    if (wake) wake();
  }

  // The bytes written (report id included), or -1.
  async write(number, reportId, data) {
    const connection = this.connections.get(number);
    if (!connection || connection.failed) return -1;
    try {
      await connection.device.sendReport(reportId, data);
      return data.length + 1;
    } catch (error) {
      await this.leaving(connection.device);
      connection.error = this.present.has(connection.device) ? error.message : `${DISCONNECTED} (${error.message})`;
      return -1;
    }
  }

  // Waits a moment for the disconnect of a device whose write failed.
  leaving(device) {
    if (!this.present.has(device)) return Promise.resolve();
    return new Promise((resolve) => {
      const done = () => {
        clearTimeout(timer);
        this.removeEventListener('change', check);
        resolve();
      };
      const check = () => { if (!this.present.has(device)) done(); };
      const timer = setTimeout(done, DISCONNECT_GRACE_MS);
      this.addEventListener('change', check);
    });
  }

  // The next input report; 0 when none came within `milliseconds` (negative:
  // no limit); -1 when the connection failed (the device left the bus).
  async read(number, milliseconds) {
    const connection = this.connections.get(number);
    if (!connection) return -1;
    if (!connection.queue.length && !connection.failed && milliseconds !== 0) {
      await new Promise((resolve) => {
        const timer = milliseconds > 0 ? setTimeout(resolve, milliseconds) : null;
        connection.wake = () => {
          if (timer !== null) clearTimeout(timer);
          resolve();
        };
      });
      connection.wake = null;
    }
    if (connection.queue.length) return connection.queue.shift();
    return connection.failed ? -1 : 0;
  }

  async close(number) {
    const connection = this.connections.get(number);
    if (!connection) return;
    this.connections.delete(number);
    connection.device.removeEventListener('inputreport', connection.onReport);
    const stillUsed = [...this.connections.values()].some((other) => other.device === connection.device);
    if (!stillUsed && connection.device.opened) {
      try {
        await connection.device.close();
      } catch {
        // A device that left the bus is closed already.
      }
    }
  }

  errorText(number) {
    if (number === 0) return this.processError;
    const connection = this.connections.get(number);
    return connection ? connection.error : '';
  }
}
