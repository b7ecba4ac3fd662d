// Opens what a report reads: a DuckDB store written by ingest, or a folder of
// Parquet files written by export (the same tables, partitioned by month).
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { DuckDBInstance } = require('@duckdb/node-api');

const SCHEMA = path.join(__dirname, 'schema.sql');

// The machine_days view exactly as the store defines it, so that a Parquet
// folder counts machines by the same rule.
function machineDaysView() {
  const text = fs.readFileSync(SCHEMA, 'utf8');
  const view = /CREATE OR REPLACE VIEW machine_days AS[\s\S]*?;/.exec(text);
  if (!view) throw new Error(SCHEMA + ' defines no machine_days view');
  return view[0];
}

function sqlText(value) {
  return "'" + String(value).replace(/'/g, "''") + "'";
}

// A report over a large store would take most of the machine's memory by
// DuckDB's default (80%): it takes a quarter and spills the rest to a
// temporary folder of its own.
function memoryOptions() {
  const spill = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-spill-'));
  return { spill, options: { memory_limit: Math.max(1, Math.floor(os.totalmem() / 4 / 1048576)) + 'MB', temp_directory: spill } };
}

async function opened(file, extra) {
  const memory = memoryOptions();
  try {
    const instance = await DuckDBInstance.create(file, Object.assign({}, memory.options, extra));
    const connection = await instance.connect();
    return {
      connection,
      close: () => {
        connection.closeSync();
        instance.closeSync();
        fs.rmSync(memory.spill, { recursive: true, force: true });
      }
    };
  } catch (error) {
    fs.rmSync(memory.spill, { recursive: true, force: true });
    throw error;
  }
}

// { connection, close() } over STORE; a clear error when it is neither a
// store nor an export folder.
async function openForReading(store) {
  let stat;
  try {
    stat = fs.statSync(store);
  } catch (error) {
    throw new Error('no store at ' + store);
  }
  if (stat.isDirectory()) return openExportFolder(store);
  return opened(store, { access_mode: 'READ_ONLY' });
}

async function openExportFolder(folder) {
  const results = path.join(folder, 'results');
  const files = path.join(folder, 'files', 'files.parquet');
  if (!fs.existsSync(results) || !fs.existsSync(files)) {
    throw new Error(folder + ' is not an export folder (it needs results/month=YYYY-MM/ and files/files.parquet)');
  }
  const { connection, close } = await opened(':memory:', {});
  // The month is the folder's name, not a column of the store: leave it out.
  await connection.run('CREATE VIEW results AS SELECT * EXCLUDE (month) FROM read_parquet(' +
    sqlText(path.join(results, 'month=*', '*.parquet')) + ', hive_partitioning = true)');
  await connection.run('CREATE VIEW files AS SELECT * FROM read_parquet(' + sqlText(files) + ')');
  await connection.run(machineDaysView());
  return { connection, close };
}

// Rows as plain objects, 64-bit counts as numbers.
async function rows(connection, sql, params) {
  const reader = await connection.runAndReadAll(sql, params || []);
  return reader.getRowObjectsJS().map((row) => {
    const plain = {};
    for (const key of Object.keys(row)) plain[key] = typeof row[key] === 'bigint' ? Number(row[key]) : row[key];
    return plain;
  });
}

// openForReading for a command: says why it cannot open and gives null.
async function openForCommand(command, store) {
  try {
    return await openForReading(store);
  } catch (error) {
    process.stderr.write('vidrake-fleet ' + command + ': ' + error.message + '\n');
    return null;
  }
}

module.exports = { openForCommand, openForReading, rows, sqlText, machineDaysView };
