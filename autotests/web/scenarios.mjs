// The scenarios the page plays, each a function of a Session, and their
// table by name.
import { readFileSync } from 'node:fs';
import path from 'node:path';
import {
    rect, centre, TARGETS, FORM_W, FORM_H, START_AREA, INSTRUCTIONS, WIN_BOX, FINAL_TIME, EXIT_CAPTION, WIN_GREEN,
    QUIET_LABELS, PICTURE_ROWS, STRIP_LABELS, BARE_POINTS, START_AMMUNITION, WINNING_KILLS, TITLE, WAIT_MS, QUIET_MS,
    listedRows, webScreens, CAPTION_LINES, CLOCK_PERIOD_MS, BOXES, PLAY, OPENINGS,
} from './design.mjs';
import { Failure, check, equal, sleep } from './checks.mjs';
import { picturesDir, decodeGif, decodePng, at, sameRgb, hex, differences, textRows, contains } from './pixels.mjs';
import { reach } from './game_driver.mjs';
import { Session } from './browser.mjs';

// ---------------------------------------------------------------- scenarios

// Title, favicon, the form's size at whole pixels, from disk and from a
// server, with no request beyond the page itself.
export async function windowHasTitleSizeAndPlace(session) {
    const icon = readFileSync(path.join(picturesDir(), 'crosshair.ico'));
    for (const from of ['file', 'http']) {
        const game = await session.game({ from });
        const page = game.page;
        equal(await page.title(), TITLE, `the title (${from})`);
        const favicon = await page.evaluate(() => document.querySelector('link[rel~="icon"]')?.getAttribute('href'));
        check(favicon?.startsWith('data:'), `the favicon is no data: URL (${from}): ${favicon?.slice(0, 40)}`);
        const bytes = Buffer.from(favicon.slice(favicon.indexOf(',') + 1), 'base64');
        check(bytes.equals(icon), `the favicon is not the crosshair icon (${from})`);
        const b = game.box;
        equal([b.width, b.height], [FORM_W, FORM_H], `the form's size in CSS pixels at 800 x 600 (${from})`);
        equal(b.scale, 1, `data-scale at 800 x 600 (${from})`);
        check(Number.isInteger(b.left) && Number.isInteger(b.top), `the form lies at (${b.left}, ${b.top}), not at whole pixels`);
        const shot = game.facade;
        equal([shot.width, shot.height], [FORM_W, FORM_H], `the screenshot of the form (${from})`);
        const own = session.url(from);
        const others = game.requests.filter((u) => u !== own && !u.startsWith('data:'));
        check(others.length === 0, `requests beyond the page (${from}): ${others.join(', ')}`);
        if (from === 'http') equal(session.server.log, [new URL(own).pathname], 'what the server was asked');
        game.clean();
    }
}

// The facade pixel for pixel, the status strip in the background colour,
// the instructions in four lines, a shown figure with its transparent
// surround and, at the win, the win box in two lines.
export async function screenShowsThePicturesAsDrawn(session) {
    const facade = decodeGif('facade.gif');
    const figure = decodeGif('target.gif');
    equal(facade.height, PICTURE_ROWS, 'the facade picture height');
    // The fonts load late here: the page sets them loading as it starts,
    // well before it has a form to show, and the form must still wait.
    const lateFonts = () => {
        const load = FontFace.prototype.load;
        FontFace.prototype.load = function () {
            return new Promise((resolve) => setTimeout(resolve, 400)).then(() => load.call(this));
        };
    };
    const game = await session.game({ from: 'http', beforeLoad: lateFonts });
    const before = game.facade;
    // The form shows only once its pictures and fonts are there.
    equal(await game.doc.evaluate(() => window.__unreadyWhenShown), [], 'still loading when the form showed');
    // And each label in its bundled face, under the family the design names, not a fallback.
    equal(await game.doc.evaluate(() => {
        const unquoted = (family) => family.trim().replace(/^["']|["']$/g, '');
        const loaded = new Set([...document.fonts].filter((f) => f.status === 'loaded').map((f) => unquoted(f.family)));
        return [...document.querySelectorAll('#form .label')]
            .filter((label) => !loaded.has(unquoted(getComputedStyle(label).fontFamily.split(',')[0])))
            .map((label) => label.id);
    }), [], 'labels without their bundled face');

    // Before play only the instructions lie over the picture: everywhere
    // else it shows one to one, its rightmost columns cut off.
    let diff = differences(before, rect(0, 0, FORM_W, PICTURE_ROWS),
        (x, y) => (contains(INSTRUCTIONS, x, y) ? null : at(facade, x, y)));
    check(!diff, `the facade: ${diff}`);
    // Below it, the strip shows black wherever no label stands.
    diff = differences(before, rect(0, PICTURE_ROWS, FORM_W, FORM_H - PICTURE_ROWS),
        (x, y) => (STRIP_LABELS.some((r) => contains(r, x, y)) ? null : [0, 0, 0]));
    check(!diff, `the status strip: ${diff}`);
    // Every label of the strip shows some text.
    for (const [name, r] of Object.entries(QUIET_LABELS))
        if (r !== INSTRUCTIONS) check(textRows(before, r, () => [0, 0, 0]) > 0, `${name} shows nothing`);
    equal(textRows(before, INSTRUCTIONS, (x, y) => at(facade, x, y)), 4, 'lines of the instructions');
    equal(await game.lines(PLAY.instructions), CAPTION_LINES[PLAY.instructions], 'the instructions, line by line');

    // A shown target: its figure one to one, the picture around it where
    // the figure is transparent.
    await game.start();
    const k = await game.shownTarget();
    const place = TARGETS[k];
    equal([figure.width, figure.height], [place.width, place.height], 'the figure size');
    const expectedAt = (x, y) => {
        const f = at(figure, x - place.left, y - place.top);
        return f[3] === 0 ? at(facade, x, y) : f;
    };
    const shot = await game.shot();
    diff = differences(shot, place, expectedAt);
    check(!diff, `the figure of Image${k + 2}: ${diff}`);
    // That check tells a transparent surround from one drawn opaque: the
    // colour the file stores for its transparent pixels differs from the
    // facade behind them.
    check(figure.hidden, 'the figure has no transparent colour');
    let telling = 0;
    for (let y = 0; y < figure.height; ++y)
        for (let x = 0; x < figure.width; ++x)
            if (at(figure, x, y)[3] === 0 && !sameRgb(figure.hidden, at(facade, place.left + x, place.top + y))) ++telling;
    check(telling > 0, 'the figure has no transparent pixel over a telling facade pixel');
    game.clean();
}

export async function hundredHitsWinAndStopTheReferee(session) {
    const game = await session.game({ from: 'file' });
    check(!(await game.state()).won, 'the win box is shown before play');
    await game.playToWin();

    // The final time is the clock's text, drawn over the dark green box,
    // which holds its two lines.
    let s = await game.state();
    equal(s.finalTime, s.time, 'the final time against the clock');
    const shot = await game.shot();
    let green = 0;
    let other = 0;
    for (let y = FINAL_TIME.top; y < FINAL_TIME.top + FINAL_TIME.height; ++y)
        for (let x = FINAL_TIME.left; x < FINAL_TIME.left + FINAL_TIME.width; ++x)
            sameRgb(at(shot, x, y), WIN_GREEN) ? ++green : ++other;
    check(green > 0 && other > 0, `the final time's place shows ${green} green pixels and ${other} others`);
    equal(textRows(shot, rect(WIN_BOX.left, WIN_BOX.top, FINAL_TIME.left - WIN_BOX.left, WIN_BOX.height), () => WIN_GREEN),
        2, 'lines of the win message');
    equal(await game.lines(PLAY.winBox), CAPTION_LINES[PLAY.winBox], 'the win message, line by line');
    let winGreen = 0;
    for (let y = WIN_BOX.top; y < WIN_BOX.top + WIN_BOX.height; ++y)
        for (let x = WIN_BOX.left; x < WIN_BOX.left + WIN_BOX.width; ++x) winGreen += sameRgb(at(shot, x, y), WIN_GREEN);
    check(winGreen > (WIN_BOX.width * WIN_BOX.height) / 2, `only ${winGreen} pixels of the win box are green`);

    // The target the referee chose last stays up. It can still be shot, but
    // the stopped referee shows no other, and the stopped clock no longer
    // counts (it ticks every 800 ms in play).
    const last = await game.shownTarget();
    await game.shoot(...centre(TARGETS[last]));
    s = await game.state();
    equal(s.kills, String(WINNING_KILLS + 1), 'kills after a shot past the win');
    await sleep(1000);
    const after = await game.state();
    equal(after.targets, [], 'targets shown a second after the last one was shot');
    equal(after.time, s.time, 'the clock a second after the win');
    check(after.won && after.formPresent && !after.boxOpen, 'the win did not stay on screen');

    await game.click(...centre(EXIT_CAPTION));
    await game.theEnd();
    game.clean();
}

// The cases of losing, each closing the box another way.
export const LOSSES = [
    { name: 'misses before play on bare points', missesBeforePlay: START_AMMUNITION - 1, hits: 0, lastShotHits: false,
      missPoints: BARE_POINTS, close: 'Enter' },
    { name: 'misses before play on hidden targets', missesBeforePlay: START_AMMUNITION - 1, hits: 0, lastShotHits: false,
      missPoints: TARGETS.map(centre), close: 'text, then Space' },
    // All on one point: every second press comes as a double click.
    { name: 'hits, then double clicks on the spent start sign', missesBeforePlay: 0, hits: 10,
      lastShotHits: false, missPoints: [centre(START_AREA)], close: ' ' },
    // What the start of play hid takes clicks as the wall does.
    { name: 'hits, then misses on the spent start sign and the instructions', missesBeforePlay: 0, hits: 10,
      lastShotHits: false, missPoints: [centre(START_AREA), centre(INSTRUCTIONS)], close: 'Escape' },
    // The loss is judged before the win: the hundredth kill made with the
    // last cartridge still loses.
    { name: 'last cartridge on the hundredth kill', missesBeforePlay: START_AMMUNITION - WINNING_KILLS,
      hits: WINNING_KILLS - 1, lastShotHits: true, missPoints: BARE_POINTS, close: 'click' },
];

export async function lastCartridgeLoses(session) {
    listedRows('lastCartridgeLoses', LOSSES.map((row) => row.name));
    for (const row of LOSSES) {
        try {
            await oneLoss(session, row);
        } catch (e) {
            if (e instanceof Failure) e.message = `${row.name}: ${e.message}`;
            throw e;
        }
    }
}

export async function oneLoss(session, row) {
    const game = await session.game({ from: row.close.endsWith('Space') ? 'http' : 'file' });
    let shots = 0;
    const misses = (n) => {
        const points = [];
        for (let i = 0; i < n; ++i) points.push(row.missPoints[shots++ % row.missPoints.length]);
        return game.misses(points);
    };
    await misses(row.missesBeforePlay);
    if (row.hits > 0 || row.lastShotHits) await game.start();
    for (let i = 0; i < row.hits; ++i, ++shots) await game.hit();
    await misses(START_AMMUNITION - 1 - shots);

    // One cartridge left: the game goes on.
    await sleep(QUIET_MS);
    let s = await game.state();
    equal(s.ammunition, '1', 'the ammunition before the last shot');
    check(!s.boxOpen && s.formPresent, 'the game did not go on with one cartridge');
    // A miss chooses no target: before play none may be shown.
    if (row.hits === 0 && !row.lastShotHits) equal(s.targets, [], 'targets shown before play');

    if (row.lastShotHits) {
        const k = await game.shownTarget();
        await game.click(...centre(TARGETS[k]));
    } else {
        await game.click(...row.missPoints[shots % row.missPoints.length]);
    }
    await game.lossBox();
    s = await game.state();
    check(!s.won, 'the win box is shown with the loss box');
    check(s.formPresent && !s.ended, 'the game ended before its box was closed');
    equal(s.ammunition, '0', 'the ammunition under the loss box');

    await game.closeBox(row.close);
    s = await game.theEnd();
    equal(s.boxesOpened, 1, 'boxes opened');
    game.clean();
}

export async function clickStormEndsInOneLossBox(session) {
    // Targets and bare points away from the middle, where the box opens.
    const points = [];
    let j = 0;
    for (const i of [0, 4, 6, 7, 2, 5, 10, 9, 11]) points.push(centre(TARGETS[i]), BARE_POINTS[j++ % 3]);

    const game = await session.game({ from: 'http' });
    await game.start();
    await game.shownTarget();
    // WebKit's driver hands the page each event only once it has handled
    // the last, so its clicks cannot pile up faster than one by one: there
    // 1,000 (the box opens at the 120th) keep the storm inside its time.
    const CLICKS = session.engine === 'webkit' ? 1000 : 5000;
    const BURST = 500;
    for (let sent = 0; sent < CLICKS; sent += BURST) {
        const burst = [];
        for (let i = 0; i < BURST; ++i) burst.push(points[(sent + i) % points.length]);
        await game.clickBurst(burst);
        const s = await game.state();
        check(s.formPresent && !s.ended, `the game ended in the storm, after ${sent + BURST} clicks`);
    }
    // The box opened in the middle of a burst; the clicks after it must
    // not have taken the focus from its button, which Enter presses below.
    await game.lossBox({ focused: false });
    const box = await game.boxRect();
    const onBox = points.filter(([x, y]) => x >= box.left && x < box.right && y >= box.top && y < box.bottom);
    check(onBox.length === 0, `the storm's points ${JSON.stringify(onBox)} lie on the box; move them`);
    await sleep(QUIET_MS);
    const s = await game.state();
    equal(s.boxesOpened, 1, 'boxes opened in the storm');
    equal(s.ammunition, '0', 'the ammunition after the storm');
    const focus = await game.doc.evaluate(() => document.activeElement?.id);
    await game.page.keyboard.press('Enter');
    await game.waitFor((s) => !s.boxOpen, `Enter did not close the box after the storm (the focus was on #${focus})`, 3000);
    await game.theEnd();
    game.clean();
}

// A browser driver cannot hold the page still while real input queues up,
// so the web plays twoMissesInOneTickStillLose instead (see scenarios.txt).

export async function labelsTakeClicksWithoutCost(session) {
    const game = await session.game({ from: 'file' });
    const points = [];
    for (let round = 0; round < 20; ++round) for (const r of Object.values(QUIET_LABELS)) points.push(centre(r));
    // Also the labels' corners, where a transparent label shows the facade
    // or the strip but still takes the click.
    for (const r of Object.values(QUIET_LABELS)) points.push([r.left, r.top], [r.left + r.width - 1, r.top + r.height - 1]);
    await game.clickAll(points);
    await game.start();
    const s = await game.state();
    equal(s.ammunition, String(START_AMMUNITION), 'the ammunition after clicks on labels');
    check(!s.boxOpen && s.formPresent, 'the game did not go on');
    equal(s.selection, '', 'the text selected by clicks');
    game.clean();
}

export async function exitCaptionEndsWithStatusZero(session) {
    // The exit caption takes the click anywhere in its rectangle, also
    // where its text leaves it empty.
    const rows = [
        { phase: 'waiting', point: centre(EXIT_CAPTION), again: true },
        { phase: 'playing', point: [EXIT_CAPTION.left + EXIT_CAPTION.width - 1, EXIT_CAPTION.top + EXIT_CAPTION.height - 1] },
        { phase: 'won', point: [EXIT_CAPTION.left, EXIT_CAPTION.top] },
    ];
    listedRows('exitCaptionEndsWithStatusZero', rows.map((row) => row.phase));
    for (const row of rows) {
        const game = await session.game({ from: row.phase === 'playing' ? 'http' : 'file' });
        try {
            await reach(game, row.phase);
            await game.click(...row.point);
            const s = await game.theEnd();
            equal(s.boxesOpened, 0, 'boxes opened on the way out');
            if (row.again) {
                // "Play again" gives a new game.
                await game.page.click('#again');
                await game.page.waitForFunction(() => document.getElementById('form'), { timeout: WAIT_MS });
                await game.ready();
                const t = await game.state();
                check(t.formPresent && t.instructions && t.ammunition === String(START_AMMUNITION) && !t.ended,
                    `"Играть снова" did not start a new game: ${JSON.stringify(t)}`);
            }
            game.clean();
        } catch (e) {
            if (e instanceof Failure) e.message = `${row.phase}: ${e.message}`;
            throw e;
        }
    }
}

// Two misses that reach the page in one task, with one cartridge left, so
// that no timer of the page can run between them: the first takes the
// last cartridge and the loss is judged before the second, which the open
// box refuses. One box, the ammunition at 0, and the end after it.
export async function twoMissesInOneTickStillLose(session) {
    const game = await session.game({ from: 'file' });
    await game.start();
    await game.misses(Array.from({ length: START_AMMUNITION - 1 }, (_, i) => BARE_POINTS[i % BARE_POINTS.length]));
    const points = [BARE_POINTS[0], BARE_POINTS[1]].map(([x, y]) => game.point(x, y));
    await game.doc.evaluate((points) => {
        const form = document.getElementById('form');
        for (const [x, y] of points) {
            const target = document.elementFromPoint(x, y) ?? form;
            const init = { bubbles: true, cancelable: true, composed: true, clientX: x, clientY: y,
                           pointerId: 1, pointerType: 'mouse', isPrimary: true, button: 0, buttons: 1 };
            target.dispatchEvent(new PointerEvent('pointerdown', init));
            target.dispatchEvent(new PointerEvent('pointerup', { ...init, buttons: 0 }));
            target.dispatchEvent(new MouseEvent('click', init));
        }
    }, points);
    await game.lossBox();
    await sleep(QUIET_MS);
    const s = await game.state();
    equal(s.ammunition, '0', 'the ammunition after two misses in one task');
    equal(s.boxesOpened, 1, 'boxes opened');
    await game.page.keyboard.press('Enter');
    await game.theEnd();
    game.clean();
}

// Touch: every tap a shot, on the same rule as the mouse; no scrolling,
// selection or zoom on the form.
export async function tapsByTouchShoot(session) {
    const game = await session.game({
        from: 'http',
        viewport: { width: 800, height: 600, hasTouch: true, isMobile: false },
    });
    await game.tap(...centre(QUIET_LABELS[PLAY.ammunitionTitle]));
    await game.tap(...centre(START_AREA));
    await game.waitFor((s) => !s.instructions, 'a tap on the start sign did not start play');
    const k = await game.shownTarget();
    await game.tap(...centre(TARGETS[k]));
    let s = await game.waitFor((s) => s.kills === '1', 'a tap on the target did not hit it');
    equal(s.ammunition, String(START_AMMUNITION - 1), 'the ammunition after a tap on a label and one hit');
    await game.tap(...BARE_POINTS[0]);
    s = await game.waitFor((s) => s.ammunition === String(START_AMMUNITION - 2), 'a tap on the bare window did not miss');
    // A quick second tap on the same place is a shot too, not a zoom.
    const k2 = await game.shownTarget();
    await game.tap(...centre(TARGETS[k2]));
    await game.waitFor((s) => s.kills === '2', 'a tap on the next target did not hit it');
    await game.tap(...BARE_POINTS[1]);
    await game.tap(...BARE_POINTS[1]);
    s = await game.waitFor((s) => s.ammunition === String(START_AMMUNITION - 5), 'two quick taps were not two misses');
    const view = await game.doc.evaluate(() => ({
        zoom: window.visualViewport?.scale ?? 1,
        touchAction: getComputedStyle(document.getElementById('form')).touchAction,
        userSelect: getComputedStyle(document.getElementById('form')).userSelect,
    }));
    equal(view.zoom, 1, 'the zoom after taps');
    check(view.touchAction === 'none' || view.touchAction === 'manipulation',
        `touch-action on the form is ${view.touchAction}`);
    check(view.userSelect === 'none', `user-select on the form is ${view.userSelect}`);
    check(!s.scrolled, 'the page scrolled');
    equal(s.selection, '', 'the text selected by taps');
    // No context menu on the form: the page cancels it.
    const cancelled = await game.doc.evaluate(() => {
        const e = new MouseEvent('contextmenu', { bubbles: true, cancelable: true });
        return !document.getElementById('Label2').dispatchEvent(e);
    });
    check(cancelled, 'a context menu is not cancelled on the form');
    game.clean();
}

// Only a press and a release of the main button shoot, each at the design
// pixel it falls in: at scale 2 the right half of a pixel is still that
// pixel (the facade beside the instructions costs a cartridge, the
// instructions' edge does not); a right or middle click is no shot, nor a
// press the browser took away (pointercancel) and its later release.
export const PRESSES = [
    { name: 'the right half of the bare pixel left of the instructions', at: [INSTRUCTIONS.left - 1, 100], costs: 1 },
    { name: "the right half of the instructions' last pixel",
      at: [INSTRUCTIONS.left + INSTRUCTIONS.width - 1, 100], costs: 0 },
    { name: 'a right click on the facade', at: BARE_POINTS[0], button: 'right', costs: 0 },
    { name: 'a middle click on the facade', at: BARE_POINTS[1], button: 'middle', costs: 0 },
    { name: 'a press the browser cancelled', at: BARE_POINTS[2], cancelled: true, costs: 0 },
    { name: 'a left click on the facade', at: BARE_POINTS[3], costs: 1 },
];

export async function onlyMainButtonPressesShootWhereTheyFall(session) {
    const game = await session.game({ from: 'file', viewport: { width: 1000, height: 1000 } });
    equal(game.box.scale, 2, 'the form scale');
    await game.doc.evaluate(() => {
        addEventListener('pointerdown', (e) => { window.__lastPointer = e.pointerId; }, true);
    });
    let left = START_AMMUNITION;
    for (const row of PRESSES) {
        const [x, y] = row.at;
        // Whole CSS pixels: the right one of the two a design pixel covers.
        const px = game.box.left + 2 * x + 1, py = game.box.top + 2 * y + 1;
        if (row.cancelled) {
            await game.page.mouse.move(px, py);
            await game.page.mouse.down();
            // Where the press is: a cancel taken for a release there would shoot.
            await game.doc.evaluate((clientX, clientY) => {
                document.getElementById('form').dispatchEvent(new PointerEvent('pointercancel', {
                    pointerId: window.__lastPointer, bubbles: true, isPrimary: true, pointerType: 'mouse', clientX, clientY,
                }));
            }, px, py);
            await game.page.mouse.up();
        } else {
            await game.page.mouse.click(px, py, { button: row.button ?? 'left' });
        }
        left -= row.costs;
        await sleep(QUIET_MS);
        equal(await game.ammunition(), String(left), `the ammunition after ${row.name}`);
    }
    game.clean();
}

// At each of the scenario's screens in scenarios.txt (device scales whole
// and fractional, a zoom of 110 % among them) each picture pixel is an even
// block of whole device pixels, as many as fit, with the picture's colour:
// the facade and the shown figure compared block by block with the GIFs.
// The form's last column and row too (the facade, then the black strip),
// and beyond them the page's own colour: an edge a fraction of a device
// pixel off shows there as a line of blended colour.
// Each viewport a little larger than the form, whose pixels are read whole.
export const DEVICE_SCALES = webScreens('deviceScalesDrawSharpEvenBlocks').map((screen) => (
    { deviceScaleFactor: screen.density, ...screen.view, blocks: screen.scale }));
export const PAGE_COLOUR = [0x20, 0x20, 0x20];
export const STRIP_COLOUR = [0, 0, 0];

export async function deviceScalesDrawSharpEvenBlocks(session) {
    // Chromium draws an emulated fractional density (the driver's)
    // otherwise than a screen's own, where its faults showed: there a
    // browser started at each such density, its viewport set without one.
    // The next one starts while a row plays.
    const own = new Map();
    const started = (density) => {
        if (!own.has(density)) {
            const s = new Session(session.engine, session.pageFile);
            own.set(density, { session: s, ready: s.launch({ deviceScale: density }).then(() => s) });
            own.get(density).ready.catch(() => {});
        }
        return own.get(density).ready;
    };
    const fractional = (row) => session.engine === 'chromium' && !Number.isInteger(row.deviceScaleFactor);
    try {
        for (const [i, { blocks, ...viewport }] of DEVICE_SCALES.entries()) {
            const density = viewport.deviceScaleFactor;
            try {
                if (!fractional(viewport)) {
                    await sharpBlocks(session, blocks, viewport, density);
                    continue;
                }
                const browser = await started(density);
                const next = DEVICE_SCALES.slice(i + 1).find((r) => fractional(r) && r.deviceScaleFactor !== density);
                if (next) started(next.deviceScaleFactor);
                await sharpBlocks(browser, blocks, { ...viewport, deviceScaleFactor: 0 }, density);
            } catch (e) {
                if (e instanceof Failure) e.message = `device scale ${density} in ${viewport.width} x ${viewport.height}: ${e.message}`;
                throw e;
            }
        }
    } finally {
        for (const { session: s, ready } of own.values()) {
            await ready.catch(() => {});
            await s.close();
        }
    }
}

export async function sharpBlocks(session, n, viewport, density) {
    const facade = decodeGif('facade.gif');
    const figure = decodeGif('target.gif');
    const game = await session.game({ from: 'file', viewport });
    // The screen's own ratio, as the page reads it (1.1 is a float's 1.100000023841858 in Chromium).
    const ratio = await game.doc.evaluate(() => devicePixelRatio);
    check(Math.abs(ratio - density) < 1e-6, `the device pixel ratio is ${ratio}, not ${density}`);
    if (density === 2) equal(game.box.width, FORM_W, 'the form width in CSS pixels at device scale 2');
    // Within Firefox's grid of layout, a 60th of a CSS pixel; its edges
    // are drawn on whole device pixels, which the pixels below check.
    check(Math.abs(game.box.width * ratio - n * FORM_W) < 0.05, `the form is ${game.box.width * ratio} device pixels wide`);
    check(Math.abs(game.box.height * ratio - n * FORM_H) < 0.05, `the form is ${game.box.height * ratio} device pixels high`);
    await game.start();
    const k = await game.shownTarget();
    const place = TARGETS[k];
    // The whole viewport: a clip at a fraction of a CSS pixel is cut where
    // the driver rounds it, not where the form lies.
    const shot = decodePng(await game.page.screenshot({ type: 'png' }));
    equal([shot.width, shot.height], [Math.round(viewport.width * ratio), Math.round(viewport.height * ratio)],
        `the screenshot at device scale ${density}`);
    const ox = game.box.left * ratio, oy = game.box.top * ratio;
    check(Math.abs(ox - Math.round(ox)) < 0.01 && Math.abs(oy - Math.round(oy)) < 0.01,
        `the form lies at (${ox}, ${oy}) device pixels`);
    const left = Math.round(ox), top = Math.round(oy);
    // What a design pixel shows: the picture with the figure over it, or the strip.
    const want = (x, y) => {
        if (y >= PICTURE_ROWS) return STRIP_COLOUR;
        if (contains(place, x, y)) {
            const f = at(figure, x - place.left, y - place.top);
            if (f[3] !== 0) return f;
        }
        return at(facade, x, y);
    };
    let blurred = 0;
    let wrong = 0;
    let first = '';
    const block = (x, y) => {
        const p = [];
        for (let dy = 0; dy < n; ++dy)
            for (let dx = 0; dx < n; ++dx) p.push(at(shot, left + n * x + dx, top + n * y + dy));
        if (!p.every((q) => sameRgb(q, p[0]))) {
            if (!blurred++ && !wrong) first = `(${x}, ${y}): ${p.map(hex).join(' ')} on screen, ${hex(want(x, y))} expected`;
        } else if (!sameRgb(p[0], want(x, y))) {
            if (!wrong++ && !blurred) first = `(${x}, ${y}): ${hex(p[0])} on screen, ${hex(want(x, y))} expected`;
        }
    };
    for (let y = 0; y < PICTURE_ROWS; ++y)
        for (let x = 0; x < FORM_W; ++x) block(x, y);
    // The rest of the last column, and the last row, in the strip, where no label reaches.
    for (let y = PICTURE_ROWS; y < FORM_H; ++y) block(FORM_W - 1, y);
    for (let x = 0; x < FORM_W - 1; ++x) block(x, FORM_H - 1);
    check(blurred === 0 && wrong === 0,
        `${blurred} of the ${n} x ${n} blocks are blended and ${wrong} have another colour, the first at ${first}`);
    // Around the form, the page's colour up to its very edge.
    let outside = 0;
    let firstOutside = '';
    const beside = (x, y) => {
        if (x < 0 || y < 0 || x >= shot.width || y >= shot.height) return;
        const p = at(shot, x, y);
        if (!sameRgb(p, PAGE_COLOUR) && !outside++) firstOutside = `(${x}, ${y}) ${hex(p)}`;
    };
    for (let y = top - 1; y <= top + n * FORM_H; ++y) beside(left - 1, y), beside(left + n * FORM_W, y);
    for (let x = left; x < left + n * FORM_W; ++x) beside(x, top - 1), beside(x, top + n * FORM_H);
    check(outside === 0, `${outside} device pixels around the form are not the page's ${hex(PAGE_COLOUR)}, ` +
                         `the first at ${firstOutside}`);
    game.clean();
}

// The largest whole-number scale that fits the window, at whole pixels;
// on a screen narrower than the form, scaled down to fit.
export async function formTakesTheLargestWholeScaleThatFits(session) {
    // MiniBrowser's bar keeps its window wider than the form: no narrow screen there.
    const cases = webScreens('formTakesTheLargestWholeScaleThatFits', session.engine).map((screen) => ({
        viewport: screen.mobile ? { ...screen.view, isMobile: true, hasTouch: true } : screen.view, scale: screen.scale }));
    for (const c of cases) {
        const game = await session.game({ from: 'file', viewport: c.viewport });
        const b = game.box;
        const what = `at ${c.viewport.width} x ${c.viewport.height}`;
        if (c.scale !== null) {
            equal(b.scale, c.scale, `data-scale ${what}`);
            equal([b.width, b.height], [FORM_W * c.scale, FORM_H * c.scale], `the form's size ${what}`);
            check(Number.isInteger(b.left) && Number.isInteger(b.top), `the form lies at (${b.left}, ${b.top}) ${what}`);
        } else {
            check(b.scale < 1 && b.scale > 0.5, `data-scale ${what} is ${b.scale}`);
            check(b.left >= 0 && b.left + b.width <= c.viewport.width + 0.5, `the form (${b.left} + ${b.width}) overflows ${what}`);
        }
        check(b.left + b.width <= c.viewport.width + 0.5 && b.top + b.height <= c.viewport.height + 0.5 || c.scale === null,
            `the form does not fit ${what}`);
        // Each label's text scaled with its box, in the design's lines.
        const unscaled = await game.doc.evaluate(() => [...document.querySelectorAll('#form .label')].filter((label) => {
            const box = label.getBoundingClientRect();
            const text = label.firstElementChild?.getBoundingClientRect() ?? box;
            return ['left', 'top', 'width', 'height'].some((k) => Math.abs(box[k] - text[k]) > 0.5);
        }).map((label) => label.id));
        equal(unscaled, [], `labels whose text is not scaled with them ${what}`);
        equal(await game.lines(PLAY.instructions), CAPTION_LINES[PLAY.instructions], `the instructions, line by line, ${what}`);
        // A click still lands where the player aims: the start sign starts.
        await game.start();
        await game.shownTarget();
        game.clean();
    }
}

// The pointer over the form and every control is the aiming icon, its hot
// spot where the bars cross, with the crosshair as the fallback.
export async function pointerIsTheAimingIcon(session) {
    const icon = readFileSync(path.join(picturesDir(), 'pointer.ico'));
    const game = await session.game({ from: 'file' });
    await game.start();
    const k = await game.shownTarget();
    // Over the form, the exit caption, a counter, a label of the strip and the shown target.
    const cursors = await game.doc.evaluate((ids) => ids.map((id) => [id, getComputedStyle(document.getElementById(id)).cursor]),
        ['form', PLAY.exitCaption, PLAY.ammunition, PLAY.quietLabels[0], OPENINGS[k]]);
    for (const [id, cursor] of cursors) {
        const m = /^url\("?(data:image\/x-icon;base64,[^")]*)"?\) 16 16, crosshair$/.exec(cursor);
        check(m, `the pointer over ${id} is ${cursor.slice(0, 60)}…`);
        const bytes = Buffer.from(m[1].slice(m[1].indexOf(',') + 1), 'base64');
        check(bytes.equals(icon), `the pointer over ${id} is not the aiming icon`);
    }
    // The hot spot: the icon's bars cross at (16, 16). The browser decodes
    // the icon as it does for the pointer.
    const cross = await game.doc.evaluate(async (url) => {
        const img = new Image();
        img.src = url;
        await img.decode();
        const c = document.createElement('canvas');
        c.width = img.width;
        c.height = img.height;
        const g = c.getContext('2d');
        g.drawImage(img, 0, 0);
        const d = g.getImageData(0, 0, c.width, c.height).data;
        const rows = new Array(c.height).fill(0);
        const cols = new Array(c.width).fill(0);
        for (let y = 0; y < c.height; ++y)
            for (let x = 0; x < c.width; ++x)
                if (d[(y * c.width + x) * 4 + 3] > 0) { rows[y]++; cols[x]++; }
        const widest = (a) => a.indexOf(Math.max(...a));
        return { size: [c.width, c.height], x: widest(cols), y: widest(rows) };
    }, /url\("?([^")]*)/.exec(cursors[0][1])[1]);
    equal(cross.size, [32, 32], 'the pointer icon size');
    check(Math.abs(cross.x - 16) <= 1 && Math.abs(cross.y - 16) <= 1,
        `the icon's bars cross at (${cross.x}, ${cross.y}), away from the hot spot (16, 16)`);
    game.clean();
}

// The loss box where game portals put the page (a frame sandboxed without
// forms or modal dialogs) and where the browser has no promise integration
// (WebKit before Safari 27): an in-page box over the final state, the strip
// reading 0 on the screen; Tab leaves the focus on OK; OK, Enter, Space and
// Escape close it; the end comes only then, and "Играть снова" plays again.
export const FRAMED_LOSSES = [
    { from: { sandbox: 'allow-scripts' }, waits: true, close: 'click' },
    { from: { sandbox: 'allow-scripts' }, waits: true, close: 'Enter' },
    { from: { sandbox: 'allow-scripts allow-same-origin' }, waits: true, close: ' ' },
    { from: { sandbox: 'allow-scripts' }, waits: false, close: 'Escape' },
    { from: { sandbox: 'allow-scripts allow-same-origin' }, waits: false, close: 'click' },
    { from: 'http', waits: false, close: ' ' },
];

export async function lossBoxClosesInSandboxedFrames(session) {
    await framedLosses(session, FRAMED_LOSSES.filter((row) => row.waits));
}

// The same where the handler cannot wait for its box: the page holds the end.
export async function lossBoxWithoutPromiseIntegrationHoldsTheEnd(session) {
    await framedLosses(session, FRAMED_LOSSES.filter((row) => !row.waits));
}

export async function framedLosses(session, rows) {
    for (const row of rows) {
        const name = `${JSON.stringify(row.from)}, ${row.waits ? 'with' : 'without'} promise integration, ` +
                     `closed by ${JSON.stringify(row.close)}`;
        try {
            await framedLoss(session, row);
        } catch (e) {
            if (e instanceof Failure) e.message = `${name}: ${e.message}`;
            throw e;
        }
    }
}

export async function framedLoss(session, row) {
    const game = await session.game({
        from: row.from,
        // Without promise integration as older WebKit is, which (before
        // Safari 18.2) had no base64 decoding of typed arrays either.
        beforeLoad: row.waits ? null : () => {
            delete WebAssembly.Suspending;
            delete WebAssembly.promising;
            delete Uint8Array.fromBase64;
        },
    });
    // WebKit has no promise integration: it plays every row on the page's other path.
    const waits = row.waits && session.engine !== 'webkit';
    equal(await game.doc.evaluate(() => window.skeetra.waits), waits, 'the page waits for its box');
    await game.misses(Array.from({ length: START_AMMUNITION - 1 }, (_, i) => BARE_POINTS[i % BARE_POINTS.length]));
    const strip = QUIET_LABELS[PLAY.ammunition];
    await game.click(...BARE_POINTS[0]);
    await game.lossBox();
    // The screen under the box, not the page's text: the last change is
    // painted. It is compared with the label painted afresh with "0" and
    // with "1", under the same box.
    const stripUnder = await game.shotOf(strip);
    const painted = async (text) => {
        await game.doc.evaluate((text, ammunition) => {
            const label = document.getElementById(ammunition);
            (label.firstElementChild ?? label).textContent = text;
            return new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
        }, text, PLAY.ammunition);
        return game.shotOf(strip);
    };
    const whole = { left: 0, top: 0, width: stripUnder.width, height: stripUnder.height };
    const one = await painted('1');
    const zero = await painted('0');
    check(differences(stripUnder, whole, (x, y) => at(one, x, y)) !== '', 'the strip under the box shows "1"');
    equal(differences(stripUnder, whole, (x, y) => at(zero, x, y)), '', 'the strip under the box against "0"');

    for (const key of ['Tab', 'Tab', 'Shift+Tab']) {
        if (key === 'Shift+Tab') {
            await game.page.keyboard.down('Shift');
            await game.page.keyboard.press('Tab');
            await game.page.keyboard.up('Shift');
        } else {
            await game.page.keyboard.press(key);
        }
        equal(await game.doc.evaluate(() => document.activeElement?.id), 'boxOk', `the focus after ${key}`);
    }
    await sleep(QUIET_MS);
    let s = await game.state();
    check(s.boxOpen && s.formPresent && !s.ended, 'the game ended before its box was closed');
    equal(s.ammunition, '0', 'the ammunition under the loss box');

    await game.closeBox(row.close);
    s = await game.theEnd();
    equal(s.boxesOpened, 1, 'boxes opened');
    // The key that closed the box does not press "Играть снова" as well.
    await sleep(QUIET_MS);
    check((await game.state()).ended, 'the game started again by itself');
    game.clean();

    await game.page.keyboard.press('Enter');
    await game.reloaded();
    const again = await game.state();
    check(again.formPresent && again.instructions && again.ammunition === String(START_AMMUNITION),
        `"Играть снова" did not start a new game: ${JSON.stringify(again)}`);
    await game.start();
    await game.hit();
}

// A host's Content-Security-Policy: where it keeps the page from running,
// the page says why in one line (and the browser's error goes to the
// console); the policy the README gives lets it play.
export const POLICY_NEEDED = "default-src 'none'; script-src 'unsafe-inline' 'wasm-unsafe-eval'; " +
                      "style-src 'unsafe-inline'; img-src data:; font-src data:";
export const WASM_FORBIDDEN = "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; " +
                               'img-src data:; font-src data:';
export const STRICT_HOSTS = [
    { policy: "script-src 'self'", line: 'blocked' },
    { policy: "default-src 'none'", line: 'blocked' },
    { policy: WASM_FORBIDDEN, line: 'wasmForbidden' },
    // A browser whose error names neither the policy nor eval: the
    // policy's violation event alone tells the cause.
    { policy: WASM_FORBIDDEN, line: 'wasmForbidden', plainError: true },
    { policy: POLICY_NEEDED, line: null },
];

export async function strictPolicyPageSaysWhy(session) {
    for (const row of STRICT_HOSTS) {
        const page = await session.newPage();
        const errors = [];
        page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
        page.on('dialog', (d) => { errors.push(`dialog: ${d.message()}`); d.dismiss().catch(() => {}); });
        try {
            if (row.plainError) {
                await page.evaluateOnNewDocument(() => {
                    const compile = WebAssembly.compileStreaming;
                    WebAssembly.compileStreaming = function (...args) {
                        return compile.apply(this, args).catch(() => {
                            throw new WebAssembly.CompileError('the module could not be compiled');
                        });
                    };
                });
            }
            await page.goto(`${session.server.url}?csp=${encodeURIComponent(row.policy)}`, { waitUntil: 'load' });
            const lines = ['blocked', 'unsupported', 'wasmForbidden'];
            let shown;
            const deadline = Date.now() + (row.line ? WAIT_MS : 3000);
            const read = () => page.evaluate((ids) => ids.filter((id) => document.getElementById(id)?.getClientRects().length > 0), lines);
            for (;;) {
                shown = await read();
                if (shown.length || Date.now() > deadline) break;
                await sleep(50);
            }
            // The line it stays on: the policy's violation event may come after the error.
            if (shown.length) {
                await sleep(QUIET_MS);
                shown = await read();
            }
            equal(shown, row.line ? [row.line] : [], 'the lines shown');
            if (row.line === 'wasmForbidden')
                check(errors.some((e) => e.startsWith('skeetra: ')), `the browser's error is not on the console: ${errors.join('; ')}`);
            if (!row.line) {
                const ok = await page.evaluate(() => window.skeetra.ready.then(() => !!document.getElementById('form')));
                check(ok, 'the game did not start under the policy the page needs');
                const inPlay = await page.evaluate(() => getComputedStyle(document.getElementById('form')).cursor);
                check(/url\(/.test(inPlay), `the aiming icon is not the pointer: ${inPlay}`);
            }
        } catch (e) {
            if (e instanceof Failure) e.message = `${row.policy}${row.plainError ? ', a plain error' : ''}: ${e.message}`;
            throw e;
        } finally {
            await page.close();
        }
    }
}

// A runtime error in a handler: an error box with its number and text over
// the game, one line on the console that starts with "skeetra:", and the
// end once the box is closed, never the page's internal error. The game
// makes none by itself, so the ammunition's text in the module's memory is
// made no number (a counter holding a word), and the next shot reads it.
export async function runtimeErrorShowsItsBoxThenEnds(session) {
    const game = await session.game({
        from: 'file',
        beforeLoad: () => {
            const instantiate = WebAssembly.instantiate;
            WebAssembly.instantiate = function (module, imports) {
                return instantiate.call(this, module, imports).then((result) => {
                    const instance = result.instance ?? result;
                    const all = [...Object.values(instance.exports), ...Object.values(imports ?? {}).flatMap(Object.values)];
                    window.__memory = all.find((e) => e instanceof WebAssembly.Memory);
                    return result;
                });
            };
        },
    });
    await game.start();
    await game.hit();
    const ammunition = await game.ammunition();
    // The caption is a short std::string of emscripten's libc++: its 12
    // bytes hold the characters, a nul, and the length in the last byte.
    // Its one copy, at a string's alignment, gets an "x" for its first digit.
    const copies = await game.doc.evaluate((text) => {
        const bytes = new Uint8Array(window.__memory.buffer);
        const chars = [...text].map((c) => c.charCodeAt(0));
        const found = [];
        for (let i = 0; i + 12 <= bytes.length; i += 4)
            if (bytes[i + 11] === chars.length && bytes[i + chars.length] === 0 && chars.every((b, j) => bytes[i + j] === b))
                found.push(i);
        for (const i of found) bytes[i] = 'x'.charCodeAt(0);
        return found.length;
    }, ammunition);
    equal(copies, 1, `copies of the ammunition's caption "${ammunition}" in the module's memory`);

    await game.click(...BARE_POINTS[0]);
    await game.waitFor((s) => s.boxOpen, 'no box for the runtime error');
    const box = await game.doc.evaluate(() => ({
        text: document.getElementById('boxText').textContent,
        error: document.getElementById('box').classList.contains('error'),
        focus: document.activeElement?.id,
    }));
    const words = (text) => text.trim().split(/\s+/).join(' ');
    equal(words(box.text), words(BOXES.typeMismatch.text), 'the runtime error box');
    check(box.error, 'the box is no error box');
    equal(box.focus, 'boxOk', 'the focused element while the box is open');
    await sleep(QUIET_MS);
    let s = await game.state();
    check(s.formPresent && !s.ended, 'the game ended before its error box was closed');
    equal(s.ammunition, ammunition, 'the ammunition under the error box');
    equal(game.errors, [`console: ${BOXES.typeMismatch.line}`], 'the errors on the console');

    await game.closeBox('Enter');
    s = await game.theEnd();
    equal(s.boxesOpened, 1, 'boxes opened');
    game.errors.splice(0, 1);
    game.clean();
}

// Without WebAssembly the page says so in one line.
export async function pageWithoutWebAssemblySaysSo(session) {
    const page = await session.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e.message ?? e)));
    page.on('dialog', (d) => { errors.push(`dialog: ${d.message()}`); d.dismiss().catch(() => {}); });
    await page.evaluateOnNewDocument(() => { delete window.WebAssembly; });
    await page.goto(session.url('file'), { waitUntil: 'load' });
    const line = await page.waitForFunction(() => document.getElementById('unsupported')?.textContent, { timeout: WAIT_MS });
    const text = String(await line.jsonValue()).trim();
    check(text.length > 10 && !text.includes('\n'), `the line without WebAssembly: ${JSON.stringify(text)}`);
    const visible = await page.evaluate(() => document.getElementById('unsupported').getClientRects().length > 0);
    check(visible, 'the line without WebAssembly is not shown');
    check(errors.length === 0, `without WebAssembly: ${errors.join('; ')}`);
    await page.close();
}

// The clock counts one tick per 800 ms of play, read at moments two
// seconds long: never ahead of the ticks due since the start click was
// sent, and, by the end of each moment, behind by at most the tick on its
// way. Also while a flood of 3000 clicks on a title (which change nothing)
// comes in: a clock whose ticks wait behind the clicks, or are dropped,
// falls behind for good. At the win the final time is the clock's value.
export const AMMUNITION_TITLE = QUIET_LABELS[PLAY.ammunitionTitle];

export const CLOCK_FLOODS = [0, 3000];
export const floodRow = (flood) => (flood ? `under a flood of ${flood} clicks on a label` : 'quiet');

export async function clockCountsOneTickPer800ms(session) {
    listedRows('clockCountsOneTickPer800ms', CLOCK_FLOODS.map(floodRow));
    for (const flood of CLOCK_FLOODS) {
        const game = await session.game({ from: 'file' });
        const row = floodRow(flood);
        try {
            const sent = Date.now();
            await game.start();
            const seen = Date.now();
            const moments = [];
            const readMoment = async () => {
                const readings = [];
                for (let i = 0; i < 8; ++i) {
                    const from = Date.now();
                    const time = Number((await game.state()).time);
                    readings.push({ time, from: from - seen, to: Date.now() - sent });
                    await sleep(250);
                }
                moments.push(readings);
            };
            await readMoment();
            if (flood) {
                const BURST = 500;
                for (let n = 0; n < flood; n += BURST)
                    await game.clickBurst(Array.from({ length: BURST }, () => centre(AMMUNITION_TITLE)));
                equal(await game.ammunition(), String(START_AMMUNITION), 'the ammunition after clicks on a title');
            } else {
                await sleep(4000);
            }
            await readMoment();
            for (const [m, readings] of moments.entries()) {
                const counts = readings.map((r) => `${r.time} at ${r.from}-${r.to} ms`).join('; ');
                for (const r of readings)
                    check(r.time <= Math.floor(r.to / CLOCK_PERIOD_MS), `the clock runs ahead, moment ${m + 1}: ${counts}`);
                const caughtUp = readings.slice(-3).some((r) => r.time >= Math.floor(r.from / CLOCK_PERIOD_MS) - 1);
                check(caughtUp, `the clock stays behind, moment ${m + 1}: ${counts}`);
            }
            game.clean();
        } catch (e) {
            if (e instanceof Failure) e.message = `${row}: ${e.message}`;
            throw e;
        }
    }
}

// The clock is the player's score: it keeps the time of play while the
// browser holds the page's timers back. Chromium's page is frozen (its
// timers stop altogether); Firefox's is hidden behind another tab (its
// timers throttled to one a second at most); WebKit's window is minimised.
// Once the page is back, the clock soon reads the time since the start
// click, as if nothing had happened: never ahead of it, and behind by at
// most the tick on its way; also after more than a minute. The long hold-up
// is the same real one, 12 s, that the page's clock sees as 90: a hook
// before load moves performance.now() on by the rest as the page is frozen
// or hidden, so the suite does not wait a minute and a half.
export const HOLD_MS = 12000;
export const HOLD_UPS = [{ name: 'held 12 s', seenMs: HOLD_MS }, { name: 'held 90 s', seenMs: 90000 }];

const clockLeapingBy = (ms) => new Function(`
    const now = performance.now.bind(performance);
    let ahead = 0, held = false;
    performance.now = () => now() + ahead;
    const hold = () => { if (!held) { held = true; ahead += ${ms}; } };
    document.addEventListener('freeze', hold);
    document.addEventListener('resume', () => { held = false; });
    document.addEventListener('visibilitychange', () => {
        if (document.visibilityState === 'hidden') hold();
        else held = false;
    });
`);

export async function clockKeepsTimeWhileHidden(session) {
    listedRows('clockKeepsTimeWhileHidden', HOLD_UPS.map((h) => h.name));
    for (const { name, seenMs } of HOLD_UPS) {
        const leapMs = seenMs - HOLD_MS;
        const game = await session.game({ from: 'file', beforeLoad: leapMs ? clockLeapingBy(leapMs) : null });
        const sent = Date.now();
        await game.start();
        const seen = Date.now();
        await sleep(1000);
        await game.holdUp(HOLD_MS);
        const readings = [];
        const deadline = Date.now() + 3000;
        // As the page's clock counts the time.
        for (;;) {
            const from = Date.now();
            const time = Number((await game.state()).time);
            readings.push({ time, from: from - seen + leapMs, to: Date.now() - sent + leapMs });
            const r = readings.at(-1);
            const counts = () => readings.map((r) => `${r.time} at ${r.from}-${r.to} ms`).join('; ');
            check(r.time <= Math.floor(r.to / CLOCK_PERIOD_MS), `${name}: the clock runs ahead after the hold-up: ${counts()}`);
            if (r.time >= Math.floor(r.from / CLOCK_PERIOD_MS) - 1) break;
            check(Date.now() < deadline, `${name}: the clock lost the time the page was held: ${counts()}`);
            await sleep(100);
        }
        check(readings.at(-1).to > seenMs, `${name}: the hold-up was over before it began`);
        game.clean();
    }
}

// The page's one wake-up, asked for at a due time its clock has already
// passed, comes at once: it is never dropped, or every timer would stop
// until the next click. Here the page's clock runs a few milliseconds on at
// each reading, so the referee's 1 ms tick is overdue by the time its
// wake-up is asked for, as on a slow machine; with no input, the clock must
// still count one tick per 800 ms.
const clockRunningAhead = () => {
    const now = performance.now.bind(performance);
    let ahead = 0;
    performance.now = () => now() + (ahead += 3);
};

export async function clockTicksWhenItsWakeUpIsOverdue(session) {
    const game = await session.game({ from: 'file', beforeLoad: clockRunningAhead });
    await game.start();
    const seen = Date.now();
    await sleep(4000);
    const readings = [];
    for (let i = 0; i < 4; ++i) {
        readings.push({ time: Number((await game.state()).time), at: Date.now() - seen });
        await sleep(500);
    }
    const counts = readings.map((r) => `${r.time} at ${r.at} ms`).join('; ');
    check(readings.some((r) => r.time >= Math.floor(r.at / CLOCK_PERIOD_MS) - 1), `the clock stopped: ${counts}`);
    check(readings.at(-1).time > readings[0].time, `the clock stopped: ${counts}`);
    game.clean();
}

// At device scale 2 (a screen at 200 %) the game plays to the win as at 1,
// its clicks landing where the player aims, and the green box shows the
// clock's value.
export async function denseScreenPlaysToTheWin(session) {
    // WebKit paints in software here: there the form at whole size, not at
    // scale 2 too, which would cost four times the pixels every frame.
    const size = session.engine === 'webkit' ? { width: 800, height: 600 } : { width: 1000, height: 1000 };
    const game = await session.game({ from: 'file', viewport: { ...size, deviceScaleFactor: 2 } });
    const s = await game.playToWin();
    equal(s.finalTime, s.time, 'the final time against the clock');
    await game.click(...centre(EXIT_CAPTION));
    await game.theEnd();
    game.clean();
}

// A 1024 x 768 screen at 200 % gives the page 512 x 384 CSS pixels: the
// whole form, the status strip with its exit caption included, still shows.
export async function windowFitsASmallDenseScreen(session) {
    const viewport = { width: 512, height: 384, deviceScaleFactor: 2 };
    const game = await session.game({ from: 'file', viewport });
    const b = game.box;
    check(b.left >= 0 && b.top >= 0 && b.left + b.width <= viewport.width + 0.5 && b.top + b.height <= viewport.height + 0.5,
        `the form (${b.left}, ${b.top}, ${b.width} x ${b.height}) does not fit the ${viewport.width} x ${viewport.height} page`);
    await game.start();
    await game.hit();
    await game.click(...centre(EXIT_CAPTION));
    await game.theEnd();
    game.clean();
}

export const SCENARIOS = {
    windowHasTitleSizeAndPlace,
    screenShowsThePicturesAsDrawn,
    hundredHitsWinAndStopTheReferee,
    lastCartridgeLoses,
    clickStormEndsInOneLossBox,
    labelsTakeClicksWithoutCost,
    exitCaptionEndsWithStatusZero,
    twoMissesInOneTickStillLose,
    tapsByTouchShoot,
    deviceScalesDrawSharpEvenBlocks,
    onlyMainButtonPressesShootWhereTheyFall,
    formTakesTheLargestWholeScaleThatFits,
    pointerIsTheAimingIcon,
    lossBoxClosesInSandboxedFrames,
    lossBoxWithoutPromiseIntegrationHoldsTheEnd,
    pageWithoutWebAssemblySaysSo,
    strictPolicyPageSaysWhy,
    runtimeErrorShowsItsBoxThenEnds,
    clockCountsOneTickPer800ms,
    clockKeepsTimeWhileHidden,
    clockTicksWhenItsWakeUpIsOverdue,
    denseScreenPlaysToTheWin,
    windowFitsASmallDenseScreen,
};
