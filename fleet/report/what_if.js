// What lowering one minimum a step would win: the steps and whether a
// machine's own value passes the lowered minimum. A value that is not known
// never passes.
'use strict';
const { pixelShaderLevel } = require('./bins.js');

function known(value) {
  return value !== null && value !== undefined;
}

// Each step: the requirement, its minimum and the one a step lower, and
// whether a machine's values ({ memMb, pslevel, ramMb, diskMb, osMajor,
// osMinor, osSp }) pass that lower one.
const STEPS = [
  { id: 'memory', minimum: '64 MB', lowered: '32 MB', passes: (v) => known(v.memMb) && v.memMb >= 32 },
  { id: 'shader', minimum: '2.0', lowered: '1.4', passes: (v) => {
    const level = pixelShaderLevel(v.pslevel);
    return level !== null && (level.major > 1 || (level.major === 1 && level.minor >= 4));
  } },
  { id: 'ram', minimum: '500 MB', lowered: '256 MB', passes: (v) => known(v.ramMb) && v.ramMb >= 256 },
  { id: 'disk', minimum: '250 MB', lowered: '100 MB', passes: (v) => known(v.diskMb) && v.diskMb >= 100 },
  // XP SP1 and Server 2003 SP1 (5.1 and 5.2 with service pack 1) or later.
  { id: 'windows', minimum: 'Windows XP SP2', lowered: 'Windows XP SP1', passes: (v) => {
    if (!known(v.osMajor) || !known(v.osMinor) || !known(v.osSp)) return false;
    return v.osMajor > 5 || (v.osMajor === 5 && v.osMinor >= 1 && v.osSp >= 1);
  } }
];

function passesLowered(id, values) {
  const step = STEPS.find((s) => s.id === id);
  if (!step) throw new Error('no what-if step for ' + id);
  return step.passes(values);
}

module.exports = { STEPS, passesLowered };
