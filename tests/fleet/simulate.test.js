// vidrake-fleet simulate: the same log for the same seed, the kinds of lines
// a real log has, and a tally that ingest reproduces from the log alone.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');
const { DuckDBInstance } = require('@duckdb/node-api');

const MAIN = path.join(__dirname, '..', '..', 'fleet', 'cli', 'main.js');

function fleet(...args) {
  const env = Object.assign({}, process.env, fleet.env);
  const done = spawnSync(process.execPath, [MAIN, ...args], { encoding: 'utf8', env });
  assert.equal(done.status, 0, done.stderr);
  return done.stdout;
}

async function query(store, sql) {
  const instance = await DuckDBInstance.create(store);
  const connection = await instance.connect();
  try {
    return (await connection.runAndReadAll(sql)).getRowObjectsJS().map((row) =>
      Object.fromEntries(Object.entries(row).map(([k, v]) => [k, typeof v === 'bigint' ? Number(v) : v])));
  } finally {
    connection.closeSync();
    instance.closeSync();
  }
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-simulate.'));
test.after(() => fs.rmSync(dir, { recursive: true }));

test('the same seed writes the same log; another seed another', () => {
  const a = path.join(dir, 'a.log'), b = path.join(dir, 'b.log'), c = path.join(dir, 'c.log');
  fleet('simulate', '3000', '--out', a, '--seed', '7', '--days', '30');
  fleet('simulate', '3000', '--out', b, '--seed', '7', '--days', '30');
  fleet('simulate', '3000', '--out', c, '--seed', '8', '--days', '30');
  assert.ok(fs.readFileSync(a).equals(fs.readFileSync(b)));
  assert.ok(fs.readFileSync(a + '.tally.json').equals(fs.readFileSync(b + '.tally.json')));
  assert.ok(!fs.readFileSync(a).equals(fs.readFileSync(c)));
  const lines = fs.readFileSync(a, 'latin1').split('\n').slice(0, -1);
  assert.equal(lines.length, 3000);
  const some = (pattern) => lines.filter((l) => pattern.test(l)).length;
  assert.ok(some(/"GET \/quillet-systemtest\?result=[^"]*\\x[89A-F][0-9A-F]/) > 0, 'raw bytes of old browsers');
  assert.ok(some(/"GET \/quillet-systemtest\?result=[^"]*%C3%/) > 0, 'UTF-8 escapes of current browsers');
  assert.ok(some(/ #\d/) === 0 && some(/card=[^&"]*(Family|SERIES)%20HTTP|card=[^&"]*(Family|SERIES)%20 HTTP/) > 0, 'addresses cut at a "#"');
  assert.ok(some(/\/result\.css/) > 0 && some(/^\S+ - - \[[^\]]+\] "/) < lines.length, 'other requests and junk');
});

test('ingest of a simulated log reproduces its tally', async () => {
  const log = path.join(dir, 'year.log'), store = path.join(dir, 'year.duckdb');
  fleet('simulate', '12000', '--out', log, '--seed', 'tally');
  const tally = JSON.parse(fs.readFileSync(log + '.tally.json', 'utf8'));
  // A small cache turns over many times: no result may get lost with it.
  fleet.env = { VIDRAKE_FLEET_CACHE_LIMIT: '40', VIDRAKE_FLEET_FLUSH_LINES: '300' };
  fleet('ingest', store, log);
  fleet.env = {};
  const [files] = await query(store, `SELECT sum(lines_read) AS read, sum(results) AS results, sum(other_requests) AS other,
    sum(rejected) AS rejected, sum(cut) AS cut, any_value(rejected_reasons) AS reasons FROM files`);
  assert.deepEqual({ read: files.read, results: files.results, otherRequests: files.other, rejected: files.rejected, cut: files.cut,
    rejectedReasons: JSON.parse(files.reasons) }, Object.assign({}, tally.lines, { rejectedReasons: tally.lines.rejectedReasons }));
  const verdicts = Object.fromEntries((await query(store, 'SELECT verdict, count(*) AS n FROM machine_days GROUP BY verdict'))
    .map((r) => [{ 'not-run': 'notRun' }[r.verdict] || r.verdict, r.n]));
  for (const key of Object.keys(tally.verdicts)) assert.equal(verdicts[key] || 0, tally.verdicts[key], key);
  assert.equal((await query(store, 'SELECT count(*) AS n FROM machine_days'))[0].n, tally.machines);
  assert.ok(tally.machines < tally.results, 'machines repeat within a day');
  for (const [id, expect] of Object.entries(tally.requirements)) {
    const [got] = await query(store, `SELECT count(*) FILTER (WHERE st_${id} = 'below') AS below,
      count(*) FILTER (WHERE st_${id} = 'unknown') AS unknown FROM machine_days`);
    assert.deepEqual(got, expect, id);
  }
  for (const [key, column] of [['mem', 'mem'], ['osver', 'osver'], ['vendorID', 'vendor_id']]) {
    const got = {};
    for (const r of await query(store, `SELECT CAST(${column} AS VARCHAR) AS v, count(*) AS n FROM machine_days GROUP BY v`)) got[String(r.v)] = r.n;
    assert.deepEqual(got, tally.distributions[key], key);
  }
});
