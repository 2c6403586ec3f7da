// The page's figures in headless Chromium (load also in Firefox), each
// beside its floor and with game and floor runs interleaved, so that a busy
// machine slows both alike:
//
// - the size of skeetra.html, plain and gzipped;
// - page load to the first complete frame, against a floor page that holds
//   the same pictures, fonts and one label but no module (made here from
//   the page's own files), in each engine;
// - waiting before play: timer callbacks and main-thread task time over a
//   span of seconds, the floor page idling beside it;
// - play without shots: timer callbacks against the clock's ticks;
// - a hit: whether the next figure is on screen in the next animation frame.
//
//   node bench/web/bench-web.mjs --page build/web/skeetra.html [--runs N]
//        [--seconds S] [--hits N] [--block FILE] [--earlier PAGE]
//
// --earlier: an earlier build of the page, loaded in the same runs, page,
// earlier page and floor taking turns, for a before and after in one run.
//
// Prints every run and writes a Markdown block of the figures to FILE
// (standard output without --block). puppeteer-core comes from
// autotests/web/node_modules (npm ci there).
import { createRequire } from 'node:module';
import { readFileSync, writeFileSync, statSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir, cpus, loadavg } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { gzipSync } from 'node:zlib';
import { execFileSync } from 'node:child_process';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');

const args = { page: path.join(root, 'build/web/skeetra.html'), runs: 15, seconds: 10, hits: 60, block: null, earlier: null };
for (let i = 2; i < process.argv.length; ++i) {
    const a = process.argv[i];
    const value = () => process.argv[++i];
    if (a === '--page') args.page = path.resolve(value());
    else if (a === '--runs') args.runs = Number(value());
    else if (a === '--seconds') args.seconds = Number(value());
    else if (a === '--hits') args.hits = Number(value());
    else if (a === '--block') args.block = path.resolve(value());
    else if (a === '--earlier') args.earlier = path.resolve(value());
    else {
        console.error(`bench-web: unknown argument ${a}`);
        process.exit(2);
    }
}

// The game's places and the facts of play, from the design table the web
// build writes beside the page (or SKEETRA_DESIGN_JSON).
const designFile = process.env.SKEETRA_DESIGN_JSON || path.join(path.dirname(args.page), 'design/form1.json');
const design = JSON.parse(readFileSync(designFile, 'utf8'));
const PLAY = design.play;
const control = (name) => {
    const c = design.controls.find((c) => c.name === name);
    if (!c) throw new Error(`the design has no ${name}`);
    return c;
};
const centre = (r) => [r.left + Math.floor(r.width / 2), r.top + Math.floor(r.height / 2)];
// The figure's openings: the pictures that show it (the start sign shows none).
const OPENINGS = design.controls.filter((c) => c.kind === 'image' && c.picture).map((c) => c.name);

const require = createRequire(path.join(root, 'autotests/web/package.json'));
const puppeteer = (await import(pathToFileURL(require.resolve('puppeteer-core')).href)).default;

const median = (a) => {
    const s = [...a].sort((x, y) => x - y);
    return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const fixed = (v, n = 1) => Number(v).toFixed(n);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// ---------------------------------------------------------------- the floor

// The same pictures and fonts as the page, taken from the page itself as it
// carries them, one label in one of the fonts, the form's pointer; no module.
function floorPage(pageHtml) {
    const urls = (mime) => [...new Set(pageHtml.match(new RegExp(`data:${mime};base64,[A-Za-z0-9+/=]+`, 'g')) ?? [])];
    const fonts = urls('font/woff2');
    const gifs = urls('image/gif');
    const icons = urls('image/x-icon');
    if (!fonts.length || gifs.length < 2) throw new Error('the page carries no fonts or pictures as data: URLs');
    const facade = gifs.reduce((a, b) => (a.length > b.length ? a : b));
    const figure = gifs.find((g) => g !== facade);
    const faces = fonts.map((u, i) => `@font-face { font-family: "floor${i}"; src: url(${u}); }`).join('\n');
    const title = control(PLAY.ammunitionTitle); // the strip's first label
    const targets = [];
    for (let i = 0; i < OPENINGS.length; ++i)
        targets.push(`<img class="t" hidden src="${figure}" style="left:${(i * 36) % 400}px;top:${Math.floor(i / 6) * 60}px">`);
    return `<!DOCTYPE html>
<html lang="ru"><head><meta charset="utf-8"><title>floor</title>
${icons[0] ? `<link rel="icon" href="${icons[0]}">` : ''}
<style>
${faces}
html, body { margin: 0; height: 100%; overflow: hidden; background: #202020; }
#form { position: absolute; left: 183px; top: 62px; width: ${design.client.width}px; height: ${design.client.height}px; overflow: hidden; background: #000;
  visibility: hidden; ${icons[1] ? `cursor: url(${icons[1]}) 16 16, crosshair;` : ''} }
#form > * { position: absolute; }
img { image-rendering: pixelated; }
#label { left: ${title.rect.left}px; top: ${title.rect.top}px; width: ${title.rect.width}px; height: ${title.rect.height}px; font: 13px "floor0", sans-serif; color: #f00; white-space: pre-wrap; }
</style></head><body>
<div id="form"><img id="facade" src="${facade}">${targets.join('')}<div id="label">${title.caption}</div></div>
<script>
window.floor = { ready: Promise.all([...document.images].map((i) => i.decode()).concat(
    [...document.fonts].map((f) => f.load()))).then(() => {
        document.getElementById('form').style.visibility = 'visible';
        // Two frames, as the page's own ready: the one that shows it has
        // then been painted.
        return new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(() => r())));
    }) };
</script>
</body></html>
`;
}

// ---------------------------------------------------------------- probes

// Installed before the page's scripts: counts the timer and frame callbacks
// the page runs and the time they take, and marks the first frame after the
// page says it is ready.
function probe() {
    const stats = (window.__bench = { callbacks: 0, frames: 0, callbackMs: 0, firstFrame: null });
    const wrap = (fn, kind) => function (...a) {
        stats[kind] += 1;
        const t = performance.now();
        try {
            return fn.apply(this, a);
        } finally {
            stats.callbackMs += performance.now() - t;
        }
    };
    const st = window.setTimeout;
    const si = window.setInterval;
    const raf = window.requestAnimationFrame;
    window.setTimeout = (f, ...rest) => st(typeof f === 'function' ? wrap(f, 'callbacks') : f, ...rest);
    window.setInterval = (f, ...rest) => si(typeof f === 'function' ? wrap(f, 'callbacks') : f, ...rest);
    window.requestAnimationFrame = (f) => raf(wrap(f, 'frames'));
    const mark = (ready) => ready.then(() => raf(() => { stats.firstFrame = performance.now(); }));
    for (const name of ['skeetra', 'floor']) {
        let value;
        Object.defineProperty(window, name, {
            configurable: true,
            get: () => value,
            set: (v) => { value = v; if (v && v.ready) mark(v.ready); },
        });
    }
}

// `via`: a page the tab shows first, so that the load measured does not
// include the start of the tab's content process.
async function newPage(browser, url, via = null) {
    const page = await browser.newPage();
    await page.setViewport({ width: 800, height: 600 });
    page.on('dialog', (d) => d.accept().catch(() => {}));
    if (via) await page.goto(via, { waitUntil: 'load' });
    await page.evaluateOnNewDocument(probe);
    await page.goto(url, { waitUntil: 'load' });
    await page.waitForFunction(() => window.__bench.firstFrame !== null, { timeout: 30000, polling: 5 });
    return page;
}

const counters = (page) => page.evaluate(() => ({ ...window.__bench }));

// Main-thread task time (all of the renderer's, the browser's own work for
// the tab included) and script time, and the page's callbacks, over the
// given seconds. The page must be the one in front: a tab behind another
// gets its timers throttled and no animation frames.
async function idle(page, seconds) {
    const c0 = await counters(page);
    const m0 = await page.metrics();
    await sleep(seconds * 1000);
    const m1 = await page.metrics();
    const c1 = await counters(page);
    return {
        taskMsPerS: ((m1.TaskDuration - m0.TaskDuration) * 1000) / seconds,
        scriptMsPerS: ((m1.ScriptDuration - m0.ScriptDuration) * 1000) / seconds,
        callbacks: c1.callbacks - c0.callbacks,
        frames: c1.frames - c0.frames,
    };
}

async function clickDesign(page, x, y) {
    const r = await page.evaluate(() => {
        const b = document.getElementById('form').getBoundingClientRect();
        return { left: b.left, top: b.top };
    });
    await page.mouse.click(r.left + x + 0.5, r.top + y + 0.5);
}

const shownTarget = (page) => page.evaluate((openings) => openings.findIndex((name) => !document.getElementById(name).hidden),
    OPENINGS);

// ---------------------------------------------------------------- main

const pageHtml = readFileSync(args.page, 'utf8');
const work = mkdtempSync(path.join(tmpdir(), 'skeetra-bench-web-'));
const floorFile = path.join(work, 'floor.html');
writeFileSync(floorFile, floorPage(pageHtml));
const pageUrl = pathToFileURL(args.page).href;
const floorUrl = pathToFileURL(floorFile).href;
const load0 = loadavg().map((v) => v.toFixed(2)).join(' ');

// Load to first complete frame, interleaved; one warm-up of each first.
async function loadRuns(browser, via = null) {
    const loads = { page: [], floor: [], earlier: [] };
    const parsedAt = { page: [], floor: [], earlier: [] };
    const turn = [['page', pageUrl], ['floor', floorUrl]];
    if (args.earlier) turn.push(['earlier', pathToFileURL(args.earlier).href]);
    for (let i = -1; i < args.runs; ++i) {
        // Each takes each place in the order in turn.
        const k = (i + 1) % turn.length;
        for (const [name, url] of turn.slice(k).concat(turn.slice(0, k))) {
            const page = await newPage(browser, url, via);
            const t = (await counters(page)).firstFrame;
            const parsed = await page.evaluate(() => performance.getEntriesByType('navigation')[0].domContentLoadedEventEnd);
            if (i >= 0) {
                loads[name].push(t);
                parsedAt[name].push(parsed);
            }
            await page.close();
        }
    }
    return { loads, parsedAt };
}

// Firefox first, alone, so that its browser is closed before Chromium's runs.
// Its new tab starts a content process for file:// pages at the first load,
// which took some 500 ms here, page or floor alike: each tab shows a blank
// file:// page first.
const firefox = await puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: true,
    extraPrefsFirefox: { 'app.update.enabled': false, 'toolkit.telemetry.enabled': false,
                         'network.captive-portal-service.enabled': false,
                         'network.connectivity-service.enabled': false },
});
const firefoxVersion = await firefox.version();
const blankFile = path.join(work, 'blank.html');
writeFileSync(blankFile, '<!DOCTYPE html><title>blank</title>');
const firefoxRuns = await loadRuns(firefox, pathToFileURL(blankFile).href);
await firefox.close();
console.log(`load to first frame in Firefox, page (ms): ${firefoxRuns.loads.page.map((v) => fixed(v)).join(' ')}`);
console.log(`load to first frame in Firefox, floor (ms): ${firefoxRuns.loads.floor.map((v) => fixed(v)).join(' ')}`);

const browser = await puppeteer.launch({
    browser: 'chrome',
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update', '--no-first-run'],
});
const version = await browser.version();

// Sizes.
const size = statSync(args.page).size;
const gzipped = gzipSync(readFileSync(args.page), { level: 9 }).length;
const floorSize = statSync(floorFile).size;

const { loads, parsedAt } = await loadRuns(browser);
console.log(`load to first frame, page (ms): ${loads.page.map((v) => fixed(v)).join(' ')}`);
console.log(`load to first frame, floor (ms): ${loads.floor.map((v) => fixed(v)).join(' ')}`);

// Waiting, three rounds, each page alone in front and settled first, the
// floor idling over the same span just before; the median round counts.
const waits = { page: [], floor: [] };
let game = null;
for (let round = 0; round < 3; ++round) {
    for (const [name, url] of [['floor', floorUrl], ['page', pageUrl]]) {
        if (game) await game.close();
        game = await newPage(browser, url);
        await sleep(2000);
        waits[name].push(await idle(game, args.seconds));
    }
}
const medianRound = (rounds) => rounds.slice().sort((a, b) => a.taskMsPerS - b.taskMsPerS)[1];
const waiting = medianRound(waits.page);
const floorIdle = medianRound(waits.floor);
waiting.callbacks = Math.max(...waits.page.map((w) => w.callbacks));
console.log(`waiting ${args.seconds} s: ${JSON.stringify(waits.page)}; floor: ${JSON.stringify(waits.floor)}`);

await clickDesign(game, ...centre(control(PLAY.startSign).rect));
await sleep(1000);
const time0 = Number(await game.evaluate((clock) => document.getElementById(clock).textContent, PLAY.clock));
const playing = await idle(game, args.seconds);
const time1 = Number(await game.evaluate((clock) => document.getElementById(clock).textContent, PLAY.clock));
playing.clockTicks = time1 - time0;
console.log(`play without shots ${args.seconds} s: ${JSON.stringify(playing)}`);

// Hits: after each, whether the next figure is shown when the next
// animation frame begins (and so is painted in it), and the time from the
// input event to that frame.
await game.evaluate((kills, openings) => {
    window.__hits = [];
    const form = document.getElementById('form');
    form.addEventListener('pointerup', () => {
        const t = performance.now();
        const before = document.getElementById(kills).textContent;
        requestAnimationFrame(() => {
            const shown = openings.some((name) => !document.getElementById(name).hidden);
            window.__hits.push({ shown, counted: document.getElementById(kills).textContent !== before,
                                 ms: performance.now() - t });
        });
    }, true);
}, PLAY.kills, OPENINGS);
for (let i = 0; i < args.hits; ++i) {
    const k = await shownTarget(game);
    if (k < 0) throw new Error('no target shown to hit');
    const n = await game.evaluate(() => window.__hits.length);
    await clickDesign(game, ...centre(control(OPENINGS[k]).rect));
    await game.waitForFunction((n) => window.__hits.length > n, { polling: 5 }, n);
}
const hits = await game.evaluate(() => window.__hits);
console.log(`hit to next frame (ms): ${hits.map((h) => fixed(h.ms)).join(' ')}`);
await browser.close();
rmSync(work, { recursive: true, force: true });
const load1 = loadavg().map((v) => v.toFixed(2)).join(' ');

// ---------------------------------------------------------------- the block

const verdict = (ok) => (ok ? 'met' : 'NOT met');
const pageLoad = median(loads.page);
const floorLoad = median(loads.floor);
const firefoxPageLoad = median(firefoxRuns.loads.page);
const firefoxFloorLoad = median(firefoxRuns.loads.floor);
const inFrame = hits.filter((h) => h.shown && h.counted).length;
const perTick = playing.clockTicks ? playing.callbacks / playing.clockTicks : Infinity;
let commit = '';
try {
    commit = execFileSync('git', ['-C', root, 'rev-parse', '--short', 'HEAD'], { encoding: 'utf8' }).trim();
} catch {}
const lines = [
    `Measured ${new Date().toISOString().slice(0, 10)} on ${cpus().length} CPUs, ${cpus()[0]?.model.trim()}; headless ${version} and ${firefoxVersion}; the page at ${commit}, from file://.`,
    `Load average before / after: ${load0} / ${load1}. Command: \`scripts/bench-web\` (run by \`scripts/bench\`).`,
    '',
    '| figure | skeetra.html | floor | ratio | goal | met |',
    '|---|---|---|---|---|---|',
    `| size | ${size} bytes | ${floorSize} bytes | | ≤ 150 KB (153,600 bytes) | ${verdict(size <= 153600)} |`,
    `| size gzipped (-9) | ${gzipped} bytes | | | ≤ 64 KB (65,536 bytes) | ${verdict(gzipped <= 65536)} |`,
    `| load to first complete frame (navigation start to the frame after the one that shows the form), Chromium, median of ${args.runs} | ${fixed(pageLoad)} ms | ${fixed(floorLoad)} ms | ${fixed(pageLoad / floorLoad, 3)} | ≤ 1.3 × floor | ${verdict(pageLoad <= 1.3 * floorLoad)} |`,
    `| the same in Firefox, median of ${args.runs} | ${fixed(firefoxPageLoad)} ms | ${fixed(firefoxFloorLoad)} ms | ${fixed(firefoxPageLoad / firefoxFloorLoad, 3)} | ≤ 1.3 × floor | ${verdict(firefoxPageLoad <= 1.3 * firefoxFloorLoad)} |`,
    ...(args.earlier ? [['Chromium', loads.earlier, floorLoad], ['Firefox', firefoxRuns.loads.earlier, firefoxFloorLoad]].map(([engine, runs, floor]) =>
        `| the earlier page (${path.basename(args.earlier)}), same runs, ${engine} | ${fixed(median(runs))} ms | ${fixed(floor)} ms | ${fixed(median(runs) / floor, 3)} | | |`) : []),
    `| waiting ${args.seconds} s, the most of 3 rounds: timer callbacks | ${waiting.callbacks} | ${Math.max(...waits.floor.map((w) => w.callbacks))} | | 0 | ${verdict(waiting.callbacks === 0)} |`,
    `| waiting: main-thread task time per s, median of 3 rounds | ${fixed(waiting.taskMsPerS, 3)} ms | ${fixed(floorIdle.taskMsPerS, 3)} ms | | ≤ 0.1 ms | ${verdict(waiting.taskMsPerS <= 0.1)} |`,
    `| waiting: the same above the floor's median | ${fixed(waiting.taskMsPerS - floorIdle.taskMsPerS, 3)} ms | | | ≤ 0.1 ms | ${verdict(waiting.taskMsPerS - floorIdle.taskMsPerS <= 0.1)} |`,
    `| waiting: script time per s | ${fixed(waiting.scriptMsPerS, 3)} ms | ${fixed(floorIdle.scriptMsPerS, 3)} ms | | | |`,
    `| play without shots ${args.seconds} s: timer callbacks / clock ticks | ${playing.callbacks} / ${playing.clockTicks} = ${fixed(perTick, 2)} | | | ≤ 2 a tick | ${verdict(perTick <= 2)} |`,
    `| play without shots: main-thread task time per s (not a goal) | ${fixed(playing.taskMsPerS, 3)} ms | | | | |`,
    `| a hit: next figure shown at the next animation frame | ${inFrame} of ${hits.length} | | | all | ${verdict(inFrame === hits.length)} |`,
    `| a hit: input event to that frame, median (not a goal) | ${fixed(median(hits.map((h) => h.ms)), 2)} ms | | | | |`,
    '',
    'Runs, in the order taken (page and floor interleaved):',
    '',
    `- load to first frame, skeetra.html (ms): ${loads.page.map((v) => fixed(v)).join(' ')}`,
    `- load to first frame, floor (ms): ${loads.floor.map((v) => fixed(v)).join(' ')}`,
    `- load to first frame in Firefox, skeetra.html (ms): ${firefoxRuns.loads.page.map((v) => fixed(v)).join(' ')}`,
    `- load to first frame in Firefox, floor (ms): ${firefoxRuns.loads.floor.map((v) => fixed(v)).join(' ')}`,
    ...(args.earlier ? [`- load to first frame, earlier page (ms): ${loads.earlier.map((v) => fixed(v)).join(' ')}`,
                        `- load to first frame in Firefox, earlier page (ms): ${firefoxRuns.loads.earlier.map((v) => fixed(v)).join(' ')}`] : []),
    `- waiting, main-thread task time per s, page (ms): ${waits.page.map((w) => fixed(w.taskMsPerS, 3)).join(' ')}`,
    `- waiting, main-thread task time per s, floor (ms): ${waits.floor.map((w) => fixed(w.taskMsPerS, 3)).join(' ')}`,
    `- document parsed (DOMContentLoaded), page / floor, medians: ${fixed(median(parsedAt.page))} / ${fixed(median(parsedAt.floor))} ms; in Firefox ${fixed(median(firefoxRuns.parsedAt.page))} / ${fixed(median(firefoxRuns.parsedAt.floor))} ms`,
    `- animation frames while waiting, page / floor: ${waiting.frames} / ${floorIdle.frames}; in play: ${playing.frames}`,
];
const block = lines.join('\n') + '\n';
if (args.block) writeFileSync(args.block, block);
else process.stdout.write(block);
