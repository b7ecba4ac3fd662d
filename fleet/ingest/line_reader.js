// The work on a run of whole log lines, done in worker threads: each line
// counted as a result, another request or rejected; results judged once
// per distinct address (a cache by the query text) and given their machine.
'use strict';
const { lineParser } = require('./log_formats.js');
const { REASONS, JUDGED_COLUMNS, resultQuery, judgeQuery, stagedValues } = require('./classify.js');
const { utcDay, identityText, machineDigest, DAY_MS } = require('./machine_rule.js');
const { createResultColumns, addResult } = require('./result_columns.js');
const { emptyCounts, countRejected } = require('./line_counts.js');
const { LINE_LIMIT } = require('./log_pieces.js');

// Distinct addresses a worker keeps judged, and their text at the most: the
// cache is what a worker's memory grows with (an address can be 1 MiB).
const CACHE_LIMIT = 10000;
const CACHE_TEXT_LIMIT = 8 << 20;

// A reader for one worker: addresses get ids qid = n * workers + worker, so
// ids from several workers never meet.
function createLineReader(worker, workers, cacheLimit = CACHE_LIMIT) {
  let cache = new Map();
  let cachedText = 0;
  let next = 0;
  let floor = 0;
  const keys = new Map();
  let parser = null;
  let parserFor = null;

  function judged(query, fresh) {
    let entry = cache.get(query);
    if (entry) return entry;
    if (cache.size >= cacheLimit || cachedText + query.length > CACHE_TEXT_LIMIT) {
      cache = new Map();
      cachedText = 0;
      floor = next;
    }
    const judgement = judgeQuery(query);
    if (judgement.rejected) {
      entry = judgement;
    } else {
      // The cache keeps what a line needs; the columns go once, with the reply.
      entry = { qid: next++ * workers + worker, identity: identityText(judgement.identity), cut: judgement.columns.cut };
      // Its values in the order of JUDGED_COLUMNS, the order its columns
      // were made in (classify.js).
      fresh.push({ qid: entry.qid, values: Object.values(judgement.columns) });
    }
    cache.set(query, entry);
    cachedText += query.length;
    return entry;
  }

  // job: { format, fieldsLine, text (a byte string of whole lines), firstLine,
  // keys: {day: hex key} to learn, forget: [day] }.
  function read(job) {
    if (parserFor !== job.format + '\n' + job.fieldsLine) {
      parserFor = job.format + '\n' + job.fieldsLine;
      parser = lineParser(job.format);
      if (job.fieldsLine) parser(job.fieldsLine);
    }
    if (job.reset) {
      cache = new Map();
      cachedText = 0;
      floor = next;
    }
    for (const day of job.forget || []) keys.delete(day);
    for (const day of Object.keys(job.keys || {})) keys.set(day, Buffer.from(job.keys[day], 'hex'));
    const counts = emptyCounts();
    const fresh = [];
    const out = createResultColumns(job.text.length >> 9);
    const pending = [];
    let newest = -Infinity;
    let lastDayStart = NaN, lastDay = '';
    const reject = (reason) => countRejected(counts, reason);
    const text = job.text;
    let lineNo = job.firstLine;
    for (let start = 0; start < text.length; lineNo++) {
      let end = text.indexOf('\n', start);
      if (end < 0) end = text.length;
      const lineStart = start;
      start = end + 1;
      counts.lines++;
      if (end - lineStart > LINE_LIMIT) { reject(REASONS.lineTooLong); continue; }
      const line = text.slice(lineStart, text.charCodeAt(end - 1) === 13 ? end - 1 : end);
      const request = parser(line);
      if (!request) { reject(REASONS.notALogLine); continue; }
      if (request.header) { counts.other++; continue; }
      if (request.time > newest) newest = request.time;
      const query = resultQuery(request.method, request.target);
      if (query === null) { counts.other++; continue; }
      const entry = judged(query, fresh);
      if (entry.rejected) { reject(entry.rejected); continue; }
      counts.results++;
      if (entry.cut) counts.cut++;
      const dayStart = request.time - (request.time % DAY_MS);
      if (dayStart !== lastDayStart) { lastDayStart = dayStart; lastDay = utcDay(request.time); }
      const key = keys.get(lastDay);
      if (key) {
        // A machine that sends its address again soon is hashed once: each
        // address keeps the last machine that sent it.
        let machine = entry.lastMachine;
        if (!machine || machine.key !== key || machine.client !== request.client || machine.agent !== request.agent) {
          const digest = machineDigest(key, request.client, request.agent, entry.identity);
          machine = { key, client: request.client, agent: request.agent, hi: digest.readUInt32BE(0), lo: digest.readUInt32BE(4) };
          entry.lastMachine = machine;
        }
        addResult(out, lineNo, request.time, machine.hi, machine.lo, entry.qid);
      } else {
        // The main thread makes the day's key, then hashes these few lines.
        pending.push({ lineNo, atMs: request.time, day: lastDay, client: request.client, agent: request.agent,
          identity: entry.identity, qid: entry.qid });
      }
    }
    // By column (values in the order of JUDGED_COLUMNS, as staged): plain
    // arrays go to the main thread far cheaper than an object per address.
    const addresses = { qid: fresh.map((entry) => entry.qid),
      values: JUDGED_COLUMNS.map((c, k) => stagedValues(c, fresh.map((entry) => entry.values[k]))) };
    return { counts, newest, addresses, lines: out, pending, floor };
  }

  return { read };
}

module.exports = { createLineReader };
