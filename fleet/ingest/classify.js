// One request of a log: a result (its row, as the result page reads and
// judges the address), another request, or rejected with a reason. The
// address is read only by the page's own readAddress and judge.
'use strict';
const page = require('../../resultpage/result.js');
const { bytesToText, recodePercentEscapes } = require('./server_escaping.js');
const { identityItems } = require('./machine_rule.js');

// Why a line is rejected: the keys of files.rejected_reasons.
const REASONS = {
  notALogLine: 'not-a-log-line',       // not a line of the log's format
  lineTooLong: 'line-too-long',        // more bytes than a line may have (log_pieces.js), skipped unread
  unplacedAddress: 'unplaced-address', // no item of the program's address could be placed
  invalidMask: 'invalid-mask'          // the result is missing or not a 32-bit number
};

const PAGE_PATH = /^(?:[A-Za-z][A-Za-z0-9+.-]*:\/\/[^/?#]*)?\/quillet-systemtest\/?\?/;

// The query of a result request's target (a byte string), as text, or null
// when the request is not for the result page with a query.
function resultQuery(method, target) {
  if (method !== 'GET') return null;
  const m = PAGE_PATH.exec(target);
  return m ? recodePercentEscapes(bytesToText(target.slice(m[0].length))) : null;
}

// Megabytes as the program writes them ("256 MB"), as the page reads them;
// null when not such a number or past a 32-bit column.
function megabytes(text) {
  const value = page.megabytes(text);
  return value !== null && Math.abs(value) < 2 ** 31 ? value : null;
}

// The numeric id the page reads from the address (it shows it in hex).
function idValue(report) {
  return report.hex ? parseInt(report.hex.slice(2), 16) : null;
}

// A "#" in a value ends the query in the browser: the address then lacks
// every item from some key on.
function wasCut(items) {
  const first = items.findIndex((item) => item.value === null);
  return first >= 0 && items.slice(first).every((item) => item.value === null);
}

// The address's items kept as text, each in a column of its name: every key
// but the result (kept as its mask) and the ids (kept as numbers).
const NUMBER_KEYS = { result: 'mask', vendorID: 'vendor_id', deviceID: 'device_id' };
const ITEM_KEYS = page.KEYS.filter((key) => !Object.prototype.hasOwnProperty.call(NUMBER_KEYS, key));
const STATE_COLUMNS = page.REQUIREMENT_IDS.map((id) => 'st_' + id);
// The values read from the items: in megabytes, and Windows's version.
const MEGABYTE_COLUMNS = { mem_mb: 'mem', ram_mb: 'ram', disk_mb: 'hdspace' };

// The judged columns in the order of the results table (after file_id,
// line_no, seen_at, day and machine).
const JUDGED_COLUMNS = ['cut', NUMBER_KEYS.result, 'verdict'].concat(STATE_COLUMNS, ITEM_KEYS, NUMBER_KEYS.vendorID, NUMBER_KEYS.deviceID,
  Object.keys(MEGABYTE_COLUMNS), 'os_major', 'os_minor', 'os_sp', 'windows');

// Columns that hold one of a few of the page's words: staged as the word's
// index in its list, since numbers pass between threads and into DuckDB far
// cheaper than text.
const COLUMN_WORDS = { verdict: Object.values(page.VERDICTS) };
for (const column of STATE_COLUMNS) COLUMN_WORDS[column] = Object.values(page.STATES);

// A judged column's values as they are staged: words as their indices.
function stagedValues(column, values) {
  const words = COLUMN_WORDS[column];
  if (!words) return values;
  return values.map((value) => {
    const index = words.indexOf(value);
    if (index < 0) throw new Error(`${column}: "${value}" is none of the page's words`);
    return index;
  });
}

// Every judged column, null until set: a copy of it gives each address's
// columns one shape, which keeps reading them fast, and the order of
// JUDGED_COLUMNS, which line_reader.js takes their values in.
const NO_COLUMNS = Object.fromEntries(JUDGED_COLUMNS.map((column) => [column, null]));
const MEGABYTE_PAIRS = Object.entries(MEGABYTE_COLUMNS);

// A result's address (the query text) judged: { columns, identity } (its
// columns of the results table, what identifies its machine beside the
// client), or { rejected: reason }.
function judgeQuery(query) {
  const reading = page.readAddress('?' + query);
  if (!reading.present) return { rejected: REASONS.unplacedAddress };
  const judged = page.judge(reading, { summary: false }); // its summary text would be thrown away
  if (judged.mask.state !== 'ok') return { rejected: REASONS.invalidMask };
  const items = reading.items;
  const item = (key) => (Object.prototype.hasOwnProperty.call(items, key) ? items[key] : null);
  const os = page.osVersion(item('osver'));
  const columns = { ...NO_COLUMNS };
  columns.cut = wasCut(judged.items);
  columns.mask = judged.mask.value;
  columns.verdict = judged.verdict;
  for (let i = 0; i < STATE_COLUMNS.length; i++) columns[STATE_COLUMNS[i]] = judged.rows[i].state;
  for (let i = 0; i < ITEM_KEYS.length; i++) columns[ITEM_KEYS[i]] = item(ITEM_KEYS[i]);
  columns.vendor_id = idValue(judged.adapter.vendor);
  columns.device_id = idValue(judged.adapter.device);
  for (let i = 0; i < MEGABYTE_PAIRS.length; i++) columns[MEGABYTE_PAIRS[i][0]] = megabytes(item(MEGABYTE_PAIRS[i][1]));
  columns.os_major = os ? os.major : null;
  columns.os_minor = os ? os.minor : null;
  columns.os_sp = os ? os.spMajor : null;
  // The page's own words, without its "(version 5.1, service pack 3.0)".
  columns.windows = os ? page.describeWindows(os).replace(/ \(version [^)]*\)$/, '') : null;
  return { columns, identity: identityItems(item) };
}

module.exports = { REASONS, JUDGED_COLUMNS, COLUMN_WORDS, ITEM_KEYS, stagedValues, resultQuery, judgeQuery, megabytes, wasCut };
