// The store against a copy of it: its keys are in the key file beside it,
// never in the store, and an expired key leaves no bytes in any file the
// tool keeps; a store of the earlier layout gives its keys up on first open.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const crypto = require('crypto');
const { spawn, spawnSync } = require('child_process');
const { DuckDBInstance } = require('@duckdb/node-api');
const { queryStore } = require('./store_query.js');
const { address, items } = require('../resultpage/address.js');
const { identityItems, identityText, machineHash } = require('../../fleet/ingest/machine_rule.js');
const L = require('./log_lines.js');

const MAIN = path.join(__dirname, '..', '..', 'fleet', 'cli', 'main.js');
const CLIENT = '198.51.100.7', AGENT = 'Agent/7 (known)';
const KNOWN = { result: '16', ram: '1003 MB' };

function run(...args) {
  const done = spawnSync(process.execPath, [MAIN, ...args], { encoding: 'utf8' });
  assert.equal(done.status, 0, done.stderr);
  return done.stdout;
}

const query = queryStore;

// A day's log ("01/Dec/2026") of `n` results from a few machines, with one
// request of a known machine among them.
function dayLog(day, n) {
  const lines = [L.combinedLine(L.asBrowserSends(address(KNOWN)), { client: CLIENT, time: `${day}:00:00:30 +0000`, agent: AGENT })];
  for (let i = 0; i < n; i++) {
    const time = `${day}:${String(Math.floor(i / 60) % 24).padStart(2, '0')}:${String(i % 60).padStart(2, '0')}:00 +0000`;
    lines.push(L.combinedLine(L.asBrowserSends(address({ result: String([0, 16, 1024][i % 3]) })),
      { client: `198.51.100.${i % 5}`, time, agent: `Agent/${i % 3}` }));
  }
  return lines.join('\n') + '\n';
}

function keysOf(store) {
  const parsed = JSON.parse(fs.readFileSync(store + '.keys', 'utf8'));
  return { file: Buffer.from(parsed.file, 'hex'), days: new Map(Object.entries(parsed.days).map(([d, k]) => [d, Buffer.from(k, 'hex')])) };
}

// The bytes of every file the tool keeps for `store`, by name.
function keptFiles(store) {
  const dir = path.dirname(store), base = path.basename(store);
  return fs.readdirSync(dir).filter((f) => f.startsWith(base)).map((f) => [f, fs.readFileSync(path.join(dir, f))]);
}

function tempDir(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-keys.'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

const KNOWN_IDENTITY = identityText(identityItems((k) => (k in items(KNOWN) ? items(KNOWN)[k] : null)));

test('an expired day key leaves no bytes in the store, its WAL or the key file', async (t) => {
  const dir = tempDir(t);
  const store = path.join(dir, 'fleet.duckdb');
  const logs = ['01', '02', '05', '06', '07', '08', '09', '10', '11', '12', '13'].map((d) => {
    const log = path.join(dir, d + '.log');
    fs.writeFileSync(log, dayLog(`${d}/Dec/2026`, 40));
    return log;
  });
  run('ingest', store, logs[0], logs[1]);
  const first = keysOf(store).days.get('2026-12-01');
  assert.ok(first);
  // The known machine's hash of that day, from its key: the store holds it.
  const hash = machineHash(first, CLIENT, AGENT, KNOWN_IDENTITY);
  assert.equal((await query(store, `SELECT count(*) AS n FROM results WHERE day = DATE '2026-12-01' AND machine = '${hash}'`))[0].n, 1n);
  for (const log of logs.slice(2)) run('ingest', store, log);
  assert.equal(keysOf(store).days.has('2026-12-01'), false);
  const files = keptFiles(store);
  assert.ok(files.some(([name]) => name.endsWith('.keys')));
  for (const [name, bytes] of files) {
    assert.equal(bytes.includes(first), false, name + ' holds the key');
    assert.equal(bytes.includes(Buffer.from(first.toString('hex'))), false, name + ' holds the key in hex');
    assert.equal(bytes.includes(Buffer.from(first.toString('hex').toUpperCase())), false, name + ' holds the key in hex');
  }
});

test('the store copied alone holds no key: no window of it recomputes a machine hash', async (t) => {
  const dir = tempDir(t);
  const store = path.join(dir, 'fleet.duckdb');
  const log = path.join(dir, 'a.log');
  fs.writeFileSync(log, dayLog('03/Dec/2026', 200));
  run('ingest', store, log);
  const keys = keysOf(store);
  const hash = machineHash(keys.days.get('2026-12-03'), CLIENT, AGENT, KNOWN_IDENTITY);
  const machines = new Set((await query(store, 'SELECT DISTINCT machine FROM results')).map((r) => r.machine));
  assert.ok(machines.has(hash), 'with the key file, the known machine is found');

  const copy = path.join(dir, 'copy.duckdb');
  fs.copyFileSync(store, copy);
  const bytes = fs.readFileSync(copy);
  assert.equal(fs.existsSync(store + '.wal'), false);
  for (const key of [keys.file, ...keys.days.values()]) {
    for (const form of [key, Buffer.from(key.toString('hex')), Buffer.from(key.toString('hex').toUpperCase())]) {
      assert.equal(bytes.includes(form), false, 'the store holds a key');
    }
  }
  // Every 32-byte window of the file tried as the day's key, as one who has
  // the copy and knows one request of the day would.
  for (let at = 0; at + 32 <= bytes.length; at += 4) {
    assert.equal(machines.has(machineHash(bytes.subarray(at, at + 32), CLIENT, AGENT, KNOWN_IDENTITY)), false, 'a window at ' + at);
  }
  // Nor does the file's name in the store confirm a guessed first line.
  const firstLine = fs.readFileSync(log).subarray(0, fs.readFileSync(log).indexOf(10) + 1);
  const [row] = await query(copy, 'SELECT head_hash FROM files');
  for (const guess of [firstLine, firstLine.subarray(0, firstLine.length - 1)]) {
    assert.notEqual(row.head_hash, crypto.createHash('sha256').update(guess).digest('hex'));
  }
  // Without its key file the store is not read on: its files would count again.
  const alone = spawnSync(process.execPath, [MAIN, 'ingest', copy, log], { encoding: 'utf8' });
  assert.equal(alone.status, 1);
  assert.match(alone.stderr, /copy\.duckdb\.keys: the key file of this store is missing/);
});

// A store as the earlier layout wrote it: the day keys in a table, each
// file named by the plain hash of its head.
async function asEarlierLayout(store, keys, heads) {
  const instance = await DuckDBInstance.create(store);
  const connection = await instance.connect();
  try {
    await connection.run('CREATE TABLE day_keys (day DATE PRIMARY KEY, key BLOB NOT NULL)');
    for (const [day, key] of keys.days) await connection.run(`INSERT INTO day_keys VALUES (DATE '${day}', unhex('${key.toString('hex')}'))`);
    for (const head of heads) {
      const keyed = crypto.createHmac('sha256', keys.file).update(head).digest('hex');
      const plain = crypto.createHash('sha256').update(head).digest('hex');
      await connection.run(`UPDATE files SET head_hash = '${plain}' WHERE head_hash = '${keyed}'`);
    }
  } finally {
    connection.closeSync();
    instance.closeSync();
  }
  fs.rmSync(store + '.keys');
}

test('a store of the earlier layout: its keys move to the key file, its files are still known', async (t) => {
  const dir = tempDir(t);
  const store = path.join(dir, 'fleet.duckdb');
  const [a, b] = ['a', 'b'].map((name, i) => {
    const log = path.join(dir, name + '.log');
    fs.writeFileSync(log, dayLog(`0${4 + i}/Dec/2026`, 60));
    return log;
  });
  run('ingest', store, a);
  const keys = keysOf(store);
  const head = fs.readFileSync(a).subarray(0, fs.readFileSync(a).indexOf(10) + 1);
  await asEarlierLayout(store, keys, [head]);
  const before = await query(store, 'SELECT count(*) AS n FROM results');

  // The known file again: it is not read twice, and the keys have left.
  assert.match(run('ingest', store, a), /a\.log: nothing new/);
  for (const [name, bytes] of keptFiles(store).filter(([n]) => !n.endsWith('.keys'))) {
    assert.equal(bytes.includes(keys.days.get('2026-12-04')), false, name + ' still holds the old key');
  }
  assert.deepEqual(keysOf(store).days.get('2026-12-04'), keys.days.get('2026-12-04'));
  assert.equal((await query(store, "SELECT count(*) AS n FROM duckdb_tables() WHERE table_name = 'day_keys'"))[0].n, 0n);
  assert.equal((await query(store, 'SELECT count(*) AS n FROM results WHERE file_id = 1'))[0].n, before[0].n);
  // A new file finds the day keys where they went.
  assert.match(run('ingest', store, b), /b\.log: 61 lines/);
  // Read on later, the file takes the keyed name.
  fs.appendFileSync(a, dayLog('04/Dec/2026', 3));
  run('ingest', store, a);
  const keyed = crypto.createHmac('sha256', keysOf(store).file).update(head).digest('hex');
  assert.equal((await query(store, `SELECT count(*) AS n FROM files WHERE head_hash = '${keyed}'`))[0].n, 1n);
});

function ingestUntilKilled(store, logs, afterMs) {
  return new Promise((resolve) => {
    const child = spawn(process.execPath, [MAIN, 'ingest', store, ...logs], { stdio: 'ignore' });
    const timer = setTimeout(() => child.kill('SIGKILL'), afterMs);
    child.on('exit', (code, signal) => { clearTimeout(timer); resolve(signal || code); });
  });
}

// What a store counts, and the days whose keys its key file holds.
async function counted(store) {
  const read = async (sql) => JSON.stringify(await query(store, sql), (k, v) => (typeof v === 'bigint' ? Number(v) : v));
  return {
    files: await read('SELECT bytes_done, lines_read, results, newest_at FROM files ORDER BY newest_at'),
    machines: await read('SELECT day, verdict, count(*) FROM machine_days GROUP BY ALL ORDER BY ALL'),
    keys: [...keysOf(store).days.keys()].sort()
  };
}

test('kill -9 while day keys are made and expired, then ingest again: the store of a clean run', async (t) => {
  const dir = tempDir(t);
  // A log a day, each expiring the key of a day three before it, and ending
  // in the next day's first minutes, whose machines the next log meets again
  // (a key lost or made twice would count them twice).
  const logs = [];
  const day = (d) => `${String(d).padStart(2, '0')}/Dec/2026`;
  for (let d = 1; d <= 12; d++) {
    const log = path.join(dir, `${d}.log`);
    fs.writeFileSync(log, dayLog(day(d), 1500) + dayLog(day(d + 1), 20));
    logs.push(log);
  }
  const clean = path.join(dir, 'clean.duckdb');
  const began = Date.now();
  run('ingest', clean, ...logs);
  const cleanMs = Date.now() - began;
  const expected = await counted(clean);
  assert.deepEqual(expected.keys, ['2026-12-11', '2026-12-12', '2026-12-13']);

  const store = path.join(dir, 'killed.duckdb');
  let outcomes = [];
  for (let attempt = 0; attempt < 5 && !outcomes.includes('SIGKILL'); attempt++) {
    for (const f of ['', '.wal', '.keys']) fs.rmSync(store + f, { force: true });
    outcomes = [];
    for (let round = 0; round < 4; round++) {
      outcomes.push(await ingestUntilKilled(store, logs, 150 + Math.floor(Math.random() * cleanMs * 0.8)));
    }
  }
  run('ingest', store, ...logs);
  assert.ok(outcomes.includes('SIGKILL'), `some run was killed: ${outcomes}`);
  assert.deepEqual(await counted(store), expected);
  assert.equal(fs.existsSync(store + '.keys.tmp'), false);
});
