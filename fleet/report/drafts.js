// --draft FILE: records for the adapters the database does not name, in the
// database's own format, each group placed by the records that matched it.
'use strict';

// XML 1.0 cannot hold most control characters, even escaped.
// eslint-disable-next-line no-control-regex
const NOT_XML = /[\u0000-\u0008\u000B\u000C\u000E-\u001F\uFFFE\uFFFF]/g;

function xmlSafe(text) {
  return !new RegExp(NOT_XML.source).test(text) && String(text).isWellFormed();
}

// A value as an attribute: markup escaped, what XML cannot hold replaced.
function attribute(text) {
  return String(text).replace(NOT_XML, '\uFFFD').replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;')
    .replace(/\t/g, '&#9;').replace(/\n/g, '&#10;').replace(/\r/g, '&#13;');
}

// Text inside a comment: no "--" (a hyphen after a hyphen is spaced apart),
// no "-" just before the comment's end, nothing XML cannot hold.
function comment(text) {
  return String(text).toWellFormed().replace(NOT_XML, '\uFFFD').replace(/-(?=-)/g, '- ').replace(/-$/, '- ');
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
  for (const card of draft.leftOut) {
    const why = card.levelReported ? 'too few machines agree on a pixel shader level the program writes' : 'no pixel shader level reported';
    lines.push('<!-- left out, ' + why + ': ' + comment(cardRecord(vendorId, card)) + ' -->');
  }
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
    '     A card is left out (shown in a comment) unless K machines agree on one of the levels the',
    '     program writes: a Card without a level names no card. -->', '<VideoCardDB>'];
  for (const [vendorId, cards] of [...vendors.entries()].sort((a, b) => a[0] - b[0])) {
    lines.push('  <Vendor Name="' + attribute(pciNames.vendorName(vendorId) || 'vendor ' + vendorId) + '">');
    for (const line of vendorLines(vendorId, vendorDraft(cards))) lines.push('    ' + line);
    lines.push('  </Vendor>');
  }
  lines.push('</VideoCardDB>');
  return lines.join('\n') + '\n';
}

module.exports = { draftRecords, vendorDraft, driversAcceptedWithoutLevel, isCheckDriverVersion };
