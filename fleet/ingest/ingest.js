// vidrake-fleet ingest STORE LOG... : web server access logs into the store,
// each file in one transaction (a killed ingest leaves the file out whole).
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { FORMATS, detectFormat, lineParser } = require('./log_formats.js');
const { recountDays, setStoring } = require('../store/store.js');
const { createStaging } = require('./staging.js');
const { createPool } = require('./worker_pool.js');
const { loadDayKeys } = require('./day_keys.js');
const { isGzip, readHead, headLines, contentFrom, wholeLinePieces, countLines } = require('./log_pieces.js');
const { headHashOf, knownFile, nextFileId, saveFile } = require('./file_record.js');
const { emptyCounts, addCounts, countRejected, describeCounts } = require('./line_counts.js');
const { REASONS } = require('./classify.js');
const { createProgress } = require('./progress.js');
const { machineDigest } = require('./machine_rule.js');
const { createResultColumns, addResult } = require('./result_columns.js');
const { UsageError } = require('../cli/arguments.js');
const { runCommand, DONE, FAILED } = require('../cli/run_command.js');

const USAGE = 'usage: vidrake-fleet ingest STORE LOG... [--format combined|common|cloudfront] [--workers N]';
// Results of a file held staged outside its transaction, at the most (their
// memory is in docs/benchmarks.md): past them the transaction opens
// and takes them in, and the rest of the file is staged inside it, which is
// slower (VIDRAKE_FLEET_STAGE_RESULTS: fewer, for the tests of that way).
const STAGE_RESULTS = Number(process.env.VIDRAKE_FLEET_STAGE_RESULTS) || 8000000;
// Inside the transaction, staged lines per insert into results
// (VIDRAKE_FLEET_FLUSH_LINES: fewer, for the tests of the staging's turnover).
const FLUSH_LINES = Number(process.env.VIDRAKE_FLEET_FLUSH_LINES) || 1000000;

function ingestOptions(argv) {
  const options = { format: null, workers: Math.max(1, Math.min(2, os.cpus().length)), files: [] };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (a === '--format') options.format = argv[++i];
    else if (a === '--workers') options.workers = Number(argv[++i]);
    else if (a.startsWith('--')) throw new UsageError(`unknown option ${a}`);
    else options.files.push(a);
  }
  if (options.format !== null && !FORMATS.includes(options.format)) throw new UsageError(`unknown format ${options.format}`);
  if (!(options.workers >= 1 && options.workers <= 16)) throw new UsageError('--workers takes 1 to 16');
  if (options.files.length < 2) throw new UsageError('');
  options.store = options.files.shift();
  // DuckDB would keep such a store in memory only, and drop it on exit.
  if (options.store === ':memory:' || options.store === '') {
    throw new UsageError(`STORE must be a file: "${options.store}" would keep nothing`);
  }
  for (const file of options.files) {
    if (!fs.existsSync(file)) throw new UsageError(`${file}: no such file`, false);
    if (fs.statSync(file).isDirectory()) throw new UsageError(`${file}: a folder, not a log file (nothing was read)`, false);
    if (!fs.statSync(file).isFile()) throw new UsageError(`${file}: not a regular file (nothing was read)`, false);
  }
  return options;
}

// One ingest run over a store: the state that outlives a file.
async function createRun(storeFile, connection, workers, print) {
  const dayKeys = await loadDayKeys(storeFile, connection, workers);
  const staging = await createStaging(connection);
  const pool = createPool(workers);
  // Per worker, the address id the staged addresses were last trimmed to.
  const trimmed = pool.workers.map(() => 0);
  return { connection, staging, pool, dayKeys, trimmed, print };
}

// Where a file stands: null when it has no whole line yet, otherwise
// { file, gzip, headHash, known (its row, or null when new), fileId, format,
// fieldsLine, start (bytes read before), firstLine }.
async function openLog(run, file, options) {
  const gzip = isGzip(file);
  const head = await readHead(file, gzip);
  if (head.end < 0) {
    run.print(`${file}: no whole line yet, nothing read`);
    return null;
  }
  const headHash = headHashOf(run.dayKeys.fileKey, head.buffer.subarray(0, head.end));
  const known = await knownFile(run.connection, headHash, head.buffer.subarray(0, head.end));
  let format = known ? known.format : options.format;
  const lines = headLines(head.buffer);
  if (!format) {
    format = detectFormat(lines);
    if (!format) throw new Error('not a log of a known format (say which with --format)');
    run.print(`${file}: format ${format} (detected)`);
  }
  return {
    file, gzip, headHash, known, format,
    fileId: known ? known.file_id : await nextFileId(run.connection),
    // CloudFront names its columns in the header: every worker needs it.
    fieldsLine: format === 'cloudfront' ? (lines.find((l) => l.startsWith('#Fields:')) || null) : null,
    start: known ? Number(known.bytes_done) : 0,
    firstLine: known ? Number(known.lines_read) + 1 : 1
  };
}

// The reading of one file: its new lines through the workers into staging.
// The lines are staged outside the store; the store changes in one
// transaction, which opens with the staged results.
function createFileReading(run, log, progress) {
  const { connection, staging, pool, dayKeys } = run;
  const reading = {
    counts: emptyCounts(),
    newest: log.known && log.known.newest_ms !== null ? Number(log.known.newest_ms) : -Infinity,
    consumed: 0,
    inTransaction: false,
    stores: 0,       // stores of staged lines so far
    marked: false,   // the file's lines stored with their latest marks
    done: false,     // every line of the file posted
    inFlight: new Set()
  };
  let lineNo = log.firstLine;
  // Per worker, the lowest address id its cache still holds.
  const floors = pool.workers.map(() => 0);
  const peek = lineParser(log.format);
  if (log.fieldsLine) peek(log.fieldsLine);

  const handle = (reply) => {
    addCounts(reading.counts, reply.counts);
    if (reply.newest > reading.newest) reading.newest = reply.newest;
    staging.addAddresses(reply.addresses.qid, reply.addresses.values);
    staging.addResults(reply.lines);
    if (reply.pending.length) {
      const pending = createResultColumns(reply.pending.length);
      for (const p of reply.pending) {
        const digest = machineDigest(dayKeys.keyOf(p.day), p.client, p.agent, p.identity);
        addResult(pending, p.lineNo, p.atMs, digest.readUInt32BE(0), digest.readUInt32BE(4), p.qid);
      }
      staging.addResults(pending);
    }
    floors[reply.worker] = reply.floor;
    progress.lines(reply.counts.lines);
  };

  // The staged lines into results, in the file's transaction (opened by
  // the first store); then the addresses no worker will name again go.
  reading.storeStaged = async () => {
    await Promise.all(reading.inFlight);
    if (!reading.inTransaction) await connection.run('BEGIN TRANSACTION');
    reading.inTransaction = true;
    await setStoring(connection, true);
    // Stored at once, the lines are all their days hold of the file: their
    // latest marks can be made as they go in.
    const marked = await staging.store(log.fileId);
    reading.marked = reading.stores === 0 && reading.done && marked;
    reading.stores++;
    for (const [worker, floor] of floors.entries()) {
      if (floor > run.trimmed[worker]) await staging.dropAddresses(pool.size, worker, floor);
      run.trimmed[worker] = Math.max(run.trimmed[worker], floor);
    }
    // The file's last store keeps the memory for what follows it.
    if (!reading.done) await setStoring(connection, false);
  };

  // Keys for the days a piece spans, judged by its first and last line (logs
  // are in time order; a line outside that span waits for its key in the
  // main thread).
  const keysForPiece = (piece) => {
    const first = peek(piece.toString('latin1', 0, Math.max(0, piece.indexOf(10))));
    const lastStart = piece.lastIndexOf(10, piece.length - 2) + 1;
    const last = peek(piece.toString('latin1', lastStart, piece.length - 1));
    const times = [first, last].filter((r) => r && Number.isFinite(r.time)).map((r) => r.time);
    if (times.length) dayKeys.keysForTimes(times);
  };

  // A line too long to read, let pass by the main thread: counted, in its place.
  const passLine = (bytes) => {
    reading.counts.lines++;
    countRejected(reading.counts, REASONS.lineTooLong);
    lineNo++;
    reading.consumed += bytes;
    progress.lines(1);
  };

  reading.post = async (piece) => {
    if (piece.tooLong) return passLine(piece.tooLong);
    const lines = countLines(piece), size = piece.length; // the piece is gone once transferred
    keysForPiece(piece);
    while (reading.inFlight.size >= pool.size * 2) await Promise.race(reading.inFlight);
    const target = pool.idle();
    const index = pool.workers.indexOf(target);
    const news = dayKeys.newsFor(index);
    const job = { format: log.format, fieldsLine: log.fieldsLine, firstLine: lineNo, keys: news.keys, forget: news.forget,
      buffer: piece.buffer, offset: piece.byteOffset, length: piece.length };
    const sent = pool.send(job, target).then((reply) => {
      reply.worker = index;
      handle(reply);
      reading.inFlight.delete(sent);
    });
    reading.inFlight.add(sent);
    lineNo += lines;
    reading.consumed += size;
    if (staging.staged >= (reading.inTransaction ? FLUSH_LINES : STAGE_RESULTS)) await reading.storeStaged();
  };
  return reading;
}

// The file's results, counts and day keys in the store, and its transaction
// committed.
async function storeFile(run, log, reading) {
  const connection = run.connection;
  await reading.storeStaged();
  await recountDays(connection, log.fileId, reading.marked ? { fromLine: log.firstLine } : null);
  await saveFile(connection, { known: log.known, fileId: log.fileId, headHash: log.headHash, format: log.format,
    bytesDone: log.start + reading.consumed, counts: reading.counts, newest: reading.newest });
  await run.dayKeys.beforeCommit(connection);
  await connection.run('COMMIT');
  run.dayKeys.kept();
  await setStoring(connection, false);
}

// After a failure: nothing of the file stays, in the store, the staging,
// the workers' caches or the day keys.
async function abandonFile(run, log, reading) {
  const { connection, staging, pool } = run;
  await Promise.allSettled(reading.inFlight);
  if (reading.inTransaction) await connection.run('ROLLBACK');
  await setStoring(connection, false);
  await staging.reset();
  await Promise.all(pool.workers.map((w) => pool.send({ reset: true, format: log.format, firstLine: 0 }, w).catch(() => {})));
  run.dayKeys.abandoned();
}

// One file: { counts, skipped } (skipped: nothing new in it).
async function ingestFile(run, file, options, progress, last) {
  const log = await openLog(run, file, options);
  if (!log) return { counts: emptyCounts(), skipped: true };
  progress.file(path.basename(file), fs.statSync(file).size);
  const reading = createFileReading(run, log, progress);
  try {
    for await (const piece of wholeLinePieces(contentFrom(file, log.gzip, log.start, (n) => progress.bytes(n)))) await reading.post(piece);
    await Promise.all(reading.inFlight);
    reading.done = true;
    if (reading.consumed === 0) {
      run.print(`${file}: nothing new`);
      return { counts: reading.counts, skipped: true };
    }
    // After the last file's lines the workers go before its store: their
    // heaps would stand beside DuckDB's at its largest.
    if (last) await run.pool.close();
    await storeFile(run, log, reading);
  } catch (error) {
    await abandonFile(run, log, reading);
    throw error;
  }
  return { counts: reading.counts };
}

async function ingest(options, store) {
  const print = (line) => process.stdout.write(line + '\n');
  const progress = createProgress(process.stderr);
  const run = await createRun(options.store, store.connection, options.workers, print);
  const total = emptyCounts();
  let failed = 0;
  try {
    for (const [index, file] of options.files.entries()) {
      try {
        const began = Date.now();
        const { counts, skipped } = await ingestFile(run, file, options, progress, index === options.files.length - 1);
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
  }
  return { status: failed ? FAILED : DONE };
}

const INGEST = { label: '', usage: USAGE, parse: ingestOptions, store: 'write', run: ingest };

function runIngest(argv) {
  return runCommand(INGEST, argv);
}

module.exports = { runIngest };
