// --db: the adapters no record of the database names, ranked by machines
// (their records for --draft are drafted by drafts.js).
'use strict';
const { rows } = require('../store/duckdb.js');
const { PCI_ADAPTER, rollupQuery } = require('../store/rollups.js');
const { dayWithin } = require('./queries.js');
const { explainBatch, explainable } = require('./database_explain.js');
const { share } = require('./shares.js');
const { foldTable, OTHER } = require('./folding.js');
const { pixelShaderLevel } = require('./bins.js');
const { draftRecords } = require('./drafts.js');

// A driver version no record names, so that only records about the adapter
// itself can match: the card is named when one gives it a level.
const UNNAMED_DRIVER = '0.0.0000.0';

function namedByDatabase(answer) {
  return !(answer.decidedBy === 'fallback' && answer.direct3d8 && answer.direct3d8.level === null);
}

// The level most machines report (the higher on a tie), as text and as the
// database's whole-number level.
function mostReportedLevel(levelRows) {
  let best = null;
  for (const row of levelRows) {
    const level = pixelShaderLevel(row.pslevel);
    if (!level) continue;
    const value = level.major + level.minor / 100;
    if (!best || row.machines > best.machines || (row.machines === best.machines && value > best.value)) best = { machines: row.machines, value, level };
  }
  return best && best.level;
}

// The name most machines reported, when at least `minimum` did (a name is
// shown only then, like any row).
function mostCommonName(nameRows, minimum) {
  const best = nameRows.slice().sort((a, b) => b.machines - a.machines || (a.card < b.card ? -1 : 1))[0];
  return best.machines >= minimum ? best.card : null;
}

// rows: [{ vendor_id, device_id, card, machines }] with each name's answer:
// one record per adapter whose every name is unnamed, with the trail of
// each name (the records that matched it; empty without one).
function missingAdapters(nameRows, answers, levelRows, minimum) {
  const adapters = new Map();
  nameRows.forEach((row, i) => {
    const key = row.vendor_id + '/' + row.device_id;
    if (!adapters.has(key)) adapters.set(key, { vendorId: row.vendor_id, deviceId: row.device_id, names: [], trails: [], machines: 0, named: false });
    const a = adapters.get(key);
    a.names.push(row);
    a.trails.push((answers[i] && answers[i].trail) || []);
    a.machines += row.machines;
    if (answers[i] === null || namedByDatabase(answers[i])) a.named = true;
  });
  return [...adapters.values()].filter((a) => !a.named).map((a) => {
    const level = mostReportedLevel(levelRows.filter((l) => l.vendor_id === a.vendorId && l.device_id === a.deviceId));
    return { vendorId: a.vendorId, deviceId: a.deviceId, name: mostCommonName(a.names, minimum), machines: a.machines, level, trails: a.trails };
  });
}

// options: { from, to, minimum, db, draft, pciNames } (the report's own).
// Adds the table to the report; gives the drafts' text with --draft.
async function addMissingFromDatabase(connection, report, options) {
  const days = dayWithin(options.from, options.to);
  const nameRows = await rows(connection, rollupQuery('adapters', days, {
    keys: ['vendor_id', 'device_id', 'card'], where: PCI_ADAPTER + " AND card IS NOT NULL AND card <> ''", order: 'vendor_id, device_id, card' }));
  const levelRows = await rows(connection, rollupQuery('adapter_levels', days));
  const asked = nameRows.filter((row) => explainable({ card: row.card }));
  const [answers] = await explainBatch(asked.map((row) => ({ vendorId: row.vendor_id, deviceId: row.device_id, driver: UNNAMED_DRIVER, card: row.card })),
    [options.db], { trail: Boolean(options.draft) });
  // A name the tool could not be asked about counts as named: it is not
  // drafted on a guess.
  const answerOf = new Map(asked.map((row, i) => [row, answers[i]]));
  const byRow = nameRows.map((row) => (answerOf.has(row) ? answerOf.get(row) : null));
  const missing = missingAdapters(nameRows, byRow, levelRows, options.minimum)
    .sort((a, b) => b.machines - a.machines || a.vendorId - b.vendorId || a.deviceId - b.deviceId);
  const shown = [];
  const folded = foldTable(missing, report.machines, options.minimum, { vendorId: null, deviceId: null, name: null, label: OTHER, pixelShader: null }, (m) => {
    shown.push(m);
    return Object.assign({ vendorId: m.vendorId, deviceId: m.deviceId, name: m.name }, share(m.machines, report.machines),
      { pixelShader: m.level ? m.level.major + '.' + m.level.minor : null });
  });
  report.missingFromDatabase = folded.rows;
  report.folded.missingFromDatabase = folded.folded;
  return options.draft ? draftRecords(shown, options.pciNames, report.period, options.db) : null;
}

module.exports = { addMissingFromDatabase, missingAdapters, namedByDatabase, mostReportedLevel, UNNAMED_DRIVER };
