// --csv DIR: one file per table of the report, RFC 4180 with a header row.
'use strict';
const path = require('node:path');
const { visibleBidiControls } = require('./bidi_controls.js');

// Texts come from the field's machines: quoted always, bidirectional
// controls written out, and one that a spreadsheet would take for a formula
// starts with an apostrophe.
function cell(value) {
  if (value === null || value === undefined) return '';
  if (typeof value === 'number' || typeof value === 'boolean') return String(value);
  const text = visibleBidiControls(Array.isArray(value) ? value.join(' ') : value);
  return '"' + (/^[=+\-@\t\r]/.test(text) ? "'" : '') + text.replace(/"/g, '""') + '"';
}

function csv(columns, rows) {
  return [columns.join(',')].concat(rows.map((row) => columns.map((c) => cell(row[c])).join(','))).join('\r\n') + '\r\n';
}

const SHARE = ['machines', 'share', 'low', 'high'];

function flat(prefix, figure) {
  const out = {};
  for (const key of SHARE) out[prefix + key[0].toUpperCase() + key.slice(1)] = figure[key];
  return out;
}

// file name -> [columns, rows]
function tables(report) {
  const out = {
    'lines.csv': [['kind', 'lines'], [['read', report.lines.read], ['results', report.lines.results],
      ['otherRequests', report.lines.otherRequests], ['rejected', report.lines.rejected], ['cut', report.lines.cut]]
      .concat(Object.entries(report.lines.rejectedReasons).map(([reason, n]) => ['rejected: ' + reason, n]))
      .map(([kind, lines]) => ({ kind, lines }))],
    'verdicts.csv': [['verdict'].concat(SHARE), Object.entries(report.verdicts).map(([verdict, f]) => Object.assign({ verdict }, f))],
    'requirements.csv': [['id'].concat(...['below', 'unknown', 'soleBlocker'].map((p) => SHARE.map((k) => p + k[0].toUpperCase() + k.slice(1)))),
      report.requirements.map((r) => Object.assign({ id: r.id }, flat('below', r.below), flat('unknown', r.unknown), flat('soleBlocker', r.soleBlocker)))],
    'combinations.csv': [['ids', 'label'].concat(SHARE), report.combinations.map((c) => Object.assign({}, c, { ids: c.ids && c.ids.join('+') }))],
    'what-if.csv': [['id', 'minimum', 'lowered'].concat(SHARE, 'gained'), report.whatIf],
    'adapters.csv': [['vendorId', 'deviceId', 'vendorName', 'deviceName', 'names', 'label'].concat(SHARE, 'meetsShare', 'topBlocker'),
      report.adapters.map((a) => Object.assign({}, a, { names: a.names.join(' | ') }))],
    'rejected-drivers.csv': [['vendorId', 'deviceId', 'driver', 'label'].concat(SHARE, 'alternates', 'onlyBlocker'),
      report.rejectedDrivers.map((d) => Object.assign({}, d, { alternates: d.alternates.join(', ') }))]
  };
  for (const [name, rows] of Object.entries(report.distributions)) out['distribution-' + name + '.csv'] = [['label'].concat(SHARE), rows];
  if (report.missingFromDatabase) {
    out['missing-from-database.csv'] = [['vendorId', 'deviceId', 'name', 'pixelShader', 'label'].concat(SHARE), report.missingFromDatabase];
  }
  return out;
}

// The files of the tables in `folder`, the folder first.
function tableFiles(folder, report) {
  return [{ folder }].concat(Object.entries(tables(report)).map(([name, [columns, rows]]) => ({ file: path.join(folder, name), text: csv(columns, rows) })));
}

module.exports = { tableFiles, tables, cell, csv };
