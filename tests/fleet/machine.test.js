// The machine's keyed hash is HMAC-SHA256, whatever way it is computed.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('crypto');
const { hmacSha256Hex, machineHash } = require('../../fleet/ingest/machine_rule.js');

test('the keyed hash is HMAC-SHA256 for keys of any length and any text', () => {
  const texts = ['', 'a', '198.51.100.7\0Mozilla/4.0 (compatible; MSIE 6.0)\0x', '\u00c9\u20ac\ud83d\ude00 card', 'lone \ud800 half',
    'x'.repeat(63), 'y'.repeat(64), 'z'.repeat(5000), '\u00e9'.repeat(3000)];
  for (const length of [0, 1, 32, 63, 64, 65, 100]) {
    const key = crypto.randomBytes(length);
    // Short and long texts one after the other under the same key.
    for (const text of texts.concat(texts.slice().reverse())) {
      assert.equal(hmacSha256Hex(key, text), crypto.createHmac('sha256', key).update(text).digest('hex'), `key of ${length}, text of ${text.length}`);
    }
  }
});

test('a machine is the first 16 hex digits of the HMAC of its client, agent and identity', () => {
  const key = crypto.randomBytes(32);
  const expected = crypto.createHmac('sha256', key).update('203.0.113.9\0Agent/1\0id').digest('hex').slice(0, 16);
  assert.equal(machineHash(key, '203.0.113.9', 'Agent/1', 'id'), expected);
  assert.notEqual(machineHash(crypto.randomBytes(32), '203.0.113.9', 'Agent/1', 'id'), expected);
});
