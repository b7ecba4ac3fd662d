// What became of a log's lines: results, other requests, rejected lines
// with their reasons, and results a "#" cut short.
'use strict';

function addCounts(total, counts) {
  for (const key of ['lines', 'results', 'other', 'rejected', 'cut']) total[key] += counts[key];
  for (const [reason, n] of Object.entries(counts.reasons)) total.reasons[reason] = (total.reasons[reason] || 0) + n;
}

function emptyCounts() {
  return { lines: 0, results: 0, other: 0, rejected: 0, cut: 0, reasons: {} };
}

function countRejected(counts, reason) {
  counts.rejected++;
  counts.reasons[reason] = (counts.reasons[reason] || 0) + 1;
}

function describeCounts(c) {
  const reasons = Object.keys(c.reasons).sort().map((r) => `${r} ${c.reasons[r]}`).join(', ');
  return `${c.lines} lines: ${c.results} results (${c.cut} cut by "#"), ${c.other} other requests, ` +
    `${c.rejected} rejected${reasons ? ` (${reasons})` : ''}`;
}

module.exports = { emptyCounts, addCounts, countRejected, describeCounts };
