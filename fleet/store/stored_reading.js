// A stored result as the result page's reading of its address, for judging
// it again: the items the store keeps as text (those a row holds), the
// result from its mask.
'use strict';
const { ITEM_KEYS } = require('../ingest/classify.js');

// row: { mask, and any of the item columns (mem, pslevel, ...) }.
function storedReading(row) {
  const items = { result: String(row.mask) };
  for (const key of ITEM_KEYS) {
    if (row[key] !== null && row[key] !== undefined) items[key] = row[key];
  }
  return { present: true, items, found: Object.keys(items), outOfOrder: [], unread: [] };
}

module.exports = { storedReading };
