// The store's results table against the words it is built from: its judged
// columns are the ones classification fills, its state columns the result
// page's requirements, its item columns the page's address keys.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const page = require('../../resultpage/result.js');
const { openStore } = require('../../fleet/store/store.js');
const { rows } = require('../../fleet/store/duckdb.js');
const { JUDGED_COLUMNS, ITEM_KEYS } = require('../../fleet/ingest/classify.js');

test('schema.sql holds the columns classification and the page define, in their order', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-schema.'));
  const store = await openStore(path.join(dir, 'store.duckdb'));
  try {
    const columns = (await rows(store.connection, 'DESCRIBE results')).map((row) => row.column_name);
    assert.deepEqual(columns, ['file_id', 'line_no', 'seen_at', 'day', 'machine'].concat(JUDGED_COLUMNS, 'latest'));
    assert.deepEqual(columns.filter((c) => c.startsWith('st_')), page.REQUIREMENT_IDS.map((id) => 'st_' + id));
    // Every key of the address is in the table: as text, or as a number.
    for (const key of page.KEYS) assert.ok(ITEM_KEYS.includes(key) || ['result', 'vendorID', 'deviceID'].includes(key), key);
    for (const key of ITEM_KEYS) assert.ok(columns.includes(key), key);
  } finally {
    store.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
