// vidrake-fleet export STORE DIR
// The store's results as Parquet partitioned by month (DIR/results/month=YYYY-MM/),
// the layout cluster engines read as it is, and its files table
// (DIR/files/files.parquet), so that a report over DIR equals one over STORE.
// No key goes with it: the keys are in the key file beside the store.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { sqlText } = require('./duckdb.js');
const { UsageError, parseArguments } = require('../cli/arguments.js');
const { runCommand } = require('../cli/run_command.js');
const { writeFolderWhole } = require('../cli/whole_files.js');

const USAGE = 'usage: vidrake-fleet export STORE DIR';

async function writeExport(connection, folder) {
  await connection.run("COPY (SELECT *, strftime(day, '%Y-%m') AS month FROM results) TO " +
    sqlText(path.join(folder, 'results')) + ' (FORMAT parquet, COMPRESSION zstd, PARTITION_BY (month))');
  fs.mkdirSync(path.join(folder, 'files'));
  await connection.run('COPY (SELECT * FROM files ORDER BY file_id) TO ' + sqlText(path.join(folder, 'files', 'files.parquet')) +
    ' (FORMAT parquet, COMPRESSION zstd)');
}

function exportOptions(argv) {
  const [store, target] = parseArguments(argv, { positional: 2, options: {} }).positional;
  if (fs.existsSync(target) && (!fs.statSync(target).isDirectory() || fs.readdirSync(target).length)) {
    throw new UsageError(target + ' exists and is not an empty folder');
  }
  return { store, target };
}

// DIR is written whole or not at all.
async function exportStore(options, store) {
  await writeFolderWhole(options.target, (folder) => writeExport(store.connection, folder));
  return {};
}

const EXPORT = { label: 'vidrake-fleet export: ', usage: USAGE, parse: exportOptions, store: 'read', run: exportStore };

function runExport(argv) {
  return runCommand(EXPORT, argv);
}

module.exports = { runExport };
