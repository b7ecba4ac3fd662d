// What the fleet makes of the database tool's answers, with plain answers:
// which build's judgement a machine needs, what re-judging bit 0x400 does to
// its verdict, which adapters no record names, and the drafts' text.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { changedGroups, impactFigures, verdictWith } = require('../../fleet/impact/impact.js');
const { missingAdapters, mostReportedLevel } = require('../../fleet/report/missing_from_database.js');
const { draftRecords, vendorDraft, driversAcceptedWithoutLevel, isCheckDriverVersion } = require('../../fleet/report/drafts.js');
const { splitAnswers, explainable, judgedAnswer } = require('../../fleet/report/database_explain.js');
const { assertWellFormedXml } = require('./xml_check.js');
const { parsePciIds } = require('../../fleet/report/pci_ids.js');

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
  const answers = [Object.assign({ trail: ['record'] }, unnamed), unnamed, { decidedBy: 'fallback', direct3d8: { level: 0 } }, null];
  const levels = [{ vendor_id: 10, device_id: 1, pslevel: '2.0', machines: 9 }, { vendor_id: 10, device_id: 1, pslevel: '3.0', machines: 9 },
    { vendor_id: 10, device_id: 1, pslevel: '?', machines: 50 }];
  const missing = missingAdapters(names, answers, levels, 9);
  assert.deepEqual(missing.map((m) => [m.vendorId, m.deviceId, m.name, m.machines, m.level]), [[10, 1, 'A 1', 16, { major: 3, minor: 0 }]]);
  // Each name's trail, for the drafts.
  assert.deepEqual(missing[0].trails, [['record'], []]);
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
  assertWellFormedXml(xml);
  // No record of the database matched them: the Cards go anywhere; a card
  // without a level is no record, only a comment.
  assert.ok(xml.includes('<Vendor Name="NVIDIA Corporation">\n    <!-- anywhere: no record matches these cards -->\n' +
    '    <Card ManufacturerID="4318" DeviceID="9" CardName="Ge&quot;Force&quot; &lt;&amp;&gt; --" PixelShaderVersion="3"/>\n' +
    '    <!-- left out, no pixel shader level reported: <Card ManufacturerID="4318" DeviceID="7"/> -->\n' +
    '    <!-- left out, no pixel shader level reported: <Card ManufacturerID="4318" DeviceID="8"/> -->\n  </Vendor>'), xml);
  assert.ok(xml.includes('<Vendor Name="vendor 4660">\n    <!-- anywhere: no record matches these cards -->\n' +
    '    <Card ManufacturerID="4660" DeviceID="1" CardName="Q" PixelShaderVersion="9"/>'));
  for (const comment of xml.match(/<!--[\s\S]*?-->/g)) assert.equal(comment.slice(4, -3).includes('--'), false, comment);
});

// A record of a trail as the tool gives it for a driver no record names.
function step(element, effect, driver, level) {
  return Object.assign({ element, path: '/VideoCardDB/R[' + element + ']', effect,
    attributes: [{ name: 'ManufacturerID', value: '4318' }].concat(driver === null ? [] : [{ name: 'DriverVersion', value: driver }]) },
  effect === 'accepted' ? { level } : { fallbackLevel: level });
}

test('drafts: the drivers a card needs its own records for', () => {
  const first = [
    step(3, 'blackListed', '6.14.0010.6177', -1),
    step(4, 'candidate', '6.14.0010.7164', 2), // accepts it with a level
    step(5, 'candidate', '6.14.0010.7164', -1), // too late: the record before decides
    step(6, 'blackListed', '6.14.0010.6693', -1),
    step(7, 'listFull', '6.14.10.6000', -1), // never the installed driver's text
    step(8, 'notRecommended', '6.14.0010.6693', -1), // accepts what an earlier record rejects
    step(9, 'candidate', null, 3),
    step(10, 'candidate', '5.1.0001.2', -1)
  ];
  assert.deepEqual(driversAcceptedWithoutLevel([first]), ['6.14.0010.6693', '5.1.0001.2']);
  // Another name of the card: a record by that name comes first, and the
  // first record's level for 7164 is not there; each driver once, in the
  // order the accepting records stand.
  const second = [step(2, 'candidate', '7.0.0000.1', -1), step(5, 'candidate', '6.14.0010.7164', -1), step(10, 'candidate', '5.1.0001.2', -1)];
  assert.deepEqual(driversAcceptedWithoutLevel([first, second]), ['7.0.0000.1', '6.14.0010.7164', '6.14.0010.6693', '5.1.0001.2']);
  assert.deepEqual(driversAcceptedWithoutLevel([[step(3, 'blackListed', '6.14.0010.6177', -1)], []]), []);
});

test('drafts: driver texts as the check writes them', () => {
  for (const text of ['6.14.0010.6177', '0.0.0000.0', '6.14.12345.1', '65535.65535.65535.65535']) assert.equal(isCheckDriverVersion(text), true, text);
  for (const text of ['6.14.10.6177', '6.14.01234.1', '06.14.0010.1', '65536.0.0000.0', '6.14.0010', '6.14.0010.1.2', ' 6.14.0010.1', '+6.14.0010.1', '6.14.0010.']) {
    assert.equal(isCheckDriverVersion(text), false, text);
  }
});

test('drafts: a vendor\'s Driver records go in front of the first record matching its cards, the Cards behind the last', () => {
  const levelled = (deviceId, major, trail) => ({ vendorId: 4318, deviceId, name: 'C' + deviceId, level: { major, minor: 0 }, trails: [trail] });
  const cards = [
    levelled(9, 3, [step(3, 'blackListed', '6.14.0010.6177', -1), step(11, 'candidate', '6.14.0010.7164', -1)]),
    levelled(2, 1, [step(5, 'candidate', '6.14.0010.6693', -1), step(12, 'candidate', '6.14.0010.7164', -1)]),
    { vendorId: 4318, deviceId: 4, name: 'none', level: null, trails: [[step(1, 'candidate', '6.14.0010.1', -1)]] }
  ];
  const draft = vendorDraft(cards);
  assert.deepEqual(draft.bounds, { first: { element: 3, path: '/VideoCardDB/R[3]' }, last: { element: 12, path: '/VideoCardDB/R[12]' } });
  assert.deepEqual(draft.drivers.map((d) => [d.card.deviceId, d.driver]), [[2, '6.14.0010.6693'], [2, '6.14.0010.7164'], [9, '6.14.0010.7164']]);
  assert.deepEqual(draft.cards.map((c) => c.deviceId), [2, 9]);
  assert.deepEqual(draft.leftOut.map((c) => c.deviceId), [4]);
  const xml = draftRecords(cards, parsePciIds(''), {}, 'db.xml');
  assertWellFormedXml(xml);
  assert.ok(xml.includes('<Vendor Name="vendor 4318">\n' +
    '    <!-- before element 3 (/VideoCardDB/R[3]): -->\n' +
    '    <Driver ManufacturerID="4318" DeviceID="2" CardName="C2" DriverVersion="6.14.0010.6693" PixelShaderVersion="1" BlackList="not_recommended"/>\n' +
    '    <Driver ManufacturerID="4318" DeviceID="2" CardName="C2" DriverVersion="6.14.0010.7164" PixelShaderVersion="1" BlackList="not_recommended"/>\n' +
    '    <Driver ManufacturerID="4318" DeviceID="9" CardName="C9" DriverVersion="6.14.0010.7164" PixelShaderVersion="3" BlackList="not_recommended"/>\n' +
    '    <!-- after element 12 (/VideoCardDB/R[12]): -->\n' +
    '    <Card ManufacturerID="4318" DeviceID="2" CardName="C2" PixelShaderVersion="1"/>\n' +
    '    <Card ManufacturerID="4318" DeviceID="9" CardName="C9" PixelShaderVersion="3"/>\n' +
    '    <!-- left out, no pixel shader level reported: <Card ManufacturerID="4318" DeviceID="4" CardName="none"/> -->\n  </Vendor>'), xml);
  // Matched records but nothing accepted without a level: only the Cards, behind the last.
  assert.deepEqual(vendorDraft([levelled(9, 3, [step(3, 'blackListed', '6.14.0010.6177', -1)])]).drivers, []);
  assert.ok(draftRecords([levelled(9, 3, [step(3, 'blackListed', '6.14.0010.6177', -1)])], parsePciIds(''), {}, 'db.xml')
    .includes('<Vendor Name="vendor 4318">\n    <!-- after element 3 (/VideoCardDB/R[3]): -->\n    <Card '));
});

test('the tool\'s answers: counted, in line order, an unreadable database refused', () => {
  const line = (n, extra) => JSON.stringify(Object.assign({ readable: true, line: n }, extra));
  assert.equal(splitAnswers([line(1), line(2), line(1), line(2)].join('\n') + '\n', 2, ['a', 'b'])[1][1].line, 2);
  assert.throws(() => splitAnswers(line(1) + '\n', 2, ['a']), /gave 1 answers for 2 adapters/);
  assert.throws(() => splitAnswers([line(2), line(1)].join('\n'), 2, ['a']), /answered line 2 where line 1/);
  assert.throws(() => splitAnswers(line(1, { readable: false, error: { reason: 'no root' } }), 1, ['x.xml']), /cannot read x.xml: no root/);
});

test('a question the tool cannot take is not asked, and an error answer judges nothing', () => {
  const question = { vendorId: 4318, deviceId: 1741, driver: '6.14.0010.7164', card: 'GeForce' };
  assert.equal(explainable(question), true);
  for (const card of ['a\tb', 'a\rb', 'a\nb', 'a\u0000b', 'a\uD800b']) assert.equal(explainable(Object.assign({}, question, { card })), false, JSON.stringify(card));
  for (const id of [-1, 4294967296, 1.5, null]) assert.equal(explainable(Object.assign({}, question, { vendorId: id })), false, String(id));
  assert.equal(explainable(Object.assign({}, question, { driver: '6.14\u00000010.7164' })), false);
  assert.equal(judgedAnswer(answer(false, false)), true);
  for (const bad of [null, undefined, { line: 1, error: 'a carriage return or NUL character inside the line' }, { line: 1, direct3d9: {} }]) {
    assert.equal(judgedAnswer(bad), false, JSON.stringify(bad));
  }
  // Impact: a group with an error answer on either side changes nothing.
  const groups = [{ vendor_id: 1, device_id: 2, card: 'Card', driver: 'a', direct3d8: false, machines: 30 }];
  assert.deepEqual(changedGroups(groups, [{ line: 1, error: 'x' }], [answer(true, true)]), []);
  assert.deepEqual(changedGroups(groups, [answer(false, false)], [{ line: 1, error: 'x' }]), []);
  assert.equal(impactFigures([], [], 40, 10, 12).notJudged.machines, 12);
  assert.equal(impactFigures([], [], 40, 10, 3).notJudged.machines, null);
});

test('a drafted level: one the program writes, that K machines agree on', () => {
  const rows = (...pairs) => pairs.map(([pslevel, machines]) => ({ pslevel, machines }));
  assert.deepEqual(mostReportedLevel(rows(['?', 20], ['9', 1]), 10), null);
  assert.deepEqual(mostReportedLevel(rows(['9', 30], ['12.0', 30], [' 2.0', 30], ['2.0 ', 30], ['3.5', 30]), 10), null);
  assert.deepEqual(mostReportedLevel(rows(['2.0', 9], ['3.0', 1]), 10), null);
  // The Direct3D 8 build's "2" and the Direct3D 9 build's "2.0" agree.
  assert.deepEqual(mostReportedLevel(rows(['2', 5], ['2.0', 5], ['3.0', 9]), 10), { major: 2, minor: 0 });
  assert.deepEqual(mostReportedLevel(rows(['1.4', 10], ['1.1', 12], ['0.0', 11]), 10), { major: 1, minor: 1 });
  // The adapter's level: a few machines cannot make it.
  const names = [{ vendor_id: 10, device_id: 1, card: 'A', machines: 20 }];
  const unnamed = [{ decidedBy: 'fallback', direct3d8: { level: null } }];
  const [steered] = missingAdapters(names, unnamed, [{ vendor_id: 10, device_id: 1, pslevel: '9', machines: 1 }, { vendor_id: 10, device_id: 1, pslevel: '?', machines: 20 }], 10);
  assert.deepEqual([steered.level, steered.levelReported], [null, true]);
  assert.equal(missingAdapters(names, unnamed, [{ vendor_id: 10, device_id: 1, pslevel: '?', machines: 20 }], 10)[0].levelReported, false);
});

test('missing from the database: names without a judgement neither name an adapter nor count for it', () => {
  const unnamed = { decidedBy: 'fallback', direct3d8: { level: null } }, named = { decidedBy: 'fallback', direct3d8: { level: 2 } };
  const names = [{ vendor_id: 10, device_id: 1, card: 'A', machines: 10 }, { vendor_id: 10, device_id: 1, card: 'A\u0000', machines: 1 },
    { vendor_id: 10, device_id: 2, card: 'B\t', machines: 12 }];
  const missing = missingAdapters(names, [unnamed, null, null], [], 10);
  assert.deepEqual(missing.map((m) => [m.deviceId, m.name, m.machines, m.trails.length]), [[1, 'A', 10, 1]]);
  assert.deepEqual(missingAdapters(names, [named, null, null], [], 10), []);
});

test('drafts: no text from a log or a path ends or breaks a comment, and XML reads them', () => {
  const hyphens = ['-', '--', '---', '-->', '--->', 'a-', '- -', '<!-- x -->'];
  const cards = hyphens.map((name, i) => ({ vendorId: 4318, deviceId: i + 1, name, level: null, levelReported: i % 2 === 0 }));
  cards.push({ vendorId: 4318, deviceId: 99, name: 'bell\u0007-', level: null });
  const trail = [step(3, 'candidate', '6.14.0010.7164', -1)];
  trail[0].path = '/Video--CardDB-/R[3]-';
  cards.push({ vendorId: 4318, deviceId: 100, name: 'ok', level: { major: 2, minor: 0 }, trails: [trail] });
  for (const database of ['db---.xml-', '/tmp/x\u0001--/db-', 'db\uD800-']) {
    const xml = draftRecords(cards, parsePciIds(''), { from: '2026-01-01--', to: '-' }, database);
    assertWellFormedXml(xml, JSON.stringify(database));
    for (const comment of xml.match(/<!--[\s\S]*?-->/g)) {
      const inside = comment.slice(4, -3);
      assert.ok(!inside.includes('--') && !inside.endsWith('-'), comment);
    }
    assert.equal((xml.match(/<!-- left out, /g) || []).length, hyphens.length + 1);
  }
});
