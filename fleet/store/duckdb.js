// DuckDB as every command opens it, and the plain rows it reads.
'use strict';
const { DuckDBInstance } = require('@duckdb/node-api');

// { instance, connection, close() } over `file` (':memory:' for none) with
// DuckDB's `settings`.
async function openDuckDb(file, settings) {
  const instance = await DuckDBInstance.create(file, settings);
  const connection = await instance.connect();
  return {
    instance,
    connection,
    close() {
      connection.closeSync();
      instance.closeSync();
    }
  };
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

// A text as an SQL string literal, for the statements that take no parameters.
function sqlText(value) {
  return "'" + String(value).replace(/'/g, "''") + "'";
}

module.exports = { openDuckDb, rows, sqlText };
