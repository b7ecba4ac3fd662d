// Privacy: no row of any table stands for fewer than K machines.
'use strict';
const { share } = require('./shares.js');

const OTHER = 'Other';

// Folds the rows under `minimum` machines into one "Other" row made by
// makeOther(machines). While "Other" itself stands for fewer than `minimum`,
// the smallest shown rows join it; if the whole table is that small, nothing
// of it is shown. Rows keep their order; "Other" comes last.
// Returns { rows, folded } where folded is the number of rows folded away.
function foldRows(rows, minimum, makeOther) {
  const kept = rows.filter((row) => row.machines >= minimum);
  let otherMachines = rows.reduce((sum, row) => sum + (row.machines >= minimum ? 0 : row.machines), 0);
  let folded = rows.length - kept.length;
  while (otherMachines > 0 && otherMachines < minimum && kept.length) {
    let smallest = 0;
    for (let i = 1; i < kept.length; i++) if (kept[i].machines <= kept[smallest].machines) smallest = i;
    otherMachines += kept.splice(smallest, 1)[0].machines;
    folded++;
  }
  if (otherMachines >= minimum) kept.push(makeOther(otherMachines));
  return { rows: kept, folded };
}

// A single figure of a fixed table (a verdict, a requirement's count): shown
// when it is 0 or at least `minimum`, otherwise withheld (null).
function withheld(machines, minimum) {
  return machines > 0 && machines < minimum;
}

// A figure of a fixed table: its share of `total`, or all null when withheld.
function shownFigure(count, total, minimum) {
  return withheld(count, minimum) ? { machines: null, share: null, low: null, high: null } : share(count, total);
}

// A table's rows (in order, each with its machines) with the small ones
// folded into "Other": each shown row as shown(row) makes it, "Other" as
// the fields of `other` (null each) with its label and its share of `total`.
function foldTable(rows, total, minimum, other, shown) {
  let otherRow = null;
  const folded = foldRows(rows, minimum, (machines) => (otherRow = Object.assign({}, other, share(machines, total))));
  return { rows: folded.rows.map((row) => (row === otherRow ? row : shown(row))), folded: folded.folded };
}

module.exports = { foldRows, foldTable, shownFigure, withheld, OTHER };
