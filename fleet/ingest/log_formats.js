// The access log formats that ingest reads: one line to its request, in
// plain values. Lines come in as byte strings (latin1), see text.js.
'use strict';
const { unescapeLogField, unescapeCloudFront } = require('./server_escaping.js');

const FORMATS = ['combined', 'common', 'cloudfront'];

// nginx's and Apache's `common`: host ident user [time] "request" status
// bytes; `combined` adds "referer" "user agent". Quoted fields hold no bare
// `"` (both servers escape it).
const QUOTED = '"([^"\\\\]*(?:\\\\.[^"\\\\]*)*)"'; // unrolled: no backtracking per character
const COMMON = new RegExp('^(\\S+) \\S+ \\S+ \\[([^\\]]+)\\] ' + QUOTED + ' (\\d{3}|-) (\\d+|-)');
const COMMON_LINE = new RegExp(COMMON.source + '\\s*$');
const COMBINED_LINE = new RegExp(COMMON.source + ' ' + QUOTED + ' ' + QUOTED + '(?: .*)?$');

const MONTHS = { Jan: 0, Feb: 1, Mar: 2, Apr: 3, May: 4, Jun: 5, Jul: 6, Aug: 7, Sep: 8, Oct: 9, Nov: 10, Dec: 11 };
const CLF_TIME = /^(\d{2})\/([A-Z][a-z]{2})\/(\d{4}):(\d{2}):(\d{2}):(\d{2}) ([+-])(\d{2})(\d{2})$/;

// "10/Oct/2000:13:55:36 -0700" as milliseconds since 1970 (UTC), or NaN.
// Lines of one minute share all but their seconds: the last minute read is
// kept, and a time within it is the minute's start and its seconds.
const SECONDS_AT = 18;
let minuteBefore = null, minuteAfter = null, minuteMs = NaN;
function parseClfTime(text) {
  if (minuteBefore !== null && text.length === SECONDS_AT + 2 + minuteAfter.length && text.startsWith(minuteBefore)
      && text.endsWith(minuteAfter)) {
    const tens = text.charCodeAt(SECONDS_AT) - 48, ones = text.charCodeAt(SECONDS_AT + 1) - 48;
    if (tens >= 0 && tens <= 9 && ones >= 0 && ones <= 9) return minuteMs + (tens * 10 + ones) * 1000;
  }
  const ms = clfTimeMs(text);
  if (!Number.isNaN(ms)) {
    minuteBefore = text.slice(0, SECONDS_AT);
    minuteAfter = text.slice(SECONDS_AT + 2);
    minuteMs = ms - Number(text.slice(SECONDS_AT, SECONDS_AT + 2)) * 1000;
  }
  return ms;
}

function clfTimeMs(text) {
  const m = CLF_TIME.exec(text);
  if (!m || !(m[2] in MONTHS)) return NaN;
  const offset = (m[7] === '-' ? -1 : 1) * (+m[8] * 60 + +m[9]) * 60000;
  return Date.UTC(+m[3], MONTHS[m[2]], +m[1], +m[4], +m[5], +m[6]) - offset;
}

// "GET /path?query HTTP/1.1" as { method, target }; the target may hold
// spaces (a raw one from an old client), the protocol is optional.
function splitRequestLine(line) {
  const first = line.indexOf(' ');
  if (first <= 0) return null;
  let end = line.length;
  const last = line.lastIndexOf(' ');
  if (last > first && /^HTTP\/\d/.test(line.slice(last + 1))) end = last;
  const target = line.slice(first + 1, end);
  return target ? { method: line.slice(0, first), target } : null;
}

// A line of nginx's or Apache's log: { time, method, target, client, agent }
// or null when it is not a line of that format.
function parseClfLine(line, withAgent) {
  const m = (withAgent ? COMBINED_LINE : COMMON_LINE).exec(line);
  if (!m) return null;
  const time = parseClfTime(m[2]);
  if (Number.isNaN(time)) return null;
  // A request line that is no request (a TLS hello, "-") is still a line.
  const request = splitRequestLine(unescapeLogField(m[3])) || { method: '', target: '' };
  return { time, method: request.method, target: request.target, client: m[1], agent: withAgent ? m[7] : '' };
}

// CloudFront's standard log: tab-separated fields named by its "#Fields:"
// header; this is the documented order when a file has none.
const CLOUDFRONT_FIELDS = ['date', 'time', 'x-edge-location', 'sc-bytes', 'c-ip', 'cs-method', 'cs(Host)', 'cs-uri-stem',
  'sc-status', 'cs(Referer)', 'cs(User-Agent)', 'cs-uri-query', 'cs(Cookie)', 'x-edge-result-type', 'x-edge-request-id',
  'x-host-header', 'cs-protocol', 'cs-bytes', 'time-taken', 'x-forwarded-for', 'ssl-protocol', 'ssl-cipher',
  'x-edge-response-result-type', 'cs-protocol-version', 'fle-status', 'fle-encrypted-fields', 'c-port',
  'time-to-first-byte', 'x-edge-detailed-result-type', 'sc-content-type', 'sc-content-len', 'sc-range-start', 'sc-range-end'];

// The column of each field we use, from a "#Fields:" line (or the default).
function cloudFrontColumns(fieldsLine) {
  const names = fieldsLine ? fieldsLine.replace(/^#Fields:\s*/, '').trim().split(/\s+/) : CLOUDFRONT_FIELDS;
  const at = (name) => names.indexOf(name);
  const columns = { date: at('date'), time: at('time'), client: at('c-ip'), method: at('cs-method'), stem: at('cs-uri-stem'),
    query: at('cs-uri-query'), agent: at('cs(User-Agent)'), count: names.length };
  for (const key of ['date', 'time', 'method', 'stem']) if (columns[key] < 0) return null;
  return columns;
}

const CLOUDFRONT_TIME = /^(\d{4})-(\d{2})-(\d{2})T?(\d{2}):(\d{2}):(\d{2})$/;

function parseCloudFrontLine(line, columns) {
  const fields = line.split('\t');
  if (fields.length < columns.count) return null;
  const t = CLOUDFRONT_TIME.exec(fields[columns.date] + fields[columns.time]);
  if (!t) return null;
  const time = Date.UTC(+t[1], +t[2] - 1, +t[3], +t[4], +t[5], +t[6]);
  const query = columns.query >= 0 ? fields[columns.query] : '-';
  const stem = unescapeCloudFront(fields[columns.stem]);
  return {
    time, method: fields[columns.method], target: query === '-' ? stem : stem + '?' + unescapeCloudFront(query),
    client: columns.client >= 0 ? fields[columns.client] : '', agent: columns.agent >= 0 ? fields[columns.agent] : ''
  };
}

// The format of a file from its first lines (byte strings), or null.
function detectFormat(lines) {
  const sample = lines.filter((l) => l.trim() !== '').slice(0, 20);
  if (!sample.length) return null;
  if (sample.some((l) => /^#(Version|Fields):/.test(l))) return 'cloudfront';
  const share = (test) => sample.filter(test).length;
  const combined = share((l) => COMBINED_LINE.test(l));
  const common = share((l) => COMMON_LINE.test(l));
  const cloudfront = share((l) => CLOUDFRONT_TIME.test(l.split('\t').slice(0, 2).join('')));
  const best = Math.max(combined, common, cloudfront);
  if (best === 0) return null;
  return best === combined ? 'combined' : best === common ? 'common' : 'cloudfront';
}

// A line parser for a format: (line) -> request or null. CloudFront's
// header lines ("#...") are reported apart, as { header: line }.
function lineParser(format) {
  if (format === 'combined') return (line) => parseClfLine(line, true);
  if (format === 'common') return (line) => parseClfLine(line, false);
  let columns = cloudFrontColumns(null);
  return (line) => {
    if (line.charCodeAt(0) === 35 /* # */) {
      if (line.startsWith('#Fields:')) columns = cloudFrontColumns(line) || columns;
      return { header: line };
    }
    return parseCloudFrontLine(line, columns);
  };
}

module.exports = { FORMATS, detectFormat, lineParser, parseClfTime, splitRequestLine };
