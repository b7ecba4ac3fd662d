// Withheld figures stay withheld: over random small stores and periods, no
// figure the report withholds can be worked out from the totals and cells
// it shows, and a period too small to show shows nothing.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { makeStore } = require('./store_fixture.js');
const { runReport } = require('../../fleet/report/report.js');
const { withheldCells, periodMinimum } = require('../../fleet/report/folding.js');
const { reportPage } = require('../../fleet/report/html.js');
const { impactFigures } = require('../../fleet/impact/impact.js');

const RADEON = { vendorID: '4098', deviceID: '20800', card: 'RADEON 9700 PRO', driver: '6.14.0010.6307' };
const KINDS = [
  {}, { result: '16', mem: '32 MB' }, { result: '96', pslevel: '1.4', ram: '255 MB' },
  Object.assign({ result: '1024', alternates: '6.14.0010.6476' }, RADEON), { result: '128', hdspace: '120 MB' },
  { result: '256', osver: '5.1 SP 1.0' }, { result: '-1' }, { result: '272', mem: '32 MB', osver: '5.0 SP 4.0' }
];
const DAYS = ['2026-03-01', '2026-03-02', '2026-03-03'];

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-withheld-'));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

// A small deterministic generator, so that a failure can be run again.
function generator(seed) {
  let state = seed >>> 0;
  return (n) => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state % n;
  };
}

async function report(store, args) {
  const out = path.join(folder, 'r' + Math.random().toString(36).slice(2) + '.json');
  assert.equal(await runReport([store, '--json', out].concat(args)), 0);
  return JSON.parse(fs.readFileSync(out, 'utf8'));
}

// The values a withheld cell can take, given its table's shown total and
// shown cells: a cell withheld for being under K holds 1 to K-1, the others
// withheld with it and the parts the report never shows any count. Each
// hidden cell's range, as [low, high]; null when the table has no total.
function ranges(total, cells, minimum) {
  if (total === null) return null;
  const hidden = cells.filter((c) => c.shown === null);
  const rest = total - cells.reduce((sum, c) => sum + (c.shown === null ? 0 : c.shown), 0);
  const bounds = hidden.map((c) => (!c.unshown && c.truth > 0 && c.truth < minimum ? [1, minimum - 1] : [0, rest]));
  const low = bounds.reduce((sum, b) => sum + b[0], 0), high = bounds.reduce((sum, b) => sum + b[1], 0);
  return hidden.map((c, i) => [Math.max(bounds[i][0], rest - (high - bounds[i][1])), Math.min(bounds[i][1], rest - (low - bounds[i][0]))]);
}

// Each table of the report as its total and cells (shown value, true value
// from the report at K = 1), a part never shown as a cell of its own.
function tables(shown, truth) {
  const out = [];
  const cell = (s, t) => ({ shown: s, truth: t });
  const unshown = (t) => ({ shown: null, truth: t, unshown: true });
  out.push(['verdicts', shown.machines, Object.keys(truth.verdicts).map((v) => cell(shown.verdicts[v].machines, truth.verdicts[v].machines))]);
  shown.requirements.forEach((q, i) => {
    const t = truth.requirements[i];
    out.push([q.id + ' states', shown.machines, [cell(q.below.machines, t.below.machines), cell(q.unknown.machines, t.unknown.machines),
      unshown(truth.machines - t.below.machines - t.unknown.machines)]]);
    out.push([q.id + ' below', q.below.machines, [cell(q.soleBlocker.machines, t.soleBlocker.machines), unshown(t.below.machines - t.soleBlocker.machines)]]);
  });
  shown.whatIf.forEach((w, i) => {
    const t = truth.whatIf[i];
    out.push([w.id + ' what-if', w.machines, [cell(shown.verdicts.meets.machines, truth.verdicts.meets.machines), cell(w.gained, t.gained)]]);
  });
  return out;
}

// Every { machines } figure of a report, with where it stands.
function figures(value, where, out) {
  if (Array.isArray(value)) value.forEach((v, i) => figures(v, where + '[' + i + ']', out));
  else if (value && typeof value === 'object') {
    if ('machines' in value && where !== 'report') out.push([where, value.machines]);
    for (const key of Object.keys(value)) figures(value[key], where + '.' + key, out);
  }
  return out;
}

function checkReport(shown, truth, minimum, label) {
  for (const [where, machines] of figures(shown, 'report', [])) {
    assert.ok(machines === null || machines === 0 || machines >= minimum, label + ' ' + where + ': ' + machines);
  }
  for (const a of shown.adapters) {
    if (a.meetsShare === null || a.meetsShare === undefined) continue;
    const meets = Math.round(a.meetsShare * a.machines);
    for (const part of [meets, a.machines - meets]) assert.ok(part === 0 || part >= minimum, label + ' adapter ' + a.vendorId + ': ' + part);
  }
  if (shown.machines === null) {
    // Nothing at all of a period too small to show.
    assert.equal(shown.results, null, label);
    assert.ok(figures(shown, 'report', []).every(([, machines]) => machines === null), label);
    for (const list of [shown.combinations, shown.adapters, shown.rejectedDrivers].concat(Object.values(shown.distributions))) {
      assert.deepEqual(list, [], label);
    }
    return;
  }
  for (const [name, total, cells] of tables(shown, truth)) {
    const found = ranges(total, cells, minimum);
    if (!found) continue;
    cells.filter((c) => c.shown === null).forEach((c, i) => {
      const [low, high] = found[i];
      // A part never shown may be worked out unless it is under K.
      if (c.unshown && !(c.truth > 0 && c.truth < minimum)) return;
      assert.ok(low <= c.truth && c.truth <= high, label + ' ' + name + ': ' + c.truth + ' outside ' + low + '..' + high);
      assert.ok(high > low, label + ' ' + name + ': a withheld ' + c.truth + ' is the only value left (' + JSON.stringify(cells) + ')');
    });
  }
}

test('random small stores and periods: every withheld figure keeps two values or more', async () => {
  const random = generator(21);
  let withheldSeen = 0, periodsWithheld = 0;
  for (let s = 0; s < 12; s++) {
    const groups = [];
    for (let g = 1 + random(6); g > 0; g--) {
      groups.push({ count: 1 + random(s % 3 === 0 ? 4 : 14), values: KINDS[random(KINDS.length)], day: DAYS[random(DAYS.length)] });
    }
    const store = path.join(folder, 'store' + s + '.duckdb');
    await makeStore(store, groups);
    for (let p = 0; p < 3; p++) {
      const from = random(DAYS.length), to = from + random(DAYS.length - from);
      const period = ['--from', DAYS[from], '--to', DAYS[to]];
      const minimum = 3 + random(5);
      const truth = await report(store, period.concat('--min-machines', '1'));
      const shown = await report(store, period.concat('--min-machines', String(minimum)));
      const label = 'store ' + s + ' ' + period.join(' ') + ' K ' + minimum + ':';
      checkReport(shown, truth, minimum, label);
      withheldSeen += figures(shown, 'report', []).filter(([, m]) => m === null).length;
      if (shown.machines === null) periodsWithheld++;
    }
  }
  // The stores are small enough that both cases come up.
  assert.ok(withheldSeen > 0 && periodsWithheld > 0, withheldSeen + ' ' + periodsWithheld);
});

test('one machine: nothing of it is shown, zeros and totals included', async () => {
  const store = path.join(folder, 'one.duckdb');
  await makeStore(store, [{ count: 1, values: { result: '96', pslevel: '1.4', ram: '255 MB' }, day: DAYS[0] },
    { count: 12, values: {}, day: DAYS[1] }]);
  const one = await report(store, ['--to', DAYS[0]]);
  assert.equal(one.machines, null);
  assert.ok(Object.values(one.verdicts).every((v) => v.machines === null && v.share === null));
  assert.ok(one.requirements.every((q) => q.below.machines === null && q.unknown.machines === null && q.soleBlocker.machines === null));
  assert.ok(one.whatIf.every((w) => w.machines === null && w.gained === null));
  assert.match(reportPage(one), /Too few machines to show any figure/);
  const impact = impactFigures([], [], 1, 10, 0);
  assert.deepEqual([impact.machines, impact.notJudged.machines, impact.newlyRejected.machines], [null, null, null]);
  // With the twelve of the next day the one below is withheld with the twelve that meet.
  const both = await report(store, []);
  assert.equal(both.machines, 13);
  assert.deepEqual(Object.values(both.verdicts).map((v) => v.machines), [null, null, 0, 0]);
});

test('the cells withheld with one under K, and the periods shown', () => {
  // The one under K takes the smallest cell of K or more, never a zero.
  assert.deepEqual(withheldCells([50, 3, 0, 12], 10), [false, true, false, true]);
  assert.deepEqual(withheldCells([12, 12, 3, 4], 10), [true, false, true, true]);
  assert.deepEqual(withheldCells([50, 0, 10, 0], 10), [false, false, false, false]);
  // A part never shown of K or more is second enough; one under K takes a shown one.
  assert.deepEqual(withheldCells([3, 0, 40], 10, [2]), [true, false, true]);
  assert.deepEqual(withheldCells([30, 12, 4], 10, [2]), [false, true, true]);
  assert.deepEqual(withheldCells([30, 0, 40], 10, [2]), [false, false, true]);
  // A period is shown when a verdict has K machines, not only its total.
  assert.equal(periodMinimum([9, 9, 9, 9], 10), 37);
  assert.equal(periodMinimum([10, 0, 0, 0], 10), 10);
  assert.equal(periodMinimum([0, 0, 0, 0], 10), 10);
});
