// The page's judge with other minimums than today's: today's given
// explicitly judge as the page does, a raised or lowered minimum is judged
// from the value, and the test's bit stands only where the value cannot
// tell.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const page = require('../../resultpage/result.js');
const { address } = require('./address.js');

function judged(values, minimums) {
  return page.judge(page.readAddress(address(values)), { summary: false, minimums });
}

function state(values, minimums, id) {
  return judged(values, minimums).rows[page.REQUIREMENT_IDS.indexOf(id)].state;
}

const ADDRESSES = [
  {}, { result: '1', dxver: 'DirectX 8.1 installed', mem: '', pslevel: '' }, { result: '4', mem: '' }, { result: '8', pslevel: '?' },
  { result: '16', mem: '29 MB' }, { result: '32', pslevel: '1.4' }, { result: '64', ram: '255 MB' }, { result: '128', hdspace: '249 MB' },
  { result: '256', osver: '5.0 SP 4.0' }, { result: '256', osver: '5.1 SP 1.0' }, { osver: '5.2 SP 2.0' }, { result: '-1' },
  { dxver: 'DirectX 9.0 installed' }, { dxver: 'DirectX 9.0b installed' }, { dxver: 'DirectX 10.1 installed' }, { result: '16', mem: 'lots' },
  { pslevel: '2' }, { pslevel: '2.0' }, { mem: '64 MB' }, { ram: '500 MB' }, { hdspace: '250 MB' }, { result: '80', mem: '48 MB', ram: '300 MB' }
];

test('today\'s minimums given explicitly judge every address as the page does', () => {
  for (const values of ADDRESSES) {
    const plain = page.judge(page.readAddress(address(values)), { summary: false });
    const explicit = judged(values, page.MINIMUMS);
    assert.deepEqual(explicit.rows.map((r) => r.state), plain.rows.map((r) => r.state), JSON.stringify(values));
    assert.equal(explicit.verdict, plain.verdict, JSON.stringify(values));
  }
});

test('a raised minimum is judged from the value; a row shows the minimum it was judged by', () => {
  const memory = { memory: { megabytes: 128, text: '128 MB' } };
  assert.equal(state({ mem: '64 MB' }, memory, 'memory'), 'below');
  assert.equal(state({ mem: '128 MB' }, memory, 'memory'), 'meets');
  assert.equal(judged({ mem: '64 MB' }, memory).verdict, 'below');
  assert.equal(judged({ mem: '64 MB' }, memory).rows[2].minimum, '128 MB');
  assert.equal(judged({ mem: '64 MB' }, null).rows[2].minimum, '64 MB');
  const shader = { shader: { major: 3, minor: 0 } };
  assert.equal(state({ pslevel: '2.0' }, shader, 'shader'), 'below');
  assert.deepEqual(['3', '3.0', '4.1'].map((v) => state({ pslevel: v }, shader, 'shader')), ['meets', 'meets', 'meets']);
  assert.equal(state({ pslevel: '1.3' }, { shader: { major: 1, minor: 4 } }, 'shader'), 'below');
  const directx = { directx: { major: 10, minor: 0, letter: '' } };
  assert.equal(state({}, directx, 'directx'), 'below');
  assert.equal(state({ dxver: 'DirectX 10.1 installed' }, directx, 'directx'), 'meets');
  // 9.0 without a letter is any 9.0: it meets 9.0, and tells nothing against 9.0b.
  assert.equal(state({ dxver: 'DirectX 9.0 installed' }, { directx: { major: 9, minor: 0, letter: '' } }, 'directx'), 'meets');
  assert.equal(state({ dxver: 'DirectX 9.0 installed' }, { directx: { major: 9, minor: 0, letter: 'b' } }, 'directx'), 'unknown');
  assert.equal(state({ dxver: 'DirectX 9.0a installed' }, { directx: { major: 9, minor: 0, letter: 'b' } }, 'directx'), 'below');
  const xpSp3 = { windows: { lines: [[5, 1, 3], [5, 2, 2]] } };
  assert.deepEqual(['5.1 SP 2.0', '5.1 SP 3.0', '5.2 SP 2.0', '5.2 SP 1.0', '5.0 SP 4.0', '6.0 SP 0.0', '10.0 SP 0.0']
    .map((osver) => state({ osver }, xpSp3, 'windows')), ['below', 'meets', 'meets', 'below', 'below', 'meets', 'meets']);
  assert.equal(state({ osver: '6.2 SP 0.0' }, { windows: { lines: [[6, 1, 1]] } }, 'windows'), 'meets');
});

test('a lowered minimum can meet what the test found below today\'s; the bit decides only for a raised one', () => {
  const lowered = { memory: { megabytes: 32 } }, raised = { memory: { megabytes: 128 } };
  assert.equal(state({ result: '16', mem: '48 MB' }, lowered, 'memory'), 'meets');
  assert.equal(judged({ result: '16', mem: '48 MB' }, lowered).verdict, 'meets');
  assert.equal(state({ result: '16', mem: '16 MB' }, lowered, 'memory'), 'below');
  // Below today's without a readable value: below any higher minimum, not known against a lower one.
  assert.equal(state({ result: '16', mem: 'lots' }, raised, 'memory'), 'below');
  assert.equal(state({ result: '16', mem: 'lots' }, lowered, 'memory'), 'unknown');
  // Undetermined by the test, and not tested at all, stay unknown.
  assert.equal(state({ result: '4', mem: '256 MB' }, lowered, 'memory'), 'unknown');
  assert.equal(state({ result: '-1' }, lowered, 'memory'), 'unknown');
  assert.equal(state({ result: '-1', ram: '300 MB' }, { ram: { megabytes: 256 } }, 'ram'), 'meets');
  // A minimum not given keeps today's, bit included.
  assert.equal(judged({ result: '80', mem: '48 MB', ram: '300 MB' }, lowered).verdict, 'below');
  assert.equal(judged({ result: '80', mem: '48 MB', ram: '300 MB' }, Object.assign({ ram: { megabytes: 256 } }, lowered)).verdict, 'meets');
});
