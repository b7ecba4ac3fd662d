// --db: the adapters no record of the database names, ranked by machines,
// and --draft: Card records for them in the database's own format.
'use strict';
const { rows } = require('./store_reader.js');
const { PCI_ADAPTER, rollupQuery } = require('./rollups.js');
const { dayWithin } = require('./report_queries.js');
const { explainBatch, explainable } = require('./database_explain.js');
const { share } = require('./shares.js');
const { foldRows, OTHER } = require('./folding.js');
const { pixelShaderLevel } = require('./bins.js');
const { writeWhole } = require('./output_files.js');
const { loadPciIds } = require('./pci_ids.js');

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
// one record per adapter whose every name is unnamed.
function missingAdapters(nameRows, answers, levelRows, minimum) {
  const adapters = new Map();
  nameRows.forEach((row, i) => {
    const key = row.vendor_id + '/' + row.device_id;
    if (!adapters.has(key)) adapters.set(key, { vendorId: row.vendor_id, deviceId: row.device_id, names: [], machines: 0, named: false });
    const a = adapters.get(key);
    a.names.push(row);
    a.machines += row.machines;
    if (answers[i] === null || namedByDatabase(answers[i])) a.named = true;
  });
  return [...adapters.values()].filter((a) => !a.named).map((a) => {
    const level = mostReportedLevel(levelRows.filter((l) => l.vendor_id === a.vendorId && l.device_id === a.deviceId));
    return { vendorId: a.vendorId, deviceId: a.deviceId, name: mostCommonName(a.names, minimum), machines: a.machines, level };
  });
}

async function addMissingFromDatabase(connection, report, options) {
  const days = dayWithin(options.from, options.to);
  const nameRows = await rows(connection, rollupQuery('adapters', days, {
    keys: ['vendor_id', 'device_id', 'card'], where: PCI_ADAPTER + " AND card IS NOT NULL AND card <> ''", order: 'vendor_id, device_id, card' }));
  const levelRows = await rows(connection, rollupQuery('adapter_levels', days));
  const asked = nameRows.filter((row) => explainable({ card: row.card }));
  const [answers] = await explainBatch(asked.map((row) => ({ vendorId: row.vendor_id, deviceId: row.device_id, driver: UNNAMED_DRIVER, card: row.card })), [options.db]);
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
    writeWhole(options.draft, draftRecords(shown, loadPciIds(options.pciIds), report.period, options.db));
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

// The drafts as a database of their own: one Vendor element per vendor, a
// Card per adapter with its ids, its most common name and the level most
// reported. A name XML cannot hold, or too few machines reported, is left
// out (the ids still match).
function draftRecords(adapters, pciNames, period, database) {
  const vendors = new Map();
  for (const a of adapters) {
    if (!vendors.has(a.vendorId)) vendors.set(a.vendorId, []);
    vendors.get(a.vendorId).push(a);
  }
  const lines = ['<?xml version="1.0" encoding="utf-8"?>',
    '<!-- Drafts from the fleet report (' + comment((period.from || 'first day') + ' to ' + (period.to || 'last day')) + '): adapters that no record of',
    '     ' + comment(database) + ' names, with the name and pixel shader level their machines reported most.',
    '     Check each before merging its Card into the database. -->', '<VideoCardDB>'];
  for (const [vendorId, cards] of [...vendors.entries()].sort((a, b) => a[0] - b[0])) {
    lines.push('  <Vendor Name="' + attribute(pciNames.vendorName(vendorId) || 'vendor ' + vendorId) + '">');
    for (const card of cards.sort((a, b) => a.deviceId - b.deviceId)) {
      lines.push('    <Card ManufacturerID="' + vendorId + '" DeviceID="' + card.deviceId + '"' +
        (card.name !== null && xmlSafe(card.name) ? ' CardName="' + attribute(card.name) + '"' : '') +
        (card.level ? ' PixelShaderVersion="' + Math.min(card.level.major, 9) + '"' : '') + '/>');
    }
    lines.push('  </Vendor>');
  }
  lines.push('</VideoCardDB>');
  return lines.join('\n') + '\n';
}

module.exports = { addMissingFromDatabase, missingAdapters, draftRecords, namedByDatabase, mostReportedLevel, UNNAMED_DRIVER };
