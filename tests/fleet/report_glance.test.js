// The report's page read at a glance, in headless Chromium: the summary's
// figures against the JSON, requirements named as the result page names
// them, distributions in their natural order, the what-if chart in points
// gained, and no text cut at 1024 and at 1366 pixels wide.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const page = require('../../resultpage/result.js');
const { makeStore } = require('./store_fixture.js');
const { runReport } = require('../../fleet/report/report.js');

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'fleet-glance-'));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));
const files = { json: path.join(folder, 'r.json'), html: path.join(folder, 'r.html') };
let report, dom;

const RADEON = { vendorID: '4098', deviceID: '20800', card: 'RADEON 9700 PRO' };
test.before(async () => {
  const store = path.join(folder, 'store.duckdb');
  await makeStore(store, [
    { count: 40, values: {}, day: '2026-04-10' },
    { count: 12, values: { result: '32', pslevel: '1.4' }, day: '2026-04-11' },
    { count: 11, values: Object.assign({ result: '16', mem: '32 MB', pslevel: '2.0' }, RADEON), day: '2026-04-12' },
    { count: 30, values: {}, day: '2026-05-10' },
    { count: 20, values: { result: '256', osver: '5.2 SP 1.0' }, day: '2026-05-11' },
    { count: 14, values: { result: '304', mem: '32 MB', osver: '5.1 SP 1.0', pslevel: '2.0' }, day: '2026-05-12' },
    { count: 10, values: { result: '4', mem: '', pslevel: '?' }, day: '2026-05-12' },
    { count: 15, values: { result: '8', pslevel: '?' }, day: '2026-05-13' }
  ]);
  assert.equal(await runReport([store, '--json', files.json, '--html', files.html]), 0);
  report = JSON.parse(fs.readFileSync(files.json, 'utf8'));
  dom = chromium(1024, files.html);
});

function chromium(width, file) {
  try {
    return execFileSync('chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--hide-scrollbars', '--window-size=' + width + ',900', '--dump-dom', 'file://' + file],
      { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'], timeout: 60000 });
  } catch (error) {
    if (error.code === 'ENOENT') assert.fail('chromium is not installed (scripts/install-deps installs it)');
    throw error;
  }
}

function summaryItem(name) {
  const m = new RegExp('<dd data-summary="' + name + '">([^<]*)</dd>').exec(dom);
  return m && m[1].replace(/&amp;/g, '&');
}

const percent = (share) => (share * 100).toFixed(1) + '%';
const NAMES = Object.fromEntries(page.REQUIREMENTS.map((r) => [r[0], r[1]]));

test('the summary opens the page, and its figures are the JSON\'s', () => {
  assert.ok(dom.indexOf('data-summary="period"') < dom.indexOf('<h2>Verdicts</h2>'));
  assert.equal(summaryItem('period'), '2026-04 to 2026-05: 152 machines');
  const meets = report.verdicts.meets, [april, may] = report.trends.periods;
  assert.equal(may.verdicts.meets.change, Math.round((30 / 89 - 40 / 63) * 1e6) / 1e4);
  assert.equal(summaryItem('meets'), percent(meets.share) + ' (95% ' + percent(meets.low) + ' to ' + percent(meets.high) + '); \u2212' +
    Math.abs(may.verdicts.meets.change).toFixed(1) + ' points in ' + may.period + ' from ' + april.period);
  // Windows stops 20 on its own, pixel shader 12: the most is named as the result page names it.
  const alone = report.requirements.slice().sort((a, b) => b.soleBlocker.machines - a.soleBlocker.machines)[0];
  assert.equal(alone.id, 'windows');
  assert.equal(summaryItem('blocker'), 'Windows: ' + percent(alone.soleBlocker.share) + ' of the machines');
  // Windows XP SP1 would let the 20 on Server 2003 SP1 in: 13.2 points of 152.
  const step = report.whatIf.slice().sort((a, b) => b.gained - a.gained)[0];
  assert.equal(summaryItem('what-if'), 'Windows: ' + step.minimum + ' \u2192 ' + step.lowered + ': +' + (step.gained / report.machines * 100).toFixed(1) + ' points');
  const radeon = report.adapters.find((a) => a.vendorId === 4098);
  assert.equal(radeon.notMeeting, 11);
  assert.match(summaryItem('adapters'), new RegExp('^NVIDIA Corporation GF100 \\[GeForce GTX 470\\] \\(' + report.adapters.find((a) => a.vendorId === 4318).notMeeting + '\\); '));
});

test('requirements by their names, distributions in natural order, the what-if in points gained', () => {
  const titles = [...dom.matchAll(/<title>([^<]*)<\/title>/g)].map((m) => m[1]);
  for (const r of report.requirements) assert.ok(titles.some((t) => t.startsWith(NAMES[r.id] + ': ')), r.id);
  assert.ok(!titles.some((t) => /^(directx|memory|shader|ram|disk|windows): /.test(t)));
  assert.deepEqual(report.distributions.pixelShader.map((d) => d.label), ['1.4', '2.0', '3.0', 'unknown']);
  assert.deepEqual(report.distributions.windows.map((d) => d.label),
    ['Windows XP Service Pack 1', 'Windows Server 2003 or Windows XP x64 Service Pack 1', 'Windows 7 or Server 2008 R2 Service Pack 1']);
  assert.deepEqual(report.distributions.videoMemory.map((d) => d.label), ['32 MB', '256 MB', 'unknown']);
  const windowsStep = report.whatIf.find((w) => w.id === 'windows');
  assert.ok(titles.includes('Windows: ' + windowsStep.minimum + ' \u2192 ' + windowsStep.lowered + ': +13.2 points (20 machines)'), titles.join('\n'));
  // Each distribution's latest month beside the one before, and the change.
  const table = dom.split('<figcaption>Pixel shader</figcaption>')[1].split('</table>')[0];
  assert.match(table, /<th scope="col">2026-04<\/th><th scope="col">2026-05<\/th><th scope="col">change<\/th>/);
  // The month-by-month charts are lines, one per verdict and per requirement.
  assert.equal((dom.match(/<svg[^>]*aria-label="Machines by verdict, month by month"/g) || []).length, 1);
  assert.ok(dom.includes('<text class="legend"'));
});

// Every text of the page inside its chart and the window, and no cell
// wider than its column, measured by a copy of the page with a script.
function cutTexts(width) {
  const measured = path.join(folder, 'measured-' + width + '.html');
  const script = '<script>(function(){var cut=[],w=document.documentElement.clientWidth;' +
    'var svgs=document.querySelectorAll("svg");for(var i=0;i<svgs.length;i++){var box=svgs[i].getBoundingClientRect(),texts=svgs[i].querySelectorAll("text");' +
    'for(var j=0;j<texts.length;j++){var r=texts[j].getBoundingClientRect();if(r.left<box.left-0.5||r.right>box.right+0.5||r.left<0||r.right>w)cut.push(texts[j].textContent);}}' +
    'var cells=document.querySelectorAll("td,th,dd,dt");for(var k=0;k<cells.length;k++)if(cells[k].scrollWidth>cells[k].clientWidth+1)cut.push(cells[k].textContent);' +
    'document.body.setAttribute("data-cut",JSON.stringify(cut));document.body.setAttribute("data-texts",String(document.querySelectorAll("svg text").length));})();</script>';
  fs.writeFileSync(measured, fs.readFileSync(files.html, 'utf8').replace(/<meta http-equiv="Content-Security-Policy"[^>]*>/, '').replace('</body>', script + '</body>'));
  const out = chromium(width, measured);
  const texts = Number(/data-texts="(\d+)"/.exec(out)[1]);
  return { texts, cut: JSON.parse(/data-cut="([^"]*)"/.exec(out)[1].replace(/&quot;/g, '"').replace(/&amp;/g, '&')) };
}

test('no label is cut at 1024 or at 1366 pixels wide', () => {
  for (const width of [1024, 1366]) {
    const { texts, cut } = cutTexts(width);
    assert.ok(texts > 100, 'the charts were measured');
    assert.deepEqual(cut, [], width + ' pixels');
  }
});
