// The fleet store: a DuckDB file with the tables of schema.sql and the
// report's groupings (rollups.js), kept by ingest.
'use strict';
const fs = require('fs');
const path = require('path');
const { openDuckDb } = require('./duckdb.js');
const { createRollups, refreshRollups } = require('./rollups.js');
const { holdsDayKeys, moveDayKeysOut } = require('./old_day_keys.js');

const SCHEMA = fs.readFileSync(path.join(__dirname, 'schema.sql'), 'utf8');

// Ingest's share of the machine: DuckDB's own default is 80% of it. While
// the workers read, past READING the staged lines spill to the store's
// temporary folder beside it; storing them and ranking the days' latest
// results take STORING, which some of it cannot spill.
const READING = '128MB';
const STORING = '256MB';
const WRITING = { memory_limit: READING };

// DuckDB's memory limit for storing (true) or for reading.
async function setStoring(connection, storing) {
  await connection.run(`SET memory_limit = '${storing ? STORING : READING}'`);
}

// The store at `file`, made when there is none: { instance, connection, close() }.
async function openStore(file) {
  let store = await openDuckDb(file, WRITING);
  if (await holdsDayKeys(store.connection)) {
    await moveDayKeysOut(file, store);
    store = await openDuckDb(file, WRITING);
  }
  await store.connection.run(SCHEMA);
  await createRollups(store.connection);
  return store;
}

// The days that fileId's lines touch counted again: each machine's latest
// result of the day marked, and the day's groupings (rollups.js) made anew
// (a file's lines may arrive over several runs, and another file may hold a
// later result of the same machine and day).
// The latest marks and the rollups of the days a file's lines touch. fresh:
// { fromLine } when the file's lines from there on went in with their
// latest marks made among themselves: those are right in every day that
// holds no other line, and only the other days are ranked again.
async function recountDays(connection, fileId, fresh = null) {
  await connection.run('CREATE OR REPLACE TEMP TABLE touched_days AS SELECT DISTINCT day FROM results WHERE file_id = $1', [Number(fileId)]);
  const ranked = fresh
    ? `SELECT DISTINCT day FROM results WHERE day IN (SELECT day FROM touched_days)
         AND (file_id <> ${Number(fileId)} OR line_no < ${Number(fresh.fromLine)})`
    : 'SELECT day FROM touched_days';
  await connection.run(`UPDATE results SET latest = ranked.place = 1
    FROM (SELECT file_id, line_no, row_number() OVER (PARTITION BY day, machine
                 ORDER BY seen_at DESC, file_id DESC, line_no DESC) AS place
          FROM results WHERE day IN (${ranked})) AS ranked
    WHERE results.file_id = ranked.file_id AND results.line_no = ranked.line_no
      AND results.latest <> (ranked.place = 1)`);
  await refreshRollups(connection, 'touched_days');
  await connection.run('DROP TABLE touched_days');
}

module.exports = { recountDays, openStore, setStoring };
