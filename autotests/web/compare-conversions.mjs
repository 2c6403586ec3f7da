// Compares the captions' number texts of the page's build (WebAssembly,
// run under node) with the native build's, line by line: both run
// conversions_twin with the same count and must print the same.
//
//   node compare-conversions.mjs NATIVE_TWIN WEB_TWIN_JS [COUNT [KINDS]]
//
// KINDS as conversions_twin takes them: d, f, t or any mix (all by default).
//
// Exits 77 (a skip for CTest) when the WebAssembly twin has not been built,
// unless SKEETRA_WEB_REQUIRED is set.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, openSync, closeSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

const [nativeTwin, webTwin, count = '100000', kinds = 'dft'] = process.argv.slice(2);
const required = !!process.env.SKEETRA_WEB_REQUIRED && process.env.SKEETRA_WEB_REQUIRED !== '0';

// Into a file, not a pipe: emscripten's glue writes its output with
// synchronous writes and ends the process, which loses what a pipe had not
// yet taken.
const scratch = mkdtempSync(path.join(tmpdir(), 'skeetra-conversions-'));
process.on('exit', () => rmSync(scratch, { recursive: true, force: true }));
function run(name, command, args) {
    const file = path.join(scratch, name);
    const fd = openSync(file, 'w');
    return new Promise((resolve, reject) => {
        const child = spawn(command, args, { stdio: ['ignore', fd, 'inherit'] });
        child.on('error', reject);
        child.on('close', (status) => {
            closeSync(fd);
            if (status !== 0) reject(new Error(`${command} ${args.join(' ')} exited with ${status}`));
            else resolve(readFileSync(file, 'utf8').split('\n').filter((l) => l));
        });
    });
}

if (!existsSync(webTwin)) {
    console.error(`no ${webTwin}: build the web preset (cmake --preset web && cmake --build --preset web)`);
    process.exit(required ? 1 : 77);
}
const [native, web] = await Promise.all([run('native', nativeTwin, [count, kinds]), run('web', process.execPath, [webTwin, count, kinds])]);
const names = { d: 'doubles written', f: 'floats written', t: 'texts read' };
const counts = { d: 0, f: 0, t: 0 };
const differ = [];
for (let i = 0; i < Math.max(native.length, web.length); ++i) {
    if (native[i] === web[i]) {
        counts[native[i][0]] = (counts[native[i][0]] ?? 0) + 1;
        continue;
    }
    differ.push(`  native: ${native[i] ?? '(nothing)'}\n  web:    ${web[i] ?? '(nothing)'}`);
}
console.log(Object.entries(counts).map(([k, n]) => `${n} ${names[k] ?? k}`).join(', ') + ' alike');
if (differ.length) {
    console.error(`${differ.length} lines differ; the first:\n${differ.slice(0, 10).join('\n')}`);
    process.exit(1);
}
const least = Number(count) * ((kinds.includes('d') ? 1 : 0) + (kinds.includes('f') ? 1 : 0));
if (native.length < least) {
    console.error(`only ${native.length} lines for ${count} values`);
    process.exit(1);
}
