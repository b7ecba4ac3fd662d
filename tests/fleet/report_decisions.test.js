// The report's decisions with plain values: Wilson intervals, bins at their
// edges, the what-if steps and folding small rows.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { wilson, share } = require('../../fleet/report/shares.js');
const bins = require('../../fleet/report/bins.js');
const { passesLowered } = require('../../fleet/report/what_if.js');
const { foldRows } = require('../../fleet/report/folding.js');
const { parsePciIds } = require('../../fleet/report/pci_ids.js');

test('Wilson interval: published values, the ends, nothing to share', () => {
  // 81 of 263: 0.2553 to 0.3662 (Wilson 1927; Newcombe 1998, table I).
  const [low, high] = wilson(81, 263);
  assert.ok(Math.abs(low - 0.2553) < 1e-4 && Math.abs(high - 0.3662) < 1e-4, low + ' ' + high);
  assert.deepEqual(wilson(0, 10).map((v) => +v.toFixed(4)), [0, 0.2775]);
  assert.deepEqual(wilson(10, 10).map((v) => +v.toFixed(4)), [0.7225, 1]);
  assert.equal(wilson(0, 0), null);
  assert.deepEqual(share(0, 0), { machines: 0, share: null, low: null, high: null });
});

test('video memory bins: the program\'s sizes and the values between them', () => {
  const cases = [[null, 'unknown'], [0, 'unknown'], [-1, 'unknown'], [4, 'less than 8 MB'], [8, '8 MB'], [15, '8 MB'],
    [16, '16 MB'], [32, '32 MB'], [63, '32 MB'], [64, '64 MB'], [128, '128 MB'], [192, '128 MB'], [256, '256 MB'],
    [320, '256 MB'], [512, '512 MB'], [1023, '512 MB'], [1024, '1 GB'], [2048, '2 GB'], [4095, '2 GB'],
    [4096, '4 GB and more'], [4289, '4 GB and more']];
  for (const [value, label] of cases) assert.equal(bins.videoMemoryBin(value), label, String(value));
});

test('RAM and disk bins break at the minimums and the what-if steps', () => {
  assert.deepEqual([255, 256, 499, 500, 2047, null].map(bins.ramBin),
    ['128 to 255 MB', '256 to 499 MB', '256 to 499 MB', '500 to 1023 MB', '1 to 2 GB', 'unknown']);
  assert.deepEqual([99, 100, 249, 250, 51234, -5].map(bins.diskBin),
    ['less than 100 MB', '100 to 249 MB', '100 to 249 MB', '250 to 999 MB', '10 to 100 GB', 'unknown']);
});

test('pixel shader and DirectX labels', () => {
  assert.deepEqual(['3.0', '2', ' 1.4 ', '?', '', null, 'x'].map(bins.pixelShaderBin), ['3.0', '2.0', '1.4', 'unknown', 'unknown', 'unknown', 'unknown']);
  assert.deepEqual(['DirectX 9.0c installed', 'DirectX 8.1 installed', 'DirectX not installed', 'DirectX', null].map(bins.directxBin),
    ['DirectX 9.0c', 'DirectX 8.1', 'DirectX not installed', 'unknown', 'unknown']);
});

test('what-if: a value just at the lowered minimum wins, just under or unknown does not', () => {
  const cases = [
    ['memory', { memMb: 32 }, true], ['memory', { memMb: 31 }, false], ['memory', { memMb: null }, false],
    ['shader', { pslevel: '1.4' }, true], ['shader', { pslevel: '1.3' }, false], ['shader', { pslevel: '?' }, false],
    ['shader', { pslevel: '1' }, false],
    ['ram', { ramMb: 256 }, true], ['ram', { ramMb: 255 }, false], ['ram', {}, false],
    ['disk', { diskMb: 100 }, true], ['disk', { diskMb: 99 }, false],
    ['windows', { osMajor: 5, osMinor: 1, osSp: 1 }, true], ['windows', { osMajor: 5, osMinor: 1, osSp: 0 }, false],
    ['windows', { osMajor: 5, osMinor: 2, osSp: 1 }, true], ['windows', { osMajor: 5, osMinor: 0, osSp: 4 }, false],
    ['windows', { osMajor: 4, osMinor: 10, osSp: 9 }, false], ['windows', { osMajor: 5, osMinor: 1, osSp: null }, false]
  ];
  for (const [id, values, wins] of cases) assert.equal(passesLowered(id, values), wins, id + ' ' + JSON.stringify(values));
});

test('folding: rows under K go to "Other", which takes more rows until it reaches K', () => {
  const other = (machines) => ({ label: 'Other', machines });
  const rows = (...counts) => counts.map((machines, i) => ({ label: 'r' + i, machines }));
  assert.deepEqual(foldRows(rows(50, 12, 6, 5), 10, other),
    { rows: [{ label: 'r0', machines: 50 }, { label: 'r1', machines: 12 }, { label: 'Other', machines: 11 }], folded: 2 });
  // 4 alone is too few: the smallest shown row joins it.
  assert.deepEqual(foldRows(rows(50, 12, 4), 10, other),
    { rows: [{ label: 'r0', machines: 50 }, { label: 'Other', machines: 16 }], folded: 2 });
  // A table under K in all shows nothing.
  assert.deepEqual(foldRows(rows(3, 2), 10, other), { rows: [], folded: 2 });
  assert.deepEqual(foldRows(rows(10, 10), 10, other).folded, 0);
});

test('PCI ID list: vendors, their devices, subsystems skipped, classes ignored', () => {
  const names = parsePciIds('# comment\n10de  NVIDIA Corporation\n\t06cd  GF100 [GeForce GTX 470]\n\t\t10de 079f  Subsystem\n' +
    '1002  Advanced Micro Devices, Inc. [AMD/ATI]\n\t5144  Radeon R100 QD [Radeon 7200]\nC 03  Display controller\n\t00  VGA compatible controller\n');
  assert.equal(names.vendorName(4318), 'NVIDIA Corporation');
  assert.equal(names.deviceName(4318, 1741), 'GF100 [GeForce GTX 470]');
  assert.equal(names.deviceName(4098, 0x5144), 'Radeon R100 QD [Radeon 7200]');
  assert.equal(names.deviceName(4098, 1741), null);
  assert.equal(names.vendorName(3), null);
  assert.equal(names.vendorName(-1), null);
  assert.equal(names.vendorName(null), null);
});

test('bidirectional controls are written out, their neighbours kept', () => {
  const { visibleBidiControls } = require('../../fleet/report/bidi_controls.js');
  const controls = [0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069, 0x200E, 0x200F, 0x061C];
  for (const code of controls) {
    assert.equal(visibleBidiControls('a' + String.fromCharCode(code) + 'b'), 'a<U+' + code.toString(16).toUpperCase().padStart(4, '0') + '>b');
  }
  const neighbours = '\u2029\u202F\u2065\u206A\u200D\u061B\u05D0';
  assert.equal(visibleBidiControls(neighbours), neighbours);
});
