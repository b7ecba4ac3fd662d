// The machine rule: one UTC day's combination of client address, user
// agent, adapter, driver, RAM and Windows version, held only as a hash keyed
// with that day's random key (kept in the store's key file, key_file.js).
// Keys are deleted once their day is more than 48 hours older than the
// newest line ingested, so that the same machine on two days cannot be
// linked.
'use strict';
const crypto = require('crypto');

const DAY_MS = 86400000;
const KEEP_MS = 48 * 3600000;

// "YYYY-MM-DD" of a time in milliseconds, UTC.
function utcDay(ms) {
  return new Date(ms).toISOString().slice(0, 10);
}

// The items of the address that identify a machine beside its client and
// user agent: its adapter, driver, RAM and Windows.
const IDENTITY_KEYS = ['vendorID', 'deviceID', 'card', 'driver', 'ram', 'osver'];

// Those items of an address, by item(key): its text, or null when absent.
function identityItems(item) {
  return IDENTITY_KEYS.map((key) => item(key));
}

// What identifies a machine in its address (identityItems) as one text,
// made once per distinct address.
function identityText(items) {
  return items.map((v) => (v === null ? '\x01' : v)).join('\0');
}

// HMAC-SHA256 as its definition (RFC 2104) has it, for a key of at most one
// block: SHA-256 of the key padded with 0x5c, then of the hash of the key
// padded with 0x36 and the message. Node's createHmac makes an object of
// stream machinery per call, which cost more than the hashing itself; the
// padded keys are made once per key, in buffers the message is written into.
const BLOCK = 64;
const pads = new WeakMap();

function padsOf(key) {
  let p = pads.get(key);
  if (!p) {
    p = { inner: Buffer.alloc(4 * BLOCK), outer: Buffer.alloc(BLOCK + 32) };
    for (let i = 0; i < BLOCK; i++) {
      p.inner[i] = (key[i] || 0) ^ 0x36;
      p.outer[i] = (key[i] || 0) ^ 0x5c;
    }
    pads.set(key, p);
  }
  return p;
}

// HMAC-SHA256 of a text under a key, as a buffer of 32 bytes.
function hmacSha256(key, text) {
  if (key.length > BLOCK) return crypto.createHmac('sha256', key).update(text).digest();
  const p = padsOf(key);
  if (BLOCK + 3 * text.length > p.inner.length) { // UTF-8 takes at most 3 bytes a UTF-16 unit
    const inner = Buffer.alloc(BLOCK + 3 * text.length);
    p.inner.copy(inner, 0, 0, BLOCK);
    p.inner = inner;
  }
  const length = BLOCK + p.inner.write(text, BLOCK, 'utf8');
  crypto.hash('sha256', p.inner.subarray(0, length), 'buffer').copy(p.outer, BLOCK);
  return crypto.hash('sha256', p.outer, 'buffer');
}

function hmacSha256Hex(key, text) {
  return hmacSha256(key, text).toString('hex');
}

// The machine of a result: the first 8 bytes of HMAC-SHA256 under the day's
// key, which the store keeps as 16 hex digits. Ingest's workers pass the
// bytes on as numbers (result_columns.js), never as text.
function machineDigest(key, client, agent, identity) {
  return hmacSha256(key, client + '\0' + agent + '\0' + identity);
}

function machineHash(key, client, agent, identity) {
  return machineDigest(key, client, agent, identity).toString('hex', 0, 8);
}

// Whether a day's key must be gone, given the newest line's time: its day
// ended more than 48 hours before that line.
function keyExpired(day, newestMs) {
  return Date.parse(day + 'T00:00:00Z') + DAY_MS + KEEP_MS < newestMs;
}

module.exports = { DAY_MS, identityItems, utcDay, identityText, machineDigest, machineHash, hmacSha256Hex, keyExpired };
