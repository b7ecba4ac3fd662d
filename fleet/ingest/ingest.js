// vidrake-fleet ingest STORE LOG... : web server access logs into the store,
// each file in one transaction (a killed ingest leaves the file out whole).
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const crypto = require('crypto');
const { Worker } = require('worker_threads');
const { listValue } = require('@duckdb/node-api');
const { FORMATS, detectFormat, lineParser } = require('./log_formats.js');
const { openStore, closeStore, rows, createStaging, recountDays } = require('../store/store.js');
const { newDayKey, machineHash, keyExpired, utcDay } = require('./machine_rule.js');

const USAGE = 'usage: vidrake-fleet ingest STORE LOG... [--format combined|common|cloudfront] [--workers N]';
const CHUNK = 1 << 20;        // bytes of lines per worker job
const HEAD_LIMIT = 1 << 20;   // a file's head must end within this
// A worker's young generation: each line leaves short-lived garbage (its
// slices, matches and request), and a larger nursery collects it far less
// often than V8's default (measured: GC from 19% to 15% of a worker's time).
const WORKER_YOUNG_MB = 192;
// Staged lines per insert into results (VIDRAKE_FLEET_FLUSH_LINES: fewer,
// for the tests of the staging's turnover).
const FLUSH_LINES = Number(process.env.VIDRAKE_FLEET_FLUSH_LINES) || 1000000;
// Results of a file held staged outside its transaction, at the most (each
// takes about 350 bytes of memory there): past them the transaction opens
// and takes them in, and the rest of the file is staged inside it, which is
// slower (VIDRAKE_FLEET_STAGE_RESULTS: fewer, for the tests of that way).
const STAGE_RESULTS = Number(process.env.VIDRAKE_FLEET_STAGE_RESULTS) || 8000000;
const DAY_MS = 86400000;

function parseArgs(argv) {
  const options = { format: null, workers: Math.max(1, Math.min(2, os.cpus().length)), files: [] };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (a === '--format') options.format = argv[++i];
    else if (a === '--workers') options.workers = Number(argv[++i]);
    else if (a.startsWith('--')) throw new Error(`unknown option ${a}\n${USAGE}`);
    else options.files.push(a);
  }
  if (options.format !== null && !FORMATS.includes(options.format)) throw new Error(`unknown format ${options.format}\n${USAGE}`);
  if (!(options.workers >= 1 && options.workers <= 16)) throw new Error(`--workers takes 1 to 16\n${USAGE}`);
  if (options.files.length < 2) throw new Error(USAGE);
  options.store = options.files.shift();
  return options;
}

// Where the head of a file ends: after its first line that is neither empty
// nor a "#" header; -1 when no such whole line is in `buffer`.
function headEnd(buffer) {
  for (let start = 0; start < buffer.length;) {
    const end = buffer.indexOf(10, start);
    if (end < 0) return -1;
    const first = buffer[start];
    if (end > start && first !== 35 && !(first === 13 && end === start + 1)) return end + 1;
    start = end + 1;
  }
  return -1;
}

function isGzip(file) {
  const fd = fs.openSync(file, 'r');
  try {
    const magic = Buffer.alloc(2);
    return fs.readSync(fd, magic, 0, 2, 0) === 2 && magic[0] === 0x1F && magic[1] === 0x8B;
  } finally {
    fs.closeSync(fd);
  }
}

// The decompressed bytes of a file from `skip` on, in chunks; `progress`
// learns the bytes of the file itself read so far.
async function* contentFrom(file, gzip, skip, progress) {
  const raw = fs.createReadStream(file, { highWaterMark: 4 << 20, start: gzip ? 0 : skip });
  const stream = gzip ? raw.pipe(zlib.createGunzip({ chunkSize: 1 << 20 })) : raw;
  if (gzip) {
    raw.on('data', (b) => progress(b.length));
    raw.on('error', (e) => stream.destroy(e));
  }
  let toSkip = gzip ? skip : 0;
  try {
    for await (let chunk of stream) {
      if (!gzip) progress(chunk.length);
      if (toSkip) {
        if (chunk.length <= toSkip) { toSkip -= chunk.length; continue; }
        chunk = chunk.subarray(toSkip);
        toSkip = 0;
      }
      yield chunk;
    }
  } finally {
    raw.destroy();
  }
}

async function readHead(file, gzip) {
  const parts = [];
  let size = 0;
  for await (const chunk of contentFrom(file, gzip, 0, () => {})) {
    parts.push(chunk);
    size += chunk.length;
    if (headEnd(Buffer.concat(parts)) >= 0 || size >= HEAD_LIMIT) break;
  }
  const buffer = Buffer.concat(parts);
  return { buffer, end: headEnd(buffer.subarray(0, HEAD_LIMIT)) };
}

// Where to cut `parts` (buffers read one after the other): after the last
// newline before byte `limit`, else after the first one past it (a line
// longer than a piece); -1 when there is no newline to cut at.
function cutPoint(parts, limit) {
  if (!parts.length) return -1;
  let i = 0, offset = 0;
  while (i < parts.length - 1 && offset + parts[i].length < limit) offset += parts[i++].length;
  for (let j = i, at = offset; j >= 0; j--) {
    const newline = parts[j].lastIndexOf(10, j === i ? limit - 1 - at : parts[j].length - 1);
    if (newline >= 0) return at + newline + 1;
    if (j > 0) at -= parts[j - 1].length;
  }
  for (let j = i, at = offset; j < parts.length; at += parts[j].length, j++) {
    const newline = parts[j].indexOf(10, j === i ? Math.max(0, limit - at) : 0);
    if (newline >= 0) return at + newline + 1;
  }
  return -1;
}

// The whole lines of `chunks` in pieces of about `size` bytes, cut after a
// newline, each in memory of its own (never Node's shared pool) so that it
// can be transferred to a worker; each byte is copied once. What follows the
// last newline is left out: a line without its newline waits for the next run.
async function* wholeLinePieces(chunks, size = CHUNK) {
  const parts = [];
  let held = 0;
  const take = (length) => {
    const piece = Buffer.allocUnsafeSlow(length);
    for (let at = 0; at < length;) {
      const n = Math.min(parts[0].length, length - at);
      parts[0].copy(piece, at, 0, n);
      at += n;
      if (n === parts[0].length) parts.shift();
      else parts[0] = parts[0].subarray(n);
    }
    held -= length;
    return piece;
  };
  for await (const chunk of chunks) {
    parts.push(chunk);
    held += chunk.length;
    for (let end; held >= size && (end = cutPoint(parts, size)) > 0;) yield take(end);
  }
  const end = cutPoint(parts, held);
  if (end > 0) yield take(end);
}

function countLines(buffer) {
  let n = 0;
  for (let at = buffer.indexOf(10); at >= 0; at = buffer.indexOf(10, at + 1)) n++;
  return n;
}

function createPool(count) {
  const workers = [];
  for (let i = 0; i < count; i++) {
    const worker = new Worker(path.join(__dirname, 'worker_thread.js'), {
      workerData: { worker: i, workers: count }, resourceLimits: { maxYoungGenerationSizeMb: WORKER_YOUNG_MB }
    });
    const entry = { worker, waiting: new Map(), busy: 0, failed: null };
    worker.on('message', (reply) => {
      const done = entry.waiting.get(reply.id);
      entry.waiting.delete(reply.id);
      entry.busy--;
      done.resolve(reply);
    });
    worker.on('error', (error) => {
      entry.failed = error;
      for (const done of entry.waiting.values()) done.reject(error);
      entry.waiting.clear();
    });
    workers.push(entry);
  }
  let nextId = 0;
  return {
    size: count,
    idle() { return workers.reduce((best, w) => (w.busy < best.busy ? w : best)); },
    // Posts a job to the least busy worker; resolves with its reply.
    send(job, target) {
      const entry = target || this.idle();
      if (entry.failed) return Promise.reject(entry.failed);
      const id = nextId++;
      entry.busy++;
      const transfer = job.buffer ? [job.buffer] : [];
      return new Promise((resolve, reject) => {
        entry.waiting.set(id, { resolve, reject });
        entry.worker.postMessage(Object.assign(job, { id }), transfer);
      });
    },
    workers,
    async close() { await Promise.all(workers.map((w) => w.worker.terminate())); }
  };
}

function addCounts(total, counts) {
  for (const key of ['lines', 'results', 'other', 'rejected', 'cut']) total[key] += counts[key];
  for (const [reason, n] of Object.entries(counts.reasons)) total.reasons[reason] = (total.reasons[reason] || 0) + n;
}

function emptyCounts() {
  return { lines: 0, results: 0, other: 0, rejected: 0, cut: 0, reasons: {} };
}

function describeCounts(c) {
  const reasons = Object.keys(c.reasons).sort().map((r) => `${r} ${c.reasons[r]}`).join(', ');
  return `${c.lines} lines: ${c.results} results (${c.cut} cut by "#"), ${c.other} other requests, ` +
    `${c.rejected} rejected${reasons ? ` (${reasons})` : ''}`;
}

// Progress on a terminal only: bytes read of the total, lines a second.
function createProgress(stream) {
  if (!stream.isTTY) return { file() {}, bytes() {}, lines() {}, done() {} };
  let name = '', total = 0, read = 0, lines = 0, began = Date.now(), shown = 0;
  const show = (force) => {
    const now = Date.now();
    if (!force && now - shown < 500) return;
    shown = now;
    const rate = Math.round(lines / Math.max(0.001, (now - began) / 1000));
    stream.write(`\r${name}: ${(read / 1e6).toFixed(1)} of ${(total / 1e6).toFixed(1)} MB, ${rate.toLocaleString('en')} lines/s\x1b[K`);
  };
  return {
    file(n, size) { name = n; total = size; read = 0; lines = 0; began = Date.now(); },
    bytes(n) { read += n; show(false); },
    lines(n) { lines += n; show(false); },
    done() { show(true); stream.write('\n'); }
  };
}

// One ingest run over a store: the state that outlives a file.
async function createRun(store, workers, print) {
  const connection = store.connection;
  const staging = await createStaging(connection);
  const pool = createPool(workers);
  const dayKeys = new Map();
  for (const row of await rows(connection, 'SELECT CAST(day AS VARCHAR) AS day, key FROM day_keys')) {
    dayKeys.set(row.day, Buffer.from(row.key));
  }
  const sentKeys = pool.workers.map(() => new Set());
  const forget = pool.workers.map(() => []);
  return { connection, staging, pool, dayKeys, sentKeys, forget, print, newKeys: [], trimmed: pool.workers.map(() => 0) };
}

// The key of a day, made when the day is first met.
function dayKey(run, day) {
  let key = run.dayKeys.get(day);
  if (!key) {
    key = newDayKey();
    run.dayKeys.set(day, key);
    run.newKeys.push(day);
  }
  return key;
}

// Keys for the days a run of lines spans, judged by its first and last
// line, made before the workers need them (logs are in time order; a line
// outside that span waits for its key in the main thread).
function keysForDays(run, parse, piece) {
  const first = parse(piece.toString('latin1', 0, Math.max(0, piece.indexOf(10))));
  const lastStart = piece.lastIndexOf(10, piece.length - 2) + 1;
  const last = parse(piece.toString('latin1', lastStart, piece.length - 1));
  const times = [first, last].filter((r) => r && Number.isFinite(r.time)).map((r) => r.time);
  if (!times.length) return;
  const from = Math.min(...times), to = Math.max(...times);
  if (to - from > 31 * DAY_MS) {
    times.forEach((t) => dayKey(run, utcDay(t)));
    return;
  }
  for (let t = from - (from % DAY_MS); t <= to; t += DAY_MS) dayKey(run, utcDay(t));
}

// What the workers have not yet learnt: new day keys, and days to forget.
function keyNews(run, index) {
  const keys = {};
  for (const [day, key] of run.dayKeys) {
    if (!run.sentKeys[index].has(day)) { keys[day] = key.toString('hex'); run.sentKeys[index].add(day); }
  }
  return keys;
}

async function ingestFile(run, file, options, progress) {
  const { connection, staging, pool } = run;
  const name = path.basename(file);
  const gzip = isGzip(file);
  const head = await readHead(file, gzip);
  if (head.end < 0) {
    run.print(`${file}: no whole line yet, nothing read`);
    return { counts: emptyCounts(), skipped: true };
  }
  const headHash = crypto.createHash('sha256').update(head.buffer.subarray(0, head.end)).digest('hex');
  const known = (await rows(connection, 'SELECT *, epoch_ms(newest_at) AS newest_ms FROM files WHERE head_hash = $1', [headHash]))[0];
  let format, fileId;
  if (known) {
    format = known.format;
    fileId = known.file_id;
  } else {
    format = options.format;
    if (!format) {
      format = detectFormat(head.buffer.toString('latin1').split('\n').slice(0, 50));
      if (!format) throw new Error(`${file}: not a log of a known format (say which with --format)`);
      run.print(`${file}: format ${format} (detected)`);
    }
    fileId = Number((await rows(connection, 'SELECT coalesce(max(file_id), 0) + 1 AS id FROM files'))[0].id);
  }
  const start = known ? Number(known.bytes_done) : 0;
  const firstLine = known ? Number(known.lines_read) + 1 : 1;
  // CloudFront names its columns in the header: every worker needs it.
  const fieldsLine = format === 'cloudfront'
    ? (head.buffer.toString('latin1').split('\n').find((l) => l.startsWith('#Fields:')) || null) : null;

  progress.file(name, fs.statSync(file).size);
  const counts = emptyCounts();
  let newest = known && known.newest_ms !== null ? Number(known.newest_ms) : -Infinity;
  let consumed = 0, lineNo = firstLine;
  const inFlight = new Set();
  // Per worker, the lowest address id its cache still holds, and the one the
  // staged addresses were last trimmed to.
  const floors = pool.workers.map(() => 0), trimmed = run.trimmed;

  const handle = (reply) => {
    addCounts(counts, reply.counts);
    if (reply.newest > newest) newest = reply.newest;
    staging.addAddresses(reply.addresses.qid, reply.addresses.values);
    const l = reply.lines;
    for (let i = 0; i < l.lineNo.length; i++) staging.addLine(l.lineNo[i], l.atMs[i], l.machine[i], l.qid[i]);
    for (const p of reply.pending) {
      staging.addLine(p.lineNo, p.atMs, machineHash(dayKey(run, p.day), p.client, p.agent, p.identity), p.qid);
    }
    floors[reply.worker] = reply.floor;
    progress.lines(reply.counts.lines);
  };

  const flush = async () => {
    await staging.flush(fileId);
    for (const [worker, floor] of floors.entries()) {
      if (floor > trimmed[worker]) await staging.dropAddresses(pool.size, worker, floor);
      trimmed[worker] = Math.max(trimmed[worker], floor);
    }
  };

  // The lines are staged outside the store; the store changes in one
  // transaction, which opens with the staged results.
  let inTransaction = false;
  const storeStaged = async () => {
    if (!inTransaction) await connection.run('BEGIN TRANSACTION');
    inTransaction = true;
    await staging.store();
    await staging.clear();
  };

  const peek = lineParser(format);
  if (fieldsLine) peek(fieldsLine);
  const post = async (piece) => {
    const lines = countLines(piece), size = piece.length; // the piece is gone once transferred
    keysForDays(run, peek, piece);
    while (inFlight.size >= pool.size * 2) await Promise.race(inFlight);
    const target = pool.idle();
    const index = pool.workers.indexOf(target);
    const job = { format, fieldsLine, firstLine: lineNo, keys: keyNews(run, index), forget: run.forget[index].splice(0),
      buffer: piece.buffer, offset: piece.byteOffset, length: piece.length };
    const sent = pool.send(job, target).then((reply) => {
      reply.worker = index;
      handle(reply);
      inFlight.delete(sent);
    });
    inFlight.add(sent);
    lineNo += lines;
    consumed += size;
    if (staging.staged >= FLUSH_LINES) {
      await Promise.all(inFlight);
      await flush();
      if (!inTransaction && staging.flushed >= STAGE_RESULTS) await storeStaged();
    }
  };

  try {
    for await (const piece of wholeLinePieces(contentFrom(file, gzip, start, (n) => progress.bytes(n)))) await post(piece);
    await Promise.all(inFlight);
    await flush();
    if (consumed === 0) {
      await staging.clear();
      run.print(`${file}: nothing new`);
      return { counts, skipped: true };
    }
    await storeStaged();
    // In one statement each: a log of a year has hundreds of days.
    if (run.newKeys.length) {
      await connection.run('INSERT INTO day_keys SELECT CAST(unnest($1) AS DATE), unhex(unnest($2))',
        [listValue(run.newKeys), listValue(run.newKeys.map((day) => run.dayKeys.get(day).toString('hex')))]);
    }
    await recountDays(connection, fileId);
    await saveFile(connection, { known, fileId, headHash, format, bytesDone: start + consumed, counts, newest });
    await dropExpiredKeys(run);
    await connection.run('COMMIT');
  } catch (error) {
    await Promise.allSettled(inFlight);
    if (inTransaction) await connection.run('ROLLBACK');
    await staging.reset();
    await Promise.all(pool.workers.map((w) => pool.send({ reset: true, format, firstLine: 0 }, w).catch(() => {})));
    for (const day of run.newKeys.splice(0)) {
      run.dayKeys.delete(day);
      run.sentKeys.forEach((sent, index) => { if (sent.delete(day)) run.forget[index].push(day); });
    }
    throw error;
  }
  run.newKeys = [];
  return { counts };
}

async function saveFile(connection, f) {
  const old = f.known;
  const reasons = Object.assign({}, old ? JSON.parse(old.rejected_reasons) : {});
  for (const [r, n] of Object.entries(f.counts.reasons)) reasons[r] = (reasons[r] || 0) + n;
  // In a fixed order: the same lines give the same text however the work was split.
  const sorted = Object.fromEntries(Object.keys(reasons).sort().map((r) => [r, reasons[r]]));
  const total = (key, column) => (old ? Number(old[column]) : 0) + f.counts[key];
  const newest = Number.isFinite(f.newest) ? new Date(f.newest).toISOString().replace('T', ' ').replace('Z', '') : null;
  await connection.run('DELETE FROM files WHERE file_id = $1', [f.fileId]);
  await connection.run(`INSERT INTO files (file_id, head_hash, format, bytes_done, lines_read, results, other_requests,
      rejected, cut, rejected_reasons, newest_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, CAST($11 AS TIMESTAMP))`,
  [f.fileId, f.headHash, f.format, f.bytesDone, total('lines', 'lines_read'), total('results', 'results'),
    total('other', 'other_requests'), total('rejected', 'rejected'), total('cut', 'cut'), JSON.stringify(sorted), newest]);
}

// Keys of days more than 48 hours older than the newest line ingested go.
async function dropExpiredKeys(run) {
  const newestRow = (await rows(run.connection, 'SELECT epoch_ms(max(newest_at)) AS ms FROM files'))[0];
  const newest = newestRow.ms === null ? -Infinity : Number(newestRow.ms);
  const expired = [...run.dayKeys.keys()].filter((day) => keyExpired(day, newest));
  if (expired.length) await run.connection.run('DELETE FROM day_keys WHERE day IN (SELECT CAST(unnest($1) AS DATE))', [listValue(expired)]);
  for (const day of expired) {
    run.dayKeys.delete(day);
    run.sentKeys.forEach((sent, index) => { if (sent.delete(day)) run.forget[index].push(day); });
  }
}

async function runIngest(argv) {
  let options;
  try {
    options = parseArgs(argv);
  } catch (error) {
    process.stderr.write(error.message + '\n');
    return 2;
  }
  for (const file of options.files) {
    if (!fs.existsSync(file) || !fs.statSync(file).isFile()) {
      process.stderr.write(`${file}: no such file\n`);
      return 2;
    }
  }
  const print = (line) => process.stdout.write(line + '\n');
  const progress = createProgress(process.stderr);
  let store;
  try {
    store = await openStore(options.store);
  } catch (error) {
    process.stderr.write(`${options.store}: cannot open the store: ${error.message}\n`);
    return 1;
  }
  const run = await createRun(store, options.workers, print);
  const total = emptyCounts();
  let failed = 0;
  try {
    for (const file of options.files) {
      try {
        const began = Date.now();
        const { counts, skipped } = await ingestFile(run, file, options, progress);
        if (skipped) continue;
        progress.done();
        const seconds = (Date.now() - began) / 1000;
        print(`${file}: ${describeCounts(counts)} in ${seconds.toFixed(1)} s`);
        addCounts(total, counts);
      } catch (error) {
        failed++;
        process.stderr.write(`${file}: ${error.message}; nothing of it was stored\n`);
      }
    }
    print(`ingested ${describeCounts(total)}`);
  } finally {
    run.staging.close();
    await run.pool.close();
    closeStore(store);
  }
  return failed ? 1 : 0;
}

module.exports = { runIngest, parseArgs, headEnd, wholeLinePieces };
