// vidrake-fleet report STORE [--from DAY] [--to DAY] [--db VideoCardDB.xml]
//   [--draft FILE] [--min-machines K] [--json FILE] [--html FILE] [--csv DIR]
// The survey of the period's machines and why they fall short.
'use strict';
const { openForCommand } = require('../store/store_reader.js');
const queries = require('./queries.js');
const figures = require('./figures.js');
const { loadPciIds } = require('./pci_ids.js');
const { UsageError, parseArguments, period, minimumMachines } = require('../cli/arguments.js');
const { writeWhole } = require('../cli/whole_files.js');
const { addMissingFromDatabase } = require('./missing_from_database.js');
const { reportPage } = require('./html.js');
const { writeTables } = require('./csv.js');
const { rollupViews } = require('../store/rollups.js');

const OPTIONS = { from: 'value', to: 'value', db: 'value', draft: 'value', 'min-machines': 'value', json: 'value', html: 'value', csv: 'value', 'pci-ids': 'value' };

// The report as one plain record. options: { from, to, minimum, pciNames }.
async function buildReport(connection, options) {
  const { from, to, minimum, pciNames } = options;
  const days = queries.dayWithin(from, to);
  await rollupViews(connection);
  const profiles = await queries.grouped(connection, 'profiles', days);
  const total = profiles.reduce((sum, profile) => sum + profile.machines, 0);
  const values = {};
  for (const column of ['mem_mb', 'pslevel', 'dxver', 'windows', 'ram_mb', 'disk_mb', 'vendor_id']) {
    values[column] = await queries.grouped(connection, column, days);
  }
  const verdicts = figures.verdicts(profiles, total, minimum);
  const requirements = figures.requirements(profiles, total, minimum);
  const combinations = figures.combinations(profiles, total, minimum);
  const whatIf = figures.whatIf(profiles, await queries.grouped(connection, 'single_shortfalls', days), total, minimum);
  const distributions = figures.distributions(values, total, minimum, pciNames);
  const adapters = figures.adapters(await queries.grouped(connection, 'adapters', days), total, minimum, pciNames);
  const rejected = figures.rejectedDrivers(await queries.grouped(connection, 'rejected_drivers', days), total, minimum);
  return {
    period: { from, to },
    minMachines: minimum,
    lines: figures.lines(await queries.fileCounts(connection)),
    results: await queries.resultCount(connection, days),
    machines: total,
    verdicts: verdicts.table,
    requirements: requirements.table,
    combinations: combinations.rows,
    whatIf: whatIf.table,
    distributions: distributions.table,
    adapters: adapters.rows,
    rejectedDrivers: rejected.rows,
    folded: Object.assign({ verdicts: verdicts.folded, requirements: requirements.folded, combinations: combinations.folded, whatIf: whatIf.folded },
      distributions.folded, { adapters: adapters.folded, rejectedDrivers: rejected.folded })
  };
}

function reportOptions(argv) {
  const { options, positional } = parseArguments(argv, { positional: 1, options: OPTIONS });
  if (options.draft && !options.db) throw new UsageError('--draft needs --db');
  return Object.assign({ store: positional[0], minimum: minimumMachines(options['min-machines']) }, period(options), {
    json: options.json, html: options.html, csv: options.csv, db: options.db, draft: options.draft, pciIds: options['pci-ids']
  });
}

async function runReport(argv) {
  let options;
  try {
    options = reportOptions(argv);
  } catch (error) {
    if (!(error instanceof UsageError)) throw error;
    process.stderr.write('vidrake-fleet report: ' + error.message + '\n' +
      'usage: vidrake-fleet report STORE [--from DAY] [--to DAY] [--db VideoCardDB.xml] [--draft FILE] [--min-machines K] [--json FILE] [--html FILE] [--csv DIR]\n');
    return 2;
  }
  const pciNames = loadPciIds(options.pciIds);
  if (pciNames.missing) process.stderr.write('vidrake-fleet report: no PCI ID list (' + pciNames.missing + '): adapter names are null\n');
  const store = await openForCommand('report', options.store);
  if (!store) return 2;
  let report;
  try {
    const withNames = Object.assign({ pciNames }, options);
    report = await buildReport(store.connection, withNames);
    if (options.db) await addMissingFromDatabase(store.connection, report, withNames);
  } catch (error) {
    process.stderr.write('vidrake-fleet report: ' + error.message + '\n');
    return 1;
  } finally {
    store.close();
  }
  const text = JSON.stringify(report, null, 2) + '\n';
  if (options.json && options.json !== '-') writeWhole(options.json, text);
  if (options.html) writeWhole(options.html, reportPage(report));
  if (options.csv) writeTables(options.csv, report);
  if ((!options.json && !options.html && !options.csv) || options.json === '-') process.stdout.write(text);
  return 0;
}

module.exports = { runReport, buildReport };
