// The page's log: every step and the outcome, one line each, saved by the
// user as log.txt. Its last line after a run is the run's result.

export class PageLog {
  constructor(clock = () => new Date()) {
    this.clock = clock;
    this.lines = [];
  }

  // One line; control characters are escaped so that an entry stays one line.
  add(text) {
    const escaped = String(text).replace(/[\u0000-\u001f\u007f]/g, (c) =>
      c === '\n' ? '\\n' : `\\x${c.charCodeAt(0).toString(16).padStart(2, '0')}`);
    this.lines.push(`${stamp(this.clock())} ${escaped}`);
    return this.lines[this.lines.length - 1];
  }

  text() {
    return this.lines.length ? `${this.lines.join('\n')}\n` : '';
  }
}

// "2024-05-01 14:03:07.250", local time.
export function stamp(date) {
  const two = (n) => String(n).padStart(2, '0');
  return `${date.getFullYear()}-${two(date.getMonth() + 1)}-${two(date.getDate())} ` +
    `${two(date.getHours())}:${two(date.getMinutes())}:${two(date.getSeconds())}.` +
    String(date.getMilliseconds()).padStart(3, '0');
}

// The firmware file and its signature among the files the user chose: the
// signature is the one named after the file with ".minisig" added.
export function pairFiles(files) {
  const list = [...files];
  const firmware = list.filter((file) => !file.name.endsWith('.minisig'));
  if (firmware.length !== 1) {
    const problem = firmware.length ? 'Choose one firmware file at a time.'
      : 'Choose the firmware file (.cyacd) too, not only its signature.';
    return { firmware: null, signature: null, problem };
  }
  const signature = list.find((file) => file.name === `${firmware[0].name}.minisig`) || null;
  const strays = list.filter((file) => file !== firmware[0] && file !== signature);
  if (strays.length) {
    const name = firmware[0].name;
    const problem = `${strays[0].name} is not the signature of ${name} (that is ${name}.minisig).`;
    return { firmware: null, signature: null, problem };
  }
  return { firmware: firmware[0], signature, problem: '' };
}
