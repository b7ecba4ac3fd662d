// Logs and commands as someone hostile or careless gives them: each case a
// small log with the outcome it must give (exit status, messages, the lines
// stored), and the memory ingest takes over a line that never ends.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { spawnSync } = require('child_process');
const { queryStore } = require('./store_query.js');
const { address } = require('../resultpage/address.js');
const { LINE_LIMIT } = require('../../fleet/ingest/log_pieces.js');
const L = require('./log_lines.js');

const MAIN = path.join(__dirname, '..', '..', 'fleet', 'cli', 'main.js');
const RESULT = L.asBrowserSends(address({ result: '16', mem: '32 MB' }));

function fleet(args, env) {
  const done = spawnSync(process.execPath, [MAIN, ...args], { encoding: 'utf8', env: Object.assign({}, process.env, env) });
  return { status: done.status, out: done.stdout, err: done.stderr };
}

const query = (store, sql) => queryStore(store, sql, { access_mode: 'READ_ONLY' });

const storedLines = async (store) => (await query(store, 'SELECT line_no FROM results ORDER BY line_no')).map((r) => Number(r.line_no));

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-hostile.'));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

// A result of machine `n` exactly `length` bytes long, newline not counted.
function resultOfLength(n, length) {
  const bare = L.combinedLine(RESULT, { client: '198.51.100.' + n, agent: '' });
  return L.combinedLine(RESULT, { client: '198.51.100.' + n, agent: 'A'.repeat(length - bare.length) });
}
const result = (n) => L.combinedLine(RESULT, { client: '198.51.100.' + n });
const junk = (length) => 'J'.repeat(length);

// name, the log's bytes, the ingest's outcome: status, what it prints, the
// line numbers of the results stored.
const CASES = [
  {
    name: 'lines at the limit are read, past it rejected, however far past',
    log: [result(1), resultOfLength(2, LINE_LIMIT), resultOfLength(3, LINE_LIMIT + 1), junk(9 * LINE_LIMIT), result(4)].join('\n') + '\n',
    exact: ': 5 lines: 3 results (0 cut by "#"), 0 other requests, 2 rejected (line-too-long 2)',
    stored: [1, 2, 5]
  },
  {
    name: 'a first line over the limit: the lines after it are read',
    log: [junk(3 * LINE_LIMIT), result(1), result(2)].join('\n') + '\n',
    exact: ': 3 lines: 2 results (0 cut by "#"), 0 other requests, 1 rejected (line-too-long 1)',
    stored: [2, 3]
  },
  {
    name: 'CR LF line ends: detected and read as LF',
    log: [result(1), L.combinedLine('/favicon.ico'), result(2)].join('\r\n') + '\r\n',
    exact: ': 3 lines: 2 results (0 cut by "#"), 1 other requests, 0 rejected',
    stored: [1, 3]
  }
];

for (const c of CASES) {
  test('hostile log: ' + c.name + ', plain or compressed', async () => {
    for (const [name, bytes] of [['plain.log', c.log], ['packed.log.gz', zlib.gzipSync(c.log)]]) {
      const dir = fs.mkdtempSync(path.join(folder, 'case.'));
      const log = path.join(dir, name), store = path.join(dir, 'fleet.duckdb');
      fs.writeFileSync(log, bytes);
      const done = fleet(['ingest', store, log]);
      assert.equal(done.status, 0, name + ': ' + done.err);
      assert.equal(done.err, '', name);
      assert.equal(done.out.split(log + ': format combined (detected)').length, 2, name + ': said once\n' + done.out);
      assert.ok(done.out.includes(log + c.exact + ' in '), name + ':\n' + done.out);
      assert.deepEqual(await storedLines(store), c.stored, name);
      // The file is known again by its head, however long its first line.
      const again = fleet(['ingest', store, log]);
      assert.equal(again.out, log + ': nothing new\ningested 0 lines: 0 results (0 cut by "#"), 0 other requests, 0 rejected\n', name);
    }
  });
}

test('hostile log: a line over the limit without its newline waits, unheld, and is rejected once it ends', async () => {
  const dir = fs.mkdtempSync(path.join(folder, 'case.'));
  const log = path.join(dir, 'growing.log'), store = path.join(dir, 'fleet.duckdb');
  fs.writeFileSync(log, result(1) + '\n' + junk(5 * LINE_LIMIT));
  const first = fleet(['ingest', store, log]);
  assert.equal(first.status, 0, first.err);
  assert.match(first.out, /growing\.log: 1 lines: 1 results/);
  assert.deepEqual((await query(store, 'SELECT bytes_done FROM files')).map((r) => Number(r.bytes_done)), [result(1).length + 1]);
  fs.appendFileSync(log, junk(10) + '\n' + result(2) + '\n');
  const second = fleet(['ingest', store, log]);
  assert.equal(second.status, 0, second.err);
  assert.match(second.out, /growing\.log: 2 lines: 1 results \(0 cut by "#"\), 0 other requests, 1 rejected \(line-too-long 1\)/);
  assert.deepEqual(await storedLines(store), [1, 3]);
});

test('hostile command: a folder or an in-memory store is refused before any work', () => {
  const dir = fs.mkdtempSync(path.join(folder, 'case.'));
  const log = path.join(dir, 'good.log'), store = path.join(dir, 'fleet.duckdb');
  fs.writeFileSync(log, result(1) + '\n');
  const withFolder = fleet(['ingest', store, log, dir]);
  assert.equal(withFolder.status, 2);
  assert.equal(withFolder.err, dir + ': a folder, not a log file (nothing was read)\n');
  assert.equal(withFolder.out, '');
  assert.ok(!fs.existsSync(store), 'no store made');
  for (const memory of [':memory:', '']) {
    const inMemory = fleet(['ingest', memory, log]);
    assert.equal(inMemory.status, 2, JSON.stringify(memory));
    assert.match(inMemory.err, /^STORE must be a file: ".*" would keep nothing\nusage: vidrake-fleet ingest /);
  }
});

test('an export of an empty store reads as a report of no machines', () => {
  const dir = fs.mkdtempSync(path.join(folder, 'case.'));
  const log = path.join(dir, 'other.log'), store = path.join(dir, 'fleet.duckdb'), exported = path.join(dir, 'export');
  fs.writeFileSync(log, L.combinedLine('/index.html') + '\n');
  assert.equal(fleet(['ingest', store, log]).status, 0);
  assert.equal(fleet(['export', store, exported]).status, 0);
  const fromStore = fleet(['report', store, '--min-machines', '1']);
  const fromExport = fleet(['report', exported, '--min-machines', '1']);
  assert.equal(fromExport.status, 0, fromExport.err);
  assert.equal(fromExport.out, fromStore.out);
  const report = JSON.parse(fromExport.out);
  assert.equal(report.machines, 0);
  assert.deepEqual([report.lines.read, report.lines.otherRequests, report.results], [1, 1, 0]);
});

test('a report leaves no temporary folder, failed or not', () => {
  const dir = fs.mkdtempSync(path.join(folder, 'case.'));
  const temporary = fs.mkdtempSync(path.join(folder, 'tmp.'));
  const store = path.join(dir, 'fleet.duckdb'), log = path.join(dir, 'a.log');
  fs.writeFileSync(log, result(1) + '\n');
  assert.equal(fleet(['ingest', store, log]).status, 0);
  const broken = path.join(dir, 'broken');
  fs.mkdirSync(path.join(broken, 'results', 'month=2026-12'), { recursive: true });
  fs.mkdirSync(path.join(broken, 'files'));
  fs.writeFileSync(path.join(broken, 'files', 'files.parquet'), 'not parquet');
  fs.writeFileSync(path.join(broken, 'results', 'month=2026-12', 'data_0.parquet'), 'not parquet');
  const runs = [
    [[store], 0], [[broken], 2], [[log], 2], [[dir], 2], [[store, '--html', path.join(dir, 'no', 'such', 'folder.html')], 1]
  ];
  for (const [args, status] of runs) {
    const done = fleet(['report', ...args], { TMPDIR: temporary });
    assert.equal(done.status, status, args.join(' ') + ': ' + done.err);
    assert.deepEqual(fs.readdirSync(temporary), [], args.join(' '));
  }
});

// Peak memory of the whole process (main thread and workers), through
// process.resourceUsage() in the ingest's own process.
function ingestPeakBytes(store, log) {
  const script = `const { main } = require(${JSON.stringify(MAIN)});
    main(process.argv.slice(1)).then((status) => {
      process.stderr.write('peak ' + process.resourceUsage().maxRSS * 1024 + '\\n');
      process.exitCode = status;
    });`;
  const done = spawnSync(process.execPath, ['-e', script, 'ingest', store, log], { encoding: 'utf8' });
  assert.equal(done.status, 0, done.stderr);
  return { out: done.stdout, peak: Number(/peak (\d+)/.exec(done.stderr)[1]) };
}

test('a line that never ends is not held: ingest stays within its memory bound', (t) => {
  const dir = fs.mkdtempSync(path.join(folder, 'case.'));
  const log = path.join(dir, 'lineless.log'), store = path.join(dir, 'fleet.duckdb');
  const size = 512 << 20;
  const fd = fs.openSync(log, 'w');
  fs.writeSync(fd, result(1) + '\n');
  const block = Buffer.alloc(4 << 20, 0x4A);
  for (let written = 0; written < size; written += block.length) fs.writeSync(fd, block);
  fs.closeSync(fd);
  const { out, peak } = ingestPeakBytes(store, log);
  fs.rmSync(log);
  t.diagnostic(`peak ${(peak / 1048576).toFixed(0)} MiB`);
  assert.match(out, /lineless\.log: 1 lines: 1 results/);
  // Holding the line even once would pass this (its buffers, before any copy).
  assert.ok(peak < 384 * 1048576, `peak ${(peak / 1048576).toFixed(0)} MiB over a line of ${size >> 20} MiB`);
});

test('a flood of distinct addresses is not all held: ingest stays within its memory bound', (t) => {
  const dir = fs.mkdtempSync(path.join(folder, 'case.'));
  const log = path.join(dir, 'flood.log'), store = path.join(dir, 'fleet.duckdb');
  const lines = 400000;
  const fd = fs.openSync(log, 'w');
  for (let i = 0; i < lines; i += 10000) {
    const batch = [];
    for (let n = i; n < i + 10000; n++) {
      const target = address({ result: '0', card: 'Card ' + n, vendorID: '4318', deviceID: String(n) }).replace(/^[^/]*\/\/[^/]*/, '').replace(/ /g, '%20');
      batch.push(L.combinedLine(target, { client: '10.' + (n >> 16 & 255) + '.' + (n >> 8 & 255) + '.' + (n & 255) }));
    }
    fs.writeSync(fd, batch.join('\n') + '\n');
  }
  fs.closeSync(fd);
  const { out, peak } = ingestPeakBytes(store, log);
  t.diagnostic(`peak ${(peak / 1048576).toFixed(0)} MiB`);
  assert.match(out, new RegExp(`flood\\.log: ${lines} lines: ${lines} results`));
  // Each worker's cache of judged addresses and DuckDB's staging are
  // bounded; holding every address took about 1.9 GiB.
  assert.ok(peak < 1024 * 1048576, `peak ${(peak / 1048576).toFixed(0)} MiB over ${lines} distinct addresses`);
});
