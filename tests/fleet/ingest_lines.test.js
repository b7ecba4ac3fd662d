// Log lines of each format and escape style, and the rows they give; the
// result page's awkward addresses arriving through each of them.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const page = require('../../resultpage/result.js');
const { lineParser, detectFormat, parseClfTime } = require('../../fleet/ingest/log_formats.js');
const { resultQuery, judgeQuery, REASONS, JUDGED_COLUMNS } = require('../../fleet/ingest/classify.js');
const { createLineReader } = require('../../fleet/ingest/line_reader.js');
const { machineHash, identityText } = require('../../fleet/ingest/machine_rule.js');
const { bytesToText, recodePercentEscapes } = require('../../fleet/ingest/server_escaping.js');
const { address } = require('../resultpage/address.js');
const L = require('./log_lines.js');

// The row a log line gives: its request and judged columns, or a rejection.
function rowOf(format, line, header) {
  const parse = lineParser(format);
  if (header) for (const h of header.split('\n')) parse(h);
  const request = parse(line);
  if (!request) return { rejected: REASONS.notALogLine };
  const query = resultQuery(request.method, request.target);
  if (query === null) return { other: true, request };
  const judged = judgeQuery(query);
  return judged.rejected ? judged : Object.assign({ request, query, identity: judged.identity }, judged.columns);
}

const ORDINARY = 'result=0&mem=256 MB&card=NVIDIA GeForce GTX 470&pslevel=3.0&dxver=DirectX 9.0c installed&hdspace=51234 MB' +
  '&ram=2047 MB&osver=5.1 SP 3.0&driver=6.14.0010.7164&vendorID=4318&deviceID=1741';

test('golden lines: each format and escape style gives the row of the program\'s text', () => {
  const browser = '/quillet-systemtest?' + ORDINARY.replace(/ /g, '%20');
  const cases = [
    // [what, format, line, CloudFront header, what the row must hold]
    ['nginx combined, percent-encoded', 'combined',
      '203.0.113.9 - - [09/Dec/2026:23:59:59 -0130] "GET ' + browser + ' HTTP/1.1" 200 5120 "-" "Mozilla/5.0 (Windows NT 5.1)"', null,
      { card: 'NVIDIA GeForce GTX 470', seen: Date.UTC(2026, 11, 10, 1, 29, 59), client: '203.0.113.9', agent: 'Mozilla/5.0 (Windows NT 5.1)' }],
    ['nginx \\xHH of a Windows-1252 byte', 'combined',
      '192.0.2.7 - - [09/Dec/2026:07:52:46 +0000] "GET /quillet-systemtest?result=16&mem=32%20MB&card=Carte \\xC9clair \\x22X\\x22 \\x5C HTTP/1.1" 200 5 "-" "-"', null,
      { card: 'Carte \u00c9clair "X" \\', mask: 16, verdict: 'below', cut: true }],
    ['nginx \\xHH of UTF-8 bytes', 'combined',
      '192.0.2.7 - - [09/Dec/2026:07:52:46 +0000] "GET /quillet-systemtest/?result=0&mem=64%20MB&card=Caf\\xC3\\xA9\\xE2\\x84\\xA2 HTTP/1.0" 200 5 "-" "-"', null,
      { card: 'Caf\u00e9\u2122', mem_mb: 64 }],
    ['Apache \\" and \\\\ and \\x escapes', 'combined',
      '192.0.2.7 - - [09/Dec/2026:07:52:46 +0000] "GET /quillet-systemtest?result=0&card=Say \\"hi\\" \\\\ \\xe9t\\xe9 HTTP/1.1" 200 5 "-" "Agent \\"q\\""', null,
      { card: 'Say "hi" \\ \u00e9t\u00e9', agent: 'Agent \\"q\\"' }],
    ['a percent escape of a Windows-1252 byte', 'common',
      '192.0.2.7 - - [09/Dec/2026:07:52:46 +0000] "GET /quillet-systemtest?result=0&card=Radeon%AE%209600%20%26%20more%25 HTTP/1.1" 200 5', null,
      { card: 'Radeon\u00ae 9600 & more%', agent: '' }],
    ['an absolute-form target', 'common',
      '192.0.2.7 - - [09/Dec/2026:07:52:46 +0000] "GET http://systemtest.quillet.example/quillet-systemtest?result=512&mem=64%20MB HTTP/1.1" 200 5', null,
      { mask: 512, mem: '64 MB' }],
    ['CloudFront, its %25 of the client\'s escapes', 'cloudfront',
      L.cloudFrontLine('/quillet-systemtest?x').replace(/\tx\t/, '\t' + ORDINARY.replace(/ /g, '%2520') + '\t'), L.CLOUDFRONT_HEADER,
      { card: 'NVIDIA GeForce GTX 470', seen: Date.UTC(2026, 11, 9, 7, 52, 46), client: '192.0.2.7', agent: 'Mozilla/5.0%20(Windows%20NT%2010.0)' }],
    ['CloudFront, raw bytes of an old browser', 'cloudfront',
      L.cloudFrontLine('/quillet-systemtest?result=0&card=Carte \xC9clair&mem=8 MB'), L.CLOUDFRONT_HEADER,
      { card: 'Carte \u00c9clair', mem_mb: 8 }]
  ];
  for (const [what, format, line, header, expect] of cases) {
    const row = rowOf(format, line, header);
    assert.equal(row.rejected, undefined, what);
    assert.ok(!row.other, what + ': a result');
    for (const [key, value] of Object.entries(expect)) {
      const actual = key === 'seen' ? row.request.time : key === 'client' || key === 'agent' ? row.request[key] : row[key];
      assert.deepEqual(actual, value, `${what}: ${key}`);
    }
  }
});

test('other requests and rejected lines', () => {
  const line = (request) => `192.0.2.7 - - [09/Dec/2026:07:52:46 +0000] "${request}" 200 5 "-" "-"`;
  const other = [
    'GET /quillet-systemtest HTTP/1.1', 'GET /quillet-systemtest/ HTTP/1.1', 'GET /quillet-systemtest/result.js HTTP/1.1',
    'POST /quillet-systemtest?result=0 HTTP/1.1', 'HEAD /quillet-systemtest?result=0 HTTP/1.1', 'GET /quillet-systemtestx?result=0 HTTP/1.1',
    'GET /other/quillet-systemtest?result=0 HTTP/1.1', '\\x16\\x03\\x01\\x00', '-'
  ];
  for (const request of other) assert.equal(rowOf('combined', line(request)).other, true, request);
  const rejected = [
    ['GET /quillet-systemtest?hello HTTP/1.1', REASONS.unplacedAddress],
    ['GET /quillet-systemtest? HTTP/1.1', REASONS.unplacedAddress],
    ['GET /quillet-systemtest?result=abc&mem=1%20MB HTTP/1.1', REASONS.invalidMask],
    ['GET /quillet-systemtest?result=4294967296 HTTP/1.1', REASONS.invalidMask],
    ['GET /quillet-systemtest?mem=64%20MB&card=X HTTP/1.1', REASONS.invalidMask]
  ];
  for (const [request, reason] of rejected) assert.equal(rowOf('combined', line(request)).rejected, reason, request);
  for (const junk of ['', 'hello', '192.0.2.7 - - [09/Dec/2026:07:52:46 +0000] "GET / HTTP/1.1" 200', '192.0.2.7 - - [99/Foo/2026:07:52:46 +0000] "GET / HTTP/1.1" 200 5 "-" "-"']) {
    assert.equal(rowOf('combined', junk).rejected, REASONS.notALogLine, JSON.stringify(junk));
  }
  // A common line is not a combined one, and the other way round.
  assert.equal(rowOf('combined', L.commonLine('/')).rejected, REASONS.notALogLine);
  assert.equal(rowOf('common', L.combinedLine('/')).rejected, REASONS.notALogLine);
});

test('the format is detected from the first lines', () => {
  assert.equal(detectFormat([L.combinedLine('/a'), L.combinedLine('/b')]), 'combined');
  assert.equal(detectFormat([L.commonLine('/a'), 'junk', L.commonLine('/b')]), 'common');
  assert.equal(detectFormat(L.CLOUDFRONT_HEADER.split('\n').concat([L.cloudFrontLine('/a')])), 'cloudfront');
  assert.equal(detectFormat([L.cloudFrontLine('/a')]), 'cloudfront');
  assert.equal(detectFormat(['hello', 'world']), null);
});

test('bytes that are not UTF-8 fall back to Windows-1252, raw or percent-escaped', () => {
  assert.equal(bytesToText('\xC3\xA9 \xE9 \x80 \x81 \xF0\x9F\x98\x80 \xED\xA0\x80'), '\u00e9 \u00e9 \u20ac \u0081 \ud83d\ude00 \u00ed\u00a0\u20ac');
  assert.equal(recodePercentEscapes('%E9t%E9 %C3%A9 %26%3D %80 %zz'), '%C3%A9t%C3%A9 %C3%A9 %26%3D %E2%82%AC %zz');
  assert.equal(page.percentDecode(recodePercentEscapes('%C3%28')), '\u00c3(');
});

// The awkward values of the result page's tests (tests/resultpage/).
const AWKWARD = [
  {}, { card: 'ATI Radeon 9600 Series  (two spaces)' }, { card: 'Tom & Jerry Graphics' },
  { card: 'Odd&pslevel=9.9&dxver=DirectX 1.0 installed' },
  { card: '&result=7&mem=1 MB&card=x&pslevel=0&dxver=y&hdspace=1 MB&ram=1 MB&osver=4.0 SP 0.0&driver=1&vendorID=1&deviceID=2' },
  { card: 'A=B==C' }, { card: 'Radeon #1 Edition' }, { card: '#A#B##C#' }, { deviceID: '17#41' },
  { card: 'GeForce4 MX 440 with AGP8X+ C++' }, { card: '100% Speed' }, { card: '50%' }, { card: '%zz%g1%' }, { card: '%4' },
  { card: 'What? Why?' }, { card: 'Say "hi" \\ \'there\'' }, { card: 'Carte graphique \u00c9clair \u2122 \u65e5\u672c' },
  { card: 'Carte graphique \u00c9clair \u2122 \u00ae' }, { card: '<img src=x onerror=alert(1)>' }, { card: '`<b>`' },
  { result: '-1', mem: '', card: '', pslevel: '', driver: '', alternates: '' }, { card: 'X'.repeat(7000) },
  { result: '1024', alternates: '6.14.0010.7164, 6.14.0010.8185' }, { result: '1024', alternates: '<i>1</i> & 2, &card=3' },
  { vendorID: '-1', deviceID: '-2147483648' }
];

// Each awkward address as a current browser and an old one send it, through
// each format's escaping; the row holds what the page reads from the part
// before any "#" (the rest never reaches the server).
test('the result page\'s awkward addresses through each format', () => {
  const formats = [
    ['nginx combined', 'combined', null, (t) => L.combinedLine(t, {}, L.nginxEscape)],
    ['Apache combined', 'combined', null, (t) => L.combinedLine(t, {}, L.apacheEscape)],
    ['Apache common', 'common', null, (t) => L.commonLine(t, {}, L.apacheEscape)],
    ['CloudFront', 'cloudfront', L.CLOUDFRONT_HEADER, (t) => L.cloudFrontLine(t)]
  ];
  let checked = 0;
  for (const values of AWKWARD) {
    const text = address(values);
    const sentByBrowser = L.asBrowserSends(text);
    const beforeHash = text.split('#')[0];
    const sentByOld = L.asOldBrowserSends(beforeHash.slice(beforeHash.indexOf('/quillet-systemtest')));
    const expected = page.readAddress(text.split('#')[0]);
    for (const [sender, target] of [['browser', sentByBrowser], ['old browser', sentByOld]]) {
      if (target === null) continue;
      for (const [name, format, header, write] of formats) {
        const what = `${JSON.stringify(values).slice(0, 60)} from a ${sender} via ${name}`;
        const row = rowOf(format, write(target), header);
        assert.equal(row.rejected, undefined, what);
        for (const key of page.KEYS) {
          const value = Object.prototype.hasOwnProperty.call(expected.items, key) ? expected.items[key] : null;
          if (key === 'result') assert.equal(row.mask, Number(value), what + ': mask');
          else if (key === 'vendorID' || key === 'deviceID') assert.equal(row.identity[key === 'vendorID' ? 0 : 1], value, what + ': ' + key);
          else assert.equal(row[key], value, `${what}: ${key}`);
        }
        // A "#" shows only where it cost the address items.
        assert.equal(row.cut, page.readAddress(text).found.length > expected.found.length, what + ': cut');
        checked++;
      }
    }
  }
  assert.ok(checked > AWKWARD.length * 4, `checked ${checked}`);
});

test('a run of lines: every line counted once, repeated addresses judged once', () => {
  const reader = createLineReader(0, 1);
  const result = L.asBrowserSends(address({}));
  const lines = [L.combinedLine(result), L.combinedLine(result, { client: '198.51.100.1' }), 'junk', L.combinedLine('/favicon.ico'),
    L.combinedLine('/quillet-systemtest?result=x'), L.combinedLine(L.asBrowserSends(address({ card: 'A#B' })))];
  const key = 'ab'.repeat(32);
  const reply = reader.read({ format: 'combined', fieldsLine: null, firstLine: 7, text: lines.join('\r\n') + '\r\n', keys: { '2026-12-09': key } });
  assert.deepEqual(reply.counts, { lines: 6, results: 3, other: 1, rejected: 2, cut: 1,
    reasons: { [REASONS.notALogLine]: 1, [REASONS.invalidMask]: 1 } });
  assert.deepEqual(Array.from(reply.lines.lineNo.subarray(0, reply.lines.count)), [7, 8, 12]);
  assert.equal(reply.addresses.qid.length, 2, 'one judged address per distinct query');
  const card = reply.addresses.values[JUDGED_COLUMNS.indexOf('card')];
  assert.equal(card[1], 'A', 'the values of each column, in the order of the ids');
  assert.equal(reply.addresses.values[JUDGED_COLUMNS.indexOf('cut')][1], true);
  assert.equal(reply.lines.qid[0], reply.lines.qid[1]);
  assert.ok(reply.lines.machineHi[0] !== reply.lines.machineHi[1] || reply.lines.machineLo[0] !== reply.lines.machineLo[1],
    'another client is another machine');
  assert.equal(reply.pending.length, 0);
  // A day without a key waits for the main thread.
  const later = reader.read({ format: 'combined', fieldsLine: null, firstLine: 1, text: L.combinedLine(result, { time: '10/Dec/2026:00:00:00 +0000' }) + '\n' });
  assert.equal(later.pending.length, 1);
  assert.equal(later.pending[0].day, '2026-12-10');
  assert.equal(later.addresses.qid.length, 0, 'the address was judged before');
});

test('times read within a minute of the one before agree with a time read afresh', () => {
  const MONTH_NAMES = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];
  const two = (n) => String(n).padStart(2, '0');
  // The log's form of a time, at an offset of minutes east of UTC.
  const clf = (ms, offset) => {
    const local = new Date(ms + offset * 60000);
    const zone = (offset < 0 ? '-' : '+') + two(Math.floor(Math.abs(offset) / 60)) + two(Math.abs(offset) % 60);
    return `${two(local.getUTCDate())}/${MONTH_NAMES[local.getUTCMonth()]}/${local.getUTCFullYear()}:` +
      `${two(local.getUTCHours())}:${two(local.getUTCMinutes())}:${two(local.getUTCSeconds())} ${zone}`;
  };
  let seed = 7;
  const random = (n) => { seed = (seed * 1103515245 + 12345) % 2147483648; return seed % n; };
  let ms = Date.UTC(2026, 11, 31, 23, 58, 0);
  for (let i = 0; i < 3000; i++) {
    // Mostly a few seconds on, sometimes across a minute, a day or a year,
    // in another zone, or not a time at all.
    ms += [1000, 3000, 59000, 86400000, 0][random(5)];
    const offset = random(4) ? 0 : [-420, 330, 60][random(3)];
    const text = clf(ms, offset);
    assert.equal(parseClfTime(text), ms, text);
    if (!random(20)) assert.ok(Number.isNaN(parseClfTime(text.replace(/:\d\d /, ':x9 '))), 'seconds that are no number');
    if (!random(20)) assert.ok(Number.isNaN(parseClfTime(text.replace(/ [+-]\d{4}$/, ''))), 'without its zone');
  }
  // Seconds past 59 count on, as a time read afresh does.
  parseClfTime('31/Dec/2026:23:59:00 +0000');
  assert.equal(parseClfTime('31/Dec/2026:23:59:75 +0000'), Date.UTC(2027, 0, 1, 0, 0, 15));
  assert.equal(parseClfTime('31/Dec/2026:23:59:05 +0100'), Date.UTC(2026, 11, 31, 22, 59, 5), 'same minute, another zone');
});

test('an address sent again is the same machine only from the same client and agent on the same day', () => {
  const reader = createLineReader(0, 1);
  const result = L.asBrowserSends(address({}));
  const sends = [{}, {}, { agent: 'Opera/9.80' }, { client: '198.51.100.1' }, {}, { time: '10/Dec/2026:00:00:01 +0000' }, {}];
  const reply = reader.read({ format: 'combined', fieldsLine: null, firstLine: 1, text: sends.map((o) => L.combinedLine(result, o) + '\n').join(''),
    keys: { '2026-12-09': 'ab'.repeat(32), '2026-12-10': 'cd'.repeat(32) } });
  const l = reply.lines;
  assert.equal(l.count, sends.length);
  const machines = Array.from({ length: l.count }, (_, i) => l.machineHi[i].toString(16).padStart(8, '0') + l.machineLo[i].toString(16).padStart(8, '0'));
  const identity = identityText(judgeQuery(resultQuery('GET', result)).identity);
  const expected = sends.map((o) => machineHash(Buffer.from((o.time ? 'cd' : 'ab').repeat(32), 'hex'), o.client || '192.0.2.7',
    o.agent || 'Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)', identity));
  assert.deepEqual(machines, expected);
  assert.equal(new Set(machines).size, 4, 'the same machine, another agent, another client, another day');
});
