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
const { runReport } = require('../../fleet/report.js');
const { runImpact } = require('../../fleet/impact.js');
const { explainBatch, toolCommand } = require('../../fleet/database_explain.js');

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

test('--db lists the adapters no record names, the small ones folded; with the drafts merged none is missing', async () => {
  const json = path.join(folder, 'report.json'), draft = path.join(folder, 'draft.xml');
  assert.equal(await runReport([store, '--db', SAMPLE, '--draft', draft, '--json', json]), 0);
  const missing = JSON.parse(fs.readFileSync(json, 'utf8')).missingFromDatabase;
  assert.deepEqual(missing.map((m) => [m.label || m.vendorId + '/' + m.deviceId, m.name || null, m.machines, m.pixelShader]),
    [['32902/10818', 'Intel(R) HD Graphics', 13, '2.0'], ['4318/4242', 'GeForce Future & Co', 12, '3.0'], ['Other', null, 11, null]]);
  const records = fs.readFileSync(draft, 'utf8');
  assert.equal((records.match(/<Card /g) || []).length, 2);
  assert.ok(!records.includes('Rare'));
  // Merged: the drafts' vendors appended to the sample's records.
  const merged = path.join(folder, 'merged.xml');
  const body = records.slice(records.indexOf('<VideoCardDB>') + '<VideoCardDB>'.length, records.lastIndexOf('</VideoCardDB>'));
  const sample = fs.readFileSync(SAMPLE, 'utf8');
  fs.writeFileSync(merged, sample.replace('</VideoCardDB>', body + '</VideoCardDB>'));
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
});

// Not yet true: a drafted card of a vendor whose vendor-wide records accept a
// driver without a level gets its level only if the card's own accepting
// records come before those (as the sample lists them), and a Card appended
// at the end cannot do that. The drafts need those records, placed first.
test('the drafts merged add no lint finding to the database', { todo: 'drafts lack the card\'s own accepting records' }, () => {
  const [alone, withDrafts] = JSON.parse(fs.readFileSync(path.join(folder, 'merged-lint.json'), 'utf8'));
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
