// The floor of reading a log into a store: DuckDB alone reading the lines of
// a combined log into a table of a fresh store file, each split by one
// regular expression into the fields ingest takes from it (client, time,
// request, status, agent). Prints the milliseconds of the whole read.
//   node tests/benchmark/log_floor.js LOG STORE
'use strict';
const fs = require('node:fs');
const { DuckDBInstance } = require('@duckdb/node-api');

const LINE = String.raw`^(\S+) \S+ \S+ \[([^\]]+)\] "(\S+) (\S+)[^"]*" (\d+) \S+ "[^"]*" "([^"]*)"`;

async function main(log, store) {
  fs.rmSync(store, { force: true });
  const began = Date.now();
  const instance = await DuckDBInstance.create(store);
  const connection = await instance.connect();
  const quoted = (text) => `'${text.replace(/'/g, "''")}'`;
  await connection.run(`CREATE TABLE lines AS
    SELECT regexp_extract(line, ${quoted(LINE)}, ['client', 'time', 'method', 'target', 'status', 'agent']) AS request
    FROM read_csv(${quoted(log)}, columns = {'line': 'VARCHAR'}, delim = E'\\x01', quote = '', escape = '',
                  header = false, auto_detect = false)`);
  connection.closeSync();
  instance.closeSync();
  console.log(`ms=${Date.now() - began}`);
}

main(process.argv[2], process.argv[3]).catch((error) => {
  console.error(error.message);
  process.exit(1);
});
