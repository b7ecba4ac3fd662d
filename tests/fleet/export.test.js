// The Parquet export: month folders, the report over them equal to the
// report over the store, no day keys, and a target that is refused.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { makeStore } = require('./store_fixture.js');
const { runExport } = require('../../fleet/store/export.js');
const { runReport } = require('../../fleet/report/report.js');

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-export-'));
const store = path.join(folder, 'store.duckdb');
test.before(() => makeStore(store, [
  { count: 14, values: {}, day: '2026-01-31', repeats: 3 },
  { count: 12, values: { result: '16', mem: '32 MB' }, day: '2026-02-01' },
  { count: 11, values: { result: '1024', alternates: '6.14.0010.7164', driver: '6.14.0010.6177' }, day: '2026-03-15', repeats: 2 },
  { count: 2, values: { result: '-1' }, day: '2026-03-16' }
]));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

function listing(dir) {
  return fs.readdirSync(dir, { recursive: true }).filter((f) => fs.statSync(path.join(dir, f)).isFile()).sort();
}

async function reportOf(source, args) {
  const out = path.join(folder, 'report-' + Math.random().toString(36).slice(2) + '.json');
  assert.equal(await runReport([source, '--json', out, ...args]), 0);
  return fs.readFileSync(out, 'utf8');
}

test('export by month; the report over the folder is the report over the store', async () => {
  const dir = path.join(folder, 'parquet');
  assert.equal(await runExport([store, dir]), 0);
  assert.deepEqual(listing(dir), ['files/files.parquet', 'results/month=2026-01/data_0.parquet',
    'results/month=2026-02/data_0.parquet', 'results/month=2026-03/data_0.parquet']);
  for (const args of [['--min-machines', '1'], [], ['--from', '2026-02-01', '--to', '2026-03-15', '--min-machines', '2']]) {
    const fromStore = await reportOf(store, args);
    assert.equal(await reportOf(dir, args), fromStore, args.join(' '));
    assert.ok(JSON.parse(fromStore).machines > 0);
  }
});

test('export refuses a folder that holds something, and a missing store; nothing half-written', async () => {
  const full = path.join(folder, 'full');
  fs.mkdirSync(full);
  fs.writeFileSync(path.join(full, 'keep.txt'), 'mine');
  const quiet = process.stderr.write;
  process.stderr.write = () => true;
  try {
    assert.equal(await runExport([store, full]), 2);
    assert.equal(await runExport([path.join(folder, 'no-store'), path.join(folder, 'out')]), 2);
    assert.equal(await runExport([store]), 2);
  } finally {
    process.stderr.write = quiet;
  }
  assert.deepEqual(fs.readdirSync(full), ['keep.txt']);
  assert.equal(fs.existsSync(path.join(folder, 'out')), false);
  assert.deepEqual(fs.readdirSync(folder).filter((f) => f.includes('.partial-')), []);
});
