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
// when it is 0 or at least `minimum`, otherwise withheld (null). A figure
// already withheld (null) stays so.
function withheld(machines, minimum) {
  return machines === null || (machines > 0 && machines < minimum);
}

// A figure of a fixed table: its share of `total`, or all null when it or
// the total is withheld (a total under K shows no figure, zeros included).
function shownFigure(count, total, minimum) {
  return withheld(count, minimum) || withheld(total, minimum) ? { machines: null, share: null, low: null, high: null } : share(count, total);
}

// Which cells of a table whose total is shown are withheld: those of 1 to
// K-1 machines, those the report never shows (`unshown`, their indexes) and,
// when a cell is under K and no withheld cell has K or more, the smallest
// cell of K or more too (the first on a tie), so that no cell under K is the
// total less the shown cells. A zero is never that one: the withheld cells
// would still add up to exactly what they hold.
function withheldCells(counts, minimum, unshown = []) {
  const out = counts.map((n, i) => unshown.includes(i) || withheld(n, minimum));
  const large = (n) => n > 0 && !withheld(n, minimum);
  if (!counts.some((n) => withheld(n, minimum)) || counts.some((n, i) => out[i] && large(n))) return out;
  let second = -1;
  counts.forEach((n, i) => {
    if (!out[i] && large(n) && (second < 0 || n < counts[second])) second = i;
  });
  if (second >= 0) out[second] = true;
  return out;
}

// The K the figures of a period are held to: K itself, unless no verdict of
// the period has K machines (fewer than K in all, or only small groups the
// total would give away); then more than the period has, so that it shows
// no figure and no row at all. An empty period has nothing to hide.
function periodMinimum(verdictCounts, minimum) {
  const total = verdictCounts.reduce((a, b) => a + b, 0);
  return total === 0 || verdictCounts.some((n) => n >= minimum) ? minimum : total + 1;
}

// A table's rows (in order, each with its machines) with the small ones
// folded into "Other": each shown row as shown(row) makes it, "Other" as
// the fields of `other` (null each) with its label and its share of `total`.
function foldTable(rows, total, minimum, other, shown) {
  let otherRow = null;
  const folded = foldRows(rows, minimum, (machines) => (otherRow = Object.assign({}, other, share(machines, total))));
  return { rows: folded.rows.map((row) => (row === otherRow ? row : shown(row))), folded: folded.folded };
}

// Cells of a grid withheld together: each line (a list of cells { machines,
// hidden }) adds up to a total that is shown, or may be, such as a period's
// machines or a figure's over every period. While the hidden cells of a line
// hold 1 to K-1 machines in all, the smallest cell shown beside them is
// hidden too; `hiding(cell)` may hide more (those that give the cell away).
function hideTogether(lines, minimum, hiding) {
  const hide = (cell) => {
    cell.hidden = true;
    if (hiding) hiding(cell);
  };
  for (let changed = true; changed;) {
    changed = false;
    for (const line of lines) {
      const hidden = line.reduce((sum, cell) => sum + (cell.hidden ? cell.machines : 0), 0);
      if (!withheld(hidden, minimum)) continue;
      let smallest = null;
      for (const cell of line) if (!cell.hidden && cell.machines > 0 && (!smallest || cell.machines < smallest.machines)) smallest = cell;
      if (!smallest) continue;
      hide(smallest);
      changed = true;
    }
  }
}

module.exports = { hideTogether, foldRows, foldTable, shownFigure, withheld, withheldCells, periodMinimum, OTHER };
