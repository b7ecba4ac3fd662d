// A plan's figures from the period's machines grouped by their values: each
// group judged by the result page's own judge, with today's minimums and
// with the new ones, and folded at K like the report's.
'use strict';
const page = require('../../resultpage/result.js');
const { storedReading } = require('../store/stored_reading.js');
const { shownFigure, withheld, withheldCells, periodMinimum } = require('../report/folding.js');
const { PLANNED, curveSteps } = require('./minimums.js');

const { VERDICTS, STATES } = page;

function judged(row, minimums) {
  return page.judge(storedReading(row), { summary: false, minimums });
}

function without(minimums, id) {
  const rest = Object.assign({}, minimums);
  delete rest[id];
  return rest;
}

function stateOf(result, id) {
  return result.rows[page.REQUIREMENT_IDS.indexOf(id)].state;
}

// The counts behind a plan: { total, verdictsToday, meetsToday, meets, and
// per requirement lost, lostAlone, unknown, and at each curve step, the
// machines that meet it }.
function planCounts(valueRows, minimums, steps) {
  const counts = { total: 0, verdictsToday: {}, meetsToday: 0, meets: 0, requirements: {}, curves: {} };
  for (const verdict of Object.values(VERDICTS)) counts.verdictsToday[verdict] = 0;
  for (const id of PLANNED) {
    counts.requirements[id] = { lost: 0, lostAlone: 0, unknown: 0 };
    counts.curves[id] = steps[id].map(() => 0);
  }
  const deepest = Math.max(...PLANNED.map((id) => steps[id].length));
  for (const row of valueRows) {
    const n = row.machines, today = judged(row, null), planned = judged(row, minimums);
    counts.total += n;
    counts.verdictsToday[today.verdict] += n;
    if (today.verdict === VERDICTS.meets) counts.meetsToday += n;
    if (planned.verdict === VERDICTS.meets) counts.meets += n;
    for (const id of PLANNED) {
      const r = counts.requirements[id], state = stateOf(planned, id);
      if (today.verdict === VERDICTS.meets && state === STATES.below) r.lost += n;
      if (state === STATES.unknown) r.unknown += n;
      if (planned.verdict !== VERDICTS.meets && judged(row, without(minimums, id)).verdict === VERDICTS.meets) r.lostAlone += n;
    }
    // One judgement per step gives every requirement's state at its step.
    for (let k = 0; k < deepest; k++) {
      const atStep = {};
      for (const id of PLANNED) if (k < steps[id].length) atStep[id] = steps[id][k];
      const result = judged(row, atStep);
      for (const id of Object.keys(atStep)) if (stateOf(result, id) === STATES.meets) counts.curves[id][k] += n;
    }
  }
  return counts;
}

// The points of a curve shown: from the highest step down, a point only
// where the machines between it and the last point shown, and those below
// it, are each none or at least K; no point's machines less another's, nor
// the total less a point's, is then 1 to K-1.
function shownCurve(atLeast, total, minimum) {
  const shown = atLeast.map(() => false);
  let last = 0;
  for (let k = atLeast.length - 1; k >= 0; k--) {
    if (withheld(total, minimum) || withheld(atLeast[k] - last, minimum) || withheld(total - atLeast[k], minimum)) continue;
    shown[k] = true;
    last = atLeast[k];
  }
  return shown;
}

// A figure among the machines: withheld when it or the rest is 1 to K-1.
function partFigure(count, total, minimum, alsoHidden) {
  const hidden = alsoHidden || withheldCells([count, total - count], minimum, [1])[0];
  return shownFigure(hidden ? null : count, total, minimum);
}

// The plan record. valueRows: the period's machines grouped by their
// values ({ mask, mem, pslevel, dxver, hdspace, ram, osver, driver, machines }).
function planFigures(valueRows, minimums, minimum) {
  const steps = curveSteps();
  const c = planCounts(valueRows, minimums, steps);
  const floor = periodMinimum(Object.values(c.verdictsToday), minimum);
  const total = c.total;
  const meetsToday = partFigure(c.meetsToday, total, floor);
  // Both shown, they differ by none or by K or more.
  const meets = partFigure(c.meets, total, floor, meetsToday.machines !== null && withheld(Math.abs(c.meetsToday - c.meets), floor));
  // The losses overlap and the gains are not shown, yet a column's figures
  // are withheld together like a table's cells.
  const lost = withheldCells(PLANNED.map((id) => c.requirements[id].lost), floor);
  const lostAlone = withheldCells(PLANNED.map((id) => c.requirements[id].lostAlone), floor);
  const requirements = PLANNED.map((id, i) => {
    const r = c.requirements[id], requirement = page.REQUIREMENTS[page.REQUIREMENT_IDS.indexOf(id)];
    return {
      id, name: requirement[1], today: requirement[2],
      minimum: minimums[id] ? minimums[id].text : requirement[2], changed: Boolean(minimums[id]),
      lost: shownFigure(lost[i] ? null : r.lost, total, floor),
      lostAlone: shownFigure(lostAlone[i] ? null : r.lostAlone, total, floor),
      unknown: partFigure(r.unknown, total, floor)
    };
  });
  const curves = {};
  for (const id of PLANNED) {
    const shown = shownCurve(c.curves[id], total, floor);
    curves[id] = steps[id].map((step, k) => Object.assign({ step: step.value, label: step.text }, shownFigure(shown[k] ? c.curves[id][k] : null, total, floor)));
  }
  return {
    machines: withheld(total, floor) ? null : total,
    minimums: Object.fromEntries(Object.keys(minimums).map((id) => [id, minimums[id].value])),
    meets, meetsToday, requirements, curves
  };
}

module.exports = { planCounts, planFigures, shownCurve };
