// The groupings ingest keeps for the report: after a file read in two runs
// and a second file over the same days, each table holds exactly what
// counting every machine afresh gives; a store without them is reported the
// same and gets them at its next ingest.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { DuckDBInstance } = require('@duckdb/node-api');
const { ROLLUPS, rollupSelect } = require('../../fleet/store/rollups.js');

const FLEET = path.join(__dirname, '../../scripts/vidrake-fleet');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-rollups-'));
const store = path.join(folder, 'store.duckdb');
const live = path.join(folder, 'live.log'), other = path.join(folder, 'other.log');
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

const fleet = (...args) => execFileSync(FLEET, args, { encoding: 'utf8' });

async function withStore(work) {
  const instance = await DuckDBInstance.create(store);
  const connection = await instance.connect();
  try {
    return await work(connection);
  } finally {
    connection.closeSync();
    instance.closeSync();
  }
}

async function sortedRows(connection, sql) {
  const rows = (await connection.runAndReadAll(sql)).getRowsJS();
  return rows.map((row) => JSON.stringify(row, (key, value) => (typeof value === 'bigint' ? Number(value) : value))).sort();
}

// Each grouping as kept, and as counted afresh from every machine.
function keptAndAfresh() {
  return withStore(async (connection) => {
    const out = {};
    for (const name of Object.keys(ROLLUPS)) {
      out[name] = { kept: await sortedRows(connection, 'SELECT * FROM rollup_' + name), afresh: await sortedRows(connection, rollupSelect(name, 'true')) };
    }
    return out;
  });
}

test('a grown file and a second file over the same days: every grouping as counted afresh', async () => {
  fleet('simulate', '6000', '--out', live, '--seed', '21');
  fleet('simulate', '3000', '--out', other, '--seed', '22');
  const whole = fs.readFileSync(live);
  // The first run reads the file cut inside a day, so the second run brings
  // later results of machines the first counted.
  const cut = whole.indexOf(10, Math.floor(whole.length * 0.4)) + 1;
  fs.writeFileSync(live, whole.subarray(0, cut));
  fleet('ingest', store, live);
  fs.writeFileSync(live, whole);
  fleet('ingest', store, live);
  fleet('ingest', store, other);
  const groupings = await keptAndAfresh();
  for (const [name, { kept, afresh }] of Object.entries(groupings)) {
    assert.ok(afresh.length > 0, name + ' has rows');
    assert.deepEqual(kept, afresh, name);
  }
  // The second run did add machines to days the first had counted.
  const firstRun = whole.subarray(0, cut).toString('latin1').split('\n').length - 1;
  const [[shared]] = await withStore(async (c) => (await c.runAndReadAll('SELECT count(DISTINCT day) FROM results WHERE file_id = 1 AND line_no > ' +
    firstRun + ' AND day IN (SELECT day FROM results WHERE file_id = 1 AND line_no <= ' + firstRun + ')')).getRowsJS());
  assert.ok(shared > 0);
});

test('a store without the groupings, or with one made by another version of its query: the same report, made again at the next ingest', async () => {
  const before = fleet('report', store, '--json', '-');
  await withStore(async (connection) => {
    await connection.run('DELETE FROM rollup_profiles');
    await connection.run("UPDATE rollup_definitions SET definition = 'SELECT an older query' WHERE name = 'profiles'");
  });
  assert.equal(fleet('report', store, '--json', '-'), before);
  assert.match(fleet('ingest', store, other), /nothing new/);
  const { profiles } = await keptAndAfresh();
  assert.ok(profiles.kept.length > 0);
  assert.deepEqual(profiles.kept, profiles.afresh);
  await withStore(async (connection) => {
    for (const name of Object.keys(ROLLUPS)) await connection.run('DROP TABLE rollup_' + name);
    await connection.run('DROP TABLE rollup_definitions');
  });
  assert.equal(fleet('report', store, '--json', '-'), before);
  assert.match(fleet('ingest', store, other), /nothing new/);
  for (const [name, { kept, afresh }] of Object.entries(await keptAndAfresh())) assert.deepEqual(kept, afresh, name);
  assert.equal(fleet('report', store, '--json', '-'), before);
});
