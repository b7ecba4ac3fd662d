// --html FILE: the report as one static page for people. Charts are inline
// SVG with their figures written out; no script, nothing fetched.
'use strict';
const page = require('../../resultpage/result.js');
const { OTHER } = require('./folding.js');
const { visibleBidiControls } = require('./bidi_controls.js');

function escape(value) {
  return visibleBidiControls(value).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
}

function percent(share) {
  return share === null || share === undefined ? '' : (share * 100).toFixed(1) + '%';
}

function count(figure) {
  return figure.machines === null ? 'withheld' : figure.machines.toLocaleString('en-US');
}

function figureText(figure) {
  if (figure.machines === null) return 'withheld (fewer than K machines, or withheld with such a figure)';
  return count(figure) + (figure.share === null ? '' : ' (' + percent(figure.share) +
    (figure.low === null || figure.low === undefined ? '' : ', 95% ' + percent(figure.low) + ' to ' + percent(figure.high)) + ')');
}

const BAR = { label: 270, width: 330, text: 250, row: 22 };

// A horizontal bar per row: its share of the machines, the Wilson interval as
// a whisker, and the figures written beside it.
function barChart(title, rows) {
  const height = rows.length * BAR.row + 6;
  const total = BAR.label + BAR.width + BAR.text;
  const bars = rows.map((row, i) => {
    const y = i * BAR.row + 4, mid = y + 8, x = (v) => (BAR.label + (v || 0) * BAR.width).toFixed(1);
    const whisker = row.low === null || row.low === undefined ? ''
      : '<line class="ci" x1="' + x(row.low) + '" x2="' + x(row.high) + '" y1="' + mid + '" y2="' + mid + '"/>';
    return '<g><title>' + escape(row.label + ': ' + figureText(row)) + '</title>' +
      '<text class="label" x="' + (BAR.label - 6) + '" y="' + (mid + 4) + '">' + escape(clip(row.label)) + '</text>' +
      '<rect x="' + BAR.label + '" y="' + y + '" width="' + (x(row.share) - BAR.label).toFixed(1) + '" height="16"/>' + whisker +
      '<text class="figure" x="' + (BAR.label + BAR.width + 6) + '" y="' + (mid + 4) + '">' + escape(figureText(row)) + '</text></g>';
  }).join('');
  return '<figure><figcaption>' + escape(title) + '</figcaption><svg role="img" aria-label="' + escape(title) + '" viewBox="0 0 ' + total +
    ' ' + height + '" width="' + total + '" height="' + height + '" xmlns="http://www.w3.org/2000/svg">' + bars + '</svg></figure>';
}

function clip(text) {
  return text.length > 40 ? text.slice(0, 39) + '\u2026' : text;
}

// A value in a cell of its own direction: a right-to-left name cannot carry
// the figures beside it along.
function isolated(value) {
  return '<bdi>' + escape(value) + '</bdi>';
}

// columns: [heading, the row's value or list of values, the list's separator].
function table(columns, rows) {
  const cell = (value, separator) => (Array.isArray(value) ? value.map(isolated).join(escape(separator)) : isolated(value));
  return '<table><thead><tr>' + columns.map((c) => '<th scope="col">' + escape(c[0]) + '</th>').join('') + '</tr></thead><tbody>' +
    rows.map((row) => '<tr>' + columns.map((c) => '<td>' + cell(c[1](row), c[2]) + '</td>').join('') + '</tr>').join('') + '</tbody></table>';
}

function hex(id) {
  return id === null || id === undefined ? '' : page.hexId(Number(id));
}

function labelled(row, text) {
  return row.label === OTHER ? OTHER : text;
}

function section(title, body) {
  return '<section><h2>' + escape(title) + '</h2>' + body + '</section>';
}

function reportPage(report) {
  const period = (report.period.from || 'the first day') + ' to ' + (report.period.to || 'the last day');
  const verdictRows = Object.entries({ meets: 'Meets the requirements', below: 'Below the requirements', incomplete: 'Could not check everything', notRun: 'Check could not run' })
    .map(([key, label]) => Object.assign({ label }, report.verdicts[key]));
  const requirementRows = (part) => report.requirements.map((r) => Object.assign({ label: r.id }, r[part]));
  const parts = [
    '<h1>Quillet system test: the fleet</h1>',
    '<p class="lead">' + (report.machines === null ? escape('Too few machines to show any figure') : escape(report.machines.toLocaleString('en-US')) +
      ' machines (' + escape(report.results.toLocaleString('en-US')) + ' results)') + ' from ' + escape(period) + '. A machine is one day\u2019s latest result of one computer. Rows under ' +
      escape(report.minMachines) + ' machines are folded into \u201cOther\u201d; shares carry 95% Wilson intervals.</p>',
    section('Verdicts', barChart('Machines by verdict', verdictRows)),
    section('Requirements', barChart('Below the minimum', requirementRows('below')) + barChart('Below on this requirement alone', requirementRows('soleBlocker')) +
      barChart('Unknown', requirementRows('unknown'))),
    section('Requirements failed together', barChart('Sets of failed requirements', report.combinations.map((c) => Object.assign({}, c, { label: labelled(c, (c.ids || []).join(' + ')) })))),
    section('If one minimum were a step lower', barChart('Machines that would meet', report.whatIf.map((w) => Object.assign({}, w, { label: w.id + ': ' + w.minimum + ' \u2192 ' + w.lowered })))),
    section('Distributions', Object.entries({ videoMemory: 'Video memory', pixelShader: 'Pixel shader', directx: 'DirectX', windows: 'Windows', ram: 'RAM', disk: 'Free disk', vendor: 'Vendor' })
      .map(([key, title]) => barChart(title, report.distributions[key])).join('')),
    section('Adapters', table([
      ['vendor', (a) => labelled(a, hex(a.vendorId) + ' ' + (a.vendorName || ''))], ['device', (a) => labelled(a, hex(a.deviceId) + ' ' + (a.deviceName || ''))],
      ['names reported', (a) => a.names, ' | '], ['machines', figureText], ['meet', (a) => percent(a.meetsShare)], ['top blocker', (a) => a.topBlocker || '']
    ], report.adapters)),
    section('Rejected drivers', table([
      ['adapter', (d) => labelled(d, hex(d.vendorId) + ' / ' + hex(d.deviceId))], ['driver', (d) => d.driver || ''], ['machines', figureText],
      ['alternates offered', (d) => d.alternates, ', '], ['would meet with an offered driver', (d) => (d.onlyBlocker === null ? '' : d.onlyBlocker)]
    ], report.rejectedDrivers))
  ];
  if (report.missingFromDatabase) {
    parts.push(section('Adapters the database does not name', table([
      ['adapter', (m) => labelled(m, hex(m.vendorId) + ' / ' + hex(m.deviceId))], ['name', (m) => m.name || ''], ['machines', figureText], ['pixel shader', (m) => m.pixelShader || '']
    ], report.missingFromDatabase)));
  }
  parts.push(section('Lines read', table([['', (r) => r[0]], ['lines', (r) => r[1].toLocaleString('en-US')]],
    [['read', report.lines.read], ['results', report.lines.results], ['other requests', report.lines.otherRequests], ['rejected', report.lines.rejected],
      ['cut by a \u201c#\u201d', report.lines.cut]].concat(Object.entries(report.lines.rejectedReasons).map(([k, v]) => ['rejected: ' + k, v])))));
  return htmlDocument('Quillet system test: the fleet, ' + period, parts);
}

// A whole page of `parts` (markup): no script, nothing fetched.
function htmlDocument(title, parts) {
  return '<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">' +
    '<meta http-equiv="Content-Security-Policy" content="default-src \'none\'; style-src \'unsafe-inline\'">' +
    '<title>' + escape(title) + '</title><style>' + STYLE + '</style></head><body>' + parts.join('\n') + '</body></html>\n';
}

const STYLE = 'body{font:14px/1.4 system-ui,sans-serif;margin:1.5em auto;max-width:900px;color:#222}' +
  'h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.6em;border-bottom:1px solid #ccc}' +
  'figure{margin:.6em 0}figcaption{font-weight:600;margin:.8em 0 .2em}svg text{font-size:12px;fill:#222}' +
  'svg text.label{text-anchor:end}svg rect{fill:#3a6ea5}svg line.ci{stroke:#111;stroke-width:1.5}' +
  'table{border-collapse:collapse;width:100%;font-size:.9em}th,td{border-bottom:1px solid #ddd;padding:3px 6px;text-align:left;vertical-align:top}';

module.exports = { reportPage, htmlDocument, escape, barChart, table, section, figureText, percent };
