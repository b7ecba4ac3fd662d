// Hand-made fleet stores: results put straight into the store's schema, each
// address read and judged by the result page as ingest does.
'use strict';
const fs = require('node:fs');
const page = require('../../resultpage/result.js');
const { address } = require('../resultpage/address.js');

const { openStore, recountDays } = require('../../fleet/store/store.js');

function megabytes(text) {
  const m = /^\s*(-?\d+) ?MB\s*$/.exec(text || '');
  return m ? Number(m[1]) : null;
}

function idNumber(text) {
  return /^\s*-?\d{1,10}\s*$/.test(text || '') ? Number(text) : null;
}

// One results row from the items of an address (over the defaults of the
// page tests' addresses).
function resultRow(values, fileId, lineNo, seenAt, machine) {
  const reading = page.readAddress(address(values));
  const judged = page.judge(reading);
  const items = reading.items, state = {};
  for (const row of judged.rows) state[row.requirement] = row.state;
  const os = /^\s*(\d+)\.(\d+) SP (\d+)\.(\d+)\s*$/.exec(items.osver || '');
  const mem = megabytes(items.mem);
  return {
    file_id: fileId, line_no: lineNo, seen_at: seenAt, day: seenAt.slice(0, 10), machine, cut: false,
    mask: Number(items.result), verdict: judged.verdict,
    st_directx: state.directx, st_device: state.device, st_memory: state.memory, st_shader: state.shader,
    st_driver: state.driver, st_ram: state.ram, st_disk: state.disk, st_windows: state.windows,
    mem: items.mem, card: items.card, pslevel: items.pslevel, dxver: items.dxver, hdspace: items.hdspace, ram: items.ram,
    osver: items.osver, driver: items.driver, alternates: items.alternates === undefined ? null : items.alternates,
    vendor_id: idNumber(items.vendorID), device_id: idNumber(items.deviceID),
    mem_mb: mem !== null && mem > 0 ? mem : null, ram_mb: megabytes(items.ram), disk_mb: megabytes(items.hdspace),
    os_major: os ? +os[1] : null, os_minor: os ? +os[2] : null, os_sp: os ? +os[3] : null,
    windows: os ? page.windowsName(+os[1], +os[2]) : null, latest: false
  };
}

// groups: [{ count, values, day, repeats }]: `count` machines with these
// items on `day`, each sending its result `repeats` times (the last one
// stands). files: [{ lines_read, ..., rejected_reasons }].
async function makeStore(file, groups, files) {
  fs.rmSync(file, { force: true });
  const { instance, connection } = await openStore(file);
  const rows = [];
  let machine = 0, line = 0;
  for (const group of groups) {
    for (let i = 0; i < group.count; i++) {
      machine++;
      const repeats = group.repeats || 1;
      for (let r = 0; r < repeats; r++) {
        // Earlier sends of the day say something else: only the last counts.
        const values = r < repeats - 1 ? { result: '-1' } : group.values;
        const time = group.day + 'T' + String(10 + r).padStart(2, '0') + ':00:00';
        rows.push(resultRow(values, 1, ++line, time, 'm' + machine));
      }
    }
  }
  const columns = Object.keys(rows[0]);
  const appender = await connection.createAppender('results');
  for (const row of rows) {
    for (const column of columns) {
      const value = row[column];
      if (value === null) appender.appendNull();
      else if (column === 'seen_at') appender.appendVarchar(value.replace('T', ' '));
      else if (typeof value === 'boolean') appender.appendBoolean(value);
      else if (typeof value === 'number') appender.appendBigInt(BigInt(value));
      else appender.appendVarchar(value);
    }
    appender.endRow();
  }
  appender.closeSync();
  // Which result stands for each machine-day, as ingest decides it.
  await recountDays(connection, 1);
  let fileId = 0;
  for (const f of files || [{ lines_read: line, results: line, other_requests: 0, rejected: 0, cut: 0, rejected_reasons: '{}' }]) {
    fileId++;
    await connection.run('INSERT INTO files (file_id, head_hash, format, bytes_done, lines_read, results, other_requests, rejected, cut, rejected_reasons) ' +
      'VALUES ($1, $2, $3, 0, $4, $5, $6, $7, $8, $9)',
      [fileId, 'head' + fileId, 'combined', f.lines_read, f.results, f.other_requests, f.rejected, f.cut, f.rejected_reasons]);
  }
  connection.closeSync();
  instance.closeSync();
  return rows.length;
}

module.exports = { makeStore, resultRow };
