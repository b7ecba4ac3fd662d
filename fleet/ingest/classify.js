// One request of a log: a result (its row, as the result page reads and
// judges the address), another request, or rejected with a reason. The
// address is read only by the page's own readAddress and judge.
'use strict';
const page = require('../../resultpage/result.js');
const { bytesToText, recodePercentEscapes } = require('./server_escaping.js');

// Why a line is rejected: the keys of files.rejected_reasons.
const REASONS = {
  notALogLine: 'not-a-log-line',       // not a line of the log's format
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

// Megabytes as the program writes them ("256 MB"); null when not such a
// number or past a 32-bit column.
function megabytes(text) {
  const m = /^\s*(-?[0-9]{1,10}) ?MB\s*$/.exec(text || '');
  const value = m ? Number(m[1]) : null;
  return value !== null && Math.abs(value) < 2 ** 31 ? value : null;
}

function osVersion(text) {
  const m = /^\s*([0-9]{1,5})\.([0-9]{1,5}) SP ([0-9]{1,5})\.([0-9]{1,5})\s*$/.exec(text || '');
  return m ? { major: +m[1], minor: +m[2], sp: +m[3] } : null;
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
  const states = {};
  for (const row of judged.rows) states[row.requirement] = row.state;
  const os = osVersion(item('osver'));
  const windowsRow = judged.rows.find((row) => row.requirement === 'windows');
  const columns = {
    cut: wasCut(judged.items), mask: judged.mask.value, verdict: judged.verdict,
    st_directx: states.directx, st_device: states.device, st_memory: states.memory, st_shader: states.shader,
    st_driver: states.driver, st_ram: states.ram, st_disk: states.disk, st_windows: states.windows,
    mem: item('mem'), card: item('card'), pslevel: item('pslevel'), dxver: item('dxver'), hdspace: item('hdspace'),
    ram: item('ram'), osver: item('osver'), driver: item('driver'), alternates: item('alternates'),
    vendor_id: idValue(judged.adapter.vendor), device_id: idValue(judged.adapter.device),
    mem_mb: megabytes(item('mem')), ram_mb: megabytes(item('ram')), disk_mb: megabytes(item('hdspace')),
    os_major: os ? os.major : null, os_minor: os ? os.minor : null, os_sp: os ? os.sp : null,
    // The page's own words, without its "(version 5.1, service pack 3.0)".
    windows: os ? windowsRow.found.replace(/ \(version [^)]*\)$/, '') : null
  };
  return { columns, identity: [item('vendorID'), item('deviceID'), item('card'), item('driver'), item('ram'), item('osver')] };
}

// The judged columns in the order of the results table (after file_id,
// line_no, seen_at, day and machine).
const JUDGED_COLUMNS = ['cut', 'mask', 'verdict', 'st_directx', 'st_device', 'st_memory', 'st_shader', 'st_driver', 'st_ram',
  'st_disk', 'st_windows', 'mem', 'card', 'pslevel', 'dxver', 'hdspace', 'ram', 'osver', 'driver', 'alternates',
  'vendor_id', 'device_id', 'mem_mb', 'ram_mb', 'disk_mb', 'os_major', 'os_minor', 'os_sp', 'windows'];

module.exports = { REASONS, JUDGED_COLUMNS, resultQuery, judgeQuery, megabytes, wasCut };
