// vidrake-fleet ingest as a user runs it: counts that add up, files that are
// read once whatever their name or compression, grown files, and no client
// address or user agent anywhere in the store.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { spawnSync } = require('child_process');
const { DuckDBInstance } = require('@duckdb/node-api');
const { address } = require('../resultpage/address.js');
const L = require('./log_lines.js');

const MAIN = path.join(__dirname, '..', '..', 'fleet', 'cli', 'main.js');

function ingest(...args) {
  const done = spawnSync(process.execPath, [MAIN, 'ingest', ...args], { encoding: 'utf8' });
  return { status: done.status, out: done.stdout, err: done.stderr };
}

async function query(store, sql) {
  const instance = await DuckDBInstance.create(store);
  const connection = await instance.connect();
  try {
    return (await connection.runAndReadAll(sql)).getRowObjectsJS();
  } finally {
    connection.closeSync();
    instance.closeSync();
  }
}

function tempDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-test.'));
}

// A log of `n` lines: results from a few machines, other requests, junk.
function logLines(n, day = '09/Dec/2026') {
  const lines = [];
  for (let i = 0; i < n; i++) {
    const time = `${day}:${String(Math.floor(i / 60) % 24).padStart(2, '0')}:${String(i % 60).padStart(2, '0')}:00 +0000`;
    const client = `198.51.100.${i % 7}`;
    const kind = i % 10;
    const target = kind === 9 ? '/quillet-systemtest/result.css'
      : L.asBrowserSends(address({ result: String([0, 16, 1024][i % 3]), ram: `${1000 + (i % 5)} MB`, alternates: '1.2, 3.4' }));
    lines.push(kind === 8 ? 'not a line ' + i : L.combinedLine(target, { client, time, agent: `Agent/${i % 3} (secret-ua)` }));
  }
  return lines.join('\n') + '\n';
}

async function fileCounts(store) {
  return (await query(store, `SELECT count(*) AS files, sum(lines_read) AS lines, sum(results) AS results, sum(other_requests) AS other,
    sum(rejected) AS rejected, (SELECT count(*) FROM results) AS rows, (SELECT count(DISTINCT (file_id, line_no)) FROM results) AS distinct_rows
    FROM files`))[0];
}

test('counts add up, and the same content is read once: again, renamed, compressed', async () => {
  const dir = tempDir();
  const store = path.join(dir, 'fleet.duckdb');
  const log = path.join(dir, 'access.log');
  fs.writeFileSync(log, logLines(500));
  const first = ingest(store, log);
  assert.equal(first.status, 0, first.err);
  assert.match(first.out, /format combined \(detected\)/);
  assert.match(first.out, /500 lines: 400 results \(0 cut by "#"\), 50 other requests, 50 rejected \(not-a-log-line 50\)/);
  const counts = await fileCounts(store);
  assert.equal(Number(counts.lines), Number(counts.results) + Number(counts.other) + Number(counts.rejected));
  assert.equal(Number(counts.rows), 400);
  assert.equal(Number(counts.distinct_rows), 400);
  assert.equal(Number(counts.files), 1);
  const [perFile] = await query(store, 'SELECT rejected_reasons, bytes_done FROM files');
  assert.deepEqual(JSON.parse(perFile.rejected_reasons), { 'not-a-log-line': 50 });
  assert.equal(Number(perFile.bytes_done), fs.statSync(log).size);

  fs.renameSync(log, log + '.1');
  fs.writeFileSync(log + '.2.gz', zlib.gzipSync(fs.readFileSync(log + '.1')));
  const again = ingest(store, log + '.1', log + '.2.gz');
  assert.equal(again.status, 0, again.err);
  assert.match(again.out, /access\.log\.1: nothing new/);
  assert.match(again.out, /access\.log\.2\.gz: nothing new/);
  assert.deepEqual(await fileCounts(store), counts);
  fs.rmSync(dir, { recursive: true });
});

test('a file with more results than are staged outside its transaction stores the same', async () => {
  const dir = tempDir();
  const log = path.join(dir, 'access.log');
  // Pieces of a megabyte: the staging is looked at as each goes to a worker,
  // and at most four are out at a time.
  fs.writeFileSync(log, logLines(10000) + logLines(10000, '10/Dec/2026'));
  assert.ok(fs.statSync(log).size > 5 << 20);
  // The machine column differs between stores (each has keys of its own).
  const contents = async (store) => query(store, `SELECT count(*) AS rows, count(DISTINCT (file_id, line_no)) AS distinct_rows,
    count(*) FILTER (WHERE latest) AS latest, sum(hash(r)) AS digest FROM (SELECT * EXCLUDE (machine) FROM results) r`);
  const stores = [];
  for (const env of [{}, { VIDRAKE_FLEET_FLUSH_LINES: '100', VIDRAKE_FLEET_STAGE_RESULTS: '1000' }]) {
    const store = path.join(dir, `fleet${stores.length}.duckdb`);
    const done = spawnSync(process.execPath, [MAIN, 'ingest', store, log], { encoding: 'utf8', env: Object.assign({}, process.env, env) });
    assert.equal(done.status, 0, done.stderr);
    assert.match(done.stdout, /20000 lines: 16000 results/);
    stores.push(await contents(store));
  }
  assert.equal(Number(stores[0][0].rows), 16000);
  assert.equal(Number(stores[0][0].distinct_rows), 16000);
  assert.ok(Number(stores[0][0].latest) > 0);
  assert.deepEqual(stores[1], stores[0]);
  fs.rmSync(dir, { recursive: true });
});

test('a grown file adds only its new whole lines, plain or compressed after rotation', async () => {
  const dir = tempDir();
  const store = path.join(dir, 'fleet.duckdb');
  const log = path.join(dir, 'access.log');
  const all = logLines(300);
  const cut = all.indexOf('\n', Math.floor(all.length / 3)) + 1;
  // The first part ends in half a line, as a live log read mid-write does.
  fs.writeFileSync(log, all.slice(0, cut + 20));
  assert.equal(ingest(store, log).status, 0);
  const before = await fileCounts(store);
  assert.equal(Number(before.lines), all.slice(0, cut).split('\n').length - 1);
  fs.writeFileSync(log, all.slice(0, Math.floor(all.length * 2 / 3)));
  assert.equal(ingest(store, log).status, 0);
  // Rotated and compressed, with the rest it got before the rotation.
  fs.writeFileSync(log + '.1.gz', zlib.gzipSync(all));
  fs.rmSync(log);
  const last = ingest(store, log + '.1.gz');
  assert.equal(last.status, 0, last.err);
  const after = await fileCounts(store);
  assert.equal(Number(after.files), 1);
  assert.equal(Number(after.lines), 300);
  assert.equal(Number(after.rows), Number(after.distinct_rows));

  const clean = path.join(dir, 'clean.duckdb');
  fs.writeFileSync(log, all);
  assert.equal(ingest(clean, log).status, 0);
  assert.deepEqual(await fileCounts(clean), after);
  const lines = (s) => query(s, 'SELECT line_no, verdict, mask, card, ram FROM results ORDER BY line_no');
  assert.deepEqual(await lines(store), await lines(clean));
  fs.rmSync(dir, { recursive: true });
});

test('the store holds no client address and no user agent', async () => {
  const dir = tempDir();
  const store = path.join(dir, 'fleet.duckdb');
  const log = path.join(dir, 'access.log');
  fs.writeFileSync(log, logLines(400) + L.cloudFrontLine('/quillet-systemtest?result=0&mem=1 MB') + '\n');
  fs.writeFileSync(log + '.cf', L.CLOUDFRONT_HEADER + '\n' + L.cloudFrontLine('/quillet-systemtest?result=0&mem=1 MB',
    { client: '2001:db8::77', agent: 'CloudAgent/9 (secret-ua)' }) + '\n');
  const done = ingest(store, log, log + '.cf');
  assert.equal(done.status, 0, done.err);
  const bytes = Buffer.concat(fs.readdirSync(dir).filter((f) => f.startsWith('fleet.duckdb')).map((f) => fs.readFileSync(path.join(dir, f))));
  for (const secret of ['198.51.100.', '2001:db8::77', 'secret-ua', 'Agent/1', 'CloudAgent']) {
    assert.equal(bytes.includes(Buffer.from(secret)), false, secret);
  }
  // The machine is there all the same: a day's keyed hash, one per client
  // and agent.
  const [m] = await query(store, 'SELECT count(DISTINCT machine) AS machines, count(*) AS results FROM results');
  assert.ok(Number(m.machines) >= 7 && Number(m.machines) < Number(m.results), `${m.machines} machines`);
  fs.rmSync(dir, { recursive: true });
});

test('day keys go once their day is more than 48 hours older than the newest line', async () => {
  const dir = tempDir();
  const store = path.join(dir, 'fleet.duckdb');
  fs.writeFileSync(path.join(dir, 'a.log'), logLines(20, '01/Dec/2026') + logLines(20, '02/Dec/2026'));
  assert.equal(ingest(store, path.join(dir, 'a.log')).status, 0);
  // The keys are in the key file beside the store, never in the store.
  const days = async () => Object.keys(JSON.parse(fs.readFileSync(store + '.keys', 'utf8')).days).sort();
  assert.deepEqual(await days(), ['2026-12-01', '2026-12-02']);
  // The newest line is 4 Dec 23:00: 1 Dec ended 71 hours before, 2 Dec 47.
  fs.writeFileSync(path.join(dir, 'b.log'), logLines(1380, '04/Dec/2026'));
  assert.equal(ingest(store, path.join(dir, 'b.log')).status, 0);
  assert.deepEqual(await days(), ['2026-12-02', '2026-12-04']);
  fs.rmSync(dir, { recursive: true });
});

test('bad input: a clear message, nothing stored', async () => {
  const dir = tempDir();
  const store = path.join(dir, 'fleet.duckdb');
  fs.writeFileSync(path.join(dir, 'junk.log'), 'hello\nworld\n');
  const junk = ingest(store, path.join(dir, 'junk.log'));
  assert.equal(junk.status, 1);
  assert.match(junk.err, /not a log of a known format \(say which with --format\)/);
  const good = Buffer.from(logLines(50));
  fs.writeFileSync(path.join(dir, 'broken.gz'), zlib.gzipSync(good).subarray(0, 200));
  const broken = ingest(store, path.join(dir, 'broken.gz'));
  assert.equal(broken.status, 1);
  assert.match(broken.err, /broken\.gz: .*nothing of it was stored/);
  assert.equal(Number((await fileCounts(store)).files), 0);
  assert.equal(ingest(store, path.join(dir, 'missing.log')).status, 2);
  assert.equal(ingest(store).status, 2);
  fs.rmSync(dir, { recursive: true });
});

test('each format, plain or compressed, is detected and says so; --format chooses', async () => {
  const dir = tempDir();
  const store = path.join(dir, 'fleet.duckdb');
  const target = L.asBrowserSends(address({ result: '16', mem: '32 MB' }));
  const files = {
    'apache.log': [L.commonLine(target, {}, L.apacheEscape), L.commonLine('/', {}, L.apacheEscape)].join('\n') + '\n',
    'cloudfront.gz': zlib.gzipSync(L.CLOUDFRONT_HEADER + '\n' + L.cloudFrontLine(target) + '\n' + L.cloudFrontLine('/index.html') + '\n'),
    'nginx.gz': zlib.gzipSync(L.combinedLine(target, { client: '198.51.100.200' }) + '\n')
  };
  for (const [name, content] of Object.entries(files)) fs.writeFileSync(path.join(dir, name), content);
  const done = ingest(store, ...Object.keys(files).map((f) => path.join(dir, f)));
  assert.equal(done.status, 0, done.err);
  assert.match(done.out, /apache\.log: format common \(detected\)/);
  assert.match(done.out, /cloudfront\.gz: format cloudfront \(detected\)/);
  assert.match(done.out, /nginx\.gz: format combined \(detected\)/);
  // CloudFront's two header lines count as lines that are not results.
  assert.match(done.out, /ingested 7 lines: 3 results \(0 cut by "#"\), 4 other requests, 0 rejected/);
  const rows = await query(store, 'SELECT f.format, r.verdict, r.mem_mb FROM results r JOIN files f USING (file_id) ORDER BY f.format');
  assert.deepEqual(rows.map((r) => [r.format, r.verdict, r.mem_mb]), [['cloudfront', 'below', 32], ['combined', 'below', 32], ['common', 'below', 32]]);
  // A format given is used, not detected: a combined log read as CloudFront
  // is all rejected, and counted so.
  const forced = ingest(path.join(dir, 'forced.duckdb'), '--format', 'cloudfront', path.join(dir, 'nginx.gz'));
  assert.equal(forced.status, 0, forced.err);
  assert.doesNotMatch(forced.out, /detected/);
  assert.match(forced.out, /1 lines: 0 results .* 1 rejected \(not-a-log-line 1\)/);
  fs.rmSync(dir, { recursive: true });
});

test("each machine's latest result of a day is marked across files, a grown file and the days they share", async () => {
  const dir = tempDir();
  const store = path.join(dir, 'fleet.duckdb');
  const a = path.join(dir, 'a.log'), b = path.join(dir, 'b.log');
  // As the store's days are ranked from scratch: the latest line of each
  // machine's day, by time, then file, then line.
  const misplaced = async () => Number((await query(store, `SELECT count(*) AS n FROM (SELECT latest,
    row_number() OVER (PARTITION BY day, machine ORDER BY seen_at DESC, file_id DESC, line_no DESC) = 1 AS expected FROM results)
    WHERE latest <> expected`))[0].n);
  const latestOfA = async () => Number((await query(store, `SELECT count(*) FILTER (WHERE latest) AS n FROM results
    WHERE file_id = (SELECT min(file_id) FROM results)`))[0].n);
  fs.writeFileSync(a, logLines(300) + logLines(100, '11/Dec/2026'));
  assert.equal(ingest(store, a).status, 0);
  assert.equal(await misplaced(), 0, 'one file');
  const alone = await latestOfA();
  // The same machines half a minute later on the same day, and a day on.
  fs.writeFileSync(b, logLines(300).replace(/:00 \+0000/g, ':30 +0000') + logLines(300, '10/Dec/2026'));
  assert.equal(ingest(store, b).status, 0);
  assert.equal(await misplaced(), 0, 'a second file on the same day');
  assert.ok(await latestOfA() < alone, 'the later file takes the latest results of the first one\'s machines');
  // Grown: later lines on its own last day, which no other file has.
  fs.appendFileSync(a, logLines(120, '11/Dec/2026').replace(/:00 \+0000/g, ':45 +0000'));
  assert.equal(ingest(store, a).status, 0);
  assert.equal(await misplaced(), 0, 'the first file grown');
  fs.rmSync(dir, { recursive: true });
});

test('lines stored a few hundred an insert, each joined to its range of addresses, store the same', async () => {
  const dir = tempDir();
  const log = path.join(dir, 'access.log');
  fs.writeFileSync(log, logLines(3000) + logLines(3000, '10/Dec/2026'));
  const contents = async (store) => (await query(store, `SELECT count(*) AS rows, count(*) FILTER (WHERE latest) AS latest,
    sum(hash(r)) AS digest FROM (SELECT * EXCLUDE (machine) FROM results) r`))[0];
  const stores = [];
  // A small cache turns over between inserts, so that their ranges of
  // addresses differ; the marks then come from ranking the days afresh.
  for (const env of [{}, { VIDRAKE_FLEET_STORE_LINES: '700', VIDRAKE_FLEET_CACHE_LIMIT: '5' }]) {
    const store = path.join(dir, `fleet${stores.length}.duckdb`);
    const done = spawnSync(process.execPath, [MAIN, 'ingest', store, log], { encoding: 'utf8', env: Object.assign({}, process.env, env) });
    assert.equal(done.status, 0, done.stderr);
    stores.push(await contents(store));
  }
  assert.equal(Number(stores[0].rows), 4800);
  assert.ok(Number(stores[0].latest) > 0);
  assert.deepEqual(stores[1], stores[0]);
  fs.rmSync(dir, { recursive: true });
});
