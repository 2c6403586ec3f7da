// How a scenario fails: a Failure carries what the player would have seen
// wrong, as opposed to a fault of the driver itself; and, when asked, where
// its time went.
import { AsyncLocalStorage } from 'node:async_hooks';

// ---------------------------------------------------------------- failures

export class Failure extends Error {}
export function check(condition, message) {
    if (!condition) throw new Failure(typeof message === 'function' ? message() : message);
}
export function equal(actual, expected, what) {
    const a = JSON.stringify(actual);
    const e = JSON.stringify(expected);
    check(a === e, () => `${what}: ${a}, expected ${e}`);
}

// ---------------------------------------------------------------- timing

// With SKEETRA_E2E_TIMES set, the run reports per scenario how long each
// kind of step took in all (launching, loading, input, polls, sleeps, ...),
// to show what makes a test slow. A step inside another counts as the outer
// one alone, so that the kinds add up.
const timing = process.env.SKEETRA_E2E_TIMES ? { kinds: new Map(), inside: new AsyncLocalStorage() } : null;
export async function timed(kind, step) {
    if (!timing || timing.inside.getStore()) return step();
    const t0 = performance.now();
    try {
        return await timing.inside.run(true, step);
    } finally {
        const k = timing.kinds.get(kind) ?? { ms: 0, calls: 0 };
        k.ms += performance.now() - t0;
        k.calls += 1;
        timing.kinds.set(kind, k);
    }
}
// Times the named methods of a class as the kinds given: { method: kind }.
export function timeMethods(cls, kinds) {
    if (!timing) return;
    for (const [method, kind] of Object.entries(kinds)) {
        const step = cls.prototype[method];
        cls.prototype[method] = function (...args) {
            return timed(kind, () => step.apply(this, args));
        };
    }
}
// The kinds since the last call, as one line, and the time they leave out.
export function timesSince(t0) {
    if (!timing) return null;
    const total = Date.now() - t0;
    let known = 0;
    const parts = [...timing.kinds].sort((a, b) => b[1].ms - a[1].ms).map(([kind, { ms, calls }]) => {
        known += ms;
        return `${kind} ${(ms / 1000).toFixed(2)} s/${calls}`;
    });
    timing.kinds.clear();
    return `${parts.join(', ')}, other ${((total - known) / 1000).toFixed(2)} s`;
}

export const sleep = (ms) => timed('sleep', () => new Promise((r) => setTimeout(r, ms)));
