// --db: the adapters no record of the database names, ranked by machines
// (their records for --draft are drafted by drafts.js).
'use strict';
const { rows } = require('../store/duckdb.js');
const { PCI_ADAPTER, rollupQuery } = require('../store/rollups.js');
const { dayWithin } = require('./queries.js');
const { explainBatch, explainable, judgedAnswer } = require('./database_explain.js');
const { share } = require('./shares.js');
const { foldTable, shownFigure, OTHER } = require('./folding.js');
const { pixelShaderLevel, writtenPixelShaderLevel } = require('./bins.js');
const { draftRecords } = require('./drafts.js');

// A driver version no record names, so that only records about the adapter
// itself can match: the card is named when one gives it a level.
const UNNAMED_DRIVER = '0.0.0000.0';

function namedByDatabase(answer) {
  return !(answer.decidedBy === 'fallback' && answer.direct3d8 && answer.direct3d8.level === null);
}

// The level most machines report (the higher on a tie) among the levels the
// program can write that at least `minimum` machines agree on; null when
// there is none, so that a few machines cannot decide a drafted level.
function mostReportedLevel(levelRows, minimum) {
  const levels = new Map();
  for (const row of levelRows) {
    const level = writtenPixelShaderLevel(row.pslevel);
    if (!level) continue;
    const value = level.major + level.minor / 100;
    const counted = levels.get(value) || { value, level, machines: 0 };
    counted.machines += row.machines;
    levels.set(value, counted);
  }
  let best = null;
  for (const counted of levels.values()) {
    if (!(counted.machines >= minimum)) continue;
    if (!best || counted.machines > best.machines || (counted.machines === best.machines && counted.value > best.value)) best = counted;
  }
  return best && best.level;
}

// The name most machines reported, when at least `minimum` did (a name is
// shown only then, like any row).
function mostCommonName(nameRows, minimum) {
  const best = nameRows.slice().sort((a, b) => b.machines - a.machines || (a.card < b.card ? -1 : 1))[0];
  return best.machines >= minimum ? best.card : null;
}

// rows: [{ vendor_id, device_id, card, machines }] with each name's answer
// (null: no judgement): one record per adapter whose every judged name is
// unnamed, with the trail of each (the records that matched it; empty
// without one). A name without a judgement neither names its adapter nor
// counts for it: the adapter is judged from the others, or not at all.
function missingAdapters(nameRows, answers, levelRows, minimum) {
  const adapters = new Map();
  nameRows.forEach((row, i) => {
    if (answers[i] === null) return;
    const key = row.vendor_id + '/' + row.device_id;
    if (!adapters.has(key)) adapters.set(key, { vendorId: row.vendor_id, deviceId: row.device_id, names: [], trails: [], machines: 0, named: false });
    const a = adapters.get(key);
    a.names.push(row);
    a.trails.push(answers[i].trail || []);
    a.machines += row.machines;
    if (namedByDatabase(answers[i])) a.named = true;
  });
  return [...adapters.values()].filter((a) => !a.named).map((a) => {
    const ownLevels = levelRows.filter((l) => l.vendor_id === a.vendorId && l.device_id === a.deviceId);
    return { vendorId: a.vendorId, deviceId: a.deviceId, name: mostCommonName(a.names, minimum), machines: a.machines,
      level: mostReportedLevel(ownLevels, minimum), levelReported: ownLevels.some((l) => pixelShaderLevel(l.pslevel) !== null), trails: a.trails };
  });
}

// options: { from, to, minimum, db, draft, pciNames } (the report's own).
// Adds the table to the report; gives the drafts' text with --draft.
async function addMissingFromDatabase(connection, report, options) {
  const days = dayWithin(options.from, options.to);
  // A period whose figures are all withheld lists no adapter either.
  const minimum = report.machines === null ? Infinity : options.minimum;
  // Only a name that K machines reported is asked: a name could be shown only
  // then, and one address can send a million names. The machines of the
  // others are counted apart, like those of a name the tool cannot be asked.
  const names = { keys: ['vendor_id', 'device_id', 'card'], where: PCI_ADAPTER + " AND card IS NOT NULL AND card <> ''" };
  const asking = Number.isFinite(minimum) ? 'sum(machines) >= ' + minimum : 'false';
  const nameRows = await rows(connection, rollupQuery('adapters', days, Object.assign({ having: asking, order: 'vendor_id, device_id, card' }, names)));
  const [{ machines: unasked }] = await rows(connection, 'SELECT CAST(coalesce(sum(machines), 0) AS BIGINT) AS machines FROM (' +
    rollupQuery('adapters', days, Object.assign({ having: 'NOT (' + asking + ')' }, names)) + ')');
  const levelRows = await rows(connection, rollupQuery('adapter_levels', days, {
    where: '(vendor_id, device_id) IN (SELECT vendor_id, device_id FROM (' + rollupQuery('adapters', days, Object.assign({ having: asking }, names)) + '))' }));
  const questions = nameRows.map((row) => ({ vendorId: row.vendor_id, deviceId: row.device_id, driver: UNNAMED_DRIVER, card: row.card }));
  const asked = questions.filter(explainable);
  const [answers] = await explainBatch(asked, [options.db], { trail: Boolean(options.draft) });
  const answerOf = new Map(asked.map((question, i) => [question, answers[i]]));
  const byRow = questions.map((question) => (judgedAnswer(answerOf.get(question)) ? answerOf.get(question) : null));
  const notJudged = unasked + nameRows.reduce((sum, row, i) => sum + (byRow[i] === null ? row.machines : 0), 0);
  const missing = missingAdapters(nameRows, byRow, levelRows, options.minimum)
    .sort((a, b) => b.machines - a.machines || a.vendorId - b.vendorId || a.deviceId - b.deviceId);
  const shown = [];
  const folded = foldTable(missing, report.machines, minimum, { vendorId: null, deviceId: null, name: null, label: OTHER, pixelShader: null }, (m) => {
    shown.push(m);
    return Object.assign({ vendorId: m.vendorId, deviceId: m.deviceId, name: m.name }, share(m.machines, report.machines),
      { pixelShader: m.level ? m.level.major + '.' + m.level.minor : null });
  });
  report.missingFromDatabase = folded.rows;
  report.folded.missingFromDatabase = folded.folded;
  report.notJudgedByDatabase = shownFigure(notJudged, report.machines, minimum);
  return options.draft ? draftRecords(shown, options.pciNames, report.period, options.db) : null;
}

module.exports = { addMissingFromDatabase, missingAdapters, namedByDatabase, mostReportedLevel, UNNAMED_DRIVER };
