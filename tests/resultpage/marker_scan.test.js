// The reader's scan for key markers against the plain regular expression it
// stands in for ("key=" at the start or "&key=" anywhere, matched left to
// right), over random and hostile queries.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const page = require('../../resultpage/result.js');

// The most markers the longest address the program writes can hold.
const LIMIT = Math.ceil(32767 / '&ram='.length);
const MARKER = new RegExp('(^|&)(' + page.KEYS.join('|') + ')=', 'g');

function byRegExp(query) {
  const markers = { start: [], value: [], order: [], key: [], amp: [], count: 0 };
  let found;
  MARKER.lastIndex = 0;
  while (markers.count < LIMIT && (found = MARKER.exec(query))) {
    markers.start.push(found.index);
    markers.value.push(MARKER.lastIndex);
    markers.key.push(found[2]);
    markers.order.push(page.KEYS.indexOf(found[2]));
    markers.amp.push(query.indexOf('&', MARKER.lastIndex));
    markers.count++;
  }
  return markers;
}

const PIECES = page.KEYS.concat(['&', '=', '&&', '==', '%26', 'x', ' ', '#', '?', 'Result', 'results', 'ram ',
  'constructor', '__proto__', 'toString', 'hasOwnProperty', 'alternatesx', 'vendorIDdeviceID', '\u00e9']);

let seed = 24;
const random = (n) => { seed = (seed * 1103515245 + 12345) & 0x7fffffff; return seed % n; };

test('the marker scan finds what the regular expression finds, over random queries', () => {
  for (let round = 0; round < 20000; round++) {
    let query = '';
    for (let n = random(14); n > 0; n--) query += PIECES[random(PIECES.length)];
    assert.deepEqual(page.findMarkers(query), byRegExp(query), JSON.stringify(query));
  }
});

test('the marker scan agrees on hostile queries and stops at the same limit', () => {
  const queries = ['', '=', '&', 'ram=', '&ram=', '&&ram==', 'ram=&ram=', '=ram=&', '&'.repeat(70000),
    '&ram='.repeat(LIMIT + 50), 'x=' + '&card='.repeat(LIMIT + 1), '&'.repeat(50000) + 'card=' + '='.repeat(50000),
    'result=0&mem=1 MB&card=a&b=&pslevel=2.0&&dxver=&alternates=&result=', page.KEYS.join('=&') + '='];
  for (const query of queries) assert.deepEqual(page.findMarkers(query), byRegExp(query), query.slice(0, 60));
  assert.equal(page.findMarkers('&ram='.repeat(LIMIT + 50)).count, LIMIT);
});
