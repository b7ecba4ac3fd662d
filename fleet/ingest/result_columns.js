// The results of a run of lines by column, in typed arrays that pass from a
// worker to the main thread without a copy and into the staging a data
// chunk at a time: line number, time, machine (its 8 bytes as two 32-bit
// numbers, high first) and the id of its judged address.
'use strict';

const COLUMNS = [['lineNo', Float64Array], ['atMs', Float64Array], ['machineHi', Uint32Array], ['machineLo', Uint32Array],
  ['qid', Float64Array]];

function createResultColumns(capacity = 1024) {
  const columns = { count: 0 };
  for (const [name, Kind] of COLUMNS) columns[name] = new Kind(Math.max(1, capacity));
  return columns;
}

function grow(columns) {
  for (const [name, Kind] of COLUMNS) {
    const larger = new Kind(columns[name].length * 2);
    larger.set(columns[name]);
    columns[name] = larger;
  }
}

// hi, lo: the first 8 bytes of the machine's HMAC (machine_rule.js
// machineDigest) as unsigned 32-bit numbers, big-endian.
function addResult(columns, lineNo, atMs, hi, lo, qid) {
  if (columns.count === columns.lineNo.length) grow(columns);
  const i = columns.count++;
  columns.lineNo[i] = lineNo;
  columns.atMs[i] = atMs;
  columns.machineHi[i] = hi;
  columns.machineLo[i] = lo;
  columns.qid[i] = qid;
}

// The memory to hand over with a message (postMessage's transfer list).
function transferList(columns) {
  return COLUMNS.map(([name]) => columns[name].buffer);
}

module.exports = { createResultColumns, addResult, transferList };
