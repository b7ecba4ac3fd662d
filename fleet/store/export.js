// vidrake-fleet export STORE DIR
// The store's results as Parquet partitioned by month (DIR/results/month=YYYY-MM/),
// the layout cluster engines read as it is, and its files table
// (DIR/files/files.parquet), so that a report over DIR equals one over STORE.
// The day keys stay in the store: with them, machines could be linked.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { openForCommand, sqlText } = require('./store_reader.js');
const { UsageError, parseArguments } = require('../cli/arguments.js');

const USAGE = 'usage: vidrake-fleet export STORE DIR';

async function writeExport(connection, folder) {
  await connection.run("COPY (SELECT *, strftime(day, '%Y-%m') AS month FROM results) TO " +
    sqlText(path.join(folder, 'results')) + ' (FORMAT parquet, COMPRESSION zstd, PARTITION_BY (month))');
  fs.mkdirSync(path.join(folder, 'files'));
  await connection.run('COPY (SELECT * FROM files ORDER BY file_id) TO ' + sqlText(path.join(folder, 'files', 'files.parquet')) +
    ' (FORMAT parquet, COMPRESSION zstd)');
}

// DIR is written whole or not at all: into a folder beside it, renamed at the end.
async function runExport(argv) {
  let store, target;
  try {
    [store, target] = parseArguments(argv, { positional: 2, options: {} }).positional;
    if (fs.existsSync(target) && (!fs.statSync(target).isDirectory() || fs.readdirSync(target).length)) {
      throw new UsageError(target + ' exists and is not an empty folder');
    }
  } catch (error) {
    if (!(error instanceof UsageError)) throw error;
    process.stderr.write('vidrake-fleet export: ' + error.message + '\n' + USAGE + '\n');
    return 2;
  }
  const reader = await openForCommand('export', store);
  if (!reader) return 2;
  const partial = path.join(path.dirname(path.resolve(target)), '.' + path.basename(target) + '.partial-' + process.pid);
  try {
    fs.mkdirSync(partial);
    await writeExport(reader.connection, partial);
    if (fs.existsSync(target)) fs.rmdirSync(target);
    fs.renameSync(partial, target);
  } catch (error) {
    fs.rmSync(partial, { recursive: true, force: true });
    process.stderr.write('vidrake-fleet export: ' + error.message + '\n');
    return 1;
  } finally {
    reader.close();
  }
  return 0;
}

module.exports = { runExport };
