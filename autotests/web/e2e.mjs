// The page played end to end in a headless browser, as a player plays it:
// real mouse clicks and touch taps, the labels' text, the pixels of
// screenshots and the boxes that open.
//
//   node e2e.mjs --engine chromium|firefox|webkit --page build/web/skeetra.html SCENARIO
//   node e2e.mjs --list        the names autotests/e2e/scenarios.txt gives the web
//
// Exits 0 when the scenario passed, 1 when it failed, and 77 (a skip for
// CTest) when the page or the npm packages are missing, unless
// SKEETRA_WEB_REQUIRED is set, which makes their absence a failure.
//
// Every scenario named for the web in scenarios.txt must be known here, and
// every one here must be named there, with the same rows: a difference
// fails the run, so no scenario or row is left out by accident. The
// window's places come from the design table the build writes
// (SKEETRA_DESIGN_JSON, by default the default preset's).
import { existsSync } from 'node:fs';
import path from 'node:path';
import { here, root, SKIP, required, webScenarios } from './design.mjs';
import { Failure, timeMethods, timesSince } from './checks.mjs';

import { loadPixelPackages } from './pixels.mjs';
import { ENGINES, Session, loadBrowserPackage } from './browser.mjs';
import { Game } from './game_driver.mjs';
import { SCENARIOS } from './scenarios.mjs';

async function main(argv) {
    const args = { engine: 'chromium', page: path.join(root, 'build/web/skeetra.html'), names: [] };
    for (let i = 0; i < argv.length; ++i) {
        const a = argv[i];
        if (a === '--engine') args.engine = argv[++i];
        else if (a === '--page') args.page = path.resolve(argv[++i]);
        else if (a === '--list') args.list = true;
        else args.names.push(a);
    }
    const listed = webScenarios();
    const unknown = listed.filter((n) => !(n in SCENARIOS));
    if (unknown.length) {
        console.error(`e2e: scenarios.txt names web scenarios this driver does not know: ${unknown.join(', ')}`);
        return 1;
    }
    const unlisted = Object.keys(SCENARIOS).filter((n) => !listed.includes(n));
    if (unlisted.length) {
        console.error(`e2e: this driver plays scenarios scenarios.txt does not give the web: ${unlisted.join(', ')}`);
        return 1;
    }
    if (args.list) {
        console.log(listed.join('\n'));
        return 0;
    }
    for (const n of args.names)
        if (!listed.includes(n)) {
            console.error(`e2e: ${n} is no web scenario of scenarios.txt`);
            return 1;
        }
    if (!(args.engine in ENGINES)) {
        console.error(`e2e: no engine ${args.engine}; ${Object.keys(ENGINES).join(', ')}`);
        return 1;
    }
    const played = webScenarios(args.engine);
    for (const n of args.names)
        if (!played.includes(n)) {
            console.error(`e2e: scenarios.txt keeps ${n} from ${args.engine}`);
            return 1;
        }
    const skip = (why) => {
        console.error(`e2e: ${why}${required ? '' : ' (skipped)'}`);
        return required ? 1 : SKIP;
    };
    try {
        await loadBrowserPackage();
        await loadPixelPackages();
    } catch (e) {
        return skip(`the npm packages are not installed (npm ci in ${here}): ${e.message}`);
    }
    if (!existsSync(args.page)) return skip(`no page at ${args.page} (cmake --preset web && cmake --build --preset web)`);
    if (!existsSync(ENGINES[args.engine].executablePath)) return skip(`no ${ENGINES[args.engine].executablePath}`);

    timeMethods(Session, { launch: 'launch', close: 'close' });
    timeMethods(Game, {
        open: 'load', reloaded: 'load', click: 'input', clickAll: 'input', clickBurst: 'input', tap: 'input',
        closeBox: 'input', holdUp: 'hold-up', shot: 'screenshot', shotOf: 'screenshot', state: 'read',
        ammunition: 'read', waitFor: 'wait', shoot: 'shoot and wait', lossBox: 'wait', theEnd: 'wait',
    });
    let failed = 0;
    for (const name of args.names.length ? args.names : played) {
        const session = new Session(args.engine, args.page);
        const t0 = Date.now();
        try {
            await session.launch();
            await SCENARIOS[name](session);
            console.log(`PASS ${args.engine} ${name} (${((Date.now() - t0) / 1000).toFixed(1)} s)`);
        } catch (e) {
            ++failed;
            console.error(`FAIL ${args.engine} ${name}: ${e instanceof Failure ? e.message : e.stack ?? e}`);
            // What the player saw, kept beside the test's output.
            for (const [i, g] of session.games.entries()) {
                const file = `e2e-failure-${args.engine}-${name}-${i}.png`;
                if (g.page && !g.page.isClosed()) await g.page.screenshot({ path: file }).catch(() => {});
                if (g.errors.length) console.error(`  page errors: ${g.errors.join('\n    ')}`);
            }
        } finally {
            await session.close();
            const times = timesSince(t0);
            if (times) console.log(`TIMES ${args.engine} ${name}: ${times}`);
        }
    }
    return failed ? 1 : 0;
}

// Ends here rather than when nothing is left to wait for: a refused
// connection to a browser of the pool can leave its socket open.
process.exit(await main(process.argv.slice(2)));
