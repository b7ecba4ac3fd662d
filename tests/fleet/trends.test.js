// The report's trends: month by month and week by week over a hand-made
// store whose every figure is known, withheld across periods as within one,
// and summed back to a simulated log's tally.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { makeStore } = require('./store_fixture.js');
const { runReport } = require('../../fleet/report/report.js');
const { hideTogether, withheld } = require('../../fleet/report/folding.js');

const FLEET = path.join(__dirname, '..', '..', 'scripts', 'vidrake-fleet');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-trends-'));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

const store = path.join(folder, 'trends.duckdb');
test.before(() => makeStore(store, [
  { count: 30, values: {}, day: '2026-01-10' },
  { count: 12, values: { result: '16', mem: '32 MB' }, day: '2026-01-10' },
  { count: 25, values: {}, day: '2026-02-10' },
  { count: 4, values: { result: '16', mem: '32 MB' }, day: '2026-02-10' },
  { count: 11, values: { result: '32', pslevel: '1.4' }, day: '2026-02-10' },
  { count: 12, values: {}, day: '2026-03-03' },
  { count: 8, values: {}, day: '2026-03-04' },
  { count: 3, values: { result: '-1' }, day: '2026-03-04' }
]));

async function report(args) {
  const out = path.join(folder, 'r' + Math.random().toString(36).slice(2) + '.json');
  assert.equal(await runReport([store, '--json', out].concat(args)), 0);
  return JSON.parse(fs.readFileSync(out, 'utf8'));
}

const below = (p, id) => p.requirements.find((r) => r.id === id).below;
const bin = (p, name, label) => p.distributions[name].find((d) => d.label === label);

test('month by month at K = 1: every figure, and its change in points', async () => {
  const { trends } = await report(['--min-machines', '1']);
  assert.equal(trends.by, 'month');
  assert.deepEqual(trends.periods.map((p) => [p.period, p.machines]), [['2026-01', 42], ['2026-02', 40], ['2026-03', 23]]);
  const [jan, feb, mar] = trends.periods;
  assert.deepEqual([jan.verdicts.meets.machines, feb.verdicts.meets.machines, mar.verdicts.meets.machines, mar.verdicts.notRun.machines], [30, 25, 20, 3]);
  assert.equal(jan.verdicts.meets.change, null);
  assert.equal(feb.verdicts.meets.change, -8.9286); // 62.5% after 71.4286%
  assert.equal(mar.verdicts.meets.change, 24.4565);
  assert.deepEqual([below(jan, 'memory').machines, below(feb, 'memory').machines, below(mar, 'memory').machines], [12, 4, 0]);
  assert.equal(feb.requirements.find((r) => r.id === 'shader').soleBlocker.machines, 11);
  assert.deepEqual(feb.distributions.videoMemory.map((d) => [d.label, d.machines]), [['32 MB', 4], ['256 MB', 36]]);
  assert.equal(bin(jan, 'videoMemory', '256 MB').share, 0.714286);
});

test('a figure under K is withheld with what would give it away, in its period and across periods', async () => {
  const r = await report(['--min-machines', '10']);
  const [jan, feb, mar] = r.trends.periods;
  assert.deepEqual([jan.machines, feb.machines, mar.machines], [42, 40, 23]);
  // 3 not run in March: withheld, and with them March's 20 that meet.
  assert.deepEqual([mar.verdicts.notRun.machines, mar.verdicts.meets.machines, mar.verdicts.meets.change], [null, null, null]);
  assert.equal(feb.verdicts.meets.change, -8.9286);
  // 4 below on video memory in February: the 12 of January go too, else the report's 16 would give the 4 away.
  assert.equal(r.requirements.find((q) => q.id === 'memory').below.machines, 16);
  assert.deepEqual([below(jan, 'memory').machines, below(feb, 'memory').machines, below(mar, 'memory').machines], [null, null, 0]);
  // February's 4 with 32 MB take its 256 MB with them (its 40 machines are shown), and
  // January's 12 go as below on memory: no period shows 32 MB, which is then not listed.
  assert.equal(bin(feb, 'videoMemory', '256 MB').machines, null);
  assert.deepEqual(r.trends.periods.map((p) => p.distributions.videoMemory.map((d) => d.label)), [['256 MB'], ['256 MB'], ['256 MB']]);
  assert.equal(bin(jan, 'videoMemory', '256 MB').machines, 30);
  assert.equal(below(feb, 'shader').machines, 11);
  // A period too small shows nothing, and takes the smallest other with it.
  const small = await report(['--min-machines', '24']);
  assert.deepEqual(small.trends.periods.map((p) => p.machines), [42, null, null]);
  assert.ok(small.trends.periods.slice(1).every((p) => Object.values(p.verdicts).every((v) => v.machines === null)));
});

test('week by week: ISO weeks, the empty ones between included', async () => {
  const { trends } = await report(['--min-machines', '1', '--by', 'week']);
  assert.equal(trends.by, 'week');
  assert.deepEqual(trends.periods.map((p) => p.period), ['2026-W02', '2026-W03', '2026-W04', '2026-W05', '2026-W06', '2026-W07', '2026-W08', '2026-W09', '2026-W10']);
  assert.deepEqual(trends.periods.map((p) => p.machines), [42, 0, 0, 0, 0, 40, 0, 0, 23]);
  const csv = path.join(folder, 'trends.csv');
  assert.equal(await runReport([store, '--min-machines', '1', '--by', 'week', '--trends-csv', csv]), 0);
  const lines = fs.readFileSync(csv, 'utf8').trimEnd().split('\r\n');
  assert.equal(lines[0], 'period,table,row,machines,share,low,high,change');
  assert.ok(lines.includes('"2026-W07","verdicts","meets",25,0.625,0.470324,0.75777,'), lines.slice(0, 8).join('\n'));
  assert.equal(await runReport([store, '--by', 'day']), 2);
});

test('withheld together: no line of a grid keeps 1 to K-1 machines hidden beside a cell it shows', () => {
  let seed = 9;
  const next = (n) => (seed = (Math.imul(seed, 1664525) + 1013904223) >>> 0) % n;
  for (let round = 0; round < 200; round++) {
    const minimum = 2 + next(10), rows = 1 + next(5), columns = 1 + next(5);
    const cells = Array.from({ length: rows }, () => Array.from({ length: columns }, () => {
      const machines = next(3) ? next(30) : 0;
      return { machines, hidden: withheld(machines, minimum) };
    }));
    const lines = cells.concat(Array.from({ length: columns }, (x, k) => cells.map((row) => row[k])));
    hideTogether(lines, minimum);
    for (const line of lines) {
      const hidden = line.reduce((n, c) => n + (c.hidden ? c.machines : 0), 0);
      const open = line.some((c) => !c.hidden && c.machines > 0);
      assert.ok(!open || !withheld(hidden, minimum), JSON.stringify({ minimum, line }));
    }
  }
});

test('over a simulated log the months add up to its tally', () => {
  const log = path.join(folder, 'sim.log'), simulated = path.join(folder, 'sim.duckdb'), out = path.join(folder, 'sim.json');
  execFileSync(FLEET, ['simulate', '3000', '--out', log, '--seed', '23', '--days', '90'], { stdio: 'ignore' });
  execFileSync(FLEET, ['ingest', simulated, log], { stdio: 'ignore' });
  execFileSync(FLEET, ['report', simulated, '--min-machines', '1', '--json', out]);
  const tally = JSON.parse(fs.readFileSync(log + '.tally.json', 'utf8')), r = JSON.parse(fs.readFileSync(out, 'utf8'));
  assert.equal(r.trends.periods.length, 3);
  const sum = (pick) => r.trends.periods.reduce((n, p) => n + pick(p), 0);
  assert.equal(sum((p) => p.machines), tally.machines);
  for (const [field, machines] of Object.entries(tally.verdicts)) assert.equal(sum((p) => p.verdicts[field].machines), machines, field);
  for (const [id, counts] of Object.entries(tally.requirements)) assert.equal(sum((p) => below(p, id).machines), counts.below, id);
});
