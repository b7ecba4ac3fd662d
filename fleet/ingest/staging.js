// The staging of an ingest run: temporary tables that never reach the store
// file. The distinct addresses, judged once each, per line just its number,
// time, machine and address, and the rows of results they make; a file's
// rows go into results in one transaction.
'use strict';
const { JUDGED_COLUMNS } = require('./classify.js');

const ADDRESS_TYPES = {
  cut: 'BOOLEAN', mask: 'INTEGER', vendor_id: 'BIGINT', device_id: 'BIGINT', mem_mb: 'INTEGER', ram_mb: 'INTEGER',
  disk_mb: 'INTEGER', os_major: 'INTEGER', os_minor: 'INTEGER', os_sp: 'INTEGER'
};

// The staging of one ingest run: append lines and addresses, flush them as
// rows of results for a file into result_stage, then store those rows in
// results within the file's transaction. Staging works outside that
// transaction: the insert into results from staged rows the transaction had
// added itself ran on one thread, from committed ones on every core. The
// staging tables are temporary: nothing of them is in the store, so a killed
// ingest still leaves the file out whole.
async function createStaging(connection) {
  const kinds = JUDGED_COLUMNS.map((c) => ADDRESS_TYPES[c] || 'VARCHAR');
  const addressColumns = JUDGED_COLUMNS.map((c, i) => `${c} ${kinds[i]}`).join(', ');
  await connection.run(`CREATE OR REPLACE TEMP TABLE address_stage (qid BIGINT, ${addressColumns})`);
  await connection.run('CREATE OR REPLACE TEMP TABLE line_stage (line_no BIGINT, at_ms DOUBLE, machine VARCHAR, qid BIGINT)');
  await connection.run('CREATE OR REPLACE TEMP TABLE result_stage AS SELECT * EXCLUDE (latest) FROM results LIMIT 0');
  const stored = `file_id, line_no, seen_at, day, machine, ${JUDGED_COLUMNS.join(', ')}`;
  let addresses = await connection.createAppender('address_stage', 'main', 'temp');
  let lines = await connection.createAppender('line_stage', 'main', 'temp');
  let staged = 0, flushed = 0;
  return {
    get staged() { return staged; },
    get flushed() { return flushed; },
    // Addresses by column: their ids, and per column of JUDGED_COLUMNS the
    // values in the same order.
    addAddresses(qids, values) {
      for (let row = 0; row < qids.length; row++) {
        addresses.appendDouble(qids[row]);
        for (let i = 0; i < kinds.length; i++) {
          const value = values[i][row];
          if (value === null || value === undefined) addresses.appendNull();
          else if (kinds[i] === 'BOOLEAN') addresses.appendBoolean(value);
          else if (kinds[i] !== 'VARCHAR') addresses.appendDouble(value);
          else addresses.appendVarchar(value);
        }
        addresses.endRow();
      }
    },
    addLine(lineNo, atMs, machine, qid) {
      lines.appendDouble(lineNo);
      lines.appendDouble(atMs);
      lines.appendVarchar(machine);
      lines.appendDouble(qid);
      lines.endRow();
      staged++;
    },
    // The staged lines into result_stage as lines of fileId.
    async flush(fileId) {
      addresses.flushSync();
      lines.flushSync();
      if (staged) {
        const judged = JUDGED_COLUMNS.map((c) => 'a.' + c).join(', ');
        const inserted = await connection.run(`INSERT INTO result_stage (${stored})
          SELECT ${Number(fileId)}, l.line_no, epoch_ms(CAST(l.at_ms AS BIGINT)), CAST(epoch_ms(CAST(l.at_ms AS BIGINT)) AS DATE),
                 l.machine, ${judged}
          FROM line_stage l JOIN address_stage a USING (qid)`);
        // Every staged line must find its address: never store less silently.
        if (Number(inserted.rowsChanged) !== staged) throw new Error(`${staged - Number(inserted.rowsChanged)} results lost in staging`);
        await connection.run('DELETE FROM line_stage');
      }
      flushed += staged;
      staged = 0;
    },
    // The flushed rows into results, inside the file's transaction; after
    // it, clear() empties result_stage for the next file.
    async store() {
      const inserted = await connection.run(`INSERT INTO results (${stored}) SELECT ${stored} FROM result_stage`);
      if (Number(inserted.rowsChanged) !== flushed) throw new Error(`${flushed - Number(inserted.rowsChanged)} results lost in staging`);
    },
    async clear() {
      await connection.run('DELETE FROM result_stage');
      flushed = 0;
    },
    // Addresses no line will name again (a worker dropped them from its cache).
    async dropAddresses(workers, worker, below) {
      addresses.flushSync();
      await connection.run(`DELETE FROM address_stage WHERE qid % ${workers} = ${worker} AND qid < ${below * workers}`);
    },
    // After a failure the appenders start afresh with the emptied tables.
    async reset() {
      addresses.closeSync();
      lines.closeSync();
      for (const table of ['address_stage', 'line_stage', 'result_stage']) await connection.run(`DELETE FROM ${table}`);
      addresses = await connection.createAppender('address_stage', 'main', 'temp');
      lines = await connection.createAppender('line_stage', 'main', 'temp');
      staged = 0;
      flushed = 0;
    },
    close() {
      addresses.closeSync();
      lines.closeSync();
    }
  };
}

module.exports = { createStaging };
