// Stores written before the key file held their day keys in a table. Those
// keys move to the key file, and the store is copied without the table into
// a new file that replaces it: DuckDB leaves deleted rows' bytes in its file,
// so dropping the table alone would keep the keys readable.
'use strict';
const fs = require('fs');
const path = require('path');
const { openDuckDb, rows, sqlText } = require('./duckdb.js');
const { newKey, readKeyFile, writeKeyFile, syncPath } = require('./key_file.js');

// Whether the store open on `connection` is of the earlier layout.
async function holdsDayKeys(connection) {
  const [{ tables }] = await rows(connection,
    "SELECT count(*) AS tables FROM duckdb_tables() WHERE database_name = current_database() AND table_name = 'day_keys'");
  return tables > 0;
}

// The store `file` (open as `old`, which this closes) without its table of
// day keys. A kill at any moment leaves the old store whole (and the keys in
// both places) or the new one in its place.
async function moveDayKeysOut(file, old) {
  const copy = file + '.rewrite';
  try {
    for (const leftover of [copy, copy + '.wal']) fs.rmSync(leftover, { force: true });
    const keys = readKeyFile(file) || { fileKey: newKey(), days: new Map() };
    for (const row of await rows(old.connection, 'SELECT CAST(day AS VARCHAR) AS day, hex(key) AS key FROM day_keys')) {
      if (!keys.days.has(row.day)) keys.days.set(row.day, Buffer.from(row.key, 'hex'));
    }
    writeKeyFile(file, keys);
    const [{ name }] = await rows(old.connection, 'SELECT current_database() AS name');
    await old.connection.run('ATTACH ' + sqlText(copy) + ' AS rewritten');
    await old.connection.run('COPY FROM DATABASE ' + JSON.stringify(name) + ' TO rewritten (SCHEMA)');
    await old.connection.run('DROP TABLE rewritten.main.day_keys');
    for (const row of await rows(old.connection, "SELECT table_name FROM duckdb_tables() WHERE database_name = 'rewritten'")) {
      const table = JSON.stringify(row.table_name);
      await old.connection.run(`INSERT INTO rewritten.main.${table} SELECT * FROM ${JSON.stringify(name)}.main.${table}`);
    }
    await old.connection.run('DETACH rewritten');
  } finally {
    old.close();
  }
  if (fs.existsSync(file + '.wal') || fs.existsSync(copy + '.wal')) throw new Error(copy + ': the copy of the store was not written whole');
  syncPath(copy);
  fs.renameSync(copy, file);
  syncPath(path.dirname(path.resolve(file)));
}

module.exports = { holdsDayKeys, moveDayKeysOut };
