// --trends-csv FILE: the trends as one table, a row per period and figure.
'use strict';
const { csv } = require('./csv.js');

const COLUMNS = ['period', 'table', 'row', 'machines', 'share', 'low', 'high', 'change'];

function trendsCsv(trends) {
  const rows = [];
  for (const p of trends.periods) {
    const add = (table, row, figure) => rows.push(Object.assign({ period: p.period, table, row }, figure));
    add('machines', '', { machines: p.machines });
    for (const [verdict, figure] of Object.entries(p.verdicts)) add('verdicts', verdict, figure);
    for (const r of p.requirements) {
      add('below', r.id, r.below);
      add('soleBlocker', r.id, r.soleBlocker);
    }
    for (const [name, list] of Object.entries(p.distributions)) for (const d of list) add('distribution-' + name, d.label, d);
  }
  return csv(COLUMNS, rows);
}

module.exports = { trendsCsv };
