// The staging of an ingest run: temporary tables that never reach the store
// file. The distinct addresses, judged once each, and per line just its
// number, time, machine and address; a file's rows go into results, each
// line joined to its address, in one transaction.
'use strict';
const { DuckDBDataChunk, BOOLEAN, DOUBLE, INTEGER, UINTEGER, VARCHAR } = require('@duckdb/node-api');
const { JUDGED_COLUMNS, COLUMN_WORDS } = require('./classify.js');

// The staged types of the judged columns (VARCHAR where not named); the ids,
// BIGINT in results, are staged as exact doubles.
const ADDRESS_TYPES = {
  cut: BOOLEAN, mask: INTEGER, vendor_id: DOUBLE, device_id: DOUBLE, mem_mb: INTEGER, ram_mb: INTEGER,
  disk_mb: INTEGER, os_major: INTEGER, os_minor: INTEGER, os_sp: INTEGER
};
// The staged lines: result_columns.js's columns, in its order.
const LINE_COLUMNS = [['line_no', DOUBLE, 'lineNo'], ['at_ms', DOUBLE, 'atMs'], ['machine_hi', UINTEGER, 'machineHi'],
  ['machine_lo', UINTEGER, 'machineLo'], ['qid', DOUBLE, 'qid']];
// Staged lines joined to their addresses in one insert, at the most
// (VIDRAKE_FLEET_STORE_LINES: fewer, for the tests of that way).
const STORE_LINES = Number(process.env.VIDRAKE_FLEET_STORE_LINES) || 1000000;
// Rows of DuckDB's standard vector size go in a data chunk.
const CHUNK_ROWS = 2048;

// A list of words as a DuckDB list literal.
function wordList(words) {
  return `[${words.map((word) => `'${word.replace(/'/g, "''")}'`).join(', ')}]`;
}

// Rows appended by column a data chunk at a time (far cheaper than a call
// per value): one chunk, refilled. columns: per column an array-like with
// at least `count` values, null for NULL.
function createChunkAppender(appender, types) {
  const chunk = DuckDBDataChunk.create(types, CHUNK_ROWS);
  let vectors = types.map((type, i) => chunk.getColumnVector(i));
  return {
    append(columns, count) {
      for (let from = 0; from < count; from += CHUNK_ROWS) {
        const rows = Math.min(CHUNK_ROWS, count - from);
        if (rows !== chunk.rowCount) {
          chunk.rowCount = rows;
          vectors = types.map((type, i) => chunk.getColumnVector(i));
        }
        for (let c = 0; c < types.length; c++) {
          const vector = vectors[c], values = columns[c];
          for (let row = 0; row < rows; row++) vector.setItem(row, values[from + row]);
          vector.flush();
        }
        appender.appendDataChunk(chunk);
      }
    },
    flush() { appender.flushSync(); },
    close() { appender.closeSync(); }
  };
}

// The staging of one ingest run: append lines and addresses, then store the
// lines as rows of results within the file's transaction. Staging works
// outside that transaction: the insert into results from staged rows the
// transaction had added itself ran on one thread, from committed ones on
// every core. The staging tables are temporary: nothing of them is in the
// store, so a killed ingest still leaves the file out whole.
async function createStaging(connection) {
  const kinds = JUDGED_COLUMNS.map((c) => ADDRESS_TYPES[c] || (COLUMN_WORDS[c] ? INTEGER : VARCHAR));
  const addressColumns = JUDGED_COLUMNS.map((c, i) => `${c} ${kinds[i]}`).join(', ');
  await connection.run(`CREATE OR REPLACE TEMP TABLE address_stage (qid DOUBLE, ${addressColumns})`);
  await connection.run(`CREATE OR REPLACE TEMP TABLE line_stage (${LINE_COLUMNS.map(([name, type]) => `${name} ${type}`).join(', ')})`);
  const storedColumns = `file_id, line_no, seen_at, day, machine, ${JUDGED_COLUMNS.join(', ')}`;
  const open = async () => ({
    addresses: createChunkAppender(await connection.createAppender('address_stage', 'main', 'temp'), [DOUBLE].concat(kinds)),
    lines: createChunkAppender(await connection.createAppender('line_stage', 'main', 'temp'), LINE_COLUMNS.map(([, type]) => type))
  });
  let { addresses, lines } = await open();
  const judged = JUDGED_COLUMNS.map((c) => (COLUMN_WORDS[c] ? `${wordList(COLUMN_WORDS[c])}[a.${c} + 1]` : 'a.' + c)).join(', ');
  let staged = 0;
  return {
    get staged() { return staged; },
    // Addresses by column: their ids, and per column of JUDGED_COLUMNS the
    // values in the same order.
    addAddresses(qids, values) {
      addresses.append([qids].concat(values), qids.length);
    },
    // Results by column (result_columns.js).
    addResults(columns) {
      lines.append(LINE_COLUMNS.map(([, , name]) => columns[name]), columns.count);
      staged += columns.count;
    },
    // The staged lines into results as lines of fileId, inside the file's
    // transaction, each joined to its judged address once, at most
    // STORE_LINES lines an insert: a join of them all could need more memory
    // than DuckDB is given. Lines name addresses judged shortly before them,
    // so each insert's addresses are a narrow range of ids. Returns whether
    // the latest marks were made: in one insert, each machine's latest line
    // of a day among these lines, in the order recountDays ranks a day (the
    // lines of one file: time, then line); otherwise all are left false.
    async store(fileId) {
      addresses.flush();
      lines.flush();
      if (!staged) return false;
      const [[first, last]] = (await connection.runAndReadAll('SELECT min(line_no), max(line_no) FROM line_stage')).getRows();
      const inOne = staged <= STORE_LINES;
      const step = Math.ceil((Number(last) - Number(first) + 1) * STORE_LINES / staged);
      let stored = 0;
      for (let from = Number(first); from <= Number(last); from += step) {
        const range = `line_no >= ${from} AND line_no < ${from + step}`;
        const [[low, high]] = (await connection.runAndReadAll(`SELECT min(qid), max(qid) FROM line_stage WHERE ${range}`)).getRows();
        if (low === null) continue;
        const mark = inOne ? 'row_number() OVER (PARTITION BY day, machine_hi, machine_lo ORDER BY seen_at DESC, line_no DESC) = 1' : 'false';
        const inserted = await connection.run(`INSERT INTO results (${storedColumns}, latest)
          SELECT ${Number(fileId)}, l.line_no, l.seen_at, l.day, printf('%08x%08x', l.machine_hi, l.machine_lo), ${judged}, l.latest
          FROM (SELECT *, ${mark} AS latest
                FROM (SELECT line_no, epoch_ms(CAST(at_ms AS BIGINT)) AS seen_at, CAST(epoch_ms(CAST(at_ms AS BIGINT)) AS DATE) AS day,
                             machine_hi, machine_lo, qid FROM line_stage WHERE ${range})) l
          JOIN (SELECT * FROM address_stage WHERE qid BETWEEN ${Number(low)} AND ${Number(high)}) a USING (qid)`);
        stored += Number(inserted.rowsChanged);
      }
      // Every staged line must find its address: never store less silently.
      if (stored !== staged) throw new Error(`${staged - stored} results lost in staging`);
      await connection.run('DELETE FROM line_stage');
      staged = 0;
      return inOne;
    },
    // Addresses no line will name again (a worker dropped them from its cache).
    async dropAddresses(workers, worker, below) {
      addresses.flush();
      await connection.run(`DELETE FROM address_stage WHERE qid % ${workers} = ${worker} AND qid < ${below * workers}`);
    },
    // After a failure the appenders start afresh with the emptied tables.
    async reset() {
      addresses.close();
      lines.close();
      for (const table of ['address_stage', 'line_stage']) await connection.run(`DELETE FROM ${table}`);
      ({ addresses, lines } = await open());
      staged = 0;
    },
    close() {
      addresses.close();
      lines.close();
    }
  };
}

module.exports = { createStaging };
