// The machine rule: one UTC day's combination of client address, user
// agent, adapter, driver, RAM and Windows version, held only as a hash keyed
// with that day's random key. Keys are deleted once their day is more than
// 48 hours older than the newest line ingested, so that the same machine on
// two days cannot be linked.
'use strict';
const crypto = require('crypto');

const DAY_MS = 86400000;
const KEEP_MS = 48 * 3600000;

// "YYYY-MM-DD" of a time in milliseconds, UTC.
function utcDay(ms) {
  return new Date(ms).toISOString().slice(0, 10);
}

function newDayKey() {
  return crypto.randomBytes(32);
}

// What identifies a machine in its address (adapter, driver, RAM, Windows:
// items, null when absent) as one text, made once per distinct address.
function identityText(items) {
  return items.map((v) => (v === null ? '\x01' : v)).join('\0');
}

// The machine of a result: 16 hex digits of HMAC-SHA256 under the day's key.
function machineHash(key, client, agent, identity) {
  return crypto.createHmac('sha256', key).update(client + '\0' + agent + '\0' + identity).digest('hex').slice(0, 16);
}

// Whether a day's key must be gone, given the newest line's time: its day
// ended more than 48 hours before that line.
function keyExpired(day, newestMs) {
  return Date.parse(day + 'T00:00:00Z') + DAY_MS + KEEP_MS < newestMs;
}

module.exports = { utcDay, newDayKey, identityText, machineHash, keyExpired };
