// --html FILE: the report as one static page for people: a summary first,
// then the charts and tables. Charts are inline SVG with their figures
// written out; no script, nothing fetched.
'use strict';
const page = require('../../resultpage/result.js');
const { OTHER } = require('./folding.js');
const { escape, percent, points, figureText, barChart, lineChart, CHART_STYLE } = require('./charts.js');

// Each requirement as the result page names it.
const NAMES = {};
for (const r of page.REQUIREMENTS) NAMES[r[0]] = r[1];

const VERDICT_LABELS = { meets: 'Meets the requirements', below: 'Below the requirements', incomplete: 'Could not check everything', notRun: 'Check could not run' };
const DISTRIBUTIONS = { videoMemory: 'Video memory', pixelShader: 'Pixel shader', directx: 'DirectX', windows: 'Windows', ram: 'RAM', disk: 'Free disk', vendor: 'Vendor' };

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

// An adapter as people know it: its PCI name, else the name most reported,
// else its ids.
function adapterName(a) {
  if (a.label === OTHER) return OTHER;
  const ids = hex(a.vendorId) + '/' + hex(a.deviceId);
  return a.deviceName ? (a.vendorName ? a.vendorName + ' ' : '') + a.deviceName : a.names && a.names.length ? a.names[0] + ' (' + ids + ')' : ids;
}

function stepLabel(step) {
  return NAMES[step.id] + ': ' + step.minimum + ' \u2192 ' + step.lowered;
}

function most(rows, pick) {
  return rows.filter((row) => pick(row) !== null && pick(row) > 0).sort((a, b) => pick(b) - pick(a))[0] || null;
}

// The summary's figures, each in an element of its own (data-summary) for
// whoever reads the page by machine.
function summary(report) {
  const periods = report.trends.periods, latest = periods[periods.length - 1], before = periods[periods.length - 2];
  const meets = report.verdicts.meets, total = report.machines;
  const item = (name, term, text) => '<dt>' + escape(term) + '</dt><dd data-summary="' + name + '">' + escape(text) + '</dd>';
  const blocker = most(report.requirements, (r) => r.soleBlocker.machines);
  const step = total === null ? null : most(report.whatIf, (w) => w.gained);
  // Adapters with PCI ids (an early exit reports 0 for both).
  const adapters = report.adapters.filter((a) => a.label !== OTHER && a.vendorId > 0 && a.deviceId > 0 && a.notMeeting !== null && a.notMeeting > 0)
    .sort((a, b) => b.notMeeting - a.notMeeting).slice(0, 3);
  const items = [
    item('period', 'Period', (periods.length ? periods[0].period + ' to ' + latest.period : 'no machines') +
      (total === null ? ': too few machines to show any figure' : ': ' + total.toLocaleString('en-US') + ' machines')),
    item('meets', 'Meet the requirements', meets.machines === null ? 'withheld' : percent(meets.share) + ' (95% ' + percent(meets.low) + ' to ' + percent(meets.high) + ')' +
      (latest && before && latest.verdicts.meets.change !== null ? '; ' + points(latest.verdicts.meets.change) + ' in ' + latest.period + ' from ' + before.period : ''))
  ];
  if (blocker) items.push(item('blocker', 'Stops the most on its own', NAMES[blocker.id] + ': ' + percent(blocker.soleBlocker.share) + ' of the machines'));
  if (step) items.push(item('what-if', 'The step lower that gains the most', stepLabel(step) + ': ' + points(step.gained / total * 100)));
  if (adapters.length) items.push(item('adapters', 'Adapters with the most machines that fall short', adapters.map((a) => adapterName(a) + ' (' + a.notMeeting.toLocaleString('en-US') + ')').join('; ')));
  return '<dl class="summary">' + items.join('') + '</dl>';
}

// The trends: the verdicts' shares and each requirement's share below, a
// line per series.
function trendCharts(trends) {
  const periods = trends.periods.map((p) => p.period);
  const verdicts = Object.keys(VERDICT_LABELS).map((key) => ({ name: VERDICT_LABELS[key], values: trends.periods.map((p) => p.verdicts[key].share) }));
  const below = page.REQUIREMENT_IDS.map((id, i) => ({ name: NAMES[id], values: trends.periods.map((p) => p.requirements[i].below.share) }));
  const by = trends.by === 'week' ? 'week' : 'month';
  return lineChart('Machines by verdict, ' + by + ' by ' + by, periods, verdicts) + lineChart('Below each minimum, ' + by + ' by ' + by, periods, below);
}

// A distribution's latest period, the one before and the change, as hardware
// surveys show them.
function latestChange(trends, name) {
  const periods = trends.periods;
  if (periods.length < 2) return '';
  const latest = periods[periods.length - 1], before = periods[periods.length - 2];
  const shareIn = (p, label) => {
    const row = p.distributions[name].find((d) => d.label === label);
    return row ? (row.machines === null ? 'withheld' : percent(row.share)) : '';
  };
  return table([['', (d) => d.label], [before.period, (d) => shareIn(before, d.label)], [latest.period, (d) => shareIn(latest, d.label)], ['change', (d) => points(d.change)]],
    latest.distributions[name]);
}

function reportPage(report) {
  const period = (report.period.from || 'the first day') + ' to ' + (report.period.to || 'the last day');
  const verdictRows = Object.entries(VERDICT_LABELS).map(([key, label]) => Object.assign({ label }, report.verdicts[key]));
  const requirementRows = (part) => report.requirements.map((r) => Object.assign({ label: NAMES[r.id] }, r[part]));
  const gained = report.whatIf.map((w) => Object.assign({}, w, {
    label: stepLabel(w),
    share: w.gained === null || !report.machines ? null : w.gained / report.machines, low: null, high: null
  }));
  const gainedText = (w) => (w.gained === null ? 'withheld' : points(w.share * 100) + ' (' + w.gained.toLocaleString('en-US') + ' machines)');
  const parts = [
    '<h1>Quillet system test: the fleet</h1>',
    '<p class="lead">' + (report.machines === null ? escape('Too few machines to show any figure') : escape(report.machines.toLocaleString('en-US')) +
      ' machines (' + escape(report.results.toLocaleString('en-US')) + ' results)') + ' from ' + escape(period) + '. A machine is one day\u2019s latest result of one computer. Rows under ' +
      escape(report.minMachines) + ' machines are folded into \u201cOther\u201d, and a figure is \u201cwithheld\u201d that stands for fewer, or would give such a figure away; ' +
      'shares carry 95% Wilson intervals.</p>',
    section('Summary', summary(report)),
    section('Verdicts', barChart('Machines by verdict', verdictRows)),
    section(report.trends.by === 'week' ? 'Week by week' : 'Month by month', trendCharts(report.trends)),
    section('Requirements', barChart('Below the minimum', requirementRows('below')) + barChart('Below on this requirement alone', requirementRows('soleBlocker')) +
      barChart('Unknown', requirementRows('unknown'))),
    section('If one minimum were a step lower', barChart('Points gained', gained, { text: gainedText, max: Math.max(0.05, ...gained.map((w) => w.share || 0)) })),
    section('Requirements failed together', barChart('Sets of failed requirements', report.combinations.map((c) => Object.assign({}, c, { label: labelled(c, (c.ids || []).map((id) => NAMES[id]).join(' + ')) })))),
    section('Distributions', Object.entries(DISTRIBUTIONS).map(([key, title]) => barChart(title, report.distributions[key]) + latestChange(report.trends, key)).join('')),
    section('Adapters', table([
      ['vendor', (a) => labelled(a, hex(a.vendorId) + ' ' + (a.vendorName || ''))], ['device', (a) => labelled(a, hex(a.deviceId) + ' ' + (a.deviceName || ''))],
      ['names reported', (a) => a.names, ' | '], ['machines', figureText], ['meet', (a) => percent(a.meetsShare)], ['top blocker', (a) => (a.topBlocker ? NAMES[a.topBlocker] : '')]
    ], report.adapters)),
    section('Rejected drivers', table([
      ['adapter', (d) => labelled(d, hex(d.vendorId) + ' / ' + hex(d.deviceId) + (d.deviceName ? ' ' + d.deviceName : ''))], ['driver', (d) => d.driver || ''], ['machines', figureText],
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

const STYLE = 'body{font:14px/1.4 system-ui,sans-serif;margin:1.5em auto;max-width:900px;padding:0 8px;color:#222}' +
  'h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.6em;border-bottom:1px solid #ccc}' + CHART_STYLE +
  'dl.summary{display:grid;grid-template-columns:max-content 1fr;gap:4px 16px;font-size:1.05em}dl.summary dt{font-weight:600}dl.summary dd{margin:0}' +
  'table{border-collapse:collapse;width:100%;font-size:.9em;margin-bottom:.6em}th,td{border-bottom:1px solid #ddd;padding:3px 6px;text-align:left;vertical-align:top}';

module.exports = { reportPage, htmlDocument, table, section, NAMES };
