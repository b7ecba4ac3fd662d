// The machines of each day counted the ways the report's tables group them:
// one small table per grouping (rollup_NAME: day, its keys, its counts).
// Ingest keeps them for the days each file touches, inside the file's
// transaction, so that a report sums a few rows a day instead of reading
// every machine. Over an export folder, or a store written before they
// existed, the same groupings are views over machine_days.
'use strict';
const page = require('../../resultpage/result.js');
const bins = require('../report/bins.js');
const { STEPS } = require('../report/what_if.js');
const { sqlText } = require('./duckdb.js');

const IDS = page.REQUIREMENT_IDS;
const STATE_COLUMNS = IDS.map((id) => 'st_' + id);
const [MEETS, BELOW] = [page.STATES.meets, page.STATES.below].map(sqlText);
// Bits the result page does not know make a verdict "incomplete".
const UNKNOWN_BITS = '(mask <> -1 AND (mask & ~2047) <> 0)';
// Adapters with real PCI ids only: an early exit reports 0 for both.
const PCI_ADAPTER = 'vendor_id BETWEEN 1 AND 65535 AND device_id BETWEEN 1 AND 65535';

// A value replaced by the lower bound of its bin: the same bin, and the same
// side of every minimum and what-if step (they are bin edges), in a few
// distinct values. Values below the first bin stay as they are.
function lowerBound(column, bounds) {
  const steps = bounds.slice().sort((a, b) => b - a).map((edge) => 'WHEN ' + column + ' >= ' + edge + ' THEN ' + edge).join(' ');
  return '(CASE ' + steps + ' ELSE ' + column + ' END)';
}
const MEM = lowerBound('mem_mb', bins.LOWER_BOUNDS.videoMemory);
const RAM = lowerBound('ram_mb', bins.LOWER_BOUNDS.ram);
const DISK = lowerBound('disk_mb', bins.LOWER_BOUNDS.disk);

// The machines that fall short of exactly one requirement of those a what-if
// lowers and meet every other, each with that requirement's own value.
const LOWERED = STEPS.map((step) => step.id);
const SINGLE_SHORTFALL = 'verdict = ' + sqlText(page.VERDICTS.below) + ' AND NOT ' + UNKNOWN_BITS + ' AND ' +
  LOWERED.map((id) => '(st_' + id + ' = ' + BELOW + ')::INTEGER').join(' + ') + ' = 1 AND ' +
  IDS.map((id) => 'st_' + id + ' IN (' + MEETS + (LOWERED.includes(id) ? ', ' + BELOW : '') + ')').join(' AND ');
// Which requirement that is, and its value: the value columns of each
// lowered requirement, in the order of the steps.
const LOWERED_VALUES = {
  memory: [MEM + ' END AS mem_mb'], shader: ['pslevel END AS pslevel'], ram: [RAM + ' END AS ram_mb'], disk: [DISK + ' END AS disk_mb'],
  windows: ['os_major END AS os_major', 'os_minor END AS os_minor', 'os_sp END AS os_sp']
};
const isBelow = (id) => 'st_' + id + ' = ' + BELOW;
const SHORTFALL_KEYS = ['CASE ' + LOWERED.slice(0, -1).map((id) => 'WHEN ' + isBelow(id) + ' THEN ' + sqlText(id)).join(' ') +
  ' ELSE ' + sqlText(LOWERED[LOWERED.length - 1]) + ' END AS id'].concat(
  ...LOWERED.map((id) => LOWERED_VALUES[id].map((value) => 'CASE WHEN ' + isBelow(id) + ' THEN ' + value)));

// The driver alone stops the machine: every other requirement is met.
const DRIVER = page.REQUIREMENTS.find((r) => r[3] === 'driver')[0];
const DRIVER_ALONE = IDS.filter((id) => id !== DRIVER).map((id) => 'st_' + id + ' = ' + MEETS).join(' AND ') +
  ' AND NOT ' + UNKNOWN_BITS;

const MACHINES = 'count(*) AS machines';

// Each grouping: keys (SQL expressions AS names), counts (aggregates AS
// names, summed when read), the rows it counts, and what it reads.
const ROLLUPS = {
  results: { from: 'results', keys: [], counts: ['count(*) AS results'] },
  profiles: { keys: ['verdict'].concat(STATE_COLUMNS, [UNKNOWN_BITS + ' AS unknown_bits']), counts: [MACHINES] },
  single_shortfalls: {
    keys: SHORTFALL_KEYS,
    where: SINGLE_SHORTFALL,
    counts: [MACHINES]
  },
  mem_mb: { keys: [MEM + ' AS value'], counts: [MACHINES] },
  pslevel: { keys: ['pslevel AS value'], counts: [MACHINES] },
  dxver: { keys: ['dxver AS value'], counts: [MACHINES] },
  windows: { keys: ['windows AS value'], counts: [MACHINES] },
  ram_mb: { keys: [RAM + ' AS value'], counts: [MACHINES] },
  disk_mb: { keys: [DISK + ' AS value'], counts: [MACHINES] },
  vendor_id: { keys: ['vendor_id AS value'], counts: [MACHINES] },
  // By adapter and reported name, with how many meet and how many fall short
  // of each requirement.
  adapters: {
    keys: ['vendor_id', 'device_id', 'card'],
    counts: [MACHINES, 'count(*) FILTER (verdict = ' + sqlText(page.VERDICTS.meets) + ') AS meets'].concat(
      IDS.map((id) => 'count(*) FILTER (' + isBelow(id) + ') AS below_' + id))
  },
  // Rejected drivers by adapter, with the alternates offered and whether the
  // driver is all that stops the machine.
  rejected_drivers: {
    keys: ['vendor_id', 'device_id', 'driver', 'alternates', '(' + DRIVER_ALONE + ') AS only_driver'],
    where: isBelow(DRIVER),
    counts: [MACHINES]
  },
  adapter_levels: { keys: ['vendor_id', 'device_id', 'pslevel'], where: PCI_ADAPTER, counts: [MACHINES] }
};

function nameOf(expression) {
  const named = / AS (\w+)$/.exec(expression);
  return named ? named[1] : expression;
}

// The grouping's rows of the days `days` (a condition on day) selects.
function rollupSelect(name, days) {
  const r = ROLLUPS[name];
  return 'SELECT ' + ['day'].concat(r.keys, r.counts).join(', ') + ' FROM ' + (r.from || 'machine_days') +
    ' WHERE (' + (r.where || 'true') + ') AND (' + days + ') GROUP BY ALL';
}

function tableName(name) {
  return 'rollup_' + name;
}

// The groupings whose tables hold what their queries give now: a table made
// by another version of a query is made again by ingest and not read by a
// report (rollup_definitions keeps the query each table was made by).
async function currentRollups(connection) {
  const tables = new Set((await connection.runAndReadAll("SELECT table_name FROM duckdb_tables() " +
    "WHERE database_name = current_database() AND schema_name = 'main'")).getRows().map((row) => row[0]));
  if (!tables.has('rollup_definitions')) return new Set();
  const made = (await connection.runAndReadAll('SELECT name, definition FROM rollup_definitions')).getRows();
  return new Set(made.filter(([name, definition]) => Object.prototype.hasOwnProperty.call(ROLLUPS, name) &&
    tables.has(tableName(name)) && definition === rollupSelect(name, 'true')).map((row) => row[0]));
}

// Ingest: the tables a store lacks, or holds from another version of their
// query, made from the machines it holds.
async function createRollups(connection) {
  await connection.run('CREATE TABLE IF NOT EXISTS rollup_definitions (name VARCHAR PRIMARY KEY, definition VARCHAR NOT NULL)');
  const current = await currentRollups(connection);
  for (const name of Object.keys(ROLLUPS)) {
    if (current.has(name)) continue;
    await connection.run('DROP TABLE IF EXISTS ' + tableName(name));
    await connection.run('CREATE TABLE ' + tableName(name) + ' AS ' + rollupSelect(name, 'true'));
    await connection.run('INSERT OR REPLACE INTO rollup_definitions VALUES ($1, $2)', [name, rollupSelect(name, 'true')]);
  }
}

// Ingest: the rows of the days in `daysTable` (a table of one column, day)
// counted again.
async function refreshRollups(connection, daysTable) {
  const days = 'day IN (SELECT day FROM ' + daysTable + ')';
  for (const name of Object.keys(ROLLUPS)) {
    await connection.run('DELETE FROM ' + tableName(name) + ' WHERE ' + days);
    await connection.run('INSERT INTO ' + tableName(name) + ' ' + rollupSelect(name, days));
  }
}

// A reader: views, under the same names, for the groupings that have no
// current table here (a temporary view hides a table of its name).
async function rollupViews(connection) {
  const current = await currentRollups(connection);
  for (const name of Object.keys(ROLLUPS)) {
    if (!current.has(name)) await connection.run('CREATE OR REPLACE TEMP VIEW ' + tableName(name) + ' AS ' + rollupSelect(name, 'true'));
  }
}

// A grouping's rows summed over the days `days` selects, regrouped by `keys`
// (default: all its keys), of the rows `where` selects, the groups `having`
// selects (a condition on the grouping's own columns, summed).
function rollupQuery(name, days, options) {
  const r = ROLLUPS[name];
  const keys = (options && options.keys) || r.keys.map(nameOf);
  const sums = r.counts.map(nameOf).map((c) => 'CAST(coalesce(sum(' + c + '), 0) AS BIGINT) AS ' + c);
  return 'SELECT ' + keys.concat(sums).join(', ') + ' FROM ' + tableName(name) + ' WHERE (' + days + ')' +
    (options && options.where ? ' AND (' + options.where + ')' : '') + (keys.length ? ' GROUP BY ALL' : '') +
    (options && options.having ? ' HAVING ' + options.having : '') + (options && options.order ? ' ORDER BY ' + options.order : '');
}

module.exports = { lowerBound, ROLLUPS, PCI_ADAPTER, rollupSelect, rollupQuery, createRollups, refreshRollups, rollupViews };
