// --db: the adapters no record of the database names, ranked by machines,
// and --draft: records for them in the database's own format.
'use strict';
const { rows } = require('../store/store_reader.js');
const { PCI_ADAPTER, rollupQuery } = require('../store/rollups.js');
const { dayWithin } = require('./queries.js');
const { explainBatch, explainable } = require('./database_explain.js');
const { share } = require('./shares.js');
const { foldRows, OTHER } = require('./folding.js');
const { pixelShaderLevel } = require('./bins.js');
const { writeWhole } = require('../cli/whole_files.js');

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
  const folded = foldRows(missing, options.minimum, (machines) => Object.assign({ vendorId: null, deviceId: null, name: null, label: OTHER, pixelShader: null }, share(machines, report.machines)));
  report.missingFromDatabase = folded.rows.map((m) => (m.label === OTHER ? m : Object.assign(
    { vendorId: m.vendorId, deviceId: m.deviceId, name: m.name }, share(m.machines, report.machines),
    { pixelShader: m.level ? m.level.major + '.' + m.level.minor : null })));
  report.folded.missingFromDatabase = folded.folded;
  if (options.draft) {
    const shown = folded.rows.filter((m) => m.label !== OTHER);
    writeWhole(options.draft, draftRecords(shown, options.pciNames, report.period, options.db));
  }
}

// XML 1.0 cannot hold most control characters, even escaped.
function attribute(text) {
  return String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;')
    .replace(/\t/g, '&#9;').replace(/\n/g, '&#10;').replace(/\r/g, '&#13;');
}

function xmlSafe(text) {
  // eslint-disable-next-line no-control-regex
  return !/[\u0000-\u0008\u000B\u000C\u000E-\u001F\uFFFE\uFFFF]/.test(text);
}

function comment(text) {
  return String(text).replace(/--/g, '- -');
}

// A driver version as the check writes one ("%u.%u.%04u.%u" of four 16-bit
// numbers): no other text is ever the installed driver's.
function isCheckDriverVersion(text) {
  const parts = text.split('.');
  if (parts.length !== 4 || !parts.every((p) => /^\d{1,5}$/.test(p) && Number(p) <= 0xFFFF)) return false;
  const [a, b, c, d] = parts.map(Number);
  return [a, b, String(c).padStart(4, '0'), d].join('.') === text;
}

function driverOf(step) {
  const named = step.attributes.find((attribute) => attribute.name === 'DriverVersion');
  return named ? named.value : '';
}

// The record's own level: the fallback level a record that does not end the
// scan leaves is the one it gives.
function levelOf(step) {
  return step.effect === 'accepted' ? step.level : step.fallbackLevel;
}

const REJECTING = ['rejected', 'blackListed'];

// The drivers a record of the database accepts for the card without a pixel
// shader level, in the document order of those records. trails: one per name
// the card's machines report, the records that matched it for a driver no
// record names. With a driver installed, the first of them that names it and
// does not reject it accepts it and ends the scan with its own level.
function driversAcceptedWithoutLevel(trails) {
  const found = new Map();  // driver -> the element that accepts it without a level
  for (const trail of trails) {
    const decided = new Set();
    for (const step of trail) {
      const driver = driverOf(step);
      if (driver === '' || decided.has(driver) || REJECTING.includes(step.effect)) continue;
      decided.add(driver);
      if (levelOf(step) >= 0 || !isCheckDriverVersion(driver)) continue;
      if (!found.has(driver) || step.element < found.get(driver)) found.set(driver, step.element);
    }
  }
  return [...found.entries()].sort((a, b) => a[1] - b[1] || (a[0] < b[0] ? -1 : 1)).map((entry) => entry[0]);
}

// The first and the last record, in document order, that matched any of the
// trails; null when none did.
function matchedBounds(trails) {
  let first = null, last = null;
  for (const step of trails.flat()) {
    if (!first || step.element < first.element) first = step;
    if (!last || step.element > last.element) last = step;
  }
  return first && { first: { element: first.element, path: first.path }, last: { element: last.element, path: last.path } };
}

// What is drafted for one vendor's cards, and where it goes in the database:
// each card's own accepting Driver records (one per driver the database
// accepts for it without a level) in front of the first record that matches
// any of the cards, so that they accept those drivers with the card's level;
// the Cards after the last one, so that theirs is the level the card falls
// back to. A card no machine reported a level for is left out: a Card
// without one names no card.
function vendorDraft(cards) {
  const byDevice = (a, b) => a.deviceId - b.deviceId;
  const levelled = cards.filter((card) => card.level).sort(byDevice);
  return {
    bounds: matchedBounds(levelled.flatMap((card) => card.trails || [])),
    drivers: levelled.flatMap((card) => driversAcceptedWithoutLevel(card.trails || []).map((driver) => ({ card, driver }))),
    cards: levelled,
    leftOut: cards.filter((card) => !card.level).sort(byDevice)
  };
}

function draftedLevel(card) {
  return Math.min(card.level.major, 9);
}

// The attributes by which a drafted record matches its card.
function cardAttributes(vendorId, card) {
  return 'ManufacturerID="' + vendorId + '" DeviceID="' + card.deviceId + '"' +
    (card.name !== null && xmlSafe(card.name) ? ' CardName="' + attribute(card.name) + '"' : '');
}

function cardRecord(vendorId, card) {
  return '<Card ' + cardAttributes(vendorId, card) + (card.level ? ' PixelShaderVersion="' + draftedLevel(card) + '"' : '') + '/>';
}

function driverRecord(vendorId, card, driver) {
  return '<Driver ' + cardAttributes(vendorId, card) + ' DriverVersion="' + attribute(driver) + '" PixelShaderVersion="' +
    draftedLevel(card) + '" BlackList="not_recommended"/>';
}

function placeText(place) {
  return 'element ' + place.element + ' (' + comment(place.path) + ')';
}

// One vendor's lines: each group of records headed by a comment that says
// where in the database it goes.
function vendorLines(vendorId, draft) {
  const lines = [];
  if (draft.drivers.length) {
    lines.push('<!-- before ' + placeText(draft.bounds.first) + ': -->');
    for (const d of draft.drivers) lines.push(driverRecord(vendorId, d.card, d.driver));
  }
  if (draft.cards.length) {
    lines.push(draft.bounds ? '<!-- after ' + placeText(draft.bounds.last) + ': -->' : '<!-- anywhere: no record matches these cards -->');
    for (const card of draft.cards) lines.push(cardRecord(vendorId, card));
  }
  for (const card of draft.leftOut) lines.push('<!-- left out, no pixel shader level reported: ' + comment(cardRecord(vendorId, card)) + ' -->');
  return lines;
}

// The drafts as a database of their own: one Vendor element per vendor, with
// each card's ids, its most common name and the level most reported. A name
// XML cannot hold, or too few machines reported, is left out (the ids still
// match).
function draftRecords(adapters, pciNames, period, database) {
  const vendors = new Map();
  for (const a of adapters) {
    if (!vendors.has(a.vendorId)) vendors.set(a.vendorId, []);
    vendors.get(a.vendorId).push(a);
  }
  const lines = ['<?xml version="1.0" encoding="utf-8"?>',
    '<!-- Drafts from the fleet report (' + comment((period.from || 'first day') + ' to ' + (period.to || 'last day')) + '): adapters that no record of',
    '     ' + comment(database) + ' names, with the name and pixel shader level their machines reported most.',
    '     Check each before merging. Merge a vendor\'s records without their Vendor element, each',
    '     group where the comment in front of it says; elements are numbered in document order in',
    '     the database as it was for the report, the root as 1 (as scripts/vidrake-db explain does):',
    '       "before element N": in front of element N, the first record that matches these cards.',
    '         The cards\' own Driver records for the drivers the database accepts for them without',
    '         a level: they accept those drivers first, with the card\'s level.',
    '       "after element N": behind element N and what it holds, the last record that matches',
    '         these cards. Their Card records: the last matching record gives a card its level.',
    '       "anywhere": no record matches these cards.',
    '     A card its machines reported no pixel shader level for is left out (shown in a comment):',
    '     a Card without a level names no card. -->', '<VideoCardDB>'];
  for (const [vendorId, cards] of [...vendors.entries()].sort((a, b) => a[0] - b[0])) {
    lines.push('  <Vendor Name="' + attribute(pciNames.vendorName(vendorId) || 'vendor ' + vendorId) + '">');
    for (const line of vendorLines(vendorId, vendorDraft(cards))) lines.push('    ' + line);
    lines.push('  </Vendor>');
  }
  lines.push('</VideoCardDB>');
  return lines.join('\n') + '\n';
}

module.exports = {
  addMissingFromDatabase, missingAdapters, draftRecords, vendorDraft, driversAcceptedWithoutLevel, isCheckDriverVersion,
  namedByDatabase, mostReportedLevel, UNNAMED_DRIVER
};
