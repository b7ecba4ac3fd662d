// Opens what a report reads: a DuckDB store written by ingest, or a folder of
// Parquet files written by export (the same tables, partitioned by month).
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { openDuckDb, sqlText } = require('./duckdb.js');

const SCHEMA = path.join(__dirname, 'schema.sql');

// A statement of the store's schema that starts with `opening`, exactly as
// the store runs it, so that a Parquet folder holds the same columns and
// counts machines by the same rule.
function schemaStatement(opening) {
  const text = fs.readFileSync(SCHEMA, 'utf8');
  const at = text.indexOf(opening);
  const end = text.indexOf(';\n', at);
  if (at < 0 || end < 0) throw new Error(SCHEMA + ' has no statement ' + opening);
  return text.slice(at, end + 1);
}

function machineDaysView() {
  return schemaStatement('CREATE OR REPLACE VIEW machine_days AS');
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
    const database = await openDuckDb(file, Object.assign({}, memory.options, extra));
    return {
      connection: database.connection,
      close: () => {
        try {
          database.close();
        } finally {
          fs.rmSync(memory.spill, { recursive: true, force: true });
        }
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

// Whether `folder` (an export's results) holds a month's Parquet file: an
// export of a store without results holds none.
function holdsMonths(folder) {
  return fs.readdirSync(folder).some((month) => month.startsWith('month=') &&
    fs.readdirSync(path.join(folder, month)).some((file) => file.endsWith('.parquet')));
}

async function openExportFolder(folder) {
  const results = path.join(folder, 'results');
  const files = path.join(folder, 'files', 'files.parquet');
  if (!fs.existsSync(results) || !fs.existsSync(files)) {
    throw new Error(folder + ' is not an export folder (it needs results/month=YYYY-MM/ and files/files.parquet)');
  }
  const database = await opened(':memory:', {});
  try {
    const connection = database.connection;
    // The month is the folder's name, not a column of the store: leave it out.
    if (holdsMonths(results)) {
      await connection.run('CREATE VIEW results AS SELECT * EXCLUDE (month) FROM read_parquet(' +
        sqlText(path.join(results, 'month=*', '*.parquet')) + ', hive_partitioning = true)');
    } else {
      await connection.run(schemaStatement('CREATE TABLE IF NOT EXISTS results'));
    }
    await connection.run('CREATE VIEW files AS SELECT * FROM read_parquet(' + sqlText(files) + ')');
    await connection.run(machineDaysView());
  } catch (error) {
    database.close();
    throw error;
  }
  return database;
}

module.exports = { openForReading, machineDaysView };
