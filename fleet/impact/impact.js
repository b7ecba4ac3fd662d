// vidrake-fleet impact STORE --before OLD.xml --after NEW.xml [--from DAY]
//   [--to DAY] [--min-machines K] [--json FILE]
// What a database change would do to the machines that ran the test: each
// machine's adapter and driver judged against both databases (one batch
// explain), and only bit 0x400 re-judged; every other finding stands.
'use strict';
const page = require('../../resultpage/result.js');
const { rows, sqlText } = require('../store/duckdb.js');
const { storedReading } = require('../store/stored_reading.js');
const { selectPeriod } = require('../report/queries.js');
const { explainBatch, explainable, judgedAnswer } = require('../report/database_explain.js');
const { share } = require('../report/shares.js');
const { foldTable, shownFigure, withheld, OTHER } = require('../report/folding.js');
const { UsageError, parseArguments, period, minimumMachines } = require('../cli/arguments.js');
const { runCommand } = require('../cli/run_command.js');

const DRIVER_REJECTED = page.BITS.find((bit) => bit[0] === 'GFX_DRIVER_REJECTED')[1];
const USAGE = 'usage: vidrake-fleet impact STORE --before OLD.xml --after NEW.xml [--from DAY] [--to DAY] [--min-machines K] [--json FILE]';

// The build whose judgement a machine reported: the Direct3D 8 build runs
// when Direct3D 9 is missing, and only it leaves the shader undetermined.
const DIRECT3D8 = '(st_directx = ' + sqlText(page.STATES.below) + ' OR (mask <> -1 AND (mask & 8) <> 0))';
// Machines whose driver the check judged: the others have nothing to re-judge.
const JUDGED = 'st_driver <> ' + sqlText(page.STATES.unknown) + " AND driver IS NOT NULL AND driver <> '' AND vendor_id IS NOT NULL AND device_id IS NOT NULL";

function judgement(answer, direct3d8) {
  const build = direct3d8 ? answer.direct3d8 : answer.direct3d9;
  return { rejected: Boolean(build.rejected), alternates: build.rejected ? build.alternates || '' : '' };
}

// The verdict as the result page gives it with bit 0x400 and the alternates
// set by one database's judgement.
function verdictWith(itemRow, judged) {
  const mask = judged.rejected ? itemRow.mask | DRIVER_REJECTED : itemRow.mask & ~DRIVER_REJECTED;
  // The row holds the items a verdict needs (not the alternates: the
  // judgement sets them).
  const reading = storedReading(Object.assign({}, itemRow, { mask, alternates: judged.rejected ? judged.alternates : null }));
  reading.items.vendorID = String(itemRow.vendor_id);
  reading.items.deviceID = String(itemRow.device_id);
  reading.found = Object.keys(reading.items);
  return page.judge(reading).verdict;
}

function keyOf(row) {
  return JSON.stringify([row.vendor_id, row.device_id, row.card, row.driver, row.direct3d8]);
}

// groups: [{ vendor_id, device_id, card, driver, direct3d8, machines }] with
// each group's judgement before and after. The changed ones only; a group
// either database has no judgement for is not changed.
function changedGroups(groups, before, after) {
  const changed = [];
  groups.forEach((group, i) => {
    if (!judgedAnswer(before[i]) || !judgedAnswer(after[i])) return;
    const b = judgement(before[i], group.direct3d8), a = judgement(after[i], group.direct3d8);
    if (b.rejected !== a.rejected || b.alternates !== a.alternates) changed.push(Object.assign({}, group, { before: b, after: a }));
  });
  return changed;
}

// The impact record from the changed groups and their machines' items;
// notJudged: the machines the tool gave no judgement for.
function impactFigures(changed, itemRows, total, minimum, notJudged = 0) {
  const sum = (list) => list.reduce((n, g) => n + g.machines, 0);
  const figure = (count) => shownFigure(count, total, minimum);
  const byKey = new Map(changed.map((g) => [keyOf(g), g]));
  const transitions = new Map();
  for (const row of itemRows) {
    const group = byKey.get(keyOf(row));
    const from = verdictWith(row, group.before), to = verdictWith(row, group.after);
    if (from === to) continue;
    const key = from + '>' + to;
    transitions.set(key, { key, from, to, machines: (transitions.has(key) ? transitions.get(key).machines : 0) + row.machines });
  }
  const adapters = new Map();
  for (const g of changed) {
    const key = JSON.stringify([g.vendor_id, g.device_id, g.driver, g.before, g.after]);
    if (!adapters.has(key)) adapters.set(key, { key, vendorId: g.vendor_id, deviceId: g.device_id, driver: g.driver, before: g.before, after: g.after, machines: 0 });
    adapters.get(key).machines += g.machines;
  }
  const ordered = (list) => list.sort((a, b) => b.machines - a.machines || (a.key < b.key ? -1 : 1));
  const strip = (row) => { const out = Object.assign({}, row); delete out.key; return Object.assign(out, share(row.machines, total)); };
  const fold = (list, other) => foldTable(ordered(list), total, minimum, other, strip);
  const verdictChanges = fold([...transitions.values()], { from: null, to: null, label: OTHER });
  const adapterRows = fold([...adapters.values()], { vendorId: null, deviceId: null, driver: null, before: null, after: null, label: OTHER });
  return {
    machines: withheld(total, minimum) ? null : total,
    notJudged: figure(notJudged),
    newlyRejected: figure(sum(changed.filter((g) => !g.before.rejected && g.after.rejected))),
    newlyAccepted: figure(sum(changed.filter((g) => g.before.rejected && !g.after.rejected))),
    verdictChanges: verdictChanges.rows,
    adapters: adapterRows.rows,
    folded: { verdictChanges: verdictChanges.folded, adapters: adapterRows.folded }
  };
}

async function changedItems(connection, changed) {
  if (!changed.length) return [];
  await connection.run('CREATE OR REPLACE TEMP TABLE changed (vendor_id BIGINT, device_id BIGINT, card VARCHAR, driver VARCHAR, direct3d8 BOOLEAN)');
  const appender = await connection.createAppender('changed', 'main', 'temp');
  for (const g of changed) {
    appender.appendBigInt(BigInt(g.vendor_id));
    appender.appendBigInt(BigInt(g.device_id));
    if (g.card === null) appender.appendNull(); else appender.appendVarchar(g.card);
    appender.appendVarchar(g.driver);
    appender.appendBoolean(g.direct3d8);
    appender.endRow();
  }
  appender.closeSync();
  return rows(connection, 'SELECT p.vendor_id, p.device_id, p.card, p.driver, ' + DIRECT3D8.replace(/st_directx|mask/g, 'p.$&') +
    ' AS direct3d8, p.mask, p.mem, p.pslevel, p.dxver, p.hdspace, p.ram, p.osver, count(*) AS machines FROM period p JOIN changed c ' +
    'ON p.vendor_id = c.vendor_id AND p.device_id = c.device_id AND p.card IS NOT DISTINCT FROM c.card AND p.driver = c.driver AND ' +
    DIRECT3D8.replace(/st_directx|mask/g, 'p.$&') + ' = c.direct3d8 WHERE ' + JUDGED.replace(/\b(st_driver|driver|vendor_id|device_id)\b/g, 'p.$1') + ' GROUP BY ALL');
}

async function measureImpact(connection, options) {
  await selectPeriod(connection, options.from, options.to);
  const [{ machines: total }] = await rows(connection, 'SELECT count(*) AS machines FROM period');
  const groups = await rows(connection, 'SELECT vendor_id, device_id, card, driver, ' + DIRECT3D8 + ' AS direct3d8, count(*) AS machines FROM period WHERE ' +
    JUDGED + ' GROUP BY ALL ORDER BY vendor_id, device_id, card, driver, direct3d8');
  // One question per adapter and driver, whichever build's answer a machine
  // needs; none for one the tool cannot be asked about.
  const adapters = new Map();
  for (const g of groups) {
    const key = JSON.stringify([g.vendor_id, g.device_id, g.card, g.driver]);
    const question = { vendorId: g.vendor_id, deviceId: g.device_id, driver: g.driver, card: g.card || '' };
    if (!adapters.has(key) && explainable(question)) adapters.set(key, Object.assign(question, { index: adapters.size }));
  }
  const questions = [...adapters.values()];
  const [before, after] = await explainBatch(questions, [options.before, options.after]);
  const answer = (answers, g) => {
    const question = adapters.get(JSON.stringify([g.vendor_id, g.device_id, g.card, g.driver]));
    return question ? answers[question.index] : null;
  };
  const beforeOf = groups.map((g) => answer(before, g)), afterOf = groups.map((g) => answer(after, g));
  const notJudged = groups.reduce((sum, g, i) => sum + (judgedAnswer(beforeOf[i]) && judgedAnswer(afterOf[i]) ? 0 : g.machines), 0);
  const changed = changedGroups(groups, beforeOf, afterOf);
  const figures = impactFigures(changed, await changedItems(connection, changed), total, options.minimum, notJudged);
  return Object.assign({ period: { from: options.from, to: options.to }, minMachines: options.minimum, before: options.before, after: options.after }, figures);
}

function impactOptions(argv) {
  const parsed = parseArguments(argv, { positional: 1, options: { before: 'value', after: 'value', from: 'value', to: 'value', json: 'value', 'min-machines': 'value' } });
  if (!parsed.options.before || !parsed.options.after) throw new UsageError('--before and --after are both needed');
  return Object.assign({ store: parsed.positional[0], before: parsed.options.before, after: parsed.options.after, json: parsed.options.json,
    minimum: minimumMachines(parsed.options['min-machines']) }, period(parsed.options));
}

async function impactOutput(options, store) {
  const text = JSON.stringify(await measureImpact(store.connection, options), null, 2) + '\n';
  return options.json && options.json !== '-' ? { files: [{ file: options.json, text }] } : { stdout: text };
}

const IMPACT = { label: 'vidrake-fleet impact: ', usage: USAGE, parse: impactOptions, store: 'read', run: impactOutput };

function runImpact(argv) {
  return runCommand(IMPACT, argv);
}

module.exports = { runImpact, changedGroups, impactFigures, verdictWith, judgement };
