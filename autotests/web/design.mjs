// The window's places from the design table the build writes, the
// constants of play, and the list of scenarios in scenarios.txt that the
// driver is held to.
import { readFileSync, existsSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { check } from './checks.mjs';

export const here = path.dirname(fileURLToPath(import.meta.url));
export const root = path.resolve(here, '../..');
export const SKIP = 77;
export const required = !!process.env.SKEETRA_WEB_REQUIRED && process.env.SKEETRA_WEB_REQUIRED !== '0';

// ---------------------------------------------------------------- the design

// The window's places, names and colours, as window/ defines them: the
// build writes them out (SKEETRA_DESIGN_JSON), so that no rectangle is
// typed twice. Client-area places, in design pixels.
export const designFile = process.env.SKEETRA_DESIGN_JSON || path.join(root, 'build/default/design/form1.json');
if (!existsSync(designFile)) {
    console.error(`e2e: no design table at ${designFile} (build the default preset, or set SKEETRA_DESIGN_JSON)` +
                  (required ? '' : ' (skipped)'));
    process.exit(required ? 1 : SKIP);
}
export const design = JSON.parse(readFileSync(designFile, 'utf8'));
export const control = (name) => {
    const c = design.controls.find((c) => c.name === name);
    if (!c) throw new Error(`the design has no ${name}`);
    return c;
};
export const rect = (left, top, width, height) => ({ left, top, width, height });
export const placeOf = (name) => ({ ...control(name).rect });
export const centre = (r) => [r.left + Math.floor(r.width / 2), r.top + Math.floor(r.height / 2)];
// The figure's openings: the pictures that show it (the start sign shows
// none), in the order of their names' numbers, and their places.
export const OPENINGS = design.controls.filter((c) => c.kind === 'image' && c.picture).map((c) => c.name)
    .sort((a, b) => Number(a.slice(5)) - Number(b.slice(5)));
export const TARGETS = OPENINGS.map(placeOf);
export const FORM_W = design.client.width;
export const FORM_H = design.client.height;
// The facts of play the design table carries for every platform's driver:
// which control shows what, the counts, the loss message, the bare points.
export const PLAY = design.play;
export const START_AREA = placeOf(PLAY.startSign);
export const INSTRUCTIONS = placeOf(PLAY.instructions);
export const WIN_BOX = placeOf(PLAY.winBox);
export const FINAL_TIME = placeOf(PLAY.finalTime);
// The lines the wrapped captions must be drawn in, as on every platform.
export const CAPTION_LINES = design.captionLines;
export const EXIT_CAPTION = placeOf(PLAY.exitCaption);
export const WIN_GREEN = control(PLAY.winBox).backColour;
// Labels that take clicks and do nothing; the instructions among them are
// the very INSTRUCTIONS place.
export const QUIET_LABELS = Object.fromEntries(
    PLAY.quietLabels.map((n) => [n, n === PLAY.instructions ? INSTRUCTIONS : placeOf(n)]));
// The facade's rows; below them runs the status strip, from its first label.
export const PICTURE_ROWS = placeOf(PLAY.ammunitionTitle).top;
export const STRIP_LABELS = [...Object.values(QUIET_LABELS).filter((r) => r !== INSTRUCTIONS), EXIT_CAPTION];
// Points where no control lies during play; before play none is on a shown
// control either. Away from the middle, where a box may open.
export const BARE_POINTS = PLAY.barePoints;
export const START_AMMUNITION = PLAY.startAmmunition;
export const WINNING_KILLS = PLAY.winningKills;
export const CLOCK_PERIOD_MS = PLAY.clockPeriodMs;
export const LOSS_MESSAGE = PLAY.lossMessage;
export const TITLE = design.caption;
// The boxes as the core makes them: title, face, and the runtime error a
// test causes, with its line.
export const BOXES = design.boxes;
export const BOX_TITLE = BOXES.title;

// Generous: a loaded machine may be slow, never wrong.
export const WAIT_MS = PLAY.waitMs;
// How long a thing that must not happen is given to happen anyway.
export const QUIET_MS = PLAY.quietMs;

// ---------------------------------------------------------------- the list

// scenarios.txt as the build's table holds it (written beside the design
// table at configure time, autotests/e2e/scenario_table.cmake): each
// scenario with the platforms that play it, its rows and its screens.
export const scenarioFile = process.env.SKEETRA_SCENARIOS_JSON || path.join(path.dirname(designFile), 'scenarios.json');
let scenarioTable = null;
export function scenarioList() {
    if (!scenarioTable) {
        if (!existsSync(scenarioFile)) {
            console.error(`e2e: no scenario table at ${scenarioFile} (configure the default preset)` +
                          (required ? '' : ' (skipped)'));
            process.exit(required ? 1 : SKIP);
        }
        scenarioTable = JSON.parse(readFileSync(scenarioFile, 'utf8')).scenarios;
    }
    return scenarioTable;
}

const listed = (scenario) => {
    const s = scenarioList().find((s) => s.name === scenario);
    if (!s) throw new Error(`scenarios.txt has no scenario ${scenario}`);
    return s;
};

// The names scenarios.txt gives the web, or one engine of it.
export function webScenarios(engine = null) {
    return scenarioList()
        .filter((s) => s.platforms.includes('web') && !s.without.includes(engine))
        .map((s) => s.name);
}

// The screens a scenario plays on in the web, or one engine of it, each as
// { name, view: { width, height }, density, mobile, scale } (scale null:
// below 1).
export function webScreens(scenario, engine = null) {
    return listed(scenario).screens
        .filter((screen) => screen.platforms.includes('web') && !screen.without.includes(engine))
        .map(({ name, settings }) => {
            const [width, height] = String(settings.view).split('x').map(Number);
            return { name, view: { width, height }, density: settings.density ?? 1, mobile: settings.mobile === 'yes',
                     scale: settings.scale ?? null };
        });
}

// A scenario's rows here against its rows in the list: one the list lacks
// would be played here alone, one the driver lacks never, and either way a
// platform would silently differ from the others.
export function listedRows(scenario, names) {
    const rows = listed(scenario).rows.filter((row) => row.platforms.includes('web')).map((row) => row.name);
    const extra = names.filter((n) => !rows.includes(n));
    const missing = rows.filter((n) => !names.includes(n));
    check(!extra.length && !missing.length,
        `the rows of ${scenario} differ from scenarios.txt: ${extra.length ? `not listed: ${extra.join('; ')}` : ''}` +
        `${extra.length && missing.length ? ', ' : ''}${missing.length ? `not played: ${missing.join('; ')}` : ''}`);
}
