// What lowering one minimum a step would win: the steps and whether a
// machine's own value passes the lowered minimum. A value that is not known
// never passes.
'use strict';
const { pixelShaderLevel } = require('./bins.js');

const STEPS = [
  { id: 'memory', minimum: '64 MB', lowered: '32 MB' },
  { id: 'shader', minimum: '2.0', lowered: '1.4' },
  { id: 'ram', minimum: '500 MB', lowered: '256 MB' },
  { id: 'disk', minimum: '250 MB', lowered: '100 MB' },
  { id: 'windows', minimum: 'Windows XP SP2', lowered: 'Windows XP SP1' }
];

function known(value) {
  return value !== null && value !== undefined;
}

// values: { memMb, pslevel, ramMb, diskMb, osMajor, osMinor, osSp }.
function passesLowered(id, values) {
  if (id === 'memory') return known(values.memMb) && values.memMb >= 32;
  if (id === 'ram') return known(values.ramMb) && values.ramMb >= 256;
  if (id === 'disk') return known(values.diskMb) && values.diskMb >= 100;
  if (id === 'shader') {
    const level = pixelShaderLevel(values.pslevel);
    return level !== null && (level.major > 1 || (level.major === 1 && level.minor >= 4));
  }
  if (id === 'windows') {
    // XP SP1 and Server 2003 SP1 (5.1 and 5.2 with service pack 1) or later.
    const { osMajor: major, osMinor: minor, osSp: sp } = values;
    if (!known(major) || !known(minor) || !known(sp)) return false;
    return major > 5 || (major === 5 && minor >= 1 && sp >= 1);
  }
  throw new Error('no what-if step for ' + id);
}

module.exports = { STEPS, passesLowered };
