// An ingest killed with SIGKILL at random moments, then run again, gives the
// store that one clean run gives.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawn, spawnSync } = require('child_process');
const crypto = require('crypto');
const { DuckDBInstance } = require('@duckdb/node-api');

const MAIN = path.join(__dirname, '..', '..', 'fleet', 'cli', 'main.js');

async function contents(store) {
  const instance = await DuckDBInstance.create(store);
  const connection = await instance.connect();
  const read = async (sql) => JSON.stringify((await connection.runAndReadAll(sql)).getRowsJS(), (k, v) => (typeof v === 'bigint' ? Number(v) : v));
  try {
    return {
      // A file's head_hash is keyed with its store's own file key: the files
      // are told apart by their sizes instead.
      files: await read('SELECT format, bytes_done, lines_read, results, other_requests, rejected, cut, rejected_reasons, newest_at FROM files ORDER BY bytes_done'),
      // The results as a digest: a failure then stays readable.
      results: crypto.createHash('sha256').update(await read(`SELECT f.bytes_done, r.line_no, r.seen_at, r.verdict, r.mask, r.card, r.hdspace, r.cut
        FROM results r JOIN files f USING (file_id) ORDER BY f.bytes_done, r.line_no`)).digest('hex'),
      machines: await read('SELECT day, verdict, count(*) FROM machine_days GROUP BY ALL ORDER BY ALL'),
      // The days whose key the key file beside the store holds.
      keys: Object.keys(JSON.parse(fs.readFileSync(store + '.keys', 'utf8')).days).sort()
    };
  } finally {
    connection.closeSync();
    instance.closeSync();
  }
}

function ingestUntilKilled(store, logs, afterMs) {
  return new Promise((resolve) => {
    const child = spawn(process.execPath, [MAIN, 'ingest', store, ...logs], { stdio: 'ignore' });
    const timer = setTimeout(() => child.kill('SIGKILL'), afterMs);
    child.on('exit', (code, signal) => { clearTimeout(timer); resolve(signal || code); });
  });
}

test('kill -9 at random moments, then ingest again: the same store as a clean run', async (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-kill.'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  const logs = [path.join(dir, 'a.log'), path.join(dir, 'b.log')];
  for (const [i, log] of logs.entries()) {
    const done = spawnSync(process.execPath, [MAIN, 'simulate', '20000', '--out', log, '--seed', 'kill' + i, '--days', '20']);
    assert.equal(done.status, 0, String(done.stderr));
  }
  const clean = path.join(dir, 'clean.duckdb');
  const began = Date.now();
  assert.equal(spawnSync(process.execPath, [MAIN, 'ingest', clean, ...logs]).status, 0);
  const cleanMs = Date.now() - began;
  const expected = await contents(clean);

  const store = path.join(dir, 'killed.duckdb');
  // A busy machine can run an ingest faster than the clean one took, so that
  // every run ends before its kill: then it starts again from no store.
  let outcomes = [];
  for (let attempt = 0; attempt < 5 && !outcomes.includes('SIGKILL'); attempt++) {
    fs.rmSync(store, { force: true });
    fs.rmSync(store + '.wal', { force: true });
    fs.rmSync(store + '.keys', { force: true });
    outcomes = [];
    for (let round = 0; round < 3; round++) {
      outcomes.push(await ingestUntilKilled(store, logs, 100 + Math.floor(Math.random() * cleanMs * 0.8)));
    }
  }
  const last = spawnSync(process.execPath, [MAIN, 'ingest', store, ...logs], { encoding: 'utf8' });
  assert.equal(last.status, 0, last.stderr);
  assert.ok(outcomes.includes('SIGKILL'), `some run was killed: ${outcomes}`);
  assert.deepEqual(await contents(store), expected);
});
