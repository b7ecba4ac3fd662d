// vidrake-fleet plan STORE [--from DAY] [--to DAY] [--min-machines K]
//   [--json FILE] [--html FILE] --min REQUIREMENT=VALUE...
// How many of the period's machines would meet a set of new minimums, and
// what each of them costs.
'use strict';
const { runCommand } = require('../cli/run_command.js');
const { parseArguments, period, minimumMachines } = require('../cli/arguments.js');
const { rows } = require('../store/duckdb.js');
const { dayWithin } = require('../report/queries.js');
const page = require('../../resultpage/result.js');
const { lowerBound } = require('../store/rollups.js');
const { readMinimums, curveSteps } = require('./minimums.js');
const { planFigures } = require('./plan_figures.js');
const { planPage } = require('./plan_page.js');

const USAGE = 'usage: vidrake-fleet plan STORE [--from DAY] [--to DAY] [--min-machines K] [--json FILE] [--html FILE] --min REQUIREMENT=VALUE...';

// The megabyte values a plan judges, with the edges below every step of
// their curves (video memory of 0 MB or less is no measurement).
const MEGABYTES = { memory: ['mem', 'mem_mb', [1]], ram: ['ram', 'ram_mb', [0]], disk: ['hdspace', 'disk_mb', [0]] };

// The period's machines grouped by the items the judge reads, so that each
// group is judged once whatever its machines. A size is judged only against
// minimums, so a machine's size stands as the highest minimum or step at or
// below it, written as the program writes sizes (a size the store could not
// read stays as it came); a driver is read only for whether the address
// names one, so the group's drivers stand as one of them.
function valueQuery(days, minimums) {
  const steps = curveSteps();
  const items = ['mask'];
  for (const key of ['mem', 'pslevel', 'dxver', 'hdspace', 'ram', 'osver']) {
    const id = Object.keys(MEGABYTES).find((m) => MEGABYTES[m][0] === key);
    if (!id) {
      items.push(key);
      continue;
    }
    const [, column, floor] = MEGABYTES[id];
    const edges = [...new Set(floor.concat(steps[id].map((s) => s.megabytes), page.MINIMUMS[id].megabytes, minimums[id] ? minimums[id].megabytes : []))];
    items.push('CASE WHEN ' + column + ' IS NULL THEN ' + key + ' ELSE CAST(' + lowerBound(column, edges) + " AS VARCHAR) || ' MB' END AS " + key);
  }
  return 'SELECT ' + items.join(', ') + ", driver IS NULL AS no_driver, driver = '' AS empty_driver, min(driver) AS driver, count(*) AS machines " +
    'FROM machine_days WHERE ' + days + ' GROUP BY ALL ORDER BY ALL';
}

async function buildPlan(connection, options) {
  const valueRows = await rows(connection, valueQuery(dayWithin(options.from, options.to), options.minimums));
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
