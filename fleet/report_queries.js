// The report's queries: DuckDB groups the period's machines by what each
// table needs, and the report's figures are made from those few rows.
'use strict';
const { rows, sqlText } = require('./store_reader.js');

const STATES = ['directx', 'device', 'memory', 'shader', 'driver', 'ram', 'disk', 'windows'];
const STATE_COLUMNS = STATES.map((id) => 'st_' + id).join(', ');
// Bits the result page does not know make a verdict "incomplete".
const UNKNOWN_BITS = '(mask <> -1 AND (mask & ~2047) <> 0)';

// The period's machines (their latest result of each day), with only the
// columns the report reads; every query below reads this view.
// `extra`: more columns for another command.
async function selectPeriod(connection, from, to, extra) {
  await connection.run('CREATE OR REPLACE TEMP VIEW period AS SELECT day, verdict, mask, ' + STATE_COLUMNS +
    ', mem_mb, pslevel, dxver, windows, ram_mb, disk_mb, os_major, os_minor, os_sp, vendor_id, device_id, card, driver, alternates' +
    (extra || []).map((column) => ', ' + column).join('') +
    ' FROM machine_days WHERE ' + dayWithin(from, to));
}

// A view takes no parameters: the period's days go in as quoted literals.
function dayWithin(from, to) {
  return (from == null ? 'true' : 'day >= CAST(' + sqlText(from) + ' AS DATE)') +
    ' AND ' + (to == null ? 'true' : 'day <= CAST(' + sqlText(to) + ' AS DATE)');
}

async function totals(connection, from, to) {
  const [counts] = await rows(connection, 'SELECT (SELECT count(*) FROM period) AS machines, ' +
    '(SELECT count(*) FROM results WHERE ($1::DATE IS NULL OR day >= $1::DATE) AND ($2::DATE IS NULL OR day <= $2::DATE)) AS results',
  [from, to]);
  return counts;
}

// The log lines of every file in the store (files are not split by day).
function fileCounts(connection) {
  return rows(connection, 'SELECT lines_read, results, other_requests, rejected, cut, rejected_reasons FROM files ORDER BY file_id');
}

// Machines by verdict and the state of each requirement.
function profiles(connection) {
  return rows(connection, 'SELECT verdict, ' + STATE_COLUMNS + ', ' + UNKNOWN_BITS +
    ' AS unknown_bits, count(*) AS machines FROM period GROUP BY ALL');
}

// The machines that fall short of exactly one requirement of those a what-if
// lowers and meet every other: each with that requirement's own value.
function singleShortfalls(connection) {
  const lowered = ['memory', 'shader', 'ram', 'disk', 'windows'];
  const onlyOne = lowered.map((id) => "(st_" + id + " = 'below')::INTEGER").join(' + ') + ' = 1';
  const othersMeet = STATES.map((id) => "st_" + id + " IN ('meets'" + (lowered.includes(id) ? ", 'below'" : '') + ')').join(' AND ');
  return rows(connection, "SELECT CASE WHEN st_memory = 'below' THEN 'memory' WHEN st_shader = 'below' THEN 'shader' " +
    "WHEN st_ram = 'below' THEN 'ram' WHEN st_disk = 'below' THEN 'disk' ELSE 'windows' END AS id, " +
    "CASE WHEN st_memory = 'below' THEN mem_mb END AS mem_mb, CASE WHEN st_shader = 'below' THEN pslevel END AS pslevel, " +
    "CASE WHEN st_ram = 'below' THEN ram_mb END AS ram_mb, CASE WHEN st_disk = 'below' THEN disk_mb END AS disk_mb, " +
    "CASE WHEN st_windows = 'below' THEN os_major END AS os_major, CASE WHEN st_windows = 'below' THEN os_minor END AS os_minor, " +
    "CASE WHEN st_windows = 'below' THEN os_sp END AS os_sp, count(*) AS machines FROM period " +
    "WHERE verdict = 'below' AND NOT " + UNKNOWN_BITS + ' AND ' + onlyOne + ' AND ' + othersMeet + ' GROUP BY ALL');
}

// Machines by one column's value.
function byColumn(connection, column) {
  return rows(connection, 'SELECT ' + column + ' AS value, count(*) AS machines FROM period GROUP BY ALL');
}

// Machines by adapter and reported name, with how many meet and how many fall
// short of each requirement.
function adapterNames(connection) {
  return rows(connection, "SELECT vendor_id, device_id, card, count(*) AS machines, count(*) FILTER (verdict = 'meets') AS meets, " +
    STATES.map((id) => "count(*) FILTER (st_" + id + " = 'below') AS below_" + id).join(', ') +
    ' FROM period GROUP BY ALL');
}

// Rejected drivers by adapter, with the alternates offered and whether the
// driver is all that stops the machine.
function rejectedDrivers(connection) {
  const othersMeet = STATES.filter((id) => id !== 'driver').map((id) => "st_" + id + " = 'meets'").join(' AND ');
  return rows(connection, 'SELECT vendor_id, device_id, driver, alternates, (' + othersMeet + ' AND NOT ' + UNKNOWN_BITS +
    ") AS only_driver, count(*) AS machines FROM period WHERE st_driver = 'below' GROUP BY ALL");
}

module.exports = { STATES, selectPeriod, totals, fileCounts, profiles, singleShortfalls, byColumn, adapterNames, rejectedDrivers };
