// The report's figures period by period (calendar months, or ISO weeks),
// each with its change from the period before in percentage points: from
// the per-day groupings, summed by period. A figure under K is withheld
// with whatever would give it away, across periods as well as within one.
'use strict';
const page = require('../../resultpage/result.js');
const { rows } = require('../store/duckdb.js');
const { rollupQuery } = require('../store/rollups.js');
const { verdictCounts, requirementCounts, distributionKinds } = require('./figures.js');
const { shownFigure, withheld, periodMinimum, hideTogether } = require('./folding.js');
const { naturalOrder } = require('./bins.js');

const { REQUIREMENT_IDS, VERDICTS } = page;
const PERIODS = { month: "strftime(day, '%Y-%m')", week: "strftime(day, '%G-W%V')" };
const VERDICT_FIELDS = Object.keys(VERDICTS);

// The period keys from the first day with machines to the last, none left out.
async function periodKeys(connection, days, by) {
  const [span] = await rows(connection, 'SELECT CAST(min(day) AS VARCHAR) AS first, CAST(max(day) AS VARCHAR) AS last FROM rollup_profiles WHERE ' + days);
  if (!span.first) return [];
  const list = await rows(connection, 'SELECT DISTINCT ' + PERIODS[by].replace('day', 'CAST(d AS DATE)') + ' AS period FROM range(CAST($1 AS TIMESTAMP), ' +
    'CAST($2 AS TIMESTAMP) + INTERVAL 1 DAY, INTERVAL 1 DAY) t(d) ORDER BY period', [span.first, span.last]);
  return list.map((row) => row.period);
}

// The groupings' rows by period: { profiles: [...], values: { column: [...] } }.
async function periodRows(connection, days, by, columns) {
  const period = PERIODS[by] + ' AS period';
  const profileKeys = [period, 'verdict'].concat(REQUIREMENT_IDS.map((id) => 'st_' + id), 'unknown_bits');
  const out = { profiles: await rows(connection, rollupQuery('profiles', days, { keys: profileKeys })), values: {} };
  for (const column of columns) out.values[column] = await rows(connection, rollupQuery(column, days, { keys: [period, 'value'] }));
  return out;
}

function cell(machines, hidden) {
  return { machines, hidden: hidden || false };
}

// The counts of each period as cells, and the lines they add up along.
function grid(periods, grouped, kinds, minimum) {
  const cells = periods.map((period) => {
    const profiles = grouped.profiles.filter((p) => p.period === period);
    const counts = verdictCounts(profiles), total = counts.reduce((a, b) => a + b, 0);
    // A period that would show nothing on its own shows nothing here.
    const bare = periodMinimum(counts, minimum) !== minimum;
    const required = requirementCounts(profiles);
    const c = {
      total: cell(total, bare || withheld(total, minimum)),
      verdicts: counts.map((n) => cell(n, withheld(n, minimum))),
      below: {}, alone: {}, distributions: {}, all: []
    };
    for (const id of REQUIREMENT_IDS) {
      const r = required[id];
      c.below[id] = [cell(r.below, withheld(r.below, minimum)), cell(total - r.below, true)];
      c.alone[id] = [cell(r.alone, withheld(r.alone, minimum)), cell(r.below - r.alone, true)];
    }
    for (const [name, [column, label]] of Object.entries(kinds)) {
      const byLabel = new Map();
      for (const row of grouped.values[column]) {
        if (row.period !== period) continue;
        const key = label(row.value);
        byLabel.set(key, (byLabel.get(key) || 0) + row.machines);
      }
      c.distributions[name] = new Map([...byLabel].map(([key, n]) => [key, cell(n, withheld(n, minimum))]));
    }
    c.all = [c.total].concat(c.verdicts, ...Object.values(c.below), ...Object.values(c.alone),
      ...Object.values(c.distributions).map((m) => [...m.values()]));
    if (c.total.hidden) for (const x of c.all) x.hidden = true;
    return c;
  });
  const lines = [cells.map((c) => c.total)];
  for (const c of cells) {
    lines.push(c.verdicts, ...Object.values(c.below), ...Object.values(c.alone), ...Object.values(c.distributions).map((m) => [...m.values()]));
  }
  VERDICT_FIELDS.forEach((field, i) => lines.push(cells.map((c) => c.verdicts[i])));
  for (const id of REQUIREMENT_IDS) lines.push(cells.map((c) => c.below[id][0]), cells.map((c) => c.alone[id][0]));
  for (const name of Object.keys(kinds)) {
    for (const label of labelsOf(cells, name)) lines.push(cells.map((c) => c.distributions[name].get(label)).filter(Boolean));
  }
  return { cells, lines };
}

function labelsOf(cells, name) {
  const labels = new Set();
  for (const c of cells) for (const label of c.distributions[name].keys()) labels.add(label);
  return [...labels];
}

function pointsChange(share, before) {
  return share === null || before === null || before === undefined ? null : Math.round((share - before) * 1e6) / 1e4;
}

// The trends record: { by, periods: [{ period, machines, verdicts,
// requirements, distributions }] }, every figure with its change.
async function trends(connection, days, by, minimum, pciNames) {
  const kinds = distributionKinds(pciNames);
  const periods = await periodKeys(connection, days, by);
  const grouped = await periodRows(connection, days, by, Object.values(kinds).map((k) => k[0]));
  const { cells, lines } = grid(periods, grouped, kinds, minimum);
  hideTogether(lines, minimum, (hidden) => {
    const period = cells.find((c) => c.total === hidden);
    if (period) for (const x of period.all) x.hidden = true;
  });
  // A label is listed when some period shows it; a distribution without an
  // order of its own lists the most machines first.
  const listed = {};
  for (const name of Object.keys(kinds)) {
    const machines = (label) => cells.reduce((n, c) => n + (c.distributions[name].has(label) ? c.distributions[name].get(label).machines : 0), 0);
    const labels = labelsOf(cells, name).filter((label) => cells.some((c) => c.distributions[name].has(label) && !c.distributions[name].get(label).hidden));
    listed[name] = naturalOrder(name, labels) || labels.sort((a, b) => machines(b) - machines(a) || (a < b ? -1 : 1));
  }
  let before = null;
  const out = cells.map((c, i) => {
    const total = c.total.hidden ? null : c.total.machines;
    const figure = (x, previous) => {
      const shown = shownFigure(x && !x.hidden ? x.machines : (x ? null : 0), total, minimum);
      return Object.assign(shown, { change: pointsChange(shown.share, previous && previous.share) });
    };
    const record = {
      period: periods[i],
      machines: total,
      verdicts: {},
      requirements: REQUIREMENT_IDS.map((id, r) => ({
        id,
        below: figure(c.below[id][0], before && before.requirements[r].below),
        soleBlocker: figure(c.alone[id][0], before && before.requirements[r].soleBlocker)
      })),
      distributions: {}
    };
    VERDICT_FIELDS.forEach((field, v) => { record.verdicts[field] = figure(c.verdicts[v], before && before.verdicts[field]); });
    for (const name of Object.keys(kinds)) {
      record.distributions[name] = listed[name].map((label, l) =>
        Object.assign({ label }, figure(c.distributions[name].get(label), before && before.distributions[name][l])));
    }
    before = record;
    return record;
  });
  return { by, periods: out };
}

module.exports = { trends, PERIODS };
