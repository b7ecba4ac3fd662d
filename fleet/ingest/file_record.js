// A log file's row of the files table: how the store recognises the file
// (the hash of its head, keyed with the store's file key: a head holds a
// client address and user agent, which a plain hash would let a guess
// confirm) and how far it has been read.
'use strict';
const crypto = require('crypto');
const { rows } = require('../store/duckdb.js');

function headHashOf(fileKey, head) {
  return crypto.createHmac('sha256', fileKey).update(head).digest('hex');
}

// The plain hash earlier stores named files by: such a file is still
// recognised, and its row takes the keyed hash when the file is next stored.
function plainHeadHashOf(head) {
  return crypto.createHash('sha256').update(head).digest('hex');
}

// The row of the file with this head, or null when it is new.
async function knownFile(connection, headHash, head) {
  const found = await rows(connection, `SELECT *, epoch_ms(newest_at) AS newest_ms FROM files
    WHERE head_hash IN ($1, $2) ORDER BY head_hash = $1 DESC LIMIT 1`, [headHash, plainHeadHashOf(head)]);
  return found.length ? found[0] : null;
}

async function nextFileId(connection) {
  return Number((await rows(connection, 'SELECT coalesce(max(file_id), 0) + 1 AS id FROM files'))[0].id);
}

// f: { known (its row, or null), fileId, headHash, format, bytesDone, counts, newest }.
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

module.exports = { headHashOf, knownFile, nextFileId, saveFile };
