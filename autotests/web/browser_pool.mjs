// Browsers launched once for a run of the page's tests and lent to its
// scenarios: an engine takes seconds to start (Firefox some six), often
// longer than a scenario takes to play. CTest starts the pool before an
// engine's first scenario and stops it after the last (a fixture); a
// scenario that finds no pool, or none of its browsers free, launches its
// own, as it does when run alone.
//
//   node browser_pool.mjs start ENGINE STATE   launch the pool, write STATE, return
//   node browser_pool.mjs stop STATE           close the pool STATE names
//
// STATE (JSON) holds the pool's process id and its browsers' endpoints.
// Firefox takes one WebDriver BiDi session at a time, so the pool keeps one
// Firefox for each of the two tests `ctest -j2` runs at once; Chromium takes
// any number of connections, each scenario in a context of its own. The
// pool runs detached from the test that started it, and closes by itself
// when no scenario has borrowed from it for IDLE_MS (a run that was cut off
// before its stop), so that no browser outlives the run for long.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, openSync, readFileSync, renameSync, rmSync, statSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { ENGINES, launchBrowser, loadBrowserPackage } from './browser.mjs';

const IDLE_MS = 10 * 60 * 1000;
const START_MS = 90000;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// Chromium's helper processes may still write into the profile for a
// moment after the browser ended: tried again, and never in the way of the
// pool's end.
const removeProfile = (dir) => {
    try {
        rmSync(dir, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
    } catch (e) {
        console.log(`browser pool: ${dir} stays: ${e.message}`);
    }
};

const alive = (pid) => {
    try {
        process.kill(pid, 0);
        return true;
    } catch {
        return false;
    }
};

function readState(file) {
    try {
        return JSON.parse(readFileSync(file, 'utf8'));
    } catch {
        return null;
    }
}

// Ends the pool's process and, should it not end in time, its browsers.
async function stop(file) {
    const state = readState(file);
    if (!state) return;
    rmSync(file, { force: true });
    if (alive(state.pid)) process.kill(state.pid, 'SIGTERM');
    for (const deadline = Date.now() + 20000; alive(state.pid) && Date.now() < deadline;) await sleep(100);
    for (const pid of [state.pid, ...state.browsers.map((b) => b.pid)])
        if (alive(pid)) {
            console.error(`browser pool: ${pid} did not end; killed`);
            process.kill(pid, 'SIGKILL');
        }
}

// Launches the pool's process and waits for its state file. Never fails:
// without a pool every scenario launches its own browser, and reports
// then what keeps it from it.
async function start(engine, file) {
    await stop(file);
    const log = openSync(`${file}.log`, 'w');
    const child = spawn(process.execPath, [fileURLToPath(import.meta.url), 'run', engine, file],
        { detached: true, stdio: ['ignore', log, log] });
    let exited = false;
    child.on('exit', () => { exited = true; });
    child.unref();
    for (const deadline = Date.now() + START_MS; !existsSync(file); await sleep(50)) {
        if (exited || Date.now() > deadline) {
            if (!exited) process.kill(child.pid, 'SIGTERM');
            console.log(`browser pool: none for ${engine}; each scenario launches its own ` +
                        `(${readFileSync(`${file}.log`, 'utf8').trim().split('\n').at(-1) ?? ''})`);
            return;
        }
    }
    console.log(`browser pool: ${JSON.stringify(readState(file))}`);
}

// The pool itself: launches the browsers, writes the state file as each
// is up (the scenarios need not wait for the slowest), and waits for its
// end. A browser that ends leaves the pool; the last one ends it.
async function run(engine, file) {
    await loadBrowserPackage();
    const count = ENGINES[engine].browser === 'firefox' ? 2 : 1;
    const browsers = [];
    let ending = false;
    const publish = () => {
        if (ending) return;
        const state = { engine, pid: process.pid, browsers: browsers.map((b) => ({ endpoint: b.endpoint, pid: b.process.pid })) };
        writeFileSync(`${file}.new`, JSON.stringify(state));
        renameSync(`${file}.new`, file);
        console.log(`browser pool: ${JSON.stringify(state)}`);
    };
    const end = async (why) => {
        if (ending) return;
        ending = true;
        console.log(`browser pool: closing (${why})`);
        if (readState(file)?.pid === process.pid) rmSync(file, { force: true });
        await Promise.all([...browsers].map(async ({ process: child, profile }) => {
            const exit = new Promise((r) => child.once('exit', r));
            // The browser's whole process group (puppeteer starts it in
            // one of its own), its helpers with it.
            const signal = (name) => {
                try {
                    process.kill(-child.pid, name);
                } catch {
                    child.kill(name);
                }
            };
            signal('SIGTERM');
            if (await Promise.race([exit.then(() => true), sleep(5000).then(() => false)]) === false) {
                signal('SIGKILL');
                await exit;
            }
            removeProfile(profile);
        }));
        process.exit(0);
    };
    for (const signal of ['SIGTERM', 'SIGINT', 'SIGHUP']) process.on(signal, () => end(signal));

    const launched = await Promise.allSettled(Array.from({ length: count }, async () => {
        // A profile of our own, removed at the end whatever ended the browser.
        const profile = mkdtempSync(path.join(os.tmpdir(), `skeetra-${engine}-`));
        let browser;
        try {
            browser = await launchBrowser(engine, {
                userDataDir: profile, handleSIGINT: false, handleSIGTERM: false, handleSIGHUP: false,
            });
        } catch (e) {
            removeProfile(profile);
            throw e;
        }
        // Firefox's one session is the borrower's to take.
        await browser.disconnect();
        const entry = { process: browser.process(), profile, endpoint: browser.wsEndpoint() };
        if (ending || entry.process.exitCode !== null || entry.process.signalCode !== null) {
            removeProfile(profile);
            throw new Error(`${engine} ended as it started`);
        }
        browsers.push(entry);
        entry.process.once('exit', () => {
            if (ending) return;
            browsers.splice(browsers.indexOf(entry), 1);
            removeProfile(profile);
            console.log(`browser pool: ${entry.process.pid} ended`);
            if (browsers.length) publish();
            else end('its browsers ended');
        });
        publish();
    }));
    for (const r of launched) if (r.status === 'rejected') console.log(`browser pool: no ${engine}: ${r.reason?.message ?? r.reason}`);
    if (!browsers.length) return end(`no ${engine} started`);

    setInterval(() => {
        let used;
        try {
            used = statSync(file).mtimeMs;
        } catch {
            return end('its state file is gone');
        }
        if (Date.now() - used > IDLE_MS) end('idle');
    }, 5000);
}

const [command, ...rest] = process.argv.slice(2);
if (command === 'start' && rest.length === 2 && rest[0] in ENGINES) await start(rest[0], path.resolve(rest[1]));
else if (command === 'stop' && rest.length === 1) await stop(path.resolve(rest[0]));
else if (command === 'run') await run(rest[0], rest[1]);
else {
    console.error('usage: node browser_pool.mjs start chromium|firefox STATE | stop STATE');
    process.exitCode = 2;
}
