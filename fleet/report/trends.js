// The report's figures period by period (calendar months, or ISO weeks),
// each with its change from the period before in percentage points: from
// the per-day groupings, summed by period. A figure under K is withheld
// with whatever would give it away, across periods as well as within one.
'use strict';
const page = require('../../resultpage/result.js');
const { rows, sqlText } = require('../store/duckdb.js');
const { rollupQuery } = require('../store/rollups.js');
const { verdictCounts, requirementCounts, distributionKinds } = require('./figures.js');
const { shownFigure, withheld, periodMinimum, hideTogether } = require('./folding.js');
const { naturalOrder } = require('./bins.js');

const { REQUIREMENT_IDS, VERDICTS } = page;
// Each kind of period: its first day (grouped by, quicker than a text) and
// its name written from that day.
const PERIODS = { month: ["date_trunc('month', day)", '%Y-%m'], week: ["date_trunc('week', day)", '%G-W%V'] };
const PROFILE_KEYS = ['verdict'].concat(REQUIREMENT_IDS.map((id) => 'st_' + id), 'unknown_bits');
const VERDICT_FIELDS = Object.keys(VERDICTS);

// The period keys from the first day with machines to the last, none left out.
async function periodKeys(connection, days, by) {
  const [span] = await rows(connection, 'SELECT CAST(min(day) AS VARCHAR) AS first, CAST(max(day) AS VARCHAR) AS last FROM rollup_profiles WHERE ' + days);
  if (!span.first) return [];
  const list = await rows(connection, 'SELECT DISTINCT strftime(CAST(d AS DATE), ' + sqlText(PERIODS[by][1]) + ') AS period FROM range(CAST($1 AS TIMESTAMP), ' +
    'CAST($2 AS TIMESTAMP) + INTERVAL 1 DAY, INTERVAL 1 DAY) t(d) ORDER BY period', [span.first, span.last]);
  return list.map((row) => row.period);
}

function byPeriod(list) {
  const out = new Map();
  for (const row of list) {
    if (!out.has(row.period)) out.set(row.period, []);
    out.get(row.period).push(row);
  }
  return out;
}

// A grouping's rows of the period, summed by `by` and `keys`, each period named.
async function byPeriodQuery(connection, name, days, by, keys) {
  const summed = rollupQuery(name, days, { keys: [PERIODS[by][0] + ' AS period'].concat(keys) });
  return byPeriod(await rows(connection, 'SELECT strftime(period, ' + sqlText(PERIODS[by][1]) + ') AS period, * EXCLUDE (period) FROM (' + summed + ')'));
}

// The report's groupings by period: { by, periods: the names of every
// period from the first day with machines to the last, profiles: period ->
// rows, values: { column: period -> rows } }.
async function periodGroupings(connection, days, by, columns) {
  const out = { by, periods: await periodKeys(connection, days, by), profiles: await byPeriodQuery(connection, 'profiles', days, by, PROFILE_KEYS), values: {} };
  for (const column of columns) out.values[column] = await byPeriodQuery(connection, column, days, by, ['value']);
  return out;
}

// The rows of every period summed by `keys`: the grouping of the whole.
function wholePeriod(rowsByPeriod, keys) {
  const sums = new Map();
  for (const list of rowsByPeriod.values()) {
    for (const row of list) {
      const key = JSON.stringify(keys.map((k) => row[k]));
      if (sums.has(key)) sums.get(key).machines += row.machines;
      else sums.set(key, Object.assign(Object.fromEntries(keys.map((k) => [k, row[k]])), { machines: row.machines }));
    }
  }
  return [...sums.values()];
}

function cell(machines, hidden) {
  return { machines, hidden: hidden || false };
}

// The counts of each period as cells, and the lines they add up along.
function grid(periods, grouped, kinds, minimum) {
  const cells = periods.map((period) => {
    const profiles = grouped.profiles.get(period) || [];
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
      for (const row of grouped.values[column].get(period) || []) {
        const key = label(row.value);
        byLabel.set(key, (byLabel.get(key) || 0) + row.machines);
      }
      // In the labels' order, so that a tie between cells is broken alike on every run.
      c.distributions[name] = new Map([...byLabel].sort((a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0)).map(([key, n]) => [key, cell(n, withheld(n, minimum))]));
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
// grouped: from periodGroupings.
function trends(grouped, minimum, pciNames) {
  const kinds = distributionKinds(pciNames), periods = grouped.periods;
  const { cells, lines } = grid(periods, grouped, kinds, minimum);
  const periodOf = new Map(cells.map((c) => [c.total, c]));
  hideTogether(lines, minimum, (hidden) => {
    if (periodOf.has(hidden)) for (const x of periodOf.get(hidden).all) x.hidden = true;
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
  return { by: grouped.by, periods: out };
}

module.exports = { trends, periodGroupings, wholePeriod, PROFILE_KEYS };
