// The planner: over a hand-made store whose every figure is known, at K = 1
// and with figures withheld; over a simulated log against its tally; and
// its arguments.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const page = require('../../resultpage/result.js');
const { makeStore } = require('./store_fixture.js');
const { runPlan } = require('../../fleet/plan/plan.js');
const { shownCurve } = require('../../fleet/plan/plan_figures.js');

const FLEET = path.join(__dirname, '..', '..', 'scripts', 'vidrake-fleet');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-plan-'));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

const NEXT = ['--min', 'memory=128', '--min', 'shader=3.0', '--min', 'ram=1024', '--min', 'windows=xp-sp3'];
// Every machine of the address defaults meets the next minimums too.
const GROUPS = [
  { count: 30, values: {} },
  { count: 20, values: { mem: '64 MB' } },                        // meets today, short of 128 MB alone
  { count: 15, values: { pslevel: '2.0', ram: '768 MB' } },       // short of two new minimums
  { count: 12, values: { osver: '5.1 SP 2.0' } },                 // short of XP SP3 alone
  { count: 11, values: { result: '16', mem: '32 MB' } },          // below today already
  { count: 10, values: { result: '4', mem: '' } },                // memory unknown
  { count: 3, values: { pslevel: '2.0', osver: '5.2 SP 2.0' } }   // short of pixel shader 3.0 alone
].map((g, i) => Object.assign({ day: '2026-05-0' + (1 + (i % 3)) }, g));

let store;
test.before(async () => {
  store = path.join(folder, 'plan.duckdb');
  await makeStore(store, GROUPS);
});

async function plan(args) {
  const out = path.join(folder, 'p' + Math.random().toString(36).slice(2) + '.json');
  assert.equal(await runPlan([store, '--json', out].concat(args)), 0);
  return JSON.parse(fs.readFileSync(out, 'utf8'));
}

function column(p, field) {
  return Object.fromEntries(p.requirements.map((r) => [r.id, r[field].machines]));
}

function curve(p, id) {
  return Object.fromEntries(p.curves[id].map((point) => [point.step, point.machines]));
}

test('every figure of a hand-made store at K = 1', async () => {
  const p = await plan(NEXT.concat('--min-machines', '1'));
  assert.equal(p.machines, 101);
  assert.equal(p.meetsToday.machines, 80);
  assert.equal(p.meets.machines, 30);
  assert.ok(p.meets.low < 30 / 101 && p.meets.high > 30 / 101);
  assert.deepEqual(p.minimums, { memory: '128', shader: '3.0', ram: '1024', windows: 'xp-sp3' });
  assert.deepEqual(column(p, 'lost'), { directx: 0, memory: 20, shader: 18, ram: 15, disk: 0, windows: 12 });
  assert.deepEqual(column(p, 'lostAlone'), { directx: 0, memory: 20, shader: 3, ram: 0, disk: 0, windows: 12 });
  assert.deepEqual(column(p, 'unknown'), { directx: 0, memory: 10, shader: 0, ram: 0, disk: 0, windows: 0 });
  const memory = p.requirements.find((r) => r.id === 'memory');
  assert.deepEqual([memory.name, memory.today, memory.minimum, memory.changed], ['Video memory', '64 MB', '128 MB', true]);
  assert.equal(p.requirements.find((r) => r.id === 'disk').changed, false);
  assert.deepEqual(curve(p, 'memory'), { 8: 91, 16: 91, 32: 91, 64: 80, 128: 60, 256: 60, 512: 0, 1024: 0, 2048: 0, 4096: 0 });
  assert.equal(curve(p, 'shader')['3.0'], 83);
  assert.equal(curve(p, 'shader')['2.0'], 101);
  assert.deepEqual([curve(p, 'windows')['xp-sp2'], curve(p, 'windows')['xp-sp3'], curve(p, 'windows').vista], [101, 89, 86]);
});

test('the plan\'s page: static, the figures as the JSON gives them', async () => {
  const html = path.join(folder, 'plan.html');
  assert.equal(await runPlan([store, '--html', html].concat(NEXT)), 0);
  const text = fs.readFileSync(html, 'utf8');
  assert.equal(/<script|\bsrc="/i.test(text), false);
  assert.ok(text.includes('<title>the planned minimums: 30 (29.7%, 95% '), 'meets');
  assert.ok(text.includes('<td><bdi>Pixel shader</bdi></td><td><bdi>version 3.0</bdi></td><td><bdi>18 (17.8%, '), 'lost');
});

test('a lowered minimum gains the machines below today on it alone', async () => {
  const p = await plan(['--min', 'memory=32', '--min-machines', '1']);
  assert.equal(p.meets.machines, 91);
  assert.deepEqual(column(p, 'lost'), { directx: 0, memory: 0, shader: 0, ram: 0, disk: 0, windows: 0 });
});

test('figures under K are withheld, with one more where the rest would give them away', async () => {
  const p = await plan(NEXT.concat('--min-machines', '10'));
  assert.equal(p.machines, 101);
  // 3 machines are short of pixel shader 3.0 alone: withheld, and with them the next smallest shown.
  assert.deepEqual(column(p, 'lostAlone'), { directx: 0, memory: 20, shader: null, ram: 0, disk: 0, windows: null });
  assert.deepEqual(column(p, 'lost'), { directx: 0, memory: 20, shader: 18, ram: 15, disk: 0, windows: 12 });
  const at15 = await plan(NEXT.concat('--min-machines', '15'));
  // 11 machines hold 32 MB: the points that would differ by them are withheld.
  assert.deepEqual(curve(at15, 'memory'), { 8: null, 16: null, 32: null, 64: 80, 128: 60, 256: 60, 512: 0, 1024: 0, 2048: 0, 4096: 0 });
  assert.equal(column(at15, 'unknown').memory, null);
  assert.equal(column(at15, 'lost').windows, null);
  const tiny = await plan(NEXT.concat('--min-machines', '200'));
  assert.equal(tiny.machines, null);
  assert.equal(tiny.meets.machines, null);
  assert.ok(Object.values(tiny.curves).every((points) => points.every((point) => point.machines === null)));
});

test('no two points of a curve shown, nor the total and a point, differ by 1 to K-1', () => {
  let seed = 5;
  const next = (n) => (seed = (Math.imul(seed, 1664525) + 1013904223) >>> 0) % n;
  for (let round = 0; round < 300; round++) {
    const minimum = 1 + next(12), total = next(120);
    const atLeast = [];
    let left = total;
    for (let k = 0; k < 8; k++) atLeast.push(left = left - next(Math.min(left, 15) + 1));
    const shown = shownCurve(atLeast, total, minimum);
    if (total > 0 && total < minimum) {
      assert.ok(shown.every((s) => !s), 'a total under K shows no point');
      continue;
    }
    const points = [0, total].concat(atLeast.filter((n, k) => shown[k]));
    for (const a of points) for (const b of points) assert.ok(Math.abs(a - b) === 0 || Math.abs(a - b) >= minimum, JSON.stringify({ atLeast, total, minimum, shown }));
  }
});

test('over a simulated log the plan agrees with its tally', () => {
  const log = path.join(folder, 'sim.log'), simulated = path.join(folder, 'sim.duckdb');
  execFileSync(FLEET, ['simulate', '4000', '--out', log, '--seed', '22', '--days', '60'], { stdio: 'ignore' });
  execFileSync(FLEET, ['ingest', simulated, log], { stdio: 'ignore' });
  const tally = JSON.parse(fs.readFileSync(log + '.tally.json', 'utf8'));
  const out = path.join(folder, 'sim.json');
  execFileSync(FLEET, ['plan', simulated, '--min-machines', '1', '--json', out, '--min', 'memory=128', '--min', 'ram=256']);
  const p = JSON.parse(fs.readFileSync(out, 'utf8'));
  assert.equal(p.machines, tally.machines);
  assert.equal(p.meetsToday.machines, tally.verdicts.meets);
  for (const r of p.requirements) assert.equal(r.unknown.machines, tally.requirements[r.id].unknown, r.id);
  // RAM is lowered: only video memory loses machines, and what it loses is all the change but the gains.
  assert.equal(column(p, 'lost').ram, 0);
  assert.ok(p.meetsToday.machines - column(p, 'lost').memory <= p.meets.machines);
  // The RAM curve from the tally's raw values: at or above each step, of those the page reads a size from.
  for (const point of p.curves.ram) {
    const expected = Object.entries(tally.distributions.ram).reduce((n, [text, machines]) => {
      const mb = page.megabytes(text === 'null' ? null : text);
      return n + (mb !== null && mb >= Number(point.step) ? machines : 0);
    }, 0);
    assert.equal(point.machines, expected, 'RAM at ' + point.step);
  }
});

test('its arguments are checked before the store is opened', async () => {
  const status = (args) => execFileSync(FLEET, args, { stdio: 'pipe' }) && 0;
  const fails = (args, message) => {
    try {
      status(args);
      assert.fail('accepted ' + args.join(' '));
    } catch (error) {
      assert.equal(error.status, 2, args.join(' '));
      assert.match(String(error.stderr), message);
    }
  };
  fails(['plan', store], /at least one --min/);
  fails(['plan', store, '--min', 'colour=256'], /REQUIREMENT one of directx, memory, shader, ram, disk, windows/);
  fails(['plan', store, '--min', 'windows=xp-sp5'], /xp-sp3/);
  fails(['plan', store, '--min', 'memory=lots'], /megabytes of video memory/);
  fails(['plan', store, '--min', 'memory=128', '--min', 'memory=256'], /given twice/);
  fails(['plan', path.join(folder, 'none.duckdb'), '--min', 'memory=128'], /no store/);
});
