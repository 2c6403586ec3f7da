// The game in a page, driven as a player drives it: starting, clicking,
// tapping, reading the clock and the labels, and the boxes that open.
import {
    centre, TARGETS, OPENINGS, FORM_W, START_AREA, WINNING_KILLS, LOSS_MESSAGE, WAIT_MS, QUIET_MS, PLAY, BOX_TITLE, BOXES,
} from './design.mjs';
import { Failure, check, equal, sleep } from './checks.mjs';
import { decodePng, at } from './pixels.mjs';

// One page of the game.
export class Game {
    constructor(session, { from = 'file', viewport = { width: 800, height: 600 }, beforeLoad = null } = {}) {
        this.session = session;
        this.from = from;
        this.viewport = viewport;
        this.beforeLoad = beforeLoad;
        this.alerts = []; // alert() and other browser dialogs, as the driver heard them
        this.errors = []; // uncaught exceptions and console errors
        this.requests = []; // every request the page made
        this.answerAlerts = true;
    }

    async open() {
        const page = (this.page = await this.session.newPage());
        // An unheard alert() would be dismissed by the driver and go unseen:
        // every browser dialog is counted and answered here.
        page.on('dialog', async (dialog) => {
            this.alerts.push({ type: dialog.type(), message: dialog.message() });
            if (this.answerAlerts) await dialog.accept().catch(() => {});
        });
        page.on('pageerror', (error) => this.errors.push(`uncaught: ${error.message ?? error}`));
        page.on('console', (message) => {
            if (message.type() === 'error') this.errors.push(`console: ${message.text()}`);
        });
        page.on('request', (request) => this.requests.push(request.url()));
        await page.setViewport(this.viewport);
        // Counts the message boxes the page opens, whatever it does with them.
        await page.evaluateOnNewDocument(() => {
            window.__boxesOpened = 0;
            const showModal = HTMLDialogElement.prototype.showModal;
            HTMLDialogElement.prototype.showModal = function () {
                window.__boxesOpened += 1;
                return showModal.call(this);
            };
        });
        // What was still loading in the first frame that showed the form.
        await page.evaluateOnNewDocument(() => {
            window.__unreadyWhenShown = null;
            const watch = () => {
                const form = document.getElementById('form');
                if (!form || getComputedStyle(form).visibility !== 'visible') return requestAnimationFrame(watch);
                const unready = [...form.querySelectorAll('img')].filter((i) => !i.complete || !i.naturalWidth).map((i) => i.id);
                for (const label of form.querySelectorAll('.label'))
                    if (!document.fonts.check(getComputedStyle(label).font, label.textContent)) unready.push(label.id);
                window.__unreadyWhenShown = unready;
            };
            requestAnimationFrame(watch);
        });
        if (this.beforeLoad) await page.evaluateOnNewDocument(this.beforeLoad);
        await page.goto(this.session.url(this.from), { waitUntil: 'load', timeout: WAIT_MS });
        // The game's document: the page's own, or its frame's.
        this.doc = page;
        if (this.from.sandbox !== undefined) {
            const deadline = Date.now() + WAIT_MS;
            while (!(this.doc = page.mainFrame().childFrames()[0])) {
                check(Date.now() < deadline, 'the frame did not load');
                await sleep(20);
            }
        }
        await this.ready();
    }

    async ready() {
        const ok = await this.doc.evaluate(
            (ms) => Promise.race([window.skeetra?.ready.then(() => true), new Promise((r) => setTimeout(() => r(false), ms))]),
            WAIT_MS);
        check(ok, 'the page never became ready (window.skeetra.ready)');
        await this.measure();
        this.facade = await this.shot();
    }

    // After the page reloaded itself: the new game, once it is ready.
    async reloaded() {
        const deadline = Date.now() + WAIT_MS;
        for (;;) {
            const fresh = await this.doc.evaluate(() => !!window.skeetra && !window.skeetra.ended).catch(() => false);
            if (fresh) break;
            check(Date.now() < deadline, 'the page did not load again');
            await sleep(20);
        }
        await this.ready();
    }

    // Where the form lies in the viewport, and its scale.
    async measure() {
        const m = await this.doc.evaluate(() => {
            const form = document.getElementById('form');
            const r = form.getBoundingClientRect();
            return { left: r.left, top: r.top, width: r.width, height: r.height, scale: Number(form.dataset.scale) };
        });
        this.box = m;
        return m;
    }

    // The viewport point inside a design pixel, at whole CSS pixels: a
    // driver may round a fraction either way (Firefox's does).
    point(x, y) {
        const s = this.box.width / FORM_W;
        return [Math.floor(this.box.left + (x + 0.5) * s), Math.floor(this.box.top + (y + 0.5) * s)];
    }

    async click(x, y) {
        const [px, py] = this.point(x, y);
        await this.page.mouse.click(px, py);
    }

    // Clicks one after another, in order, none waited for beyond the
    // browser's own delivery.
    async clickAll(points) {
        if (!(await this.clicksInOneRequest(points))) for (const [x, y] of points) await this.click(x, y);
    }

    // Clicks sent all at once, without waiting for one before the next.
    async clickBurst(points) {
        if (!(await this.clicksInOneRequest(points))) await Promise.all(points.map(([x, y]) => this.click(x, y)));
    }

    // Clicks in order as one request of input, which the browser delivers
    // as fast as it takes them: a round trip to the driver for each press
    // and release takes longer than the clicks themselves. False for an
    // engine that has no such request.
    async clicksInOneRequest(points) {
        const at = points.map(([x, y]) => this.point(x, y));
        if (this.page.mouse.clickAll) {
            // Over WebDriver: one request, the clicks dispatched back to back.
            await this.page.mouse.clickAll(at);
            return true;
        }
        if (this.session.engine === 'firefox') {
            // WebDriver BiDi's input.performActions, on the source puppeteer's
            // mouse uses, so that the two agree where the pointer is.
            const actions = at.flatMap(([x, y]) => [
                { type: 'pointerMove', x, y }, { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }]);
            await this.page.mainFrame().browsingContext.performActions([{ type: 'pointer', id: '__puppeteer_mouse', actions }]);
            return true;
        }
        if (this.session.engine === 'chromium') {
            // CDP's input events, every one sent before the first is answered.
            const cdp = await this.page.createCDPSession();
            const sent = [];
            for (const [x, y] of at) {
                sent.push(cdp.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y, button: 'none', buttons: 0 }));
                for (const [type, buttons] of [['mousePressed', 1], ['mouseReleased', 0]])
                    sent.push(cdp.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', buttons, clickCount: 1 }));
            }
            await Promise.all(sent);
            await cdp.detach();
            return true;
        }
        return false;
    }

    async ammunition() {
        return this.doc.evaluate((id) => document.getElementById(id)?.textContent ?? null, PLAY.ammunition);
    }

    async tap(x, y) {
        const [px, py] = this.point(x, y);
        await this.page.touchscreen.tap(px, py);
    }

    // The browser holds the page's timers back for `ms`, as it does with a
    // tab a player left: Chromium freezes the page, Firefox hides it behind
    // another tab, WebKit's window is minimised. Checked, so that the
    // hold-up cannot pass unnoticed.
    async holdUp(ms) {
        if (this.session.engine === 'chromium') {
            const cdp = await this.page.createCDPSession();
            await cdp.send('Page.setWebLifecycleState', { state: 'frozen' });
            const probe = this.page.evaluate(() => new Promise((resolve) => setTimeout(() => resolve('ran'), 0)));
            const ran = await Promise.race([probe, sleep(500).then(() => 'held')]);
            equal(ran, 'held', 'a timer on the frozen page');
            await sleep(ms);
            await cdp.send('Page.setWebLifecycleState', { state: 'active' });
            await probe;
            await cdp.detach();
        } else if (this.session.engine === 'webkit') {
            // WebKit's driver opens no tab over another.
            await this.page.minimize();
            equal(await this.doc.evaluate(() => document.visibilityState), 'hidden', 'the minimised page');
            await sleep(ms);
            await this.page.restore();
            equal(await this.doc.evaluate(() => document.visibilityState), 'visible', 'the page brought back');
        } else {
            const other = await this.session.newPage();
            await other.bringToFront();
            equal(await this.doc.evaluate(() => document.visibilityState), 'hidden', 'the page behind another tab');
            await sleep(ms);
            await this.page.bringToFront();
            await other.close();
            equal(await this.doc.evaluate(() => document.visibilityState), 'visible', 'the page brought back');
        }
    }

    // A part of the form as the screen shows it, in design pixels.
    async shotOf(r) {
        const s = this.box.width / FORM_W;
        const png = await this.page.screenshot({
            clip: { x: this.box.left + r.left * s, y: this.box.top + r.top * s, width: r.width * s, height: r.height * s },
            type: 'png',
        });
        return decodePng(png);
    }

    // The form's pixels, one design pixel each at scale 1 and device scale 1.
    async shot() {
        const b = this.box;
        const png = await this.page.screenshot({
            clip: { x: b.left, y: b.top, width: b.width, height: b.height },
            type: 'png',
        });
        return decodePng(png);
    }

    // What a player reads: the labels' texts, which controls are shown, and
    // the game's end.
    async state() {
        return this.doc.evaluate((play, openings) => {
            const shown = (id) => {
                const e = document.getElementById(id);
                return !!e && e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
            };
            const text = (id) => document.getElementById(id)?.textContent ?? null;
            const targets = [];
            openings.forEach((name, k) => { if (shown(name)) targets.push(k); });
            const box = document.getElementById('box');
            return {
                ammunition: text(play.ammunition),
                kills: text(play.kills),
                time: text(play.clock),
                finalTime: text(play.finalTime),
                targets,
                instructions: shown(play.instructions),
                won: shown(play.winBox) && shown(play.finalTime),
                formPresent: !!document.getElementById('form'),
                boxOpen: !!box && box.open,
                boxesOpened: window.__boxesOpened,
                ended: !!window.skeetra?.ended,
                endedText: shown('ended') ? document.getElementById('ended').textContent : null,
                scrolled: window.scrollX !== 0 || window.scrollY !== 0,
                selection: String(document.getSelection() ?? ''),
            };
        }, PLAY, OPENINGS);
    }

    // Polls the page's state until the condition holds.
    async waitFor(condition, what, timeout = WAIT_MS) {
        const deadline = Date.now() + timeout;
        let s;
        for (;;) {
            s = await this.state();
            if (condition(s)) return s;
            if (Date.now() > deadline) throw new Failure(`${what}; the page shows ${JSON.stringify(s)}`);
            await sleep(5);
        }
    }

    // One shot, waited for until the game has taken it; `before`, the
    // ammunition just read, if the caller has it.
    async shoot(x, y, before = null) {
        before ??= await this.ammunition();
        await this.click(x, y);
        const deadline = Date.now() + WAIT_MS;
        for (;;) {
            const now = await this.ammunition();
            if (now !== before) return now;
            check(Date.now() < deadline, `the ammunition did not change after a shot at (${x}, ${y})`);
            await sleep(2);
        }
    }

    async shownTarget() {
        const s = await this.waitFor((s) => s.targets.length > 0, 'no target was shown');
        check(s.targets.length === 1, `${s.targets.length} targets shown at once`);
        return s.targets[0];
    }

    async start() {
        await this.click(...centre(START_AREA));
        await this.waitFor((s) => !s.instructions, 'the start sign did not start play');
    }

    async hit() {
        const k = await this.shownTarget();
        return this.shoot(...centre(TARGETS[k]));
    }

    async playToWin() {
        await this.start();
        for (let i = 0; i < WINNING_KILLS; ++i) {
            // What shows the target tells the rest, read at once.
            const s = await this.waitFor((s) => s.targets.length > 0, 'no target was shown');
            check(s.targets.length === 1, `${s.targets.length} targets shown at once`);
            check(!s.won, `won after ${i} hits`);
            await this.shoot(...centre(TARGETS[s.targets[0]]), s.ammunition);
        }
        return this.waitFor((s) => s.won, 'no win after 100 hits');
    }

    // Misses one after another, then waited for all at once: each costs
    // one cartridge.
    async misses(points) {
        const before = Number(await this.ammunition());
        await this.clickAll(points);
        const want = String(before - points.length);
        await this.waitFor((s) => s.ammunition === want || s.boxOpen || !s.formPresent, `${points.length} misses from ${before} did not leave ${want}`);
        equal(await this.ammunition(), want, `the ammunition after ${points.length} misses from ${before}`);
    }

    // The one loss box: open, titled, with the message and (unless clicks
    // went on around it) a focused OK.
    async lossBox({ focused = true } = {}) {
        await this.waitFor((s) => s.boxOpen, 'no loss box appeared');
        const box = await this.doc.evaluate(() => ({
            title: document.getElementById('boxTitle')?.textContent,
            text: document.getElementById('boxText')?.textContent,
            focus: document.activeElement?.id,
            ok: document.getElementById('boxOk')?.textContent,
            fontSize: getComputedStyle(document.getElementById('boxText')).fontSize,
        }));
        equal(box.title?.trim(), BOX_TITLE, 'the box title');
        equal(box.fontSize, BOXES.font.pixels + 'px', "the box's text size");
        equal(box.text?.trim(), LOSS_MESSAGE, 'the box text');
        equal(box.ok?.trim(), 'OK', 'the box button');
        if (focused) equal(box.focus, 'boxOk', 'the focused element while the box is open');
        return box;
    }

    // Closes the box as a player would: 'click' on OK, a key's name, or
    // 'text, then Space': a click on the box's text, which leaves the focus
    // on OK, then Space where the focus has left OK (taken by the page's
    // script here, as an assistive tool may take it), which must close the
    // box as well, not only press a focused OK.
    async closeBox(how) {
        if (how === 'text, then Space') {
            const [x, y] = await this.doc.evaluate(() => {
                const r = document.getElementById('boxText').getBoundingClientRect();
                return [r.left + 8, r.top + r.height / 2];
            });
            await this.page.mouse.click(x, y);
            await sleep(QUIET_MS);
            const after = await this.doc.evaluate(() => [document.getElementById('box').open, document.activeElement?.id]);
            equal(after, [true, 'boxOk'], 'the box and the focus after a click on its text');
            await this.doc.evaluate(() => document.activeElement.blur());
            check(await this.doc.evaluate(() => document.activeElement?.id !== 'boxOk'), 'OK kept the focus');
            await this.page.keyboard.press(' ');
        } else if (how === 'click') {
            const [x, y] = await this.doc.evaluate(() => {
                const r = document.getElementById('boxOk').getBoundingClientRect();
                return [r.left + r.width / 2, r.top + r.height / 2];
            });
            await this.page.mouse.click(x, y);
        } else {
            await this.page.keyboard.press(how);
        }
    }

    // Where the box lies, in design pixels of the form.
    async boxRect() {
        const r = await this.doc.evaluate(() => {
            const b = document.getElementById('box').getBoundingClientRect();
            return { left: b.left, top: b.top, right: b.right, bottom: b.bottom };
        });
        const s = this.box.width / FORM_W;
        return {
            left: Math.floor((r.left - this.box.left) / s), top: Math.floor((r.top - this.box.top) / s),
            right: Math.ceil((r.right - this.box.left) / s), bottom: Math.ceil((r.bottom - this.box.top) / s),
        };
    }

    // The end as the player sees it: the form gone, the closing line and
    // the button that starts again.
    async theEnd() {
        const s = await this.waitFor((s) => !s.formPresent && s.endedText !== null, 'the game did not end');
        check(s.ended, 'window.skeetra.ended is not set at the end');
        check(!s.boxOpen, 'the box is still open at the end');
        check(s.endedText.includes('Игра окончена.'), `the end says ${JSON.stringify(s.endedText)}`);
        const again = await this.doc.evaluate(() => document.getElementById('again')?.textContent?.trim());
        equal(again, 'Играть снова', 'the button at the end');
        return s;
    }

    // The lines a label's text is laid out in, as the words on each.
    async lines(id) {
        return this.doc.evaluate((id) => {
            const label = document.getElementById(id);
            const node = document.createTreeWalker(label, NodeFilter.SHOW_TEXT).nextNode();
            const text = node?.textContent ?? '';
            const lines = [];
            let top = null;
            for (const m of text.matchAll(/\S+/g)) {
                const range = document.createRange();
                range.setStart(node, m.index);
                range.setEnd(node, m.index + m[0].length);
                // WebKit adds an empty box at the end of the line before a
                // word that opens a line.
                const y = Math.round([...range.getClientRects()].find((r) => r.width > 0).top);
                if (top === null || y > top + 1) {
                    lines.push([]);
                    top = y;
                }
                lines[lines.length - 1].push(m[0]);
            }
            return lines.map((words) => words.join(' '));
        }, id);
    }

    // Nothing thrown, nothing written as an error, no alert() unheard.
    clean(allowAlerts = 0) {
        check(this.errors.length === 0, () => `errors on the page:\n  ${this.errors.join('\n  ')}`);
        check(this.alerts.length === allowAlerts,
            () => `${this.alerts.length} browser dialogs, expected ${allowAlerts}: ${JSON.stringify(this.alerts)}`);
    }
}

// The phases a game can be left in.
export async function reach(game, phase) {
    switch (phase) {
    case 'waiting': return;
    case 'playing': await game.start(); await game.shownTarget(); return;
    case 'won': await game.playToWin(); return;
    }
    throw new Error(`no phase ${phase}`);
}
