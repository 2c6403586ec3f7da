// Reads the page's WebAssembly module and fails when a `try` block whose
// `catch` or `catch_all` must see an exception ends in `call_indirect`.
// WebKit's WebAssembly interpreter, which runs every function until it has
// been called a few hundred times, skips the handler of exactly that shape
// when the indirect callee throws: the game's end and its runtime errors,
// thrown through a handler called that way, would escape the one frame
// that catches them on a freshly loaded page. Any compiler or optimiser
// upgrade can bring the shape back anywhere, so the built module is read
// instruction by instruction rather than trusting the source.
//
//   node module-try-shape.mjs MODULE.wasm
//
// Exits 0 when no such block is found, 1 when one is (or the module cannot
// be read), and 77 (a skip for CTest) when the module has not been built,
// unless SKEETRA_WEB_REQUIRED is set.
import { existsSync, readFileSync } from 'node:fs';

const SKIP = 77;
const required = !!process.env.SKEETRA_WEB_REQUIRED && process.env.SKEETRA_WEB_REQUIRED !== '0';

const CALL_INDIRECT = 0x11;

class Reader {
    constructor(bytes, at = 0, end = bytes.length) {
        this.bytes = bytes;
        this.at = at;
        this.end = end;
    }

    byte() {
        if (this.at >= this.end) throw new Error(`the module ends early, at byte ${this.at}`);
        return this.bytes[this.at++];
    }

    u32() {
        let result = 0;
        for (let shift = 0; ; shift += 7) {
            const b = this.byte();
            result += (b & 0x7f) * 2 ** shift;
            if (!(b & 0x80)) return result;
        }
    }

    // A signed LEB128 of any width: its value is of no interest here.
    sleb() {
        while (this.byte() & 0x80);
    }

    skip(n) {
        this.at += n;
        if (this.at > this.end) throw new Error(`the module ends early, at byte ${this.end}`);
    }

    name() {
        const n = this.u32();
        const s = Buffer.from(this.bytes.subarray(this.at, this.at + n)).toString('utf8');
        this.skip(n);
        return s;
    }
}

// A block's type: empty (0x40), one value type, or a type index (a
// non-negative signed LEB128).
function blockType(r) {
    const b = r.bytes[r.at];
    if (b === 0x40 || (b >= 0x6f && b <= 0x7f)) r.byte();
    else r.sleb();
}

// Walks one function body and returns the offsets of the `catch` or
// `catch_all` whose try block ends in call_indirect. Every instruction is
// decoded with its immediates; one it does not know stops the walk with an
// error, so that nothing past it goes unread.
function triesEndingInIndirectCall(r) {
    const found = [];
    // Per open block: its opcode, whether a try is still in its body, and
    // the last instruction of the current sequence.
    const blocks = [{ op: null, inTryBody: false, last: null }];
    const top = () => blocks[blocks.length - 1];
    while (r.at < r.end) {
        const at = r.at;
        const op = r.byte();
        switch (op) {
        case 0x02: case 0x03: case 0x04: case 0x06: // block, loop, if, try
            blockType(r);
            blocks.push({ op, inTryBody: op === 0x06, last: null });
            continue;
        case 0x05: // else
            top().last = null;
            continue;
        case 0x07: case 0x19: // catch tag, catch_all
            if (op === 0x07) r.u32();
            if (top().op !== 0x06) throw new Error(`a catch outside a try at byte ${at}`);
            if (top().inTryBody && top().last === CALL_INDIRECT) found.push(at);
            top().inTryBody = false;
            top().last = null;
            continue;
        case 0x18: // delegate: ends the try; its body hands exceptions on, it catches nothing
            r.u32();
            blocks.pop();
            top().last = op;
            continue;
        case 0x0b: // end
            blocks.pop();
            if (!blocks.length) {
                if (r.at !== r.end) throw new Error(`a function ends at byte ${at}, before its body does`);
                return found;
            }
            top().last = op;
            continue;
        case 0x00: case 0x01: case 0x0f: case 0x1a: case 0x1b: case 0xd1: // unreachable nop return drop select ref.is_null
            break;
        case 0x08: case 0x09: case 0x0c: case 0x0d: case 0x10: case 0x12: case 0xd2: // throw rethrow br br_if call return_call ref.func
        case 0x20: case 0x21: case 0x22: case 0x23: case 0x24: case 0x25: case 0x26: // local.*, global.*, table.get/set
            r.u32();
            break;
        case 0x0e: { // br_table
            const n = r.u32();
            for (let i = 0; i <= n; ++i) r.u32();
            break;
        }
        case 0x11: case 0x13: // call_indirect, return_call_indirect: type, table
            r.u32();
            r.u32();
            break;
        case 0x1c: { // select with types
            const n = r.u32();
            r.skip(n);
            break;
        }
        case 0x3f: case 0x40: // memory.size, memory.grow
            r.byte();
            break;
        case 0x41: case 0x42: // i32.const, i64.const
            r.sleb();
            break;
        case 0x43: r.skip(4); break; // f32.const
        case 0x44: r.skip(8); break; // f64.const
        case 0xd0: r.byte(); break; // ref.null
        case 0xfc: { // saturating truncations, bulk memory and tables
            const sub = r.u32();
            if (sub <= 7) break;
            const immediates = { 8: 2, 9: 1, 10: 2, 11: 1, 12: 2, 13: 1, 14: 2, 15: 1, 16: 1, 17: 1 }[sub];
            if (immediates === undefined) throw new Error(`unknown instruction 0xfc ${sub} at byte ${at}`);
            for (let i = 0; i < immediates; ++i) r.u32();
            break;
        }
        default:
            if (op >= 0x28 && op <= 0x3e) { // loads and stores: alignment, offset
                r.u32();
                r.u32();
            } else if (!(op >= 0x45 && op <= 0xc4)) { // numeric instructions take no immediates
                throw new Error(`unknown instruction 0x${op.toString(16)} at byte ${at}`);
            }
        }
        top().last = op;
    }
    throw new Error(`a function body runs past its end, at byte ${r.at}`);
}

// The function names of a "name" section, if the module kept one.
function functionNames(bytes, sections) {
    const names = new Map();
    for (const s of sections) {
        if (s.id !== 0 || s.name !== 'name') continue;
        const r = new Reader(bytes, s.contentAt, s.end);
        while (r.at < r.end) {
            const kind = r.byte();
            const size = r.u32();
            const next = r.at + size;
            if (kind === 1) {
                const n = r.u32();
                for (let i = 0; i < n; ++i) names.set(r.u32(), r.name());
            }
            r.at = next;
        }
    }
    return names;
}

export function findTriesEndingInIndirectCall(bytes) {
    if (bytes.length < 8 || bytes.readUInt32LE(0) !== 0x6d736100) throw new Error('not a WebAssembly module');
    const r = new Reader(bytes, 8);
    const sections = [];
    let imported = 0;
    while (r.at < r.end) {
        const id = r.byte();
        const size = r.u32();
        const s = { id, at: r.at, end: r.at + size, contentAt: r.at };
        if (id === 0) {
            s.name = r.name();
            s.contentAt = r.at;
        }
        sections.push(s);
        r.at = s.end;
    }
    const imports = sections.find((s) => s.id === 2);
    if (imports) {
        const ir = new Reader(bytes, imports.at, imports.end);
        const n = ir.u32();
        for (let i = 0; i < n; ++i) {
            ir.name();
            ir.name();
            const kind = ir.byte();
            if (kind === 0) { ir.u32(); ++imported; }
            else if (kind === 1) { ir.byte(); limits(ir); }
            else if (kind === 2) limits(ir);
            else if (kind === 3) ir.skip(2);
            else if (kind === 4) { ir.byte(); ir.u32(); }
            else throw new Error(`unknown import kind ${kind}`);
        }
    }
    const code = sections.find((s) => s.id === 10);
    if (!code) throw new Error('the module has no code');
    const names = functionNames(bytes, sections);
    const faults = [];
    const cr = new Reader(bytes, code.at, code.end);
    const count = cr.u32();
    for (let i = 0; i < count; ++i) {
        const size = cr.u32();
        const body = new Reader(bytes, cr.at, cr.at + size);
        const groups = body.u32();
        for (let g = 0; g < groups; ++g) {
            body.u32();
            body.byte();
        }
        const index = imported + i;
        for (const at of triesEndingInIndirectCall(body))
            faults.push({ function: index, name: names.get(index) ?? null, at });
        cr.at += size;
    }
    return { functions: count, faults };
}

function limits(r) {
    const flags = r.byte();
    r.u32();
    if (flags & 1) r.u32();
}

async function main(file) {
    if (!file || !existsSync(file)) {
        console.error(`module-try-shape: no module at ${file} (cmake --preset web && cmake --build --preset web)` +
                      (required ? '' : ' (skipped)'));
        return required ? 1 : SKIP;
    }
    let result;
    try {
        result = findTriesEndingInIndirectCall(readFileSync(file));
    } catch (e) {
        console.error(`module-try-shape: ${file}: ${e.message}`);
        return 1;
    }
    for (const f of result.faults)
        console.error(`module-try-shape: function ${f.function}${f.name ? ` (${f.name})` : ''}: the try before ` +
                      `the catch at byte ${f.at} ends in call_indirect`);
    if (result.faults.length) {
        console.error(`module-try-shape: ${result.faults.length} try blocks end in call_indirect: WebKit's ` +
                      'interpreter would miss their catch');
        return 1;
    }
    console.log(`module-try-shape: ${result.functions} functions read, no try ends in call_indirect`);
    return 0;
}

process.exitCode = await main(process.argv[2]);
