// Hostile logs: each case a small log as anyone who can send a request could
// make it, ingested, and the outcome the report or impact must give. Cases
// with the database tool need it (scripts/vidrake-db or VIDRAKE_DB_COMMAND).
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { address } = require('../resultpage/address.js');
const L = require('./log_lines.js');
const { assertWellFormedXml } = require('./xml_check.js');
const { runReport } = require('../../fleet/report/report.js');
const { runImpact } = require('../../fleet/impact/impact.js');

const MAIN = path.join(__dirname, '..', '..', 'fleet', 'cli', 'main.js');
const SAMPLE = path.join(__dirname, '../../data/VideoCardDB.xml');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-hostile-'));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

// Adapters the sample database does not name, and one it does.
const FUTURE = { vendorID: '4318', deviceID: '4242', card: 'GeForce Future', pslevel: '3.0' };
const GTX = { vendorID: '4318', deviceID: '1741', card: 'NVIDIA GeForce GTX 470', driver: '6.14.0010.7164' };
const RADEON = { result: '1024', vendorID: '4098', deviceID: '20800', card: 'RADEON 9700 PRO', driver: '6.14.0010.6307' };

let client = 0;
// `count` machines (each its own address) sending these items: the bytes of
// the program's address as nginx logs them, or as a current browser sends
// them (percent-encoded UTF-8).
function machines(count, values, { browser = false } = {}) {
  const lines = [];
  for (let i = 0; i < count; i++) {
    client++;
    const text = address(values);
    const target = browser ? L.asBrowserSends(text) : text.slice(text.indexOf('/quillet')).replace(/ /g, '%20');
    lines.push(L.combinedLine(target, { client: '10.' + (client >> 16 & 255) + '.' + (client >> 8 & 255) + '.' + (client & 255) }));
  }
  return lines;
}

let cases = 0;
function ingested(lines) {
  const base = path.join(folder, 'case' + ++cases);
  fs.writeFileSync(base + '.log', lines.join('\n') + '\n', 'latin1');
  const done = spawnSync(process.execPath, [MAIN, 'ingest', base + '.duckdb', base + '.log'], { encoding: 'utf8' });
  assert.equal(done.status, 0, done.stderr);
  assert.match(done.stderr + done.stdout, / 0 rejected/);
  return base;
}

// The report's JSON, drafts (read by xmllint), HTML and CSV files.
async function report(base, ...args) {
  const out = { json: base + '.json', draft: base + '.draft.xml', html: base + '.html', csv: base + '-csv' };
  const withDraft = args.includes('--db') ? ['--draft', out.draft] : [];
  assert.equal(await runReport([base + '.duckdb', '--json', out.json, '--html', out.html, '--csv', out.csv, ...withDraft, ...args]), 0);
  const result = { json: JSON.parse(fs.readFileSync(out.json, 'utf8')), html: fs.readFileSync(out.html, 'utf8'),
    csv: fs.readdirSync(out.csv).map((name) => fs.readFileSync(path.join(out.csv, name), 'utf8')).join('\n') };
  if (withDraft.length) {
    result.draft = fs.readFileSync(out.draft, 'utf8');
    assertWellFormedXml(result.draft);
  }
  return result;
}

async function impact(base, before, after, ...args) {
  const out = base + '.impact.json';
  assert.equal(await runImpact([base + '.duckdb', '--before', before, '--after', after, '--json', out, ...args]), 0);
  return JSON.parse(fs.readFileSync(out, 'utf8'));
}

// The sample with every record of the GTX 470's driver blacklisted.
function blacklisted() {
  const file = path.join(folder, 'blacklisted.xml');
  fs.writeFileSync(file, fs.readFileSync(SAMPLE, 'utf8')
    .replace(/(DriverVersion="6\.14\.0010\.7164"(?: PixelShaderVersion="\d")?)(?: BlackList="not_recommended")?\/>/g, '$1 BlackList="true"/>'));
  return file;
}

const missingRow = (r, deviceId) => r.json.missingFromDatabase.find((m) => m.deviceId === deviceId);
const cardRecord = (draft, deviceId) => new RegExp('^\\s*<Card [^>]*DeviceID="' + deviceId + '"[^>]*>', 'm').exec(draft);

// A database tool that answers every line with an error, as the real one
// answers a line it cannot read.
function erringTool() {
  const file = path.join(folder, 'erring-tool');
  fs.writeFileSync(file, '#!' + process.execPath + '\n' +
    "const fs = require('fs'); const a = process.argv.slice(2); const batch = a[a.indexOf('--batch') + 1];\n" +
    "const lines = fs.readFileSync(batch, 'utf8').split('\\n').filter((l) => l);\n" +
    "for (const db of a.slice(a.indexOf('--batch') + 2).filter((x) => x !== '--trail'))\n" +
    "  lines.forEach((l, i) => console.log(JSON.stringify({ database: db, line: i + 1, error: 'not an adapter' })));\n", { mode: 0o755 });
  return file;
}

// A database tool that answers every line as not named (a fallback without a
// level), notes how many lines it was asked, and ends with `status`.
function countingTool(status = 0) {
  const file = path.join(folder, 'counting-tool-' + status);
  fs.writeFileSync(file, '#!' + process.execPath + '\n' +
    "const fs = require('fs'); const a = process.argv.slice(2); const batch = a[a.indexOf('--batch') + 1];\n" +
    "const lines = fs.readFileSync(batch, 'utf8').split('\\n').filter((l) => l);\n" +
    "fs.writeFileSync(" + JSON.stringify(file + '.asked') + ", String(lines.length));\n" +
    "for (const db of a.slice(a.indexOf('--batch') + 2).filter((x) => x !== '--trail'))\n" +
    "  lines.forEach((l, i) => console.log(JSON.stringify({ database: db, line: i + 1, decidedBy: 'fallback', trail: [],\n" +
    "    direct3d9: { accepted: true }, direct3d8: { accepted: true, level: null } })));\n" +
    "process.exitCode = " + status + ";\n", { mode: 0o755 });
  return file;
}

// What the fleet leaves in the temporary folder while `run` runs.
async function leftInTemporaryFolder(run) {
  const before = process.env.TMPDIR;
  const temporary = fs.mkdtempSync(path.join(folder, 'tmp-'));
  process.env.TMPDIR = temporary;
  try {
    await run();
  } finally {
    if (before === undefined) delete process.env.TMPDIR; else process.env.TMPDIR = before;
  }
  return fs.readdirSync(temporary);
}

async function withTool(command, run) {
  const before = process.env.VIDRAKE_DB_COMMAND;
  process.env.VIDRAKE_DB_COMMAND = command;
  try {
    return await run();
  } finally {
    if (before === undefined) delete process.env.VIDRAKE_DB_COMMAND; else process.env.VIDRAKE_DB_COMMAND = before;
  }
}

const CASES = [
  ['a card name the tool cannot be asked about (tab, CR, LF, NUL) hides no adapter: its machines are counted apart', async () => {
    const base = ingested([...machines(10, FUTURE), ...['a\tb', 'a\rb', 'a\nb', 'a\0b'].flatMap((card) => machines(1, Object.assign({}, FUTURE, { card })))]);
    const r = await report(base, '--db', SAMPLE, '--min-machines', '4');
    assert.deepEqual([missingRow(r, 4242).name, missingRow(r, 4242).machines, missingRow(r, 4242).pixelShader], ['GeForce Future', 10, '3.0']);
    assert.equal(r.json.notJudgedByDatabase.machines, 4);
    assert.match(cardRecord(r.draft, 4242)[0], /CardName="GeForce Future" PixelShaderVersion="3"/);
    // Under K the machines apart are withheld like any figure.
    assert.equal((await report(base, '--db', SAMPLE)).json.notJudgedByDatabase.machines, null);
  }],
  ['a flood of names is not asked about: only a name K machines reported goes to the tool, and no temporary file stays', async () => {
    const flood = [];
    for (let i = 0; i < 2000; i++) flood.push(...machines(1, Object.assign({}, FUTURE, { deviceID: String(5000 + i), card: 'Fake ' + i })));
    const base = ingested([...machines(10, FUTURE), ...flood]);
    await withTool(countingTool(), async () => {
      let r;
      assert.deepEqual(await leftInTemporaryFolder(async () => { r = await report(base, '--db', SAMPLE); }), []);
      assert.equal(fs.readFileSync(countingTool() + '.asked', 'utf8'), '1');
      assert.deepEqual(r.json.missingFromDatabase.map((m) => [m.deviceId, m.name, m.machines]), [[4242, 'GeForce Future', 10]]);
      assert.equal(r.json.notJudgedByDatabase.machines, 2000);
      assert.equal((r.draft.match(/<Card /g) || []).length, 1);
    });
    await withTool(countingTool(3), async () => {
      const failed = await leftInTemporaryFolder(async () => {
        assert.equal(await runReport([base + '.duckdb', '--db', SAMPLE, '--draft', base + '.failed.xml', '--json', base + '.failed.json']), 1);
      });
      assert.deepEqual(failed, []);
      assert.equal(fs.existsSync(base + '.failed.xml') || fs.existsSync(base + '.failed.json'), false);
    });
  }],
  ['an answer that is an error names no adapter, and impact gives every machine an answer', async () => {
    const base = ingested([...machines(10, FUTURE), ...machines(10, GTX)]);
    await withTool(erringTool(), async () => {
      const r = await report(base, '--db', SAMPLE, '--min-machines', '1');
      assert.deepEqual(r.json.missingFromDatabase, []);
      assert.equal(r.json.notJudgedByDatabase.machines, 20);
      const i = await impact(base, SAMPLE, SAMPLE, '--min-machines', '1');
      assert.deepEqual([i.machines, i.notJudged.machines, i.newlyRejected.machines, i.adapters.length], [20, 20, 0, 0]);
    });
  }],
  ['a NUL in the card name does not crash impact: the machine is counted "not judged", the others judged', async () => {
    const base = ingested([...machines(10, GTX), ...machines(1, Object.assign({}, GTX, { card: 'GTX\u0000470' }))]);
    const i = await impact(base, SAMPLE, blacklisted(), '--min-machines', '1');
    assert.deepEqual([i.machines, i.notJudged.machines, i.newlyRejected.machines, i.newlyAccepted.machines], [11, 1, 10, 0]);
    assert.deepEqual(i.verdictChanges.map((v) => [v.from, v.to, v.machines]), [['meets', 'below', 10]]);
  }],
  ['a drafted level is one the program writes that K machines agree on; otherwise the card is left out with a comment', async () => {
    const base = ingested([
      ...machines(20, Object.assign({}, FUTURE, { pslevel: '?' })), ...machines(1, Object.assign({}, FUTURE, { pslevel: '9' })),
      ...machines(10, { vendorID: '4318', deviceID: '4343', card: 'Nine', pslevel: '9' }),
      ...machines(10, { vendorID: '4318', deviceID: '4444', card: 'Two', pslevel: '2.0' }), ...machines(3, { vendorID: '4318', deviceID: '4444', card: 'Two', pslevel: '3.0' })
    ]);
    const r = await report(base, '--db', SAMPLE);
    assert.deepEqual([4242, 4343, 4444].map((d) => missingRow(r, d).pixelShader), [null, null, '2.0']);
    assert.equal(cardRecord(r.draft, 4242), null);
    assert.equal(cardRecord(r.draft, 4343), null);
    assert.match(r.draft, /<!-- left out, too few machines agree on a pixel shader level the program writes: <Card ManufacturerID="4318" DeviceID="4242" CardName="GeForce Future"\/> -->/);
    assert.match(r.draft, /<!-- left out, too few machines agree on a pixel shader level the program writes: <Card ManufacturerID="4318" DeviceID="4343" CardName="Nine"\/> -->/);
    assert.match(cardRecord(r.draft, 4444)[0], /PixelShaderVersion="2"/);
    assert.ok(!/PixelShaderVersion="9"/.test(r.draft));
  }],
  ['no name or path ends or breaks a comment of the draft', async () => {
    const base = ingested([...machines(10, Object.assign({}, FUTURE, { card: 'x---', pslevel: '?' })),
      ...machines(10, Object.assign({}, FUTURE, { deviceID: '4343', card: '-->-', pslevel: '?' }))]);
    const database = path.join(folder, 'db---', 'Video--Card---DB-');
    fs.mkdirSync(path.dirname(database));
    fs.copyFileSync(SAMPLE, database);
    const r = await report(base, '--db', database, '--from', '2026-12-09');
    const comments = r.draft.match(/<!--[\s\S]*?-->/g);
    for (const comment of comments) assert.ok(!comment.slice(4, -3).includes('--') && !comment.slice(4, -3).endsWith('-'), comment);
    // The records left out are still there to read, in their comments.
    assert.equal(comments.filter((c) => c.startsWith('<!-- left out')).length, 2);
  }],
  ['alternates offered to a rejected driver are shown only when K machines reported them', async () => {
    const base = ingested([...machines(10, Object.assign({ alternates: '6.14.0010.6476' }, RADEON)),
      ...machines(1, Object.assign({ alternates: '6.14.0010.6476, Driver fix at http://evil.example/nv.exe' }, RADEON))]);
    const r = await report(base);
    assert.deepEqual(r.json.rejectedDrivers.map((d) => [d.driver, d.machines, d.alternates]), [['6.14.0010.6307', 11, ['6.14.0010.6476']]]);
    for (const text of [JSON.stringify(r.json), r.html, r.csv]) assert.ok(!text.includes('evil.example'));
    assert.deepEqual((await report(base, '--min-machines', '1')).json.rejectedDrivers[0].alternates, ['6.14.0010.6476', 'Driver fix at http://evil.example/nv.exe']);
  }],
  ['a bidirectional control in a name turns nothing around: isolated in the page, written out in both', async () => {
    const base = ingested(machines(10, Object.assign({}, FUTURE, { card: 'Future \u202Eexe.elif\u2069 \u2066x' }), { browser: true }));
    const r = await report(base);
    assert.deepEqual(r.json.adapters[0].names, ['Future \u202Eexe.elif\u2069 \u2066x']);
    assert.ok(r.html.includes('<td><bdi>Future &lt;U+202E&gt;exe.elif&lt;U+2069&gt; &lt;U+2066&gt;x</bdi></td>'));
    assert.ok(r.csv.includes('"Future <U+202E>exe.elif<U+2069> <U+2066>x"'));
    for (const text of [r.html, r.csv]) assert.equal(/[\u202A-\u202E\u2066-\u2069\u200E\u200F\u061C]/.test(text), false);
  }],
  ['markup and formulas in a name stay text', async () => {
    const base = ingested([...machines(10, Object.assign({}, FUTURE, { card: '<img src=x onerror=alert(1)>' }), { browser: true }),
      ...machines(10, Object.assign({}, FUTURE, { deviceID: '4343', card: '=HYPERLINK("http://evil.example")' }), { browser: true })]);
    const r = await report(base);
    assert.ok(!/<img/i.test(r.html) && r.html.includes('<bdi>&lt;img src=x onerror=alert(1)&gt;</bdi>'));
    assert.ok(r.csv.includes('"\'=HYPERLINK(""http://evil.example"")"'));
  }]
];

for (const [what, run] of CASES) test(what, run);
