// The address reader of the result page: every awkward value, read from the
// address as the program wrote it and as a browser reports it.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const page = require('../../resultpage/result.js');
const { ORDER, items, address, asBrowserReports } = require('./address.js');

const LONG = 'X'.repeat(10000);

// name, item values over the defaults, what the reader must find for them.
const VALUES = [
  ['an ordinary address', {}],
  ['spaces', { card: 'ATI Radeon 9600 Series  (two spaces)' }],
  ['an ampersand in the card name', { card: 'Tom & Jerry Graphics' }],
  ['an ampersand right before a key name', { card: 'Odd&pslevel=9.9&dxver=DirectX 1.0 installed' }],
  ['every key inside the card name', { card: '&result=7&mem=1 MB&card=x&pslevel=0&dxver=y&hdspace=1 MB&ram=1 MB&osver=4.0 SP 0.0&driver=1&vendorID=1&deviceID=2' }],
  ['equals signs', { card: 'A=B==C' }],
  ['a hash', { card: 'Radeon #1 Edition' }],
  ['several hashes', { card: '#A#B##C#' }],
  ['a hash in the last item', { deviceID: '17#41' }],
  ['plus signs', { card: 'GeForce4 MX 440 with AGP8X+ C++' }],
  ['a bare percent', { card: '100% Speed' }],
  ['a percent at the end', { card: '50%' }],
  ['a percent before non-hex', { card: '%zz%g1%' }],
  ['a percent before one hex digit', { card: '%4' }],
  ['a question mark', { card: 'What? Why?' }],
  ['quotes and backslashes', { card: 'Say "hi" \\ \'there\'' }],
  ['non-ASCII letters', { card: 'Carte graphique \u00c9clair \u2122 \u65e5\u672c' }],
  ['markup', { card: '<img src=x onerror=alert(1)>' }],
  ['a script element', { card: '<script>alert(1)</script>' }],
  ['angle brackets and backticks', { card: '`<b>`' }],
  ['empty values (no graphics check)', { result: '-1', mem: '', card: '', pslevel: '', driver: '', alternates: '' }],
  ['a 10,000-character card name', { card: LONG }],
  ['10,000-character values everywhere', { result: '1024', mem: LONG, card: LONG, pslevel: LONG, driver: LONG, alternates: LONG }],
  ['alternates with bit 0x400', { result: '1024', alternates: '6.14.0010.7164, 6.14.0010.8185' }],
  ['empty alternates with bit 0x400', { result: '1024', alternates: '' }],
  ['alternates with markup and ampersands', { result: '1024', alternates: '<i>1</i> & 2, &card=3' }],
  ['a negative id', { vendorID: '-1', deviceID: '-2147483648' }]
];

for (const [name, values] of VALUES) {
  const expected = items(values);
  const text = address(values);
  for (const [form, href] of [['as written', text], ['as the browser reports it', asBrowserReports(text)]]) {
    test(`reads ${name}, ${form}`, () => {
      const reading = page.readAddress(href);
      assert.equal(reading.present, true);
      for (const key of ORDER) {
        if (key === 'alternates' && !(Number(expected.result) & 0x400)) {
          assert.equal(key in reading.items, false, 'no alternates without bit 0x400');
          continue;
        }
        assert.equal(reading.items[key], expected[key], key);
      }
      assert.deepEqual(reading.unread, []);
      assert.deepEqual(reading.outOfOrder, []);
    });
  }
}

// Addresses that are not what the program writes: what the reader reads,
// what it notes as out of order, and what it could not read.
const DAMAGED = [
  ['a key missing', address({}).replace('&mem=256 MB', ''),
    { result: '0', card: 'NVIDIA GeForce GTX 470', pslevel: '3.0', deviceID: '1741' }, { absent: ['mem'] }],
  ['several keys missing', 'http://h/quillet-systemtest?result=16&card=Card&deviceID=5',
    { result: '16', card: 'Card', deviceID: '5' }, { absent: ['mem', 'pslevel', 'driver'] }],
  ['items out of order', 'http://h/quillet-systemtest?result=0&card=Card&mem=128 MB&pslevel=2.0',
    { result: '0', card: 'Card', mem: '128 MB', pslevel: '2.0' }, { outOfOrder: ['mem'] }],
  ['the result last', 'http://h/quillet-systemtest?mem=64 MB&card=C&result=16',
    { result: '16', mem: '64 MB', card: 'C' }, { outOfOrder: ['result'] }],
  ['cut inside a key', address({}).slice(0, address({}).indexOf('&dxver=') + 4),
    { pslevel: '3.0' }, { absent: ['dxver', 'hdspace'], unread: ['&dxv'] }],
  ['cut inside a value', address({}).slice(0, address({}).indexOf('GTX')),
    { card: 'NVIDIA GeForce ' }, { absent: ['pslevel'] }],
  ['cut right after "?"', 'http://h/quillet-systemtest?', {}, { present: false }],
  ['a key twice', 'http://h/quillet-systemtest?result=0&result=16&mem=8 MB',
    { result: '0', mem: '8 MB' }, { unread: ['&result=16'] }],
  ['text before the first key', 'http://h/quillet-systemtest?utm=mail&result=0&mem=64 MB',
    { result: '0', mem: '64 MB' }, { unread: ['utm=mail'] }],
  ['an unknown key', 'http://h/quillet-systemtest?result=0&mem=64 MB&extra=1&card=C',
    { result: '0', mem: '64 MB', card: 'C' }, { unread: ['&extra=1'] }],
  ['no query', 'http://h/quillet-systemtest', {}, { present: false }],
  ['a query without keys', 'http://h/quillet-systemtest?hello', {}, { present: false, unread: ['hello'] }],
  ['a fragment before the query', 'http://h/quillet-systemtest#x?result=0', {}, { present: false }],
  ['keys in another case', 'http://h/quillet-systemtest?Result=0&MEM=1', {}, { present: false, unread: ['Result=0&MEM=1'] }],
  ['a broken escape sequence', 'http://h/quillet-systemtest?result=0&card=%E2%82%zz%C3%A9%FF',
    { result: '0', card: '\ufffd\ufffd%zz\u00e9\ufffd' }, {}],
  ['an escaped key separator in a value', 'http://h/quillet-systemtest?result=0&mem=64 MB&card=A%26mem%3D1',
    { result: '0', card: 'A&mem=1', mem: '64 MB' }, {}]
];

for (const [name, href, values, expect] of DAMAGED) {
  test(`reads ${name}`, () => {
    const reading = page.readAddress(href);
    assert.equal(reading.present, expect.present === undefined ? true : expect.present);
    for (const key of Object.keys(values)) assert.equal(reading.items[key], values[key], key);
    for (const key of expect.absent || []) assert.equal(key in reading.items, false, key + ' absent');
    assert.deepEqual(reading.outOfOrder, expect.outOfOrder || []);
    assert.deepEqual(reading.unread, expect.unread || []);
  });
}

test('percent decoding keeps "+" and bare "%" and decodes UTF-8', () => {
  const table = [
    ['a+b', 'a+b'], ['%20', ' '], ['100%', '100%'], ['%%41', '%A'], ['%4', '%4'], ['%G0', '%G0'],
    ['%C3%A9', '\u00e9'], ['%E2%84%A2', '\u2122'], ['%FF', '\ufffd'], ['%C3', '\ufffd'], ['%3Cb%3E', '<b>'],
    ['', '']
  ];
  for (const [raw, decoded] of table) assert.equal(page.percentDecode(raw), decoded, raw);
});

test('reading a huge address stays fast', () => {
  const values = { result: '1024', card: '&card='.repeat(1700), alternates: '&alternates=,'.repeat(800) };
  const href = asBrowserReports(address(values));
  const began = process.hrtime.bigint();
  const reading = page.readAddress(href);
  const ms = Number(process.hrtime.bigint() - began) / 1e6;
  assert.equal(reading.items.result, '1024');
  assert.equal(reading.items.deviceID, '1741');
  assert.ok(ms < 2000, `took ${ms} ms`);
});

// Cut short: a key lost with the end of the address is never taken out of
// the card name or the alternates, which may hold any text.
const cutBefore = (text, marker) => text.slice(0, text.lastIndexOf(marker));
const CUT = [
  ['a card holding "&deviceID=", cut before the real one',
    cutBefore(address({ card: 'Foo&deviceID=99' }), '&deviceID='), { card: 'Foo&deviceID=99', vendorID: '4318' }, ['deviceID']],
  ['a card holding "&alternates=", cut before the real one',
    cutBefore(address({ result: '1024', card: 'X&alternates=9.9.9999.9', alternates: '6.14.0010.7164' }), '&alternates='),
    { card: 'X&alternates=9.9.9999.9', deviceID: '1741' }, ['alternates']],
  ['cut inside a card that seems to hold a later key',
    cutBefore(address({ card: 'Foo&deviceID=99' }), '&pslevel='), { card: 'Foo&deviceID=99' }, ['pslevel', 'deviceID']]
];
for (const [name, href, values, absent] of CUT) {
  test(`reads ${name}`, () => {
    for (const form of [href, asBrowserReports(href)]) {
      const reading = page.readAddress(form);
      for (const key of Object.keys(values)) assert.equal(reading.items[key], values[key], key);
      for (const key of absent) assert.equal(key in reading.items, false, key + ' absent');
      assert.deepEqual(reading.outOfOrder, []);
      const result = page.judge(reading);
      assert.match(result.notes.join('\n'), new RegExp('Not in the address: [^.]*' + absent[absent.length - 1]));
      if (absent.includes('deviceID')) assert.equal(result.adapter.device.text, 'not in the address');
      assert.equal(result.rows.find((r) => r.requirement === 'driver').advice?.list ?? null, null, 'no driver offered');
    }
  });
}

// Reading takes time in proportion to the address, however many "key="
// markers a link holds (docs/benchmarks.md has what a quadratic one took).
const MEGABYTES_2 = 2 * 1024 * 1024;
const filled = (head, unit) => head + unit.repeat(Math.ceil((MEGABYTES_2 - head.length) / unit.length));
const LONG_LINKS = [
  ['every key over and over after "#"', filled('http://h/quillet-systemtest?result=0#', '&mem=1 MB&card=x&pslevel=1.1&deviceID=7&alternates=1')],
  ['card markers in a card of 2 MB', address({ result: '1024', card: filled('', '&card='), alternates: '1.0' })],
  ['one value of 2 MB without markers', address({ card: filled('', '%C3%A9 ') })]
];
for (const [name, href] of LONG_LINKS) {
  test(`a 2 MB address, ${name}, reads and judges at once`, () => {
    const began = process.hrtime.bigint();
    const result = page.judge(page.readAddress(href));
    const ms = Number(process.hrtime.bigint() - began) / 1e6;
    assert.ok(ms < 1500, `took ${ms} ms`);
    assert.equal(result.view, 'result');
    assert.match(result.notes.join('\n'), /longer than the test can ever write/);
  });
}

test('the program\'s longest address is not called too long', () => {
  const longest = address({ card: 'C'.repeat(32767 - address({ card: '' }).length) });
  assert.equal(longest.length, 32767);
  assert.equal(page.readAddress(longest).tooLong, false);
  // Escapes count as the characters they stand for.
  assert.equal(page.readAddress(asBrowserReports(longest.replace(/C{100}$/, ' '.repeat(100)))).tooLong, false);
  assert.equal(page.readAddress(longest + 'C').tooLong, true);
});
