// The day keys of an ingest run, and what each worker knows of them. A key
// is made the first time its day is met and stored with the file that met
// it; a key whose day has expired leaves the store and every worker.
'use strict';
const { listValue } = require('@duckdb/node-api');
const { rows } = require('../store/duckdb.js');
const { newDayKey, keyExpired, utcDay, DAY_MS } = require('./machine_rule.js');

// The keys the store holds, for `workers` workers that know none yet.
async function loadDayKeys(connection, workers) {
  const keys = new Map();     // day -> key
  const sent = [], forget = [];
  for (let i = 0; i < workers; i++) {
    sent.push(new Set());     // the days whose key the worker has
    forget.push([]);          // the days the worker is still to forget
  }
  let made = [];              // days whose key the current file made
  for (const row of await rows(connection, 'SELECT CAST(day AS VARCHAR) AS day, key FROM day_keys')) keys.set(row.day, Buffer.from(row.key));

  function drop(days) {
    for (const day of days) {
      keys.delete(day);
      sent.forEach((known, worker) => { if (known.delete(day)) forget[worker].push(day); });
    }
  }

  // The key of a day, made when the day is first met.
  function keyOf(day) {
    let key = keys.get(day);
    if (!key) {
      key = newDayKey();
      keys.set(day, key);
      made.push(day);
    }
    return key;
  }

  return {
    keyOf,
    // Keys for the days a run of lines spans, judged by the times of a few
    // of its lines (in milliseconds), made before the workers need them; a
    // span over a month gets only those lines' days.
    keysForTimes(times) {
      const from = Math.min(...times), to = Math.max(...times);
      if (to - from > 31 * DAY_MS) {
        times.forEach((t) => keyOf(utcDay(t)));
        return;
      }
      for (let t = from - (from % DAY_MS); t <= to; t += DAY_MS) keyOf(utcDay(t));
    },
    // What a worker has not yet learnt: { keys: {day: hex key}, forget: [day] }.
    newsFor(worker) {
      const news = {};
      for (const [day, key] of keys) {
        if (!sent[worker].has(day)) { news[day] = key.toString('hex'); sent[worker].add(day); }
      }
      return { keys: news, forget: forget[worker].splice(0) };
    },
    // Within the file's transaction: the keys it made, in one statement (a
    // log of a year has hundreds of days).
    async storeMade(connection) {
      if (!made.length) return;
      await connection.run('INSERT INTO day_keys SELECT CAST(unnest($1) AS DATE), unhex(unnest($2))',
        [listValue(made), listValue(made.map((day) => keys.get(day).toString('hex')))]);
    },
    // Within the file's transaction: keys of days more than 48 hours older
    // than the newest line ingested go.
    async dropExpired(connection) {
      const [{ ms }] = await rows(connection, 'SELECT epoch_ms(max(newest_at)) AS ms FROM files');
      const newest = ms === null ? -Infinity : Number(ms);
      const expired = [...keys.keys()].filter((day) => keyExpired(day, newest));
      if (expired.length) await connection.run('DELETE FROM day_keys WHERE day IN (SELECT CAST(unnest($1) AS DATE))', [listValue(expired)]);
      drop(expired);
    },
    // The file is stored: its keys are the store's.
    kept() {
      made = [];
    },
    // The file is not stored: the keys it made are gone.
    abandoned() {
      drop(made.splice(0));
    }
  };
}

module.exports = { loadDayKeys };
