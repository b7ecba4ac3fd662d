// What the fleet makes of the database tool's answers, with plain answers:
// which build's judgement a machine needs, what re-judging bit 0x400 does to
// its verdict, which adapters no record names, and the drafts' text.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { changedGroups, impactFigures, verdictWith } = require('../../fleet/impact.js');
const { missingAdapters, draftRecords, mostReportedLevel } = require('../../fleet/missing_from_database.js');
const { splitAnswers } = require('../../fleet/database_explain.js');
const { parsePciIds } = require('../../fleet/pci_ids.js');

function answer(d3d9Rejected, d3d8Rejected, extra) {
  return Object.assign({ readable: true, decidedBy: d3d9Rejected ? 'rejected' : 'accepted',
    direct3d9: { rejected: d3d9Rejected, alternates: d3d9Rejected ? '1.2.0003.4' : '', level: null },
    direct3d8: { rejected: d3d8Rejected, alternates: d3d8Rejected ? '1.2.0003.5' : '', level: 2 } }, extra);
}

const ITEMS = { mem: '256 MB', pslevel: '3.0', dxver: 'DirectX 9.0c installed', hdspace: '5000 MB', ram: '2047 MB', osver: '6.1 SP 1.0', card: 'Card' };

test('only bit 0x400 is re-judged: the other findings keep the verdict where they stand', () => {
  const rejected = { rejected: true, alternates: '1.2.0003.4' }, accepted = { rejected: false, alternates: '' };
  const row = (mask, extra) => Object.assign({ mask, driver: '1.0.0001.1', vendor_id: 1, device_id: 2 }, ITEMS, extra);
  assert.equal(verdictWith(row(0), rejected), 'below');
  assert.equal(verdictWith(row(0x400), accepted), 'meets');
  assert.equal(verdictWith(row(0x410, { mem: '32 MB' }), accepted), 'below');
  assert.equal(verdictWith(row(0x404, { mem: '' }), accepted), 'incomplete');
});

test('impact: each machine judged by the build it ran, folded at K', () => {
  const groups = [
    { vendor_id: 1, device_id: 2, card: 'Card', driver: 'a', direct3d8: false, machines: 30 },
    { vendor_id: 1, device_id: 2, card: 'Card', driver: 'a', direct3d8: true, machines: 5 },
    { vendor_id: 1, device_id: 3, card: 'Old', driver: 'b', direct3d8: false, machines: 12 }
  ];
  // The change rejects driver a in the Direct3D 9 build only, and accepts b.
  const before = [answer(false, false), answer(false, false), answer(true, true)];
  const after = [answer(true, false), answer(true, false), answer(false, false)];
  const changed = changedGroups(groups, before, after);
  assert.deepEqual(changed.map((g) => [g.device_id, g.direct3d8]), [[2, false], [3, false]]);
  const items = [Object.assign({}, ITEMS, { vendor_id: 1, device_id: 2, card: 'Card', driver: 'a', direct3d8: false, mask: 0, machines: 30 }),
    Object.assign({}, ITEMS, { vendor_id: 1, device_id: 3, card: 'Old', driver: 'b', direct3d8: false, mask: 0x410, machines: 12, mem: '32 MB' })];
  const impact = impactFigures(changed, items, 100, 10);
  assert.equal(impact.newlyRejected.machines, 30);
  assert.equal(impact.newlyAccepted.machines, 12);
  // The 12 stay below on their memory; the 30 fall from meets.
  assert.deepEqual(impact.verdictChanges.map((v) => [v.from, v.to, v.machines]), [['meets', 'below', 30]]);
  assert.deepEqual(impact.adapters.map((a) => [a.deviceId, a.driver, a.before.rejected, a.after.rejected, a.after.alternates, a.machines]),
    [[2, 'a', false, true, '1.2.0003.4', 30], [3, 'b', true, false, '', 12]]);
  assert.equal(impactFigures(changed, items, 100, 20).newlyAccepted.machines, null);
});

test('missing from the database: an adapter none of whose names a record gives a level', () => {
  const unnamed = { decidedBy: 'fallback', direct3d8: { level: null } };
  const names = [
    { vendor_id: 10, device_id: 1, card: 'A one', machines: 7 }, { vendor_id: 10, device_id: 1, card: 'A 1', machines: 9 },
    { vendor_id: 10, device_id: 2, card: 'B', machines: 40 }, { vendor_id: 11, device_id: 5, card: 'C', machines: 3 }
  ];
  const answers = [unnamed, unnamed, { decidedBy: 'fallback', direct3d8: { level: 0 } }, null];
  const levels = [{ vendor_id: 10, device_id: 1, pslevel: '2.0', machines: 6 }, { vendor_id: 10, device_id: 1, pslevel: '3.0', machines: 6 },
    { vendor_id: 10, device_id: 1, pslevel: '?', machines: 50 }];
  const missing = missingAdapters(names, answers, levels, 9);
  assert.deepEqual(missing.map((m) => [m.vendorId, m.deviceId, m.name, m.machines, m.level]), [[10, 1, 'A 1', 16, { major: 3, minor: 0 }]]);
  // A name fewer than K machines reported is not shown.
  assert.equal(missingAdapters(names, answers, levels, 10)[0].name, null);
  assert.equal(mostReportedLevel([{ pslevel: '?', machines: 9 }]), null);
});

test('drafts: Card records in the database\'s format, texts escaped, a name XML cannot hold left out', () => {
  const names = parsePciIds('10de  NVIDIA Corporation\n');
  const xml = draftRecords([
    { vendorId: 4318, deviceId: 9, name: 'Ge"Force" <&> --', level: { major: 3, minor: 0 } },
    { vendorId: 4318, deviceId: 7, name: 'bell\u0007', level: null }, { vendorId: 4318, deviceId: 8, name: null, level: null },
    { vendorId: 4660, deviceId: 1, name: 'Q', level: { major: 12, minor: 0 } }
  ], names, { from: '2026-01-01', to: null }, 'db--x.xml');
  assert.ok(xml.includes('<Vendor Name="NVIDIA Corporation">\n    <Card ManufacturerID="4318" DeviceID="7"/>\n    <Card ManufacturerID="4318" DeviceID="8"/>\n' +
    '    <Card ManufacturerID="4318" DeviceID="9" CardName="Ge&quot;Force&quot; &lt;&amp;&gt; --" PixelShaderVersion="3"/>'), xml);
  assert.ok(xml.includes('<Vendor Name="vendor 4660">\n    <Card ManufacturerID="4660" DeviceID="1" CardName="Q" PixelShaderVersion="9"/>'));
  assert.equal((xml.match(/<!--[\s\S]*?-->/)[0].slice(4, -3)).includes('--'), false);
});

test('the tool\'s answers: counted, in line order, an unreadable database refused', () => {
  const line = (n, extra) => JSON.stringify(Object.assign({ readable: true, line: n }, extra));
  assert.equal(splitAnswers([line(1), line(2), line(1), line(2)].join('\n') + '\n', 2, ['a', 'b'])[1][1].line, 2);
  assert.throws(() => splitAnswers(line(1) + '\n', 2, ['a']), /gave 1 answers for 2 adapters/);
  assert.throws(() => splitAnswers([line(2), line(1)].join('\n'), 2, ['a']), /answered line 2 where line 1/);
  assert.throws(() => splitAnswers(line(1, { readable: false, error: { reason: 'no root' } }), 1, ['x.xml']), /cannot read x.xml: no root/);
});
