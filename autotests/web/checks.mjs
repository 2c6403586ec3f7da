// How a scenario fails: a Failure carries what the player would have seen
// wrong, as opposed to a fault of the driver itself.

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
export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
