// A store's rows as DuckDB gives them (64-bit counts as BigInt), for the tests
// that look into what ingest wrote; opened as every command opens it.
'use strict';
const { openDuckDb } = require('../../fleet/store/duckdb.js');

async function queryStore(store, sql, settings) {
  const db = await openDuckDb(store, settings);
  try {
    return (await db.connection.runAndReadAll(sql)).getRowObjectsJS();
  } finally {
    db.close();
  }
}

module.exports = { queryStore };
