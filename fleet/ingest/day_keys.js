// The day keys of an ingest run, and what each worker knows of them. A key
// is made the first time its day is met and written to the store's key file
// before the transaction of the file that met it commits (a key without
// data is harmless); a key whose day has expired leaves the key file only
// after the transaction that expired it has committed (at worst it lives
// one run longer), and leaves every worker.
'use strict';
const { rows } = require('../store/duckdb.js');
const { keyFileOf, newKey, readKeyFile, writeKeyFile } = require('../store/key_file.js');
const { keyExpired, utcDay, DAY_MS } = require('./machine_rule.js');

// The days of `keys` expired by the newest line the store holds.
async function expiredDays(connection, keys) {
  const [{ ms }] = await rows(connection, 'SELECT epoch_ms(max(newest_at)) AS ms FROM files');
  const newest = ms === null ? -Infinity : Number(ms);
  return [...keys.keys()].filter((day) => keyExpired(day, newest));
}

// The keys of the store `storeFile` (open on `connection`), made when it has
// none yet, with the keys its committed lines expired gone: { fileKey, days }.
async function openKeys(storeFile, connection) {
  let keys = readKeyFile(storeFile);
  if (!keys) {
    // Without its keys a store would take its files for new ones and count
    // them again.
    const [{ files }] = await rows(connection, 'SELECT count(*) AS files FROM files');
    if (files) throw new Error(keyFileOf(storeFile) + ': the key file of this store is missing (nothing was read)');
    keys = { fileKey: newKey(), days: new Map() };
    writeKeyFile(storeFile, keys);
  }
  const expired = await expiredDays(connection, keys.days);
  if (expired.length) {
    for (const day of expired) keys.days.delete(day);
    writeKeyFile(storeFile, keys);
  }
  return keys;
}

// The keys of the store, for `workers` workers that know none yet.
async function loadDayKeys(storeFile, connection, workers) {
  const stored = await openKeys(storeFile, connection);
  const keys = stored.days;    // day -> key
  const sent = [], forget = [];
  for (let i = 0; i < workers; i++) {
    sent.push(new Set());     // the days whose key the worker has
    forget.push([]);          // the days the worker is still to forget
  }
  let made = [];              // days whose key the current file made
  let expiring = [];          // days the current file's transaction expires

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
      key = newKey();
      keys.set(day, key);
      made.push(day);
    }
    return key;
  }

  return {
    fileKey: stored.fileKey,
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
    // Within the file's transaction, before it commits: the keys it made in
    // the key file, and the days whose keys go once it has committed (more
    // than 48 hours older than the newest line ingested).
    async beforeCommit(connection) {
      expiring = await expiredDays(connection, keys);
      if (made.length) writeKeyFile(storeFile, stored);
    },
    // The file's transaction committed: its keys are the store's, and the
    // expired ones leave the key file.
    kept() {
      made = [];
      if (expiring.length) {
        drop(expiring.splice(0));
        writeKeyFile(storeFile, stored);
      }
    },
    // The file is not stored: the keys it made are gone.
    abandoned() {
      expiring = [];
      drop(made.splice(0));
    }
  };
}

module.exports = { loadDayKeys };
