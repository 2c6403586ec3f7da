// WebKit for the page's scenarios: WebKitGTK's WebKitWebDriver spoken to
// over classic WebDriver (the W3C HTTP protocol), behind the few parts of a
// puppeteer browser and page the game's driver and the scenarios use, so
// that one driver program plays every engine.
//
// WebDriver has no way to run a script before the page's own, nor to hear
// the page's console, errors, requests and dialogs: the page, served from
// disk or by the scenarios' server, gets those scripts written into its
// head (an observer that logs them, then the scenario's own). Every command
// brings the log back, and the page's listeners hear it then.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, rmSync, readFileSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

export const WEBKIT_DRIVER = '/usr/bin/WebKitWebDriver';
// Debian's WebKitGTK keeps its small browser among the libraries of its
// architecture.
const MINIBROWSER = readdirSync('/usr/lib')
    .map((triplet) => `/usr/lib/${triplet}/webkit2gtk-4.1/MiniBrowser`)
    .find((file) => existsSync(file));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

let PNG;

// The observer written into every page ahead of its own scripts. Alerts are
// answered here: a real one would stop every later command.
const OBSERVER = `(() => {
    const log = [];
    window.__wd = { log, seen: 0 };
    addEventListener('error', (e) => log.push(['pageerror', String(e.message || e.error)]));
    addEventListener('unhandledrejection', (e) => log.push(['pageerror', String(e.reason && e.reason.message || e.reason)]));
    const error = console.error.bind(console);
    console.error = (...a) => { log.push(['console', a.map(String).join(' ')]); error(...a); };
    const dialog = (type, answer) => function (message) { log.push(['dialog', type, String(message ?? '')]); return answer; };
    window.alert = dialog('alert', undefined);
    window.confirm = dialog('confirm', true);
    window.prompt = dialog('prompt', '');
})();`;

// The page's log since the last command, and the resources it fetched.
const DRAIN = `const drain = () => {
    const w = window.__wd;
    if (!w) return [];
    const out = w.log.splice(0);
    const loaded = performance.getEntriesByType('resource');
    for (; w.seen < loaded.length; ++w.seen) out.push(['request', loaded[w.seen].name]);
    return out;
};`;

// Scripts written into a page's HTML where its head begins: after the
// character set, which must stay in the first bytes.
function withScripts(html, scripts) {
    const tags = scripts.map((s) => `<script>${s}</script>`).join('');
    const m = /<meta charset[^>]*>/i.exec(html) ?? /<!DOCTYPE html>/i.exec(html);
    const at = m ? m.index + m[0].length : 0;
    return html.slice(0, at) + tags + html.slice(at);
}

async function freePort() {
    const server = createServer();
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const { port } = server.address();
    await new Promise((resolve) => server.close(resolve));
    return port;
}

// The drivers this run started: a test stopped on its timeout takes them,
// and so their browsers, with it.
const started = new Set();
let heard = false;
function stopOnSignals() {
    if (heard) return;
    heard = true;
    for (const [signal, code] of [['SIGTERM', 143], ['SIGINT', 130], ['SIGHUP', 129]])
        process.once(signal, () => {
            for (const p of started) p.kill();
            process.exit(code);
        });
}

const KEYS = { Enter: '\uE007', Escape: '\uE00C', Tab: '\uE004', Shift: '\uE008', Backspace: '\uE003' };
const BUTTONS = { left: 0, middle: 1, right: 2 };

// One WebKitWebDriver and its one browser session, at one device scale
// (GTK takes whole scales only, from GDK_SCALE).
class Driver {
    constructor(scale) {
        this.scale = scale;
        this.current = null; // the window commands go to
        this.pointer = null; // where the mouse is in it, when known
        this.frame = null; // and the frame in it, or null for the top
        this.spare = null; // the session's first window, until a page takes it
        this.windows = 0;
    }

    async start() {
        this.port = await freePort();
        this.process = spawn(WEBKIT_DRIVER, [`--port=${this.port}`], {
            stdio: ['ignore', 'ignore', 'inherit'],
            env: { ...process.env, GDK_SCALE: String(this.scale) },
        });
        stopOnSignals();
        started.add(this.process);
        this.exited = new Promise((resolve) => this.process.once('exit', resolve));
        this.process.once('exit', () => started.delete(this.process));
        const deadline = Date.now() + 30000;
        for (;;) {
            try {
                await fetch(`http://127.0.0.1:${this.port}/status`);
                break;
            } catch {
                if (Date.now() > deadline) throw new Error('WebKitWebDriver did not answer');
                await sleep(20);
            }
        }
        const session = await this.send('POST', '/session', {
            capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { binary: MINIBROWSER, args: ['--automation'] } } },
        });
        this.id = session.sessionId;
        await this.command('POST', '/timeouts', { script: 60000, pageLoad: 60000 });
        this.current = this.spare = await this.command('GET', '/window');
    }

    async send(method, where, body) {
        const res = await fetch(`http://127.0.0.1:${this.port}${where}`, {
            method,
            headers: { 'Content-Type': 'application/json' },
            body: body === undefined ? undefined : JSON.stringify(body),
        });
        const { value } = await res.json();
        if (value && value.error) throw new Error(`WebDriver ${method} ${where}: ${value.error}: ${value.message}`);
        return value;
    }

    command(method, where, body) {
        return this.send(method, `/session/${this.id}${where}`, body);
    }

    // Commands after this go to the window and, in it, the frame.
    async use(handle, frame = null) {
        if (this.current !== handle) {
            await this.command('POST', '/window', { handle });
            this.current = handle;
            this.frame = null;
            this.pointer = null;
        }
        if (this.frame !== frame) {
            await this.command('POST', '/frame', { id: null });
            if (frame !== null) await this.command('POST', '/frame', { id: frame });
            this.frame = frame;
        }
    }

    async newWindow() {
        ++this.windows;
        if (this.spare) {
            const handle = this.spare;
            this.spare = null;
            return handle;
        }
        return (await this.command('POST', '/window/new', { type: 'window' })).handle;
    }

    // The session's last window stays open for the next page: closing it
    // would end the session.
    async closeWindow(handle) {
        await this.use(handle);
        if (--this.windows === 0) {
            await this.command('POST', '/url', { url: 'about:blank' });
            this.spare = handle;
        } else {
            await this.command('DELETE', '/window');
            this.current = null;
            this.frame = null;
        }
    }

    async stop() {
        if (this.id) await this.command('DELETE', '').catch(() => {});
        this.process.kill();
        await this.exited;
    }
}

// What a scenario holds as a browser: its pages, each a window of the
// driver for its device scale.
export class WebKitBrowser {
    constructor() {
        this.drivers = new Map();
        this.pages = [];
        this.dir = mkdtempSync(path.join(os.tmpdir(), 'skeetra-webkit-'));
        // The scripts the page that loaded last asked for: the server writes
        // them into the pages it serves.
        this.scripts = [OBSERVER];
    }

    static async launch() {
        if (!MINIBROWSER) throw new Error("no WebKitGTK MiniBrowser (package libwebkit2gtk-4.1-0)");
        PNG = (await import('pngjs')).PNG;
        // Each driver starts with the first page at its device scale.
        return new WebKitBrowser();
    }

    async driver(scale) {
        if (!this.drivers.has(scale)) {
            const d = new Driver(scale);
            this.drivers.set(scale, d);
            await d.start();
        }
        return this.drivers.get(scale);
    }

    // A page as the scenarios' server sends it.
    inject(html) {
        return withScripts(String(html), this.scripts);
    }

    async newPage() {
        const page = new WebKitPage(this);
        this.pages.push(page);
        return page;
    }

    async close() {
        for (const d of this.drivers.values()) await d.stop();
        rmSync(this.dir, { recursive: true, force: true });
    }
}

// The parts of puppeteer's Page the scenarios use.
export class WebKitPage {
    constructor(browser) {
        this.browser = browser;
        this.listeners = { dialog: [], pageerror: [], console: [], request: [] };
        this.scripts = [];
        this.viewport = { width: 800, height: 600, deviceScaleFactor: 1 };
        this.closed = false;
        this.mouse = {
            move: (x, y) => this.pointerActions((d) => [this.moveTo(d, x, y)]),
            down: ({ button = 'left' } = {}) => this.pointerActions(() => [{ type: 'pointerDown', button: BUTTONS[button] }]),
            up: ({ button = 'left' } = {}) => this.pointerActions(() => [{ type: 'pointerUp', button: BUTTONS[button] }]),
            click: (x, y, { button = 'left' } = {}) => this.pointerActions((d) => this.clickAt(d, x, y, BUTTONS[button])),
            // A whole burst in one request.
            clickAll: (points) => this.pointerActions((d) => points.flatMap(([x, y]) => this.clickAt(d, x, y, 0))),
        };
        this.keyboard = {
            down: (key) => this.keyActions([{ type: 'keyDown', value: KEYS[key] ?? key }]),
            up: (key) => this.keyActions([{ type: 'keyUp', value: KEYS[key] ?? key }]),
            press: (key) => this.keyActions([{ type: 'keyDown', value: KEYS[key] ?? key }, { type: 'keyUp', value: KEYS[key] ?? key }]),
        };
    }

    on(event, listener) {
        this.listeners[event]?.push(listener);
    }

    hear(log) {
        for (const [kind, ...rest] of log) {
            if (kind === 'pageerror') for (const l of this.listeners.pageerror) l(new Error(rest[0]));
            else if (kind === 'console') for (const l of this.listeners.console) l({ type: () => 'error', text: () => rest[0] });
            else if (kind === 'request') for (const l of this.listeners.request) l({ url: () => rest[0] });
            else if (kind === 'dialog') {
                const d = { type: () => rest[0], message: () => rest[1], accept: async () => {}, dismiss: async () => {} };
                for (const l of this.listeners.dialog) l(d);
            }
        }
    }

    // The window, opened on first use at the device scale of the viewport.
    async window(frame = null) {
        if (!this.handle) {
            this.driver = await this.browser.driver(this.viewport.deviceScaleFactor ?? 1);
            this.handle = await this.driver.newWindow();
            await this.fit();
        }
        await this.driver.use(this.handle, frame);
        return this.driver;
    }

    // The window sized so that its viewport is the one asked for: the
    // browser's own bar above it is measured, not assumed.
    async fit() {
        const { width, height } = this.viewport;
        // The bar is measured once a driver: the next windows get their size at once.
        const bar = this.driver.bar ?? [0, 0];
        let [w, h] = [width + bar[0], height + bar[1]];
        let inner;
        for (let i = 0; i < 3; ++i) {
            await this.driver.use(this.handle);
            const outer = await this.driver.command('POST', '/window/rect', { width: w, height: h });
            inner = await this.driver.command('POST', '/execute/sync', { script: 'return [innerWidth, innerHeight]', args: [] });
            if (inner[0] === width && inner[1] === height) {
                this.driver.bar = [outer.width - width, outer.height - height];
                return;
            }
            [w, h] = [outer.width + width - inner[0], outer.height + height - inner[1]];
        }
        throw new Error(`WebKit gives no ${width} x ${height} viewport, but ${inner[0]} x ${inner[1]}`);
    }

    async setViewport(viewport) {
        // Touch and mobile emulation are not WebDriver's: the scenarios that
        // need them are not played in WebKit.
        this.viewport = { deviceScaleFactor: 1, ...viewport };
        if (this.handle) {
            if ((this.viewport.deviceScaleFactor ?? 1) !== this.driver.scale) throw new Error('the device scale of an open page');
            await this.fit();
        }
    }

    async evaluateOnNewDocument(fn) {
        this.scripts.push(`(${fn})();`);
    }

    async goto(url) {
        this.browser.scripts = [OBSERVER, ...this.scripts];
        let to = url;
        if (url.startsWith('file:')) {
            // A copy beside the others of this run, with the scripts in it.
            const file = fileURLToPath(url);
            const dir = mkdtempSync(path.join(this.browser.dir, 'page-'));
            const copy = path.join(dir, path.basename(file));
            writeFileSync(copy, this.browser.inject(readFileSync(file, 'utf8')));
            to = pathToFileURL(copy).href;
        }
        const d = await this.window();
        for (const l of this.listeners.request) l({ url: () => url });
        await d.command('POST', '/url', { url: to });
        // The load waited for its frames too.
        const frames = await this.evaluate(() => document.querySelectorAll('iframe').length);
        this.frame = frames ? new WebKitFrame(this, 0) : null;
    }

    async title() {
        return (await this.window()).command('GET', '/title');
    }

    // A function of the page run there with its arguments, awaited, its
    // value brought back as JSON.
    async evaluate(fn, ...args) {
        return this.evaluateIn(null, fn, args);
    }

    async evaluateIn(frame, fn, args) {
        const d = await this.window(frame);
        const script = `const done = arguments[arguments.length - 1];
            const args = Array.prototype.slice.call(arguments, 0, -1);
            ${DRAIN}
            Promise.resolve().then(() => (${fn})(...args)).then(
                (v) => done({ value: v === undefined ? null : v, log: drain() }),
                (e) => done({ error: String(e && e.message || e), log: drain() }));`;
        const r = await d.command('POST', '/execute/async', { script, args });
        this.hear(r?.log ?? []);
        if (r?.error !== undefined) throw new Error(`evaluation failed: ${r.error}`);
        return r?.value ?? undefined;
    }

    async waitForFunction(fn, { timeout = 30000 } = {}) {
        const deadline = Date.now() + timeout;
        for (;;) {
            const value = await this.evaluate(fn).catch(() => undefined);
            if (value) return { jsonValue: async () => value };
            if (Date.now() > deadline) throw new Error(`waited ${timeout} ms for ${fn}`);
            await sleep(20);
        }
    }

    mainFrame() {
        const page = this;
        return {
            // The scenarios' frames are the only one in their page.
            childFrames: () => (page.frame ? [page.frame] : []),
        };
    }

    async click(selector) {
        const [x, y] = await this.evaluate((s) => {
            const r = document.querySelector(s).getBoundingClientRect();
            return [r.left + r.width / 2, r.top + r.height / 2];
        }, selector);
        await this.mouse.click(x, y);
    }

    moveTo(d, x, y) {
        d.pointer = [Math.round(x), Math.round(y)];
        return { type: 'pointerMove', origin: 'viewport', x: d.pointer[0], y: d.pointer[1], duration: 0 };
    }

    // A click, with no move where the pointer already is: each event costs
    // a round trip to the page.
    clickAt(d, x, y, button) {
        const here = d.pointer?.[0] === Math.round(x) && d.pointer?.[1] === Math.round(y);
        return [...(here ? [] : [this.moveTo(d, x, y)]), { type: 'pointerDown', button }, { type: 'pointerUp', button }];
    }

    async pointerActions(actions) {
        const d = await this.window();
        await d.command('POST', '/actions', {
            actions: [{ type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' }, actions: actions(d) }],
        });
    }

    async keyActions(actions) {
        const d = await this.window();
        await d.command('POST', '/actions', { actions: [{ type: 'key', id: 'keyboard', actions }] });
    }

    // The viewport as PNG, or the clip of it in CSS pixels, in device pixels.
    async screenshot({ clip, path: file } = {}) {
        const d = await this.window();
        let png = Buffer.from(await d.command('GET', '/screenshot'), 'base64');
        if (clip) {
            const s = d.scale;
            const whole = PNG.sync.read(png);
            const x = Math.round(clip.x * s), y = Math.round(clip.y * s);
            const part = new PNG({ width: Math.round(clip.width * s), height: Math.round(clip.height * s) });
            PNG.bitblt(whole, part, x, y, part.width, part.height, 0, 0);
            png = PNG.sync.write(part);
        }
        if (file) writeFileSync(file, png);
        return png;
    }

    // The window minimised, as a player leaves it: the page is hidden.
    async minimize() {
        await (await this.window()).command('POST', '/window/minimize', {});
    }

    async restore() {
        await this.fit();
    }

    async bringToFront() {
        await this.window();
    }

    isClosed() {
        return this.closed;
    }

    async close() {
        if (this.closed) return;
        this.closed = true;
        if (this.handle) await this.driver.closeWindow(this.handle);
    }
}

// A frame of a page, for the scenarios that play the page framed.
class WebKitFrame {
    constructor(page, index) {
        this.page = page;
        this.index = index;
    }
    evaluate(fn, ...args) {
        return this.page.evaluateIn(this.index, fn, args);
    }
}
