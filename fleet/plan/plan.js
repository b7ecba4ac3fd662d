// vidrake-fleet plan STORE [--from DAY] [--to DAY] [--min-machines K]
//   [--json FILE] [--html FILE] --min REQUIREMENT=VALUE...
// How many of the period's machines would meet a set of new minimums, and
// what each of them costs.
'use strict';
const { runCommand } = require('../cli/run_command.js');
const { parseArguments, period, minimumMachines } = require('../cli/arguments.js');
const { rows } = require('../store/duckdb.js');
const { dayWithin } = require('../report/queries.js');
const { readMinimums } = require('./minimums.js');
const { planFigures } = require('./plan_figures.js');
const { planPage } = require('./plan_page.js');

const USAGE = 'usage: vidrake-fleet plan STORE [--from DAY] [--to DAY] [--min-machines K] [--json FILE] [--html FILE] --min REQUIREMENT=VALUE...';

// The period's machines grouped by the items the judge reads: a group is
// judged once, whatever its machines.
const VALUE_COLUMNS = ['mask', 'mem', 'pslevel', 'dxver', 'hdspace', 'ram', 'osver', 'driver'];

async function buildPlan(connection, options) {
  const valueRows = await rows(connection, 'SELECT ' + VALUE_COLUMNS.join(', ') + ', count(*) AS machines FROM machine_days WHERE ' +
    dayWithin(options.from, options.to) + ' GROUP BY ALL ORDER BY ALL');
  return Object.assign({ period: { from: options.from, to: options.to }, minMachines: options.minimum },
    planFigures(valueRows, options.minimums, options.minimum));
}

function planOptions(argv) {
  const { options, positional } = parseArguments(argv, { positional: 1, options: {
    from: 'value', to: 'value', 'min-machines': 'value', json: 'value', html: 'value', min: 'list'
  } });
  return Object.assign({ store: positional[0], minimum: minimumMachines(options['min-machines']), minimums: readMinimums(options.min),
    json: options.json, html: options.html }, period(options));
}

const PLAN = {
  label: 'vidrake-fleet plan: ',
  usage: USAGE,
  parse: planOptions,
  store: 'read',
  async run(options, store) {
    const plan = await buildPlan(store.connection, options);
    const text = JSON.stringify(plan, null, 2) + '\n';
    const files = [];
    if (options.json && options.json !== '-') files.push({ file: options.json, text });
    if (options.html) files.push({ file: options.html, text: planPage(plan) });
    return { files, stdout: !options.json && !options.html || options.json === '-' ? text : undefined };
  }
};

function runPlan(argv) {
  return runCommand(PLAN, argv);
}

module.exports = { runPlan, buildPlan };
