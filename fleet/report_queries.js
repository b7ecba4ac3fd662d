// The report's queries: the period's days of the groupings ingest keeps
// (rollups.js), summed; the report's figures are made from those few rows.
'use strict';
const { rows, sqlText } = require('./store_reader.js');
const { STATES, rollupQuery } = require('./rollups.js');

// The period's machines (their latest result of each day) with the columns
// `columns`, for a command that judges each machine again.
async function selectPeriod(connection, from, to, columns) {
  await connection.run('CREATE OR REPLACE TEMP VIEW period AS SELECT ' + columns.join(', ') +
    ' FROM machine_days WHERE ' + dayWithin(from, to));
}

// A view takes no parameters: the period's days go in as quoted literals.
function dayWithin(from, to) {
  return (from == null ? 'true' : 'day >= CAST(' + sqlText(from) + ' AS DATE)') +
    ' AND ' + (to == null ? 'true' : 'day <= CAST(' + sqlText(to) + ' AS DATE)');
}

async function totals(connection, days) {
  const [{ machines }] = await rows(connection, rollupQuery('profiles', days, { keys: [] }));
  const [{ results }] = await rows(connection, rollupQuery('results', days, { keys: [] }));
  return { machines, results };
}

// The log lines of every file in the store (files are not split by day).
function fileCounts(connection) {
  return rows(connection, 'SELECT lines_read, results, other_requests, rejected, cut, rejected_reasons FROM files ORDER BY file_id');
}

// The period's machines by verdict and the state of each requirement.
function profiles(connection, days) {
  return rows(connection, rollupQuery('profiles', days));
}

// The machines that fall short of exactly one requirement of those a what-if
// lowers and meet every other: each with that requirement's own value.
function singleShortfalls(connection, days) {
  return rows(connection, rollupQuery('single_shortfalls', days));
}

// Machines by one column's value (binned columns by their bin's lower bound).
function byColumn(connection, days, column) {
  return rows(connection, rollupQuery(column, days));
}

// Machines by adapter and reported name, with how many meet and how many fall
// short of each requirement.
function adapterNames(connection, days) {
  return rows(connection, rollupQuery('adapters', days));
}

// Rejected drivers by adapter, with the alternates offered and whether the
// driver is all that stops the machine.
function rejectedDrivers(connection, days) {
  return rows(connection, rollupQuery('rejected_drivers', days));
}

module.exports = { STATES, selectPeriod, dayWithin, totals, fileCounts, profiles, singleShortfalls, byColumn, adapterNames, rejectedDrivers };
