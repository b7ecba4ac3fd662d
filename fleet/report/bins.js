// The bins the distributions count machines in. Each bin holds the values
// from its own lower bound up to the next bin's.
'use strict';

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

// The bins' lower bounds, for grouping values by bin before they are named.
const LOWER_BOUNDS = { videoMemory: VIDEO_MEMORY.map((b) => b[0]), ram: RAM.map((b) => b[0]), disk: DISK.map((b) => b[0]) };

module.exports = { LOWER_BOUNDS, videoMemoryBin, ramBin, diskBin, pixelShaderLevel, writtenPixelShaderLevel, pixelShaderBin, directxBin, BIN_ORDER, UNKNOWN };
