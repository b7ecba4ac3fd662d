// vidrake-fleet report STORE [--from DAY] [--to DAY] [--db VideoCardDB.xml]
//   [--draft FILE] [--min-machines K] [--json FILE] [--html FILE] [--csv DIR]
//   [--by month|week] [--trends-csv FILE]
// The survey of the period's machines and why they fall short.
'use strict';
const { runCommand } = require('../cli/run_command.js');
const queries = require('./queries.js');
const figures = require('./figures.js');
const { periodMinimum, withheld } = require('./folding.js');
const { loadPciIds } = require('./pci_ids.js');
const { UsageError, parseArguments, period, minimumMachines } = require('../cli/arguments.js');
const { addMissingFromDatabase } = require('./missing_from_database.js');
const { reportPage } = require('./html.js');
const { tableFiles } = require('./csv.js');
const { rollupViews } = require('../store/rollups.js');
const { trends, periodGroupings, wholePeriod, PROFILE_KEYS } = require('./trends.js');
const { trendsCsv } = require('./trends_csv.js');

const OPTIONS = { from: 'value', to: 'value', db: 'value', draft: 'value', 'min-machines': 'value', json: 'value', html: 'value', csv: 'value', 'pci-ids': 'value', by: 'value', 'trends-csv': 'value' };

// The report as one plain record. options: { from, to, minimum, pciNames,
// by: the trends' periods, month (the default) or week }.
async function buildReport(connection, options) {
  const { from, to, minimum, pciNames } = options;
  const days = queries.dayWithin(from, to);
  await rollupViews(connection);
  // The groupings are read once, by period, for the trends; the whole
  // period's are their sums.
  const columns = Object.values(figures.distributionKinds(pciNames)).map((kind) => kind[0]);
  const byPeriod = await periodGroupings(connection, days, options.by || 'month', columns);
  const profiles = wholePeriod(byPeriod.profiles, PROFILE_KEYS);
  const total = profiles.reduce((sum, profile) => sum + profile.machines, 0);
  const values = {};
  for (const column of columns) values[column] = wholePeriod(byPeriod.values[column], ['value']);
  // Every figure of a period too small to show is held to more machines
  // than it has; the command's K is still the one reported.
  const floor = periodMinimum(figures.verdictCounts(profiles), minimum);
  const verdicts = figures.verdicts(profiles, total, floor);
  const requirements = figures.requirements(profiles, total, floor);
  const combinations = figures.combinations(profiles, total, floor);
  const whatIf = figures.whatIf(profiles, await queries.grouped(connection, 'single_shortfalls', days), total, floor, verdicts.table.meets.machines !== null);
  const distributions = figures.distributions(values, total, floor, pciNames);
  const adapters = figures.adapters(await queries.grouped(connection, 'adapters', days), total, floor, pciNames);
  const rejected = figures.rejectedDrivers(await queries.grouped(connection, 'rejected_drivers', days), total, floor, pciNames);
  const shown = !withheld(total, floor);
  return {
    period: { from, to },
    minMachines: minimum,
    lines: figures.lines(await queries.fileCounts(connection)),
    results: shown ? await queries.resultCount(connection, days) : null,
    machines: shown ? total : null,
    verdicts: verdicts.table,
    requirements: requirements.table,
    combinations: combinations.rows,
    whatIf: whatIf.table,
    distributions: distributions.table,
    adapters: adapters.rows,
    rejectedDrivers: rejected.rows,
    trends: trends(byPeriod, minimum, pciNames),
    folded: Object.assign({ verdicts: verdicts.folded, requirements: requirements.folded, combinations: combinations.folded, whatIf: whatIf.folded },
      distributions.folded, { adapters: adapters.folded, rejectedDrivers: rejected.folded })
  };
}

function reportOptions(argv) {
  const { options, positional } = parseArguments(argv, { positional: 1, options: OPTIONS });
  if (options.draft && !options.db) throw new UsageError('--draft needs --db');
  if (options.by !== undefined && options.by !== 'month' && options.by !== 'week') throw new UsageError('--by takes month or week, not ' + options.by);
  return Object.assign({ store: positional[0], minimum: minimumMachines(options['min-machines']) }, period(options), {
    json: options.json, html: options.html, csv: options.csv, db: options.db, draft: options.draft, pciIds: options['pci-ids'],
    by: options.by || 'month', trendsCsv: options['trends-csv']
  });
}

const REPORT = {
  label: 'vidrake-fleet report: ',
  usage: 'usage: vidrake-fleet report STORE [--from DAY] [--to DAY] [--db VideoCardDB.xml] [--draft FILE] [--min-machines K] [--json FILE] [--html FILE] [--csv DIR] [--by month|week] [--trends-csv FILE]',
  parse: reportOptions,
  prepare(options) {
    options.pciNames = loadPciIds(options.pciIds);
    if (options.pciNames.missing) process.stderr.write('vidrake-fleet report: no PCI ID list (' + options.pciNames.missing + '): adapter names are null\n');
  },
  store: 'read',
  async run(options, store) {
    const report = await buildReport(store.connection, options);
    const files = [];
    if (options.db) {
      const draft = await addMissingFromDatabase(store.connection, report, options);
      if (options.draft) files.push({ file: options.draft, text: draft });
    }
    const text = JSON.stringify(report, null, 2) + '\n';
    if (options.json && options.json !== '-') files.push({ file: options.json, text });
    if (options.html) files.push({ file: options.html, text: reportPage(report) });
    if (options.csv) files.push(...tableFiles(options.csv, report));
    if (options.trendsCsv) files.push({ file: options.trendsCsv, text: trendsCsv(report.trends) });
    const toStdout = (!options.json && !options.html && !options.csv && !options.trendsCsv) || options.json === '-';
    return { files, stdout: toStdout ? text : undefined };
  }
};

function runReport(argv) {
  return runCommand(REPORT, argv);
}

module.exports = { runReport, buildReport };
