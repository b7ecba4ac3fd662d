// The fleet pages' charts: inline SVG with their figures written out, every
// text escaped, sized so that no label is cut in a page 900 pixels wide.
'use strict';
const { visibleBidiControls } = require('./bidi_controls.js');

function escape(value) {
  return visibleBidiControls(value).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
}

function percent(share) {
  return share === null || share === undefined ? '' : (share * 100).toFixed(1) + '%';
}

// A change in percentage points, signed.
function points(change) {
  if (change === null || change === undefined) return '';
  const tenths = Math.round(change * 10);
  return (tenths > 0 ? '+' : tenths < 0 ? '\u2212' : '\u00b1') + Math.abs(tenths / 10).toFixed(1) + ' points';
}

function count(figure) {
  return figure.machines === null ? 'withheld' : figure.machines.toLocaleString('en-US');
}

function figureText(figure) {
  if (figure.machines === null) return 'withheld';
  return count(figure) + (figure.share === null ? '' : ' (' + percent(figure.share) +
    (figure.low === null || figure.low === undefined ? '' : ', 95% ' + percent(figure.low) + ' to ' + percent(figure.high)) + ')');
}

// A chart is 860 pixels wide, for a page 900 wide. Labels go left of their
// bars when the longest fits there (7 pixels a character at 12 pixels),
// otherwise each above its bar; only a text longer than any the test or the
// page writes is shortened.
const BAR = { total: 860, text: 270, side: 380, row: 22, stackedRow: 38 };
const LONGEST_LABEL = 120;

function clip(text) {
  return text.length > LONGEST_LABEL ? text.slice(0, LONGEST_LABEL - 1) + '\u2026' : text;
}

function textWidth(text) {
  return text.length * 7 + 12;
}

function svg(title, width, height, body) {
  return '<figure><figcaption>' + escape(title) + '</figcaption><svg role="img" aria-label="' + escape(title) + '" viewBox="0 0 ' + width +
    ' ' + height + '" width="' + width + '" height="' + height + '" xmlns="http://www.w3.org/2000/svg">' + body + '</svg></figure>';
}

// A horizontal bar per row: its share of the machines, the Wilson interval as
// a whisker, and the figures written beside it. options: { text(row): the
// figures (figureText), max: the share at the full bar (1) }.
function barChart(title, rows, options) {
  const text = (options && options.text) || figureText, max = (options && options.max) || 1;
  const labels = rows.map((row) => clip(row.label));
  const widest = Math.max(60, ...labels.map(textWidth));
  const stacked = widest > BAR.side;
  const left = stacked ? 0 : widest, width = BAR.total - BAR.text - left, row = stacked ? BAR.stackedRow : BAR.row;
  const bars = rows.map((r, i) => {
    const y = i * row + (stacked ? 18 : 4), mid = y + 8, x = (v) => (left + Math.min(1, (v || 0) / max) * width).toFixed(1);
    const whisker = r.low === null || r.low === undefined ? ''
      : '<line class="ci" x1="' + x(r.low) + '" x2="' + x(r.high) + '" y1="' + mid + '" y2="' + mid + '"/>';
    const label = stacked ? '<text class="above" x="0" y="' + (y - 5) + '">' + escape(labels[i]) + '</text>'
      : '<text class="label" x="' + (left - 6) + '" y="' + (mid + 4) + '">' + escape(labels[i]) + '</text>';
    return '<g><title>' + escape(r.label + ': ' + text(r)) + '</title>' + label +
      '<rect x="' + left + '" y="' + y + '" width="' + (x(r.share) - left).toFixed(1) + '" height="16"/>' + whisker +
      '<text class="figure" x="' + (left + width + 6) + '" y="' + (mid + 4) + '">' + escape(text(r)) + '</text></g>';
  }).join('');
  return svg(title, BAR.total, rows.length * row + 6, bars);
}

const LINE = { left: 44, plot: 560, legend: 250, top: 10, height: 170, axis: 34 };
const COLOURS = ['#3a6ea5', '#c0504d', '#9bbb59', '#8064a2', '#4bacc6', '#f79646', '#7f7f7f', '#2c4d75'];

// The scale's top: the next tenth above the highest share, or the whole.
function scaleTop(series) {
  const highest = Math.max(0, ...series.map((s) => Math.max(0, ...s.values.filter((v) => v !== null))));
  return highest > 0.5 ? 1 : Math.max(0.1, Math.ceil(highest * 10) / 10);
}

// A line per series over the periods (shares; null: withheld, a gap), with
// its name and latest share in the legend. No <title>: the figures are in
// the tables beside it.
function lineChart(title, periods, series) {
  const top = scaleTop(series), n = periods.length;
  const x = (i) => LINE.left + (n > 1 ? i * LINE.plot / (n - 1) : LINE.plot / 2);
  const y = (v) => LINE.top + LINE.height * (1 - v / top);
  const parts = [];
  for (let t = 0; t <= 4; t++) {
    const v = top * t / 4;
    parts.push('<line class="grid" x1="' + LINE.left + '" x2="' + (LINE.left + LINE.plot) + '" y1="' + y(v).toFixed(1) + '" y2="' + y(v).toFixed(1) + '"/>' +
      '<text class="axis" x="' + (LINE.left - 6) + '" y="' + (y(v) + 4).toFixed(1) + '">' + escape(Math.round(v * 100) + '%') + '</text>');
  }
  // A period's label every so many periods, so that no two touch (7 pixels a character).
  const every = n > 1 ? Math.max(1, Math.ceil((Math.max(...periods.map((p) => p.length)) * 7 + 10) / (LINE.plot / (n - 1)))) : 1;
  periods.forEach((p, i) => {
    if (i % every === 0) parts.push('<text class="period" x="' + x(i).toFixed(1) + '" y="' + (LINE.top + LINE.height + 18) + '">' + escape(p) + '</text>');
  });
  series.forEach((s, k) => {
    const colour = COLOURS[k % COLOURS.length];
    let run = [];
    const flush = () => {
      if (run.length > 1) parts.push('<polyline fill="none" stroke="' + colour + '" stroke-width="2" points="' + run.join(' ') + '"/>');
      if (run.length === 1) parts.push('<circle r="2.5" fill="' + colour + '" cx="' + run[0].split(',')[0] + '" cy="' + run[0].split(',')[1] + '"/>');
      run = [];
    };
    s.values.forEach((v, i) => (v === null ? flush() : run.push(x(i).toFixed(1) + ',' + y(v).toFixed(1))));
    flush();
    const ly = LINE.top + 8 + k * 18, lx = LINE.left + LINE.plot + 16;
    const latest = s.values.length ? s.values[s.values.length - 1] : null;
    parts.push('<line stroke="' + colour + '" stroke-width="3" x1="' + lx + '" x2="' + (lx + 16) + '" y1="' + (ly - 4) + '" y2="' + (ly - 4) + '"/>' +
      '<text class="legend" x="' + (lx + 22) + '" y="' + ly + '">' + escape(s.name + (latest === null ? '' : ' ' + percent(latest))) + '</text>');
  });
  const height = Math.max(LINE.top + LINE.height + LINE.axis, LINE.top + 8 + series.length * 18);
  return svg(title, LINE.left + LINE.plot + LINE.legend, height, parts.join(''));
}

const CHART_STYLE = 'figure{margin:.6em 0}figcaption{font-weight:600;margin:.8em 0 .2em}svg text{font-size:12px;fill:#222}' +
  'svg text.label,svg text.axis{text-anchor:end}svg text.period{text-anchor:middle}svg rect{fill:#3a6ea5}svg line.ci{stroke:#111;stroke-width:1.5}' +
  'svg line.grid{stroke:#ddd}';

module.exports = { escape, percent, points, figureText, barChart, lineChart, CHART_STYLE };
