// The bins the distributions count machines in. Each bin holds the values
// from its own lower bound up to the next bin's.
'use strict';
const page = require('../../resultpage/result.js');

const MB = 1, GB = 1024;

// Video memory: the sizes the program's rounding produces (8 and 16 MB, then
// 32 and 64, then multiples of 64), named by the powers of two they lie between.
const VIDEO_MEMORY = [
  [1, 'less than 8 MB'], [8 * MB, '8 MB'], [16 * MB, '16 MB'], [32 * MB, '32 MB'], [64 * MB, '64 MB'],
  [128 * MB, '128 MB'], [256 * MB, '256 MB'], [512 * MB, '512 MB'], [1 * GB, '1 GB'], [2 * GB, '2 GB'],
  [4 * GB, '4 GB and more']
];
// RAM and free disk: the minimums and what-if steps are bin edges.
const RAM = [
  [0, 'less than 128 MB'], [128, '128 to 255 MB'], [256, '256 to 499 MB'], [500, '500 to 1023 MB'],
  [1 * GB, '1 to 2 GB'], [2 * GB, '2 to 4 GB'], [4 * GB, '4 GB and more']
];
const DISK = [
  [0, 'less than 100 MB'], [100, '100 to 249 MB'], [250, '250 to 999 MB'], [1 * GB, '1 to 10 GB'],
  [10 * GB, '10 to 100 GB'], [100 * GB, '100 GB and more']
];
const UNKNOWN = 'unknown';

function inBins(bins, value) {
  if (value === null || value === undefined || !(value >= bins[0][0])) return UNKNOWN;
  let label = bins[0][1];
  for (const [lower, name] of bins) if (value >= lower) label = name;
  return label;
}

// 0 MB of video memory is no measurement, as the result page judges it.
function videoMemoryBin(megabytes) {
  return inBins(VIDEO_MEMORY, megabytes);
}

function ramBin(megabytes) {
  return inBins(RAM, megabytes);
}

function diskBin(megabytes) {
  return inBins(DISK, megabytes);
}

// The pixel shader level as the program writes it ("2.0", "3", "1.4"); "?"
// and anything else is unknown.
function pixelShaderLevel(text) {
  const m = /^\s*([0-9]{1,5})(?:\.([0-9]{1,5}))?\s*$/.exec(text || '');
  return m ? { major: Number(m[1]), minor: m[2] === undefined ? 0 : Number(m[2]) } : null;
}

// The levels the program can write: the Direct3D 9 build the device's pixel
// shader version as major.minor (Direct3D 9 knows none, 1.0 to 1.4, 2.0 and
// 3.0), the Direct3D 8 build the database's whole-number level. Any other
// text came from somewhere else.
const WRITTEN_PIXEL_SHADER_LEVELS = ['0.0', '1.0', '1.1', '1.2', '1.3', '1.4', '2.0', '3.0', '0', '1', '2', '3'];

// The level of a text the program can write; null for any other text.
function writtenPixelShaderLevel(text) {
  return WRITTEN_PIXEL_SHADER_LEVELS.includes(text) ? pixelShaderLevel(text) : null;
}

function pixelShaderBin(text) {
  const level = pixelShaderLevel(text);
  return level ? level.major + '.' + level.minor : UNKNOWN;
}

// "DirectX 9.0c installed" -> "DirectX 9.0c"; "DirectX not installed" stays.
function directxBin(text) {
  const m = /^\s*(DirectX [0-9]{1,5}\.[0-9]{1,5}\S?) installed\s*$/.exec(text || '');
  if (m) return m[1];
  return /^\s*DirectX not installed\s*$/.test(text || '') ? 'DirectX not installed' : UNKNOWN;
}

// The order bins are listed in: a binned table in its bins' order, the rest
// by machines.
const BIN_ORDER = {
  videoMemory: VIDEO_MEMORY.map((b) => b[1]).concat(UNKNOWN),
  ram: RAM.map((b) => b[1]).concat(UNKNOWN),
  disk: DISK.map((b) => b[1]).concat(UNKNOWN)
};

// A label's place among the Windows names the page gives (its version and
// service pack), or null for a name it does not give.
const WINDOWS_VERSIONS = [[4, 0], [4, 10], [4, 90], [5, 0], [5, 1], [5, 2], [6, 0], [6, 1], [6, 2], [6, 3], [10, 0]];
function windowsPlace(label) {
  const m = /^(.*?)(?: Service Pack ([0-9]+)(?:\.([0-9]+))?)?$/.exec(label);
  const known = WINDOWS_VERSIONS.find(([major, minor]) => page.windowsName(major, minor) === m[1]);
  const other = /^Windows version ([0-9]+)\.([0-9]+)$/.exec(m[1]);
  const version = known || (other && [Number(other[1]), Number(other[2])]);
  return version ? version.concat(Number(m[2] || 0), Number(m[3] || 0)) : null;
}

function directxPlace(label) {
  if (label === 'DirectX not installed') return [0];
  const m = /^DirectX ([0-9]+)\.([0-9]+)(\S?)$/.exec(label);
  return m ? [1, Number(m[1]), Number(m[2]), m[3] ? m[3].toLowerCase().charCodeAt(0) : 0] : null;
}

function pixelShaderPlace(label) {
  const level = pixelShaderLevel(label);
  return level && [level.major, level.minor];
}

function compareLists(a, b) {
  for (let i = 0; i < Math.max(a.length, b.length); i++) if ((a[i] || 0) !== (b[i] || 0)) return (a[i] || 0) - (b[i] || 0);
  return 0;
}

const PLACES = { pixelShader: pixelShaderPlace, directx: directxPlace, windows: windowsPlace };

// The labels of a distribution in its natural order, lowest first, with
// "unknown" and any label of no known place after them, and "Other" last;
// null for a distribution without one (the vendors).
function naturalOrder(name, labels) {
  const last = [UNKNOWN, 'Other'];
  if (BIN_ORDER[name]) return labels.slice().sort((a, b) => rank(BIN_ORDER[name], a) - rank(BIN_ORDER[name], b) || last.indexOf(a) - last.indexOf(b));
  const place = PLACES[name];
  if (!place) return null;
  const placed = labels.filter((l) => place(l) !== null).sort((a, b) => compareLists(place(a), place(b)));
  const unplaced = labels.filter((l) => place(l) === null && !last.includes(l)).sort();
  return placed.concat(unplaced, last.filter((l) => labels.includes(l)));
}

function rank(order, label) {
  const at = order.indexOf(label);
  return at < 0 ? order.length + (label === 'Other' ? 1 : 0) : at;
}

// The bins' lower bounds, for grouping values by bin before they are named.
const LOWER_BOUNDS = { videoMemory: VIDEO_MEMORY.map((b) => b[0]), ram: RAM.map((b) => b[0]), disk: DISK.map((b) => b[0]) };

module.exports = { naturalOrder, LOWER_BOUNDS, videoMemoryBin, ramBin, diskBin, pixelShaderLevel, writtenPixelShaderLevel, pixelShaderBin, directxBin, BIN_ORDER, UNKNOWN };
