// The minimums a plan may set, as the result page's judge takes them
// (page.MINIMUMS has their shapes): read from "--min REQUIREMENT=VALUE", and
// the steps each requirement's curve is read at.
'use strict';
const page = require('../../resultpage/result.js');
const bins = require('../report/bins.js');
const { UsageError } = require('../cli/arguments.js');

// The requirements a plan can set: those with a value of their own.
const PLANNED = Object.keys(page.MINIMUMS);

// Windows by name, oldest first: the oldest service pack of each version
// line that meets. Server 2003 and XP x64 (5.2) never had a third service
// pack: XP SP3's generation is their SP2.
const WINDOWS = [
  ['2000', [[5, 0, 0]], 'Windows 2000 or later'],
  ['2000-sp4', [[5, 0, 4]], 'Windows 2000 SP4 or later'],
  ['xp', [[5, 1, 0], [5, 2, 0]], 'Windows XP, Server 2003 or later'],
  ['xp-sp1', [[5, 1, 1], [5, 2, 1]], 'Windows XP SP1, Server 2003 SP1 or later'],
  ['xp-sp2', [[5, 1, 2], [5, 2, 2]], 'Windows XP SP2, Server 2003 SP2 or later'],
  ['xp-sp3', [[5, 1, 3], [5, 2, 2]], 'Windows XP SP3, Server 2003 SP2 or later'],
  ['vista', [[6, 0, 0]], 'Windows Vista or later'],
  ['vista-sp1', [[6, 0, 1]], 'Windows Vista SP1 or later'],
  ['vista-sp2', [[6, 0, 2]], 'Windows Vista SP2 or later'],
  ['7', [[6, 1, 0]], 'Windows 7 or later'],
  ['7-sp1', [[6, 1, 1]], 'Windows 7 SP1 or later']
];

const DIRECTX_STEPS = ['7.0', '8.0', '8.1', '9.0', '9.0a', '9.0b', '9.0c', '10.0', '10.1', '11.0'];
// The levels the program writes, once each.
const SHADER_STEPS = ['1.0', '1.1', '1.2', '1.3', '1.4', '2.0', '3.0'];

function megabytes(text, unit) {
  if (!/^[1-9][0-9]{0,6}$/.test(text)) return null;
  return { megabytes: Number(text), text: text + ' MB' + unit, value: text };
}

// Each requirement's reader of a value: its minimum, or null when the text
// is none of its values.
const READERS = {
  memory: (text) => megabytes(text, ''),
  ram: (text) => megabytes(text, ''),
  disk: (text) => megabytes(text, ' on one fixed drive'),
  shader: (text) => {
    const m = /^([0-9]{1,2})(?:\.([0-9]{1,2}))?$/.exec(text);
    return m && { major: Number(m[1]), minor: Number(m[2] || 0), text: 'version ' + Number(m[1]) + '.' + Number(m[2] || 0), value: text };
  },
  directx: (text) => {
    const m = /^([0-9]{1,2})(?:\.([0-9]{1,2}))?([abc]?)$/.exec(text);
    return m && { major: Number(m[1]), minor: Number(m[2] || 0), letter: m[3], text: 'DirectX ' + Number(m[1]) + '.' + Number(m[2] || 0) + m[3], value: text };
  },
  windows: (text) => {
    const named = WINDOWS.find((w) => w[0] === text);
    return named && { lines: named[1], text: named[2], value: text };
  }
};

const VALUES_HELP = {
  memory: 'megabytes of video memory, as 128', shader: 'a pixel shader version, as 3.0', directx: 'a DirectX version, as 9.0c or 10.0',
  ram: 'megabytes of RAM, as 1024', disk: 'megabytes free on one fixed drive, as 500', windows: WINDOWS.map((w) => w[0]).join(', ')
};

// ["memory=128", ...] -> { memory: minimum, ... }; a usage error names what
// is wrong and the values the requirement takes.
function readMinimums(texts) {
  const minimums = {};
  for (const text of texts || []) {
    const m = /^([a-z]+)=(.*)$/.exec(text);
    if (!m || !PLANNED.includes(m[1])) throw new UsageError('--min takes REQUIREMENT=VALUE, REQUIREMENT one of ' + PLANNED.join(', ') + '; not ' + text);
    const [, id, value] = m;
    if (minimums[id]) throw new UsageError('--min ' + id + ' is given twice');
    const minimum = READERS[id](value);
    if (!minimum) throw new UsageError('--min ' + id + '= takes ' + VALUES_HELP[id] + '; not ' + value);
    minimums[id] = minimum;
  }
  if (!Object.keys(minimums).length) throw new UsageError('at least one --min REQUIREMENT=VALUE is needed');
  return minimums;
}

// The steps of each requirement's curve, lowest first, as minimums.
function curveSteps() {
  // Past the first bin, which holds every value known.
  const lowerBounds = (bounds) => bounds.filter((b) => b > 1).map(String);
  const steps = {
    directx: DIRECTX_STEPS, memory: lowerBounds(bins.LOWER_BOUNDS.videoMemory), shader: SHADER_STEPS,
    ram: lowerBounds(bins.LOWER_BOUNDS.ram), disk: lowerBounds(bins.LOWER_BOUNDS.disk), windows: WINDOWS.map((w) => w[0])
  };
  const out = {};
  for (const id of PLANNED) out[id] = steps[id].map((value) => READERS[id](value));
  return out;
}

module.exports = { PLANNED, readMinimums, curveSteps, VALUES_HELP };
