// The report's queries: the period's days of the groupings ingest keeps
// (rollups.js), summed; the report's figures are made from those few rows.
'use strict';
const { rows, sqlText } = require('../store/duckdb.js');
const { rollupQuery } = require('../store/rollups.js');

// The period's machines (their latest result of each day), for a command
// that judges each machine again.
async function selectPeriod(connection, from, to) {
  await connection.run('CREATE OR REPLACE TEMP VIEW period AS SELECT * FROM machine_days WHERE ' + dayWithin(from, to));
}

// A view takes no parameters: the period's days go in as quoted literals.
function dayWithin(from, to) {
  return (from == null ? 'true' : 'day >= CAST(' + sqlText(from) + ' AS DATE)') +
    ' AND ' + (to == null ? 'true' : 'day <= CAST(' + sqlText(to) + ' AS DATE)');
}

// The period's results (every result, not only each machine-day's latest).
async function resultCount(connection, days) {
  const [{ results }] = await rows(connection, rollupQuery('results', days, { keys: [] }));
  return results;
}

// The log lines of every file in the store (files are not split by day).
function fileCounts(connection) {
  return rows(connection, 'SELECT lines_read, results, other_requests, rejected, cut, rejected_reasons FROM files ORDER BY file_id');
}

// The period's rows of one grouping of rollups.js, summed over its days.
function grouped(connection, name, days) {
  return rows(connection, rollupQuery(name, days));
}

module.exports = { selectPeriod, dayWithin, resultCount, fileCounts, grouped };
