// Hand-made fleet stores: results put straight into the store's schema, each
// address judged by ingest's own classification.
'use strict';
const fs = require('node:fs');
const { address } = require('../resultpage/address.js');

const { openStore, recountDays } = require('../../fleet/store/store.js');
const { judgeQuery, JUDGED_COLUMNS } = require('../../fleet/ingest/classify.js');

// One results row from the items of an address (over the defaults of the
// page tests' addresses), its columns as ingest judges the address.
function resultRow(values, fileId, lineNo, seenAt, machine) {
  const text = address(values);
  const judged = judgeQuery(text.slice(text.indexOf('?') + 1));
  if (judged.rejected) throw new Error('ingest rejects ' + text + ': ' + judged.rejected);
  const row = { file_id: fileId, line_no: lineNo, seen_at: seenAt, day: seenAt.slice(0, 10), machine };
  for (const column of JUDGED_COLUMNS) row[column] = judged.columns[column];
  row.latest = false;
  return row;
}

// groups: [{ count, values, day, repeats }]: `count` machines with these
// items on `day`, each sending its result `repeats` times (the last one
// stands). files: [{ lines_read, ..., rejected_reasons }].
async function makeStore(file, groups, files) {
  fs.rmSync(file, { force: true });
  const { instance, connection } = await openStore(file);
  const rows = [];
  let machine = 0, line = 0;
  for (const group of groups) {
    for (let i = 0; i < group.count; i++) {
      machine++;
      const repeats = group.repeats || 1;
      for (let r = 0; r < repeats; r++) {
        // Earlier sends of the day say something else: only the last counts.
        const values = r < repeats - 1 ? { result: '-1' } : group.values;
        const time = group.day + 'T' + String(10 + r).padStart(2, '0') + ':00:00';
        rows.push(resultRow(values, 1, ++line, time, 'm' + machine));
      }
    }
  }
  const columns = Object.keys(rows[0]);
  const appender = await connection.createAppender('results');
  for (const row of rows) {
    for (const column of columns) {
      const value = row[column];
      if (value === null) appender.appendNull();
      else if (column === 'seen_at') appender.appendVarchar(value.replace('T', ' '));
      else if (typeof value === 'boolean') appender.appendBoolean(value);
      else if (typeof value === 'number') appender.appendBigInt(BigInt(value));
      else appender.appendVarchar(value);
    }
    appender.endRow();
  }
  appender.closeSync();
  // Which result stands for each machine-day, as ingest decides it.
  await recountDays(connection, 1);
  let fileId = 0;
  for (const f of files || [{ lines_read: line, results: line, other_requests: 0, rejected: 0, cut: 0, rejected_reasons: '{}' }]) {
    fileId++;
    await connection.run('INSERT INTO files (file_id, head_hash, format, bytes_done, lines_read, results, other_requests, rejected, cut, rejected_reasons) ' +
      'VALUES ($1, $2, $3, 0, $4, $5, $6, $7, $8, $9)',
      [fileId, 'head' + fileId, 'combined', f.lines_read, f.results, f.other_requests, f.rejected, f.cut, f.rejected_reasons]);
  }
  connection.closeSync();
  instance.closeSync();
  return rows.length;
}

module.exports = { makeStore, resultRow };
