// The verdict of the result page from plain addresses: every bit alone,
// several together, -1, 0x200, 0x400 with and without alternates, and the
// values that decide rows on their own.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const page = require('../../resultpage/result.js');
const { ORDER, items, address } = require('./address.js');

const DOWNLOAD = 'https://download.example/directx?id=35&x=1';

function judged(values, withAlternates) {
  return page.judge(page.readAddress(address(values, withAlternates)), { directXDownload: DOWNLOAD });
}

function states(result) {
  const out = {};
  for (const row of result.rows) out[row.requirement] = row.state;
  return out;
}

const MEETS = { directx: 'meets', device: 'meets', memory: 'meets', shader: 'meets', driver: 'meets', ram: 'meets', disk: 'meets', windows: 'meets' };
// What an early exit of the Direct3D 9 check leaves: no report strings.
const EARLY_EXIT = { mem: '', card: '', pslevel: '', driver: '', vendorID: '0', deviceID: '0' };

// name, item values, verdict, the row states that differ from "meets".
const MASKS = [
  ['no finding', {}, 'meets', {}],
  ['0x001 DirectX missing', Object.assign({ result: '1' }, EARLY_EXIT), 'below',
    { directx: 'below', device: 'unknown', memory: 'unknown', shader: 'unknown', driver: 'unknown' }],
  ['0x002 no device', Object.assign({ result: '2' }, EARLY_EXIT), 'below',
    { device: 'below', memory: 'unknown', shader: 'unknown', driver: 'unknown' }],
  ['0x004 memory undetermined', { result: '4', mem: '' }, 'incomplete', { memory: 'unknown' }],
  ['0x008 shader undetermined', { result: '8', pslevel: '?' }, 'incomplete', { shader: 'unknown' }],
  ['0x010 memory low', { result: '16', mem: '29 MB' }, 'below', { memory: 'below' }],
  ['0x020 shader low', { result: '32', pslevel: '1.4' }, 'below', { shader: 'below' }],
  ['0x040 RAM low', { result: '64', ram: '255 MB' }, 'below', { ram: 'below' }],
  ['0x080 disk low', { result: '128', hdspace: '249 MB' }, 'below', { disk: 'below' }],
  ['0x100 Windows too old', { result: '256', osver: '5.0 SP 4.0' }, 'below', { windows: 'below' }],
  ['0x200 alone', { result: '512' }, 'meets', {}],
  ['0x400 with alternates', { result: '1024', alternates: '6.14.0010.7164, 6.14.0010.8185' }, 'below', { driver: 'below' }],
  ['0x400 without alternates', { result: '1024', alternates: '' }, 'below', { driver: 'below' }],
  ['0x410 driver rejected and memory low', { result: '1040', mem: '32 MB', alternates: '1.0' }, 'below', { driver: 'below', memory: 'below' }],
  ['0x1C0 RAM, disk and Windows', { result: '448', ram: '128 MB', hdspace: '10 MB', osver: '4.0 SP 6.0' }, 'below',
    { ram: 'below', disk: 'below', windows: 'below' }],
  ['0x030 memory and shader low', { result: '48', mem: '32 MB', pslevel: '1.1' }, 'below', { memory: 'below', shader: 'below' }],
  ['0x204 memory undetermined with 0x200', { result: '516', mem: '' }, 'incomplete', { memory: 'unknown' }],
  ['0x00C both undetermined', { result: '12', mem: '', pslevel: '?' }, 'incomplete', { memory: 'unknown', shader: 'unknown' }],
  ['0x209 Direct3D 8 fallback without DirectDraw', { result: '521', mem: '128 MB', pslevel: '?', card: '', driver: '0.0.0000.0', vendorID: '0', deviceID: '0' },
    'below', { directx: 'below', device: 'unknown', shader: 'unknown', driver: 'unknown' }],
  ['-1 no library', { result: '-1', mem: '', card: '', pslevel: '', driver: '', vendorID: '0', deviceID: '0', alternates: '' }, 'not-run',
    { device: 'unknown', memory: 'unknown', shader: 'unknown', driver: 'unknown' }],
  ['-1 no library on an old computer', { result: '-1', mem: '', card: '', pslevel: '', driver: '', ram: '128 MB', hdspace: '100 MB', osver: '5.0 SP 4.0', dxver: 'DirectX 8.1 installed' },
    'not-run', { directx: 'below', device: 'unknown', memory: 'unknown', shader: 'unknown', driver: 'unknown', ram: 'below', disk: 'below', windows: 'below' }],
  ['all bits but -1', { result: String(0x7FF), pslevel: '?', mem: '' }, 'below',
    { directx: 'below', device: 'below', memory: 'below', shader: 'below', driver: 'below', ram: 'below', disk: 'below', windows: 'below' }]
];

for (const [name, values, verdict, differ] of MASKS) {
  test(`verdict for ${name}`, () => {
    const result = judged(values);
    assert.equal(result.view, 'result');
    assert.equal(result.verdict, verdict);
    assert.deepEqual(states(result), Object.assign({}, MEETS, differ));
    // Every row says its state in words as well.
    for (const row of result.rows) {
      assert.equal(row.stateText, { meets: 'Meets', below: 'Below minimum', unknown: 'Unknown' }[row.state]);
      assert.equal(row.advice === null, row.state === 'meets', row.requirement + ' has advice exactly when not met');
    }
    // The summary holds every item of the address.
    const all = items(values);
    for (const key of ORDER) {
      if (key === 'alternates' && !(Number(all.result) & 0x400)) continue;
      assert.ok(result.summary.includes('\n  ' + key + '=' + all[key]), key + ' in the summary');
    }
  });
}

test('0x200 is noted, alone and beside other bits', () => {
  assert.match(judged({ result: '512' }).notes.join('\n'), /0x200 came alone/);
  assert.match(judged({ result: '516', mem: '' }).notes.join('\n'), /0x200: the graphics check found nothing/);
  assert.equal(judged({ result: '0' }).notes.length, 0);
});

test('a rejected driver lists the alternates as what to do', () => {
  const driver = judged({ result: '1024', alternates: '6.14.0010.7164, 6.14.0010.8185' }).rows.find((r) => r.requirement === 'driver');
  assert.deepEqual(driver.advice.list, ['6.14.0010.7164', '6.14.0010.8185']);
  const plain = judged({ result: '1024', alternates: '' }).rows.find((r) => r.requirement === 'driver');
  assert.equal(plain.advice.list, null);
  assert.match(plain.advice.text, /newest driver from the graphics card maker/);
});

test('missing DirectX links the DirectX download page', () => {
  const directx = judged(Object.assign({ result: '1' }, EARLY_EXIT)).rows.find((r) => r.requirement === 'directx');
  assert.deepEqual(directx.advice.link, { href: DOWNLOAD, text: 'DirectX download page' });
});

test('-1 explains that the graphics check could not run', () => {
  const result = judged({ result: '-1', mem: '', card: '', pslevel: '', driver: '' });
  assert.match(result.explanation, /VidrakeDx9\.dll or VidrakeDx8\.dll/);
  assert.match(result.notes.join('\n'), /result is -1/);
  assert.equal(result.rows.find((r) => r.requirement === 'device').found, 'not tested');
});

// The result item itself when it is not a number: rows judged from values.
const RESULTS = [
  ['abc', 'incomplete'], ['', 'incomplete'], ['16abc', 'incomplete'], ['99999999999', 'incomplete'],
  ['1.5', 'incomplete'], ['0x10', 'incomplete'], ['2147483647', 'below'], ['-2147483648', 'incomplete'], [' 0 ', 'meets']
];
for (const [text, verdict] of RESULTS) {
  test(`result "${text}"`, () => {
    const result = judged({ result: text });
    assert.equal(result.verdict, verdict);
    if (page.readMask(text).state !== 'ok') {
      assert.match(result.notes.join('\n'), /is not a number/);
      // The values alone still decide the requirements they can.
      const s = states(result);
      assert.equal(s.memory, 'meets');
      assert.equal(s.ram, 'meets');
      assert.equal(s.device, 'unknown');
    }
  });
}

test('a result that is not a number with values below the minimum', () => {
  const result = judged({ result: 'junk', mem: '32 MB', ram: '100 MB' });
  assert.equal(result.verdict, 'below');
  assert.equal(states(result).memory, 'below');
  assert.equal(states(result).ram, 'below');
});

test('a missing result', () => {
  const result = page.judge(page.readAddress('http://h/quillet-systemtest?mem=256 MB&card=C'));
  assert.equal(result.verdict, 'incomplete');
  assert.match(result.notes.join('\n'), /has no result/);
  assert.match(result.notes.join('\n'), /Not in the address: result, pslevel/);
});

test('values that contradict a clean result count against it', () => {
  assert.equal(states(judged({ mem: '32 MB' })).memory, 'below');
  assert.equal(states(judged({ pslevel: '1.4' })).shader, 'below');
  assert.equal(states(judged({ mem: '0 MB' })).memory, 'unknown');
  assert.equal(states(judged({ mem: '' })).memory, 'unknown');
  assert.equal(states(judged({ driver: '' })).driver, 'unknown');
  assert.equal(judged({ mem: '' }).verdict, 'incomplete');
});

// The DirectX sentence decides the DirectX row beside bit 0x001.
const DIRECTX = [
  ['DirectX 9.0c installed', 'meets'], ['DirectX 9.0 installed', 'unknown'], ['DirectX 9.0b installed', 'below'],
  ['DirectX 9.0a installed', 'below'], ['DirectX 8.1 installed', 'below'], ['DirectX 8.1b installed', 'below'],
  ['DirectX 9.0- installed', 'unknown'], ['DirectX not installed', 'below'], ['DirectX 10.0 installed', 'meets'],
  ['DirectX 9.0C installed', 'meets'], ['DirectX 9.0d installed', 'unknown'], ['DirectX 9.1 installed', 'meets'],
  ['', 'unknown'], ['something else', 'unknown']
];
for (const [sentence, state] of DIRECTX) {
  test(`DirectX row for "${sentence}"`, () => {
    assert.equal(states(judged({ dxver: sentence })).directx, state);
  });
}

// osver: the state and Windows's own name, never more than the number says.
const WINDOWS = [
  ['4.0 SP 6.0', 'below', 'Windows NT 4.0 or Windows 95 Service Pack 6'],
  ['5.0 SP 4.0', 'below', 'Windows 2000 Service Pack 4'],
  ['5.1 SP 1.0', 'below', 'Windows XP Service Pack 1'],
  ['5.1 SP 2.0', 'meets', 'Windows XP Service Pack 2'],
  ['5.1 SP 3.0', 'meets', 'Windows XP Service Pack 3'],
  ['5.2 SP 1.0', 'below', 'Windows Server 2003 or Windows XP x64 Service Pack 1'],
  ['5.2 SP 2.0', 'meets', 'Windows Server 2003 or Windows XP x64 Service Pack 2'],
  ['6.0 SP 0.0', 'meets', 'Windows Vista or Server 2008'],
  ['6.1 SP 1.0', 'meets', 'Windows 7 or Server 2008 R2 Service Pack 1'],
  ['6.2 SP 0.0', 'meets', 'Windows 8 or later'],
  ['6.3 SP 0.0', 'meets', 'Windows 8.1 or later'],
  ['10.0 SP 0.0', 'meets', 'Windows 10 or later'],
  ['7.5 SP 0.0', 'meets', 'Windows version 7.5'],
  ['5.1 SP 2.1', 'meets', 'Windows XP Service Pack 2.1']
];
for (const [osver, state, name] of WINDOWS) {
  test(`Windows row for ${osver}`, () => {
    const row = judged({ osver }).rows.find((r) => r.requirement === 'windows');
    assert.equal(row.state, state);
    assert.ok(row.found.startsWith(name + ' (version '), row.found);
    if (osver.startsWith('6.2')) assert.doesNotMatch(row.found, /Windows 10|Windows 11/);
  });
}

test('Windows names by number', () => {
  assert.equal(page.windowsName(6, 2), 'Windows 8 or later');
  assert.equal(page.windowsName(5, 1), 'Windows XP');
  assert.equal(page.windowsName(3, 51), 'Windows version 3.51');
});

// The adapter ids in the form people look up, with the common vendors named.
const IDS = [
  ['4318', '1741', '0x10DE', 'NVIDIA', '0x06CD'], ['4098', '20803', '0x1002', 'AMD (ATI)', '0x5143'],
  ['32902', '10818', '0x8086', 'Intel', '0x2A42'], ['4139', '1313', '0x102B', 'Matrox', '0x0521'],
  ['0', '0', '0x0000', '', '0x0000'], ['-1', '-2147483648', '0xFFFFFFFF', '', '0x80000000'],
  ['65535', '4294967295', '0xFFFF', '', '0xFFFFFFFF']
];
for (const [vendorID, deviceID, vendorHex, vendor, deviceHex] of IDS) {
  test(`adapter ids ${vendorID}/${deviceID}`, () => {
    const adapter = judged({ vendorID, deviceID }).adapter;
    assert.equal(adapter.vendor.hex, vendorHex);
    assert.equal(adapter.vendor.name, vendor);
    assert.equal(adapter.device.hex, deviceHex);
    assert.equal(adapter.device.name, '');
  });
}

test('ids that are not numbers are shown as they came', () => {
  const adapter = judged({ vendorID: 'abc', deviceID: '' }).adapter;
  assert.deepEqual(adapter.vendor, { text: 'abc', hex: '', name: '' });
  assert.deepEqual(adapter.device, { text: 'not reported', hex: '', name: '' });
});

test('an address without a result shows the introduction', () => {
  for (const href of ['http://h/quillet-systemtest', 'http://h/quillet-systemtest?', 'http://h/quillet-systemtest?x=1', '']) {
    assert.equal(page.judge(page.readAddress(href)).view, 'intro', href);
  }
});

test('every requirement has a row, in the order of the page', () => {
  assert.deepEqual(judged({}).rows.map((r) => r.requirement),
    ['directx', 'device', 'memory', 'shader', 'driver', 'ram', 'disk', 'windows']);
});

test('the summary names the verdict, the bits and the adapter', () => {
  const summary = judged({ result: '1040', mem: '32 MB', alternates: '1.0' }).summary;
  assert.match(summary, /^Quillet system test result\nVerdict: below - /);
  assert.match(summary, /Result: 1040 \(GFX_MEMORY_LOW 0x010, GFX_DRIVER_REJECTED 0x400\)/);
  assert.match(summary, /vendor: 4318 = 0x10DE \(NVIDIA\)/);
  assert.match(summary, /Video memory: below minimum - found 32 MB/);
});

test('without its summary a judgement is the same in all else', () => {
  for (const [name, values] of MASKS) {
    const reading = page.readAddress(address(values));
    const whole = page.judge(reading, { directXDownload: DOWNLOAD });
    const brief = page.judge(reading, { directXDownload: DOWNLOAD, summary: false });
    assert.equal(brief.summary, null, name);
    assert.ok(whole.summary.length > 0, name);
    assert.deepEqual(Object.assign({}, brief, { summary: whole.summary }), whole, name);
  }
});

test('DirectX 9.0 without a letter is unknown, and the page says why', () => {
  // What the program writes when the diagnostic provider is missing: its file
  // versions end at 9.0 for 9.0, 9.0a, 9.0b and 9.0c alike.
  const result = judged({ dxver: 'DirectX 9.0 installed' });
  const directx = result.rows.find((r) => r.requirement === 'directx');
  assert.equal(directx.state, 'unknown');
  assert.match(directx.reason, /9\.0 without a letter.*do not tell 9\.0 from 9\.0c/);
  assert.match(directx.advice.text, /could not tell which DirectX is installed/);
  assert.equal(result.verdict, 'incomplete');
  assert.match(result.explanation, /DirectX is unknown/);
});

test('-1 names no bits: it says that no library could be loaded', () => {
  const result = judged({ result: '-1', mem: '', card: '', pslevel: '', driver: '', alternates: '' });
  assert.deepEqual(result.mask.bits, []);
  assert.match(result.summary, /\nResult: -1 \(neither graphics check library could be loaded\)\n/);
  for (const [name] of page.BITS) assert.ok(!result.summary.includes(name), name + ' not in the summary');
  // Every other mask still lists its bits by name.
  assert.match(judged({ result: String(0x7FF), pslevel: '?', mem: '' }).summary, /GFX_DIRECTX_MISSING 0x001, .*GFX_DRIVER_REJECTED 0x400\)/);
});
