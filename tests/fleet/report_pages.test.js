// The report for people and spreadsheets: the HTML page (static, nothing
// fetched, every value as text, read in headless Chromium) and the CSV files.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { makeStore } = require('./store_fixture.js');
const { runReport } = require('../../fleet/report/report.js');

const HOSTILE = '<img src=x onerror=alert(1)>';
const FORMULA = '=HYPERLINK("http://evil.example")';
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-pages-'));
const store = path.join(folder, 'store.duckdb');
const files = { json: path.join(folder, 'r.json'), html: path.join(folder, 'r.html'), csv: path.join(folder, 'csv') };
let report, page;

test.before(async () => {
  await makeStore(store, [
    { count: 30, values: {}, day: '2026-03-01' },
    { count: 12, values: { result: '16', mem: '32 MB', card: HOSTILE, deviceID: '9999' }, day: '2026-03-01' },
    { count: 11, values: { result: '1024', card: FORMULA, vendorID: '4098', deviceID: '20800', alternates: '6.14.0010.6476' }, day: '2026-03-02' },
    { count: 4, values: { result: '128', hdspace: '12 MB' }, day: '2026-03-02' }
  ]);
  assert.equal(await runReport([store, '--json', files.json, '--html', files.html, '--csv', files.csv]), 0);
  report = JSON.parse(fs.readFileSync(files.json, 'utf8'));
  page = fs.readFileSync(files.html, 'utf8');
});
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));

test('the page is static: no script, nothing fetched, markup from the field shown as text', () => {
  const fetching = /<(script|img|link|iframe|object|embed|image|use)\b|@import|url\(|\bsrc="/i.exec(page);
  assert.equal(fetching, null, fetching && fetching[0]);
  // The only address in an attribute is SVG's namespace, which is never fetched.
  assert.deepEqual([...new Set(page.match(/[\w:-]+="[^"]*:\/\/[^"]*"/g))], ['xmlns="http://www.w3.org/2000/svg"']);
  assert.match(page, /Content-Security-Policy" content="default-src 'none'/);
  assert.ok(page.includes('&lt;img src=x onerror=alert(1)&gt;'));
});

function chromium(args) {
  try {
    return execFileSync('chromium', ['--headless', '--no-sandbox', '--disable-gpu', ...args], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'], timeout: 60000 });
  } catch (error) {
    if (error.code === 'ENOENT') assert.fail('chromium is not installed (scripts/install-deps installs it)');
    throw error;
  }
}

test('headless Chromium reads the same figures as the JSON, one chart row per table row', () => {
  const dom = chromium(['--dump-dom', 'file://' + files.html]);
  const titles = [...dom.matchAll(/<title>([^<]*)<\/title>/g)].map((m) => m[1]);
  const charted = 4 + 3 * report.requirements.length + report.combinations.length + report.whatIf.length +
    Object.values(report.distributions).reduce((n, rows) => n + rows.length, 0);
  assert.equal(titles.length - 1, charted); // the page's own <title> besides
  for (const [name, rows] of Object.entries(report.distributions)) {
    for (const row of rows) assert.ok(titles.some((t) => t.startsWith(row.label + ': ' + row.machines + ' (')), name + ' ' + row.label);
  }
  assert.ok(titles.includes('meets: 30 (52.6%, 95% 39.9% to 65.0%)'.replace('meets', 'Meets the requirements')), titles.join('\n'));
  // The injected card name arrived as text in a cell, not as an element.
  assert.equal(/<img/i.test(dom), false);
  assert.ok(dom.includes('&lt;img src=x onerror=alert(1)&gt;'));
  const adapterRows = dom.split('<h2>Adapters</h2>')[1].split('</table>')[0].match(/<tr>/g).length - 1;
  assert.equal(adapterRows, report.adapters.length);
});

function readCsv(name) {
  return fs.readFileSync(path.join(files.csv, name), 'utf8').trimEnd().split('\r\n');
}

test('CSV: one file per table, a row per JSON row, texts quoted and formulas defused', () => {
  const names = fs.readdirSync(files.csv).sort();
  assert.deepEqual(names, ['adapters.csv', 'combinations.csv', 'distribution-directx.csv', 'distribution-disk.csv',
    'distribution-pixelShader.csv', 'distribution-ram.csv', 'distribution-vendor.csv', 'distribution-videoMemory.csv',
    'distribution-windows.csv', 'lines.csv', 'rejected-drivers.csv', 'requirements.csv', 'verdicts.csv', 'what-if.csv']);
  assert.equal(readCsv('adapters.csv').length - 1, report.adapters.length);
  assert.equal(readCsv('distribution-videoMemory.csv').length - 1, report.distributions.videoMemory.length);
  const radeon = readCsv('adapters.csv').find((line) => line.startsWith('4098,'));
  assert.ok(radeon.includes('"\'=HYPERLINK(""http://evil.example"")"'), radeon);
  assert.deepEqual(readCsv('verdicts.csv')[1].split(',').slice(0, 2), ['"meets"', '30']);
});
