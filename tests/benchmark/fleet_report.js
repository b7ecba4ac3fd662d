// Benchmark line of the fleet report: a full report over RESULTS results
// (default 100,000,000), its trends month by month included. The rows are made from a simulated log that ingest
// reads, then replicated inside DuckDB as the same machines in later years,
// and the store's groupings made again over them, as ingest keeps them.
//   node tests/benchmark/fleet_report.js [RESULTS [STORE]]
// STORE: start from a copy of an ingested store instead of a fresh simulation.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { DuckDBInstance } = require('@duckdb/node-api');
const { ROLLUPS, createRollups } = require('../../fleet/store/rollups.js');

const FLEET = path.join(__dirname, '../../scripts/vidrake-fleet');
const TARGET_MS = 10000;

async function replicate(store, wanted) {
  const instance = await DuckDBInstance.create(store);
  const connection = await instance.connect();
  const count = async () => Number((await connection.runAndReadAll('SELECT count(*) FROM results')).getRows()[0][0]);
  const ingested = await count();
  const copies = Math.ceil(wanted / ingested);
  // Each copy is the ingested year again, later: its days are new, so the
  // groupings grow with the results as they would over years (a real store's
  // busier days would share more of their groups). Whole copies, in any
  // order, so that both cores write.
  await connection.run('SET preserve_insertion_order = false');
  await connection.run('CREATE TEMP TABLE ingested AS SELECT * FROM results');
  await connection.run('INSERT INTO results SELECT * EXCLUDE (copy) REPLACE (line_no + copy * 10000000000 AS line_no, ' +
    'day + CAST(copy * 365 AS INTEGER) AS day, seen_at + to_days(CAST(copy * 365 AS INTEGER)) AS seen_at) ' +
    'FROM ingested, range(1, ' + copies + ') AS copies(copy)');
  const started = Date.now();
  for (const name of Object.keys(ROLLUPS)) await connection.run('DROP TABLE IF EXISTS rollup_' + name);
  await createRollups(connection);
  const groupingMs = Date.now() - started;
  await connection.run('CHECKPOINT');
  const total = await count();
  const groups = Number((await connection.runAndReadAll('SELECT count(*) FROM rollup_adapters')).getRows()[0][0]);
  connection.closeSync();
  instance.closeSync();
  return { ingested, total, groupingMs, groups };
}

async function main() {
  const wanted = Number(process.argv[2] || 100000000);
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-report-benchmark-'));
  try {
    const log = path.join(folder, 'access.log'), store = path.join(folder, 'store.duckdb');
    if (process.argv[3]) {
      fs.copyFileSync(process.argv[3], store);
    } else {
      execFileSync(FLEET, ['simulate', '2000000', '--out', log, '--seed', '1'], { stdio: 'ignore' });
      execFileSync(FLEET, ['ingest', store, log], { stdio: 'ignore' });
    }
    const { ingested, total, groupingMs, groups } = await replicate(store, wanted);
    const started = process.hrtime.bigint();
    execFileSync(FLEET, ['report', store, '--json', path.join(folder, 'report.json')], { stdio: 'ignore' });
    const ms = Number(process.hrtime.bigint() - started) / 1e6;
    const months = JSON.parse(fs.readFileSync(path.join(folder, 'report.json'), 'utf8')).trends.periods.length;
    if (!months) throw new Error('the report has no trends');
    const row = (name, value, target) => process.stdout.write(name.padEnd(48) + ' ' + value.padStart(12) + ' ' + ''.padStart(12) + ' ' + ''.padStart(8) + ' ' + target.padStart(8) + '\n');
    row('fleet report with trends, ' + total.toLocaleString('en-US') + ' results', ms.toFixed(0), '< ' + TARGET_MS);
    process.stdout.write('(the fleet report\'s results: ' + ingested.toLocaleString('en-US') + ' ingested from a simulated log, ' +
      'replicated inside DuckDB as the same machines in later years; the groupings ingest keeps made over all of them in ' +
      (groupingMs / 1000).toFixed(1) + ' s, ' + groups.toLocaleString('en-US') + ' rows of adapters by day; trends over ' + months + ' months)\n');
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().catch((error) => { process.stderr.write(String(error && error.stack || error) + '\n'); process.exitCode = 1; });
