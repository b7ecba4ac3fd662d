// The report over a simulated log, through simulate and ingest: every figure
// the simulation tallied by itself, and no row under K machines at K = 10.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const page = require('../../resultpage/result.js');
const bins = require('../../fleet/report/bins.js');
const { loadPciIds } = require('../../fleet/report/pci_ids.js');
const { runReport } = require('../../fleet/report/report.js');

const FLEET = path.join(__dirname, '../../scripts/vidrake-fleet');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-tally-'));
const log = path.join(folder, 'access.log'), store = path.join(folder, 'store.duckdb');
let tally;

test.before(() => {
  execFileSync(FLEET, ['simulate', '30000', '--out', log, '--seed', '16'], { stdio: 'ignore' });
  execFileSync(FLEET, ['ingest', store, log], { stdio: 'ignore' });
  tally = JSON.parse(fs.readFileSync(log + '.tally.json', 'utf8'));
});
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

async function report(...args) {
  const out = path.join(folder, 'report-' + args.join('') + '.json');
  assert.equal(await runReport([store, '--json', out, ...args]), 0);
  return JSON.parse(fs.readFileSync(out, 'utf8'));
}

function megabytes(text) {
  const m = /^\s*(-?[0-9]{1,10}) ?MB\s*$/.exec(text);
  return m ? Number(m[1]) : null;
}

// The tally counts machines by each raw value of the address ("null": not in
// it); the report's bins over the same machines.
function binned(raw, label) {
  const out = {};
  for (const [value, machines] of Object.entries(raw)) {
    const name = label(value === 'null' ? null : value);
    out[name] = (out[name] || 0) + machines;
  }
  return out;
}

function windowsLabel(osver) {
  if (osver === null || !/^\s*\d{1,5}\.\d{1,5} SP \d{1,5}\.\d{1,5}\s*$/.test(osver)) return bins.UNKNOWN;
  const row = page.judge({ present: true, items: { result: '0', osver }, found: [], outOfOrder: [], unread: [] }).rows.find((r) => r.requirement === 'windows');
  return row.found.replace(/ \(version [^)]*\)$/, '');
}

const asTable = (rows) => Object.fromEntries(rows.map((r) => [r.label, r.machines]));

test('every figure the simulation tallied, K = 1', async () => {
  const r = await report('--min-machines', '1');
  assert.deepEqual(r.lines, tally.lines);
  assert.equal(r.results, tally.results);
  assert.equal(r.machines, tally.machines);
  assert.deepEqual(Object.fromEntries(Object.entries(r.verdicts).map(([k, v]) => [k, v.machines])), tally.verdicts);
  for (const q of r.requirements) {
    assert.deepEqual({ below: q.below.machines, unknown: q.unknown.machines }, tally.requirements[q.id], q.id);
  }
  const d = tally.distributions, pci = loadPciIds();
  const memory = (text) => { const mb = text === null ? null : megabytes(text); return bins.videoMemoryBin(mb !== null && mb > 0 ? mb : null); };
  assert.deepEqual(asTable(r.distributions.videoMemory), binned(d.mem, memory));
  assert.deepEqual(asTable(r.distributions.pixelShader), binned(d.pslevel, bins.pixelShaderBin));
  assert.deepEqual(asTable(r.distributions.directx), binned(d.dxver, bins.directxBin));
  assert.deepEqual(asTable(r.distributions.windows), binned(d.osver, windowsLabel));
  assert.deepEqual(asTable(r.distributions.ram), binned(d.ram, (t) => bins.ramBin(t === null ? null : megabytes(t))));
  assert.deepEqual(asTable(r.distributions.disk), binned(d.hdspace, (t) => bins.diskBin(t === null ? null : megabytes(t))));
  const vendor = (t) => (t === null || !/^\s*-?\d{1,10}\s*$/.test(t) ? bins.UNKNOWN : pci.vendorName(Number(t)) || 'vendor 0x' + (Number(t) >>> 0).toString(16).toUpperCase().padStart(4, '0'));
  assert.deepEqual(asTable(r.distributions.vendor), binned(d.vendorID, vendor));
  // Adapters: the tally's machines by adapter and driver, summed per adapter.
  const adapters = {};
  for (const [key, machines] of Object.entries(tally.drivers)) {
    const [v, dev] = key.split('|');
    const id = [v, dev].map((t) => (/^\s*-?\d{1,10}\s*$/.test(t) ? String(Number(t)) : 'null')).join('/');
    adapters[id] = (adapters[id] || 0) + machines;
  }
  assert.deepEqual(Object.fromEntries(r.adapters.map((a) => [a.vendorId + '/' + a.deviceId, a.machines])), adapters);
  // Every machine below falls short of some set; one the check could not run
  // on (-1) may fall short of its own findings too.
  const inSets = r.combinations.reduce((n, c) => n + c.machines, 0);
  assert.ok(inSets >= tally.verdicts.below && inSets <= tally.verdicts.below + tally.verdicts.notRun, inSets);
});

test('K = 10: no row under 10 machines in any table, and the tables still add up', async () => {
  const r = await report();
  const tables = Object.assign({ combinations: r.combinations, adapters: r.adapters, rejectedDrivers: r.rejectedDrivers }, r.distributions);
  for (const [name, rows] of Object.entries(tables)) {
    for (const row of rows) assert.ok(row.machines >= 10, name + ': ' + JSON.stringify(row));
  }
  for (const [name, rows] of Object.entries(r.distributions)) assert.equal(rows.reduce((n, row) => n + row.machines, 0), tally.machines, name);
  assert.equal(r.adapters.reduce((n, a) => n + a.machines, 0), tally.machines);
  assert.ok(r.folded.adapters > 0, 'a simulated year has rare adapters to fold');
});
