// The panel addon loaded in Node against real X windows on the test desktop:
//   scripts/desktop run /usr/bin/node --test apps/shell/native/halcy-panel/test/panel.test.mjs
// with HALCY_PANEL naming the built addon (build/halcy-panel/halcy_panel.node by default).
// Each "application" is a process of test/windows.py; the X state is read with xprop, xwininfo
// and xdotool, never through the addon itself.

import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { endianness } from 'node:os';
import { dirname, join } from 'node:path';
import readline from 'node:readline';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const addonPath =
  process.env.HALCY_PANEL ?? join(here, '..', '..', '..', '..', '..', 'build', 'halcy-panel', 'halcy_panel.node');
const panel = createRequire(import.meta.url)(addonPath);
const noDesktop = process.env.DISPLAY ? false : 'no X display: run inside scripts/desktop run';

// How long a test waits to be sure that the window manager did not move the focus.
const settleMs = 300;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function eventually(read, done, timeoutMs = 3000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = read();
    if (done(value) || Date.now() > deadline) return value;
    await sleep(20);
  }
}

// The window handle as Electron hands it over on X11: the XID in 8 bytes of native byte order.
function handle(xid) {
  const buffer = Buffer.alloc(8);
  if (endianness() === 'LE') buffer.writeBigUInt64LE(BigInt(xid));
  else buffer.writeBigUInt64BE(BigInt(xid));
  return buffer;
}

const run = (tool, ...args) => execFileSync(tool, args, { encoding: 'utf8' });
const activeWindow = () =>
  Number(/window id # (0x[0-9a-f]+)/.exec(run('xprop', '-root', '-notype', '_NET_ACTIVE_WINDOW'))?.[1] ?? 0);
const inputFocus = () => Number(run('xdotool', 'getwindowfocus', '-f').trim());
const properties = (xid) => run('xprop', '-id', String(xid));

// The outer bounds of a window's frame: the window manager's frame window is the window's
// ancestor just below the root.
function frameOf(xid) {
  const root = Number(/Window id: (0x[0-9a-f]+)/.exec(run('xwininfo', '-root'))[1]);
  let frame = xid;
  for (;;) {
    const parent = Number(/Parent window id: (0x[0-9a-f]+)/.exec(run('xwininfo', '-tree', '-id', String(frame)))[1]);
    if (parent === root) break;
    frame = parent;
  }
  const info = run('xwininfo', '-id', String(frame));
  const field = (name) => Number(new RegExp(`${name}:\\s+(-?\\d+)`).exec(info)[1]);
  const border = field('Border width');
  return {
    x: field('Absolute upper-left X') - border,
    y: field('Absolute upper-left Y') - border,
    width: field('Width') + 2 * border,
    height: field('Height') + 2 * border,
  };
}

// One application: a process of windows.py holding the windows described.
class App {
  static async start(windows) {
    const app = new App(windows);
    await app.ready;
    return app;
  }

  constructor(windows) {
    this.lines = [];
    this.process = spawn('/usr/bin/python3', [join(here, 'windows.py'), JSON.stringify(windows)], {
      stdio: ['pipe', 'pipe', 'inherit'],
    });
    this.ready = new Promise((resolve, reject) => {
      this.process.on('exit', (code) => reject(new Error(`windows.py ended early (${code})`)));
      readline.createInterface({ input: this.process.stdout }).on('line', (line) => {
        const message = JSON.parse(line);
        if (message.ready) {
          this.xid = message.ready;
          resolve();
        } else {
          this.lines.push(message);
        }
      });
    });
  }

  keysTo(name) {
    return this.lines.filter((line) => line.key === name);
  }

  async close() {
    this.process.removeAllListeners('exit');
    const ended = new Promise((resolve) => this.process.on('exit', resolve));
    this.process.stdin.end();
    await ended;
  }
}

async function activate(xid) {
  run('xdotool', 'windowactivate', '--sync', String(xid));
  assert.equal(await eventually(activeWindow, (active) => active === xid), xid);
}

async function clickCentre(xid) {
  const frame = frameOf(xid);
  run('xdotool', 'mousemove', '--sync', String(frame.x + frame.width / 2), String(frame.y + frame.height / 2),
    'click', '1');
  await sleep(settleMs);
}

test('the five exports, in order, each a plain function that cannot be changed', () => {
  const names = ['makeNonActivatingPanel', 'makeKeyWithoutActivating', 'screenNotch', 'focusedWindow', 'describe'];
  assert.deepEqual(Object.getOwnPropertyNames(panel), names);
  for (const name of names) {
    const { value, writable, enumerable, configurable } = Object.getOwnPropertyDescriptor(panel, name);
    assert.equal(typeof value, 'function', name);
    assert.deepEqual({ writable, enumerable, configurable }, { writable: false, enumerable: false, configurable: false });
  }
});

test('every bad window argument is "no window"', { skip: noDesktop }, () => {
  const root = Number(/xwininfo: Window id: (0x[0-9a-f]+)/.exec(run('xwininfo', '-root'))[1]);
  const wide = Buffer.alloc(8);
  wide.writeBigUInt64LE(1n << 40n);
  const cases = [
    ['nothing', []],
    ['undefined', [undefined]],
    ['null', [null]],
    ['a number', [0x400000]],
    ['a string', ['0x400000']],
    ['an array of bytes', [[0, 0, 0x40, 0, 0, 0, 0, 0]]],
    ['a typed array that is no Buffer', [new BigUint64Array([0x400000n])]],
    ['7 bytes', [Buffer.alloc(7)]],
    ['an empty buffer', [Buffer.alloc(0)]],
    ['XID 0', [handle(0)]],
    ['wider than any XID', [wide]],
    ['an XID no window has', [handle(0x1fffffff)]],
    ['the root window', [handle(root)]],
  ];
  for (const [name, args] of cases) {
    assert.equal(panel.makeNonActivatingPanel(...args), false, name);
    assert.equal(panel.makeKeyWithoutActivating(...args), false, name);
    assert.equal(panel.describe(...args), 'no window', name);
  }
});

test('screenNotch: X11 displays have no notch, and bad arguments answer null', () => {
  const cases = [[], [0], [1], [0x42], [-1], [2 ** 33], [NaN], [1, 2], ['1'], [null], [undefined], [{}], [1n]];
  for (const args of cases) assert.equal(panel.screenNotch(...args), null, String(args));
});

describe('a panel beside the front application', { skip: noDesktop }, () => {
  let front;
  let panels;
  before(async () => {
    front = await App.start([{ name: 'front', x: 40, y: 60, width: 400, height: 300 }]);
    panels = await App.start([
      { name: 'panel', x: 700, y: 60, width: 300, height: 200, map: false },
      { name: 'shown', x: 700, y: 500, width: 300, height: 200 },
    ]);
  });
  after(async () => {
    await front?.close();
    await panels?.close();
  });

  test('made before it is shown, it takes no focus when shown or clicked', async () => {
    await activate(front.xid.front);
    assert.equal(panel.makeNonActivatingPanel(handle(panels.xid.panel)), true);
    const declared = properties(panels.xid.panel);
    assert.match(declared, /Client accepts input or input focus: False/);
    assert.match(declared, /WM_PROTOCOLS\(ATOM\): protocols {2}WM_DELETE_WINDOW\n/);
    assert.match(declared, /_NET_WM_WINDOW_TYPE\(ATOM\) = _NET_WM_WINDOW_TYPE_UTILITY\n/);
    assert.match(declared, /_NET_WM_DESKTOP\(CARDINAL\) = 4294967295/);
    for (const state of ['SKIP_TASKBAR', 'SKIP_PAGER', 'ABOVE']) {
      assert.match(declared, new RegExp(`_NET_WM_STATE\\(ATOM\\) = .*_NET_WM_STATE_${state}`), state);
    }

    run('xdotool', 'windowmap', '--sync', String(panels.xid.panel));
    await sleep(settleMs);
    assert.equal(activeWindow(), front.xid.front, 'shown');
    await clickCentre(panels.xid.panel);
    assert.equal(activeWindow(), front.xid.front, 'clicked');
    assert.equal(inputFocus(), front.xid.front);
    assert.equal(panel.describe(handle(panels.xid.panel)),
      'panel super=Panel panel=1 nonactivating=1 canBecomeKey=1 canBecomeMain=0 level=3');
  });

  test('made while shown, the window manager takes the change at once', async () => {
    await activate(front.xid.front);
    assert.equal(panel.makeNonActivatingPanel(handle(panels.xid.shown)), true);
    await clickCentre(panels.xid.shown);
    assert.equal(activeWindow(), front.xid.front);
    assert.equal(inputFocus(), front.xid.front);
    // The window manager, which owns the state of a shown window, keeps it above.
    assert.match(properties(panels.xid.shown), /_NET_WM_STATE\(ATOM\) = .*_NET_WM_STATE_ABOVE/);
  });

  test('makeKeyWithoutActivating: keys reach the panel, the front window stays active', async () => {
    await activate(front.xid.front);
    assert.equal(panel.makeKeyWithoutActivating(handle(panels.xid.panel)), true);
    assert.equal(inputFocus(), panels.xid.panel);
    await sleep(settleMs);
    assert.equal(activeWindow(), front.xid.front);
    run('xdotool', 'key', 'a');
    assert.equal((await eventually(() => panels.keysTo('panel'), (keys) => keys.length > 0)).length, 1);
    assert.equal(front.keysTo('front').length, 0);
    // Back to the front application by the usual way, which works as before.
    await activate(front.xid.front);
    assert.equal(inputFocus(), front.xid.front);
  });

  test('makeKeyWithoutActivating: a window that is not shown cannot take the keys', async () => {
    const hidden = await App.start([{ name: 'hidden', width: 200, height: 200, map: false }]);
    try {
      assert.equal(panel.makeKeyWithoutActivating(handle(hidden.xid.hidden)), false);
      assert.equal(inputFocus(), front.xid.front);
    } finally {
      await hidden.close();
    }
  });
});

describe('focusedWindow: the front application\'s front window', { skip: noDesktop }, () => {
  let app;
  let other;
  let lonely;
  before(async () => {
    app = await App.start([
      { name: 'main', x: 100, y: 120, width: 500, height: 400 },
      { name: 'second', x: 150, y: 160, width: 300, height: 300 },
      { name: 'tiny', x: 130, y: 150, width: 40, height: 40 },
      { name: 'ghost', x: 140, y: 150, width: 300, height: 300, opacity: 0 },
      { name: 'floating', x: 160, y: 170, width: 300, height: 300, states: ['ABOVE'] },
      { name: 'dock', x: 0, y: 900, width: 800, height: 100, type: 'DOCK' },
    ]);
    other = await App.start([{ name: 'other', x: 120, y: 140, width: 400, height: 400 }]);
    lonely = await App.start([{ name: 'lonely', x: 1200, y: 100, width: 40, height: 40 }]);
  });
  after(async () => {
    await app?.close();
    await other?.close();
    await lonely?.close();
  });

  test('skips small, invisible and raised windows and other applications\' windows', async () => {
    await activate(app.xid.second);
    await activate(app.xid.main);
    // Above the active window: its own small and invisible windows, and another application's.
    run('xdotool', 'windowraise', String(app.xid.tiny));
    run('xdotool', 'windowraise', String(app.xid.ghost));
    run('xdotool', 'windowraise', String(other.xid.other));
    await sleep(settleMs);
    assert.equal(activeWindow(), app.xid.main);
    assert.deepEqual(panel.focusedWindow(), frameOf(app.xid.main));

    // The application's front window, whichever of its windows is active.
    await activate(app.xid.second);
    await activate(app.xid.tiny);
    assert.deepEqual(panel.focusedWindow(), frameOf(app.xid.second));
  });

  test('null when the front application has no window that qualifies', async () => {
    await activate(lonely.xid.lonely);
    assert.equal(panel.focusedWindow(), null);
  });

  test('describe tells the class, the kind and the level', () => {
    const cases = [
      ['main', 'main super=Main panel=0 nonactivating=0 canBecomeKey=1 canBecomeMain=1 level=0'],
      ['floating', 'floating super=Floating panel=0 nonactivating=0 canBecomeKey=1 canBecomeMain=1 level=3'],
      ['dock', 'dock super=Dock panel=0 nonactivating=0 canBecomeKey=1 canBecomeMain=0 level=20'],
    ];
    for (const [name, text] of cases) assert.equal(panel.describe(handle(app.xid[name])), text, name);
    // Only the first argument counts, and only the first 8 bytes of it.
    assert.equal(panel.describe(handle(app.xid.main), Buffer.alloc(1)), cases[0][1]);
    assert.equal(panel.describe(Buffer.concat([handle(app.xid.main), Buffer.alloc(8, 0xff)])), cases[0][1]);
  });

  test('describe without WM_CLASS, and of a window not shown', async () => {
    const bare = await App.start([
      { name: 'bare', width: 200, height: 200, wmClass: null },
      { name: 'unshown', width: 200, height: 200, map: false },
    ]);
    try {
      assert.equal(panel.describe(handle(bare.xid.bare)),
        '(null) super=(null) panel=0 nonactivating=0 canBecomeKey=1 canBecomeMain=1 level=0');
      assert.equal(panel.describe(handle(bare.xid.unshown)),
        'unshown super=Unshown panel=0 nonactivating=0 canBecomeKey=0 canBecomeMain=1 level=0');
    } finally {
      await bare.close();
    }
  });
});
