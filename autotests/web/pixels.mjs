// Screenshots and pictures read as pixels: PNG and GIF decoding and the
// comparisons a scenario makes on them.
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { root } from './design.mjs';

// npm packages, imported when the run starts so that their absence is a
// skip the entry point reports rather than a crash on import.
let PNG, omggif;
export async function loadPixelPackages() {
    PNG = (await import('pngjs')).PNG;
    omggif = (await import('omggif')).default;
}

// ---------------------------------------------------------------- pictures

export function picturesDir() {
    return path.join(root, 'window/pictures');
}

// A decoded picture: width, height and RGBA bytes (transparent pixels are
// 0, 0, 0, 0), and the colour its file stores for transparent pixels.
export function decodeGif(file) {
    const { GifReader } = omggif;
    const bytes = readFileSync(path.join(picturesDir(), file));
    const reader = new GifReader(bytes);
    const pixels = new Uint8Array(reader.width * reader.height * 4);
    reader.decodeAndBlitFrameRGBA(0, pixels);
    const info = reader.frameInfo(0);
    const t = info.transparent_index;
    const hidden = t === null ? null : [...bytes.subarray(info.palette_offset + 3 * t, info.palette_offset + 3 * t + 3)];
    return { width: reader.width, height: reader.height, data: pixels, hidden };
}

export function decodePng(buffer) {
    const png = PNG.sync.read(Buffer.from(buffer));
    return { width: png.width, height: png.height, data: png.data };
}

export const at = (img, x, y) => {
    const i = (y * img.width + x) * 4;
    return [img.data[i], img.data[i + 1], img.data[i + 2], img.data[i + 3]];
};
export const sameRgb = (a, b) => a[0] === b[0] && a[1] === b[1] && a[2] === b[2];
export const hex = (p) => p.slice(0, 3).map((v) => v.toString(16).padStart(2, '0')).join('');

// Where the shot differs from what is expected inside the rectangle, as
// text for a failure; empty when they agree pixel for pixel. expected(x, y)
// gives the RGB a pixel must have, or null where anything goes.
export function differences(shot, r, expected) {
    let count = 0;
    let first = null;
    for (let y = r.top; y < r.top + r.height; ++y)
        for (let x = r.left; x < r.left + r.width; ++x) {
            const want = expected(x, y);
            if (want && !sameRgb(at(shot, x, y), want) && count++ === 0) first = [x, y, at(shot, x, y), want];
        }
    if (!count) return '';
    return `${count} pixels differ, the first at (${first[0]}, ${first[1]}): ${hex(first[2])} on screen, ${hex(first[3])} expected`;
}

// Runs of rows inside the rectangle that hold anything besides the
// background: the lines of a text drawn there.
export function textRows(shot, r, background) {
    let runs = 0;
    let inRun = false;
    for (let y = r.top; y < r.top + r.height; ++y) {
        let drawn = false;
        for (let x = r.left; x < r.left + r.width && !drawn; ++x) drawn = !sameRgb(at(shot, x, y), background(x, y));
        if (drawn && !inRun) ++runs;
        inRun = drawn;
    }
    return runs;
}

export const contains = (r, x, y) => x >= r.left && x < r.left + r.width && y >= r.top && y < r.top + r.height;
