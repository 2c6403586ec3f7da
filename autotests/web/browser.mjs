// The browsers: launching an engine or borrowing one from the run's pool,
// the page's own static server, and one Session a scenario, whose games are
// pages in it.
import { readFileSync, utimesSync } from 'node:fs';
import { createServer } from 'node:http';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { Game } from './game_driver.mjs';
import { WebKitBrowser, WEBKIT_DRIVER } from './webdriver.mjs';

// Imported when the run starts, as the entry point reports its absence.
let puppeteer;
export async function loadBrowserPackage() {
    puppeteer = (await import('puppeteer-core')).default;
}

// ---------------------------------------------------------------- serving

// The page from a static server of our own on localhost: it serves the
// page's file and nothing else, and keeps a log of what was asked. A
// browser that cannot run scripts ahead of the page's own has them written
// into each document it is sent (inject).
export async function serve(pageFile, inject = (html) => html) {
    const body = readFileSync(pageFile);
    const name = '/' + path.basename(pageFile);
    const log = [];
    const server = createServer((req, res) => {
        log.push(req.url);
        const frame = /^\/frame\.html\?sandbox=(.*)$/.exec(req.url);
        if (frame) {
            // The page as a game portal embeds it: a sandboxed frame filling the window.
            const sandbox = decodeURIComponent(frame[1]).replace(/[^a-z -]/g, '');
            res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
            res.end(inject('<!DOCTYPE html><link rel="icon" href="data:,"><style>html,body{margin:0;height:100%;overflow:hidden}' +
                    'iframe{display:block;border:0;width:100%;height:100%}</style>' +
                    `<iframe sandbox="${sandbox}" src="${name}"></iframe>`));
        } else if (req.url === name || req.url.startsWith(name + '?csp=')) {
            // ?csp=POLICY: served as a strict host serves it.
            const headers = { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' };
            if (req.url !== name) headers['Content-Security-Policy'] = decodeURIComponent(req.url.slice(name.length + 5));
            res.writeHead(200, headers);
            res.end(inject(body));
        } else {
            res.writeHead(404);
            res.end();
        }
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    // Closed with the connections a browser keeps alive: one borrowed from
    // the pool outlives the scenario, and would keep them open.
    const close = () => {
        server.close();
        server.closeAllConnections();
    };
    return { url: `http://127.0.0.1:${server.address().port}${name}`, log, close };
}

// ---------------------------------------------------------------- the browser

export const ENGINES = {
    chromium: {
        browser: 'chrome',
        executablePath: '/usr/bin/chromium',
        // As root Chromium needs no sandbox; the rest keeps a test browser
        // from reaching out on its own.
        args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update',
               '--disable-sync', '--no-first-run', '--disable-default-apps', '--disable-breakpad',
               '--disable-domain-reliability', '--metrics-recording-only', '--no-pings'],
    },
    firefox: {
        browser: 'firefox',
        executablePath: '/usr/bin/firefox-esr',
        args: [],
        extraPrefsFirefox: {
            'app.update.enabled': false,
            'browser.safebrowsing.malware.enabled': false,
            'browser.safebrowsing.phishing.enabled': false,
            'network.captive-portal-service.enabled': false,
            'network.connectivity-service.enabled': false,
            'toolkit.telemetry.enabled': false,
        },
    },
    // WebKitGTK's MiniBrowser on the X server the test runs on, through
    // WebKitWebDriver (webdriver.mjs).
    webkit: { executablePath: WEBKIT_DRIVER },
};

// How an engine is launched, for a scenario or for the run's pool.
export function launchOptions(engine, more = {}) {
    const e = ENGINES[engine];
    return {
        browser: e.browser,
        executablePath: e.executablePath,
        headless: true,
        args: e.args,
        extraPrefsFirefox: e.extraPrefsFirefox,
        protocolTimeout: 60000,
        ...more,
    };
}

export async function launchBrowser(engine, more = {}) {
    return puppeteer.launch(launchOptions(engine, more));
}

// A browser of the run's pool (browser_pool.mjs; SKEETRA_BROWSER_POOL names
// its state file), or null when there is none or none of its browsers is
// free: Firefox takes one WebDriver BiDi session at a time and refuses a
// second, so a busy one is passed over.
async function borrow(engine) {
    const file = process.env.SKEETRA_BROWSER_POOL;
    if (!file) return null;
    let pool;
    try {
        pool = JSON.parse(readFileSync(file, 'utf8'));
        // Used: the pool stays while its state file is touched.
        const now = new Date();
        utimesSync(file, now, now);
    } catch {
        return null;
    }
    if (pool.engine !== engine) return null;
    for (const { endpoint } of pool.browsers) {
        try {
            return await puppeteer.connect({
                browserWSEndpoint: endpoint,
                protocol: ENGINES[engine].browser === 'firefox' ? 'webDriverBiDi' : 'cdp',
                protocolTimeout: 60000,
            });
        } catch {
            // Busy, or gone: the next one, or a launch of our own.
        }
    }
    return null;
}

// One browser for a scenario, borrowed or launched; each Game is a fresh
// page in it. A borrowed browser gives the scenario a context of its own
// (as a new profile would) and is left running at the end.
export class Session {
    constructor(engine, pageFile) {
        this.engine = engine;
        this.pageFile = pageFile;
        this.games = [];
    }
    // deviceScale: Chromium started as on a screen of that density, not
    // borrowed; its compositor draws an emulated density otherwise.
    async launch({ deviceScale = null } = {}) {
        if (this.engine === 'webkit') {
            this.browser = await WebKitBrowser.launch();
            this.server = await serve(this.pageFile, (html) => this.browser.inject(html));
            return;
        }
        const lent = deviceScale ? null : await borrow(this.engine);
        if (lent) {
            this.browser = lent;
            this.context = await lent.createBrowserContext();
        } else if (deviceScale) {
            const args = [...ENGINES[this.engine].args, `--force-device-scale-factor=${deviceScale}`];
            this.browser = await launchBrowser(this.engine, { args });
        } else {
            this.browser = await launchBrowser(this.engine);
        }
        this.server = await serve(this.pageFile);
    }
    get borrowed() {
        return !!this.context;
    }
    async newPage() {
        return (this.context ?? this.browser).newPage();
    }
    // from: 'file' or 'http'
    // or { sandbox: 'allow-scripts ...' } for the page in a sandboxed frame
    url(from) {
        if (from.sandbox !== undefined)
            return new URL(`/frame.html?sandbox=${encodeURIComponent(from.sandbox)}`, this.server.url).href;
        return from === 'http' ? this.server.url : pathToFileURL(this.pageFile).href;
    }
    async game(options = {}) {
        const g = new Game(this, options);
        this.games.push(g);
        await g.open();
        return g;
    }
    async close() {
        for (const g of this.games) g.page && (await g.page.close().catch(() => {}));
        if (this.context) {
            await this.context.close().catch(() => {});
            await this.browser.disconnect().catch(() => {});
        } else if (this.browser) {
            await this.browser.close().catch(() => {});
        }
        this.server?.close();
    }
}
