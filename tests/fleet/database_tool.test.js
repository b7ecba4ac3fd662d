// The fleet against the real database tool (scripts/vidrake-db, or the
// wrapper VIDRAKE_DB_COMMAND names): adapters the sample database does not
// name, drafts that lint passes once merged, and a change measured by impact.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync, execFileSync } = require('node:child_process');
const { makeStore } = require('./store_fixture.js');
const { assertWellFormedXml } = require('./xml_check.js');
const { runReport } = require('../../fleet/report/report.js');
const { runImpact } = require('../../fleet/impact/impact.js');
const { explainBatch, toolCommand } = require('../../fleet/report/database_explain.js');

const SAMPLE = path.join(__dirname, '../../data/VideoCardDB.xml');
const GTX = { vendorID: '4318', deviceID: '1741', card: 'NVIDIA GeForce GTX 470', driver: '6.14.0010.7164' };
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-dbtool-'));
const store = path.join(folder, 'store.duckdb');

test.before(async () => {
  try {
    await explainBatch([{ vendorId: 4318, deviceId: 1741, driver: GTX.driver, card: GTX.card }], [SAMPLE]);
  } catch (error) {
    assert.fail('these tests need the database tool with its batch explain (' + toolCommand() + '): ' + error.message.split('\n')[0]);
  }
  await makeStore(store, [
    { count: 25, values: GTX, day: '2026-04-01' },
    { count: 12, values: { vendorID: '4318', deviceID: '4242', card: 'GeForce Future & Co', pslevel: '3.0' }, day: '2026-04-01' },
    { count: 13, values: { vendorID: '32902', deviceID: '10818', card: 'Intel(R) HD Graphics', pslevel: '2.0' }, day: '2026-04-01' },
    { count: 5, values: { vendorID: '4318', deviceID: '4343', card: 'Rare one' }, day: '2026-04-02' },
    { count: 6, values: { vendorID: '4098', deviceID: '5555', card: 'Rare two' }, day: '2026-04-02' }
  ]);
});
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

// Where each element of an XML text starts and ends, in document order (the
// root first): enough for the sample's plain markup.
function elementSpans(xml) {
  const spans = [], open = [];
  for (const m of xml.matchAll(/<!--[\s\S]*?-->|<\?[\s\S]*?\?>|<(\/?)[A-Za-z_][^>]*?(\/?)>/g)) {
    if (m[0].startsWith('<!--') || m[0].startsWith('<?')) continue;
    if (m[1]) {
      open.pop().end = m.index + m[0].length;
    } else {
      const span = { start: m.index, end: m.index + m[0].length };
      spans.push(span);
      if (!m[2]) open.push(span);
    }
  }
  return spans;
}

// The drafts merged as their comments say: each group of records in front of
// or behind the element it names, "anywhere" at the end.
function mergeDrafts(database, drafts) {
  const spans = elementSpans(database), groups = [];
  for (const line of drafts.split('\n')) {
    const place = /^\s*<!-- (?:(before|after) element (\d+)|(anywhere))\b/.exec(line);
    if (place) {
      const at = place[3] ? database.lastIndexOf('</VideoCardDB>') : place[1] === 'before' ? spans[place[2] - 1].start : spans[place[2] - 1].end;
      groups.push({ at, records: [] });
    } else if (/^\s*<(Driver|Card) /.test(line)) {
      assert.ok(groups.length, 'a record before any placement: ' + line);
      groups[groups.length - 1].records.push(line.trim());
    }
  }
  let merged = database;
  for (const group of groups.slice().sort((a, b) => b.at - a.at)) {
    merged = merged.slice(0, group.at) + group.records.join('\n') + '\n' + merged.slice(group.at);
  }
  return merged;
}

test('--db lists the adapters no record names, the small ones folded; with the drafts merged none is missing', async () => {
  const json = path.join(folder, 'report.json'), draft = path.join(folder, 'draft.xml');
  assert.equal(await runReport([store, '--db', SAMPLE, '--draft', draft, '--json', json]), 0);
  const answered = JSON.parse(fs.readFileSync(json, 'utf8'));
  const missing = answered.missingFromDatabase;
  // The two rare names (5 and 6 machines, under K) are not asked: their
  // machines are counted apart.
  assert.deepEqual(missing.map((m) => [m.label || m.vendorId + '/' + m.deviceId, m.name || null, m.machines, m.pixelShader]),
    [['32902/10818', 'Intel(R) HD Graphics', 13, '2.0'], ['4318/4242', 'GeForce Future & Co', 12, '3.0']]);
  assert.equal(answered.notJudgedByDatabase.machines, 11);
  const records = fs.readFileSync(draft, 'utf8');
  assertWellFormedXml(records);
  assert.equal((records.match(/<Card /g) || []).length, 2);
  assert.ok(!records.includes('Rare'));
  // The GeForce's own records for the two drivers NVIDIA's vendor-wide
  // records accept without a level; its blacklisted driver gets none.
  assert.deepEqual([...records.matchAll(/<Driver [^>]*DeviceID="4242"[^>]*DriverVersion="([^"]+)"[^>]*>/g)].map((m) => m[1]),
    ['6.14.0010.6693', '6.14.0010.7164']);
  // Merged where the drafts' comments say.
  const merged = path.join(folder, 'merged.xml');
  fs.writeFileSync(merged, mergeDrafts(fs.readFileSync(SAMPLE, 'utf8'), records));
  // Lint finds nothing in the merged database that it does not find in the
  // database alone (clean when that is clean).
  const lint = (file) => {
    const run = spawnSync(toolCommand(), ['lint', file, '--json'], { encoding: 'utf8' });
    assert.ok(run.status === 0 || run.status === 1, run.stdout + run.stderr);
    return { status: run.status, findings: JSON.parse(run.stdout).findings.map((f) => [f.rule, f.path, f.attribute]) };
  };
  // With the drafts in, nothing is missing any more.
  assert.equal(await runReport([store, '--db', merged, '--json', json]), 0);
  assert.deepEqual(JSON.parse(fs.readFileSync(json, 'utf8')).missingFromDatabase.filter((m) => m.label !== 'Other'), []);
  fs.writeFileSync(path.join(folder, 'merged-lint.json'), JSON.stringify([lint(SAMPLE), lint(merged)]));
  // The drafts alone are a database the tool reads, and lints clean.
  assert.deepEqual(lint(draft), { status: 0, findings: [] });
});

test('the drafts merged add no lint finding to the database', () => {
  const [alone, withDrafts] = JSON.parse(fs.readFileSync(path.join(folder, 'merged-lint.json'), 'utf8'));
  assert.deepEqual(alone, { status: 0, findings: [] });
  assert.deepEqual(withDrafts, alone);
});

test('impact: blacklisting the driver the GTX 470 machines run rejects exactly those machines', async () => {
  const after = path.join(folder, 'blacklisted.xml'), json = path.join(folder, 'impact.json');
  const sample = fs.readFileSync(SAMPLE, 'utf8');
  // Every record of that driver, the card's own and the vendor-wide one.
  const blacklisted = sample.replace(/(DriverVersion="6\.14\.0010\.7164"(?: PixelShaderVersion="\d")?)(?: BlackList="not_recommended")?\/>/g, '$1 BlackList="true"/>');
  assert.equal((blacklisted.match(/BlackList="true"/g) || []).length, (sample.match(/BlackList="true"/g) || []).length + 4);
  fs.writeFileSync(after, blacklisted);
  assert.equal(await runImpact([store, '--before', SAMPLE, '--after', after, '--json', json]), 0);
  const impact = JSON.parse(fs.readFileSync(json, 'utf8'));
  assert.equal(impact.machines, 61);
  assert.equal(impact.newlyRejected.machines, 25);
  assert.equal(impact.newlyAccepted.machines, 0);
  assert.deepEqual(impact.verdictChanges.map((v) => [v.from, v.to, v.machines]), [['meets', 'below', 25]]);
  assert.deepEqual(impact.adapters.map((a) => [a.vendorId, a.deviceId, a.driver, a.before.rejected, a.after.rejected, a.machines]),
    [[4318, 1741, '6.14.0010.7164', false, true, 25]]);
  // And back: the same change undone accepts them again.
  assert.equal(await runImpact([store, '--before', after, '--after', SAMPLE, '--json', json]), 0);
  assert.equal(JSON.parse(fs.readFileSync(json, 'utf8')).newlyAccepted.machines, 25);
});

test('impact over a simulated log: blacklisting its most common driver rejects the machines the tally says run it', async () => {
  const fleet = path.join(__dirname, '../../scripts/vidrake-fleet');
  const log = path.join(folder, 'access.log'), simulated = path.join(folder, 'simulated.duckdb');
  execFileSync(fleet, ['simulate', '20000', '--out', log, '--seed', '3'], { stdio: 'ignore' });
  execFileSync(fleet, ['ingest', simulated, log], { stdio: 'ignore' });
  const tally = JSON.parse(fs.readFileSync(log + '.tally.json', 'utf8'));
  const running = {};
  for (const [key, machines] of Object.entries(tally.drivers)) {
    const [vendor, , , driver] = key.split('|');
    if (/^\d+$/.test(vendor) && vendor !== '0' && /^\d+\.\d+\.\d{4}\.\d+$/.test(driver)) running[vendor + '|' + driver] = (running[vendor + '|' + driver] || 0) + machines;
  }
  const [common, machines] = Object.entries(running).sort((a, b) => b[1] - a[1])[0];
  const [vendor, driver] = common.split('|');
  const after = path.join(folder, 'common-blacklisted.xml'), json = path.join(folder, 'impact-simulated.json');
  // The Direct3D 8 build reports a rejection only on a card the database
  // gives a level, so the change gives the vendor's cards one, last.
  fs.writeFileSync(after, fs.readFileSync(SAMPLE, 'utf8')
    .replace('<VideoCardDB>', '<VideoCardDB>\n  <Vendor Name="blacklisted">\n    <Driver ManufacturerID="' + vendor + '" DeviceID="*" DriverVersion="' + driver + '" BlackList="true"/>\n  </Vendor>')
    .replace('</VideoCardDB>', '  <Vendor Name="levelled"><Card ManufacturerID="' + vendor + '" DeviceID="*" PixelShaderVersion="2"/></Vendor>\n</VideoCardDB>'));
  assert.equal(await runImpact([simulated, '--before', SAMPLE, '--after', after, '--min-machines', '1', '--json', json]), 0);
  const impact = JSON.parse(fs.readFileSync(json, 'utf8'));
  assert.equal(impact.machines, tally.machines);
  const blacklisted = impact.adapters.filter((a) => String(a.vendorId) === vendor && a.driver === driver);
  assert.ok(blacklisted.every((a) => !a.before.rejected && a.after.rejected));
  assert.equal(blacklisted.reduce((n, a) => n + a.machines, 0), machines, common);
  // The level can also make the Direct3D 8 build report rejections it did
  // not before; nothing else changes.
  const others = impact.adapters.filter((a) => !blacklisted.includes(a));
  assert.ok(others.every((a) => String(a.vendorId) === vendor && !a.before.rejected && a.after.rejected), JSON.stringify(others));
  assert.equal(impact.newlyRejected.machines, impact.adapters.reduce((n, a) => n + a.machines, 0));
  assert.equal(impact.newlyAccepted.machines, 0);
});
