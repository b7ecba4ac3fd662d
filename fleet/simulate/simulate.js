// vidrake-fleet simulate N --out LOG [--seed S] [--days D]: an nginx access
// log of N lines from a simulated user base, for tests and benchmarks, and
// its tally (LOG.tally.json): what a report over it must say.
'use strict';
const fs = require('fs');
const crypto = require('crypto');
const page = require('../../resultpage/result.js');
const { UsageError, parseArguments } = require('../cli/arguments.js');
const { runCommand } = require('../cli/run_command.js');
const { writeFileWhole } = require('../cli/whole_files.js');
const { loadPciIds } = require('../report/pci_ids.js');
const { REASONS } = require('../ingest/classify.js');
const { DAY_MS, identityItems, identityText } = require('../ingest/machine_rule.js');
const { combinedLine } = require('./nginx_log.js');
const { cp1252 } = require('../ingest/server_escaping.js');
const { random, mix, adaptersFromPciIds, machine, programAddress } = require('./simulated_machines.js');

const USAGE = 'usage: vidrake-fleet simulate N --out LOG [--seed S] [--days D]';
const HOST = 'systemtest.quillet.example';
const START = Date.UTC(2026, 0, 1);
const BOTS = ['Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)', 'curl/7.88.1', '-',
  'Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)'];
const OTHER = [[30, 'GET / HTTP/1.1', 200], [15, 'GET /robots.txt HTTP/1.1', 404], [10, 'GET /wp-login.php HTTP/1.1', 404],
  [10, 'GET /favicon.ico HTTP/1.1', 404], [8, 'GET /quillet-systemtest HTTP/1.1', 200], [8, 'GET /quillet-systemtest/ HTTP/1.1', 200],
  [6, 'HEAD /quillet-systemtest?result=0&mem=256 MB HTTP/1.1', 200], [3, 'POST /quillet-systemtest?result=0 HTTP/1.1', 405],
  [5, '\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03', 400], [5, 'GET /.env HTTP/1.1', 404]];

// What the server receives of the program's address: a "#" ends it; a
// current browser percent-encodes as the URL standard says, an old one sends
// the code page's bytes raw (only spaces escaped).
function sentTarget(text, old) {
  const before = text.split('#')[0];
  if (!old) {
    const url = new URL(before);
    return url.pathname + url.search;
  }
  let out = '';
  for (const ch of before.slice(before.indexOf('/quillet-systemtest'))) {
    if (ch === ' ') out += '%20';
    else if (ch.charCodeAt(0) < 0x80) out += ch;
    else {
      let byte = 0x3F; // "?", as Windows writes a character its code page lacks
      for (let b = 0x80; b <= 0xFF; b++) if (cp1252(b) === ch) { byte = b; break; }
      out += String.fromCharCode(byte);
    }
  }
  return out;
}

function createTally() {
  return {
    lines: { read: 0, results: 0, otherRequests: 0, rejected: 0, cut: 0, rejectedReasons: {} },
    results: 0, machines: 0,
    verdicts: Object.fromEntries(Object.keys(page.VERDICTS).map((field) => [field, 0])),
    requirements: {},
    // Machines by each raw value of the address (null: not in it).
    distributions: { mem: {}, pslevel: {}, dxver: {}, osver: {}, ram: {}, hdspace: {}, vendorID: {}, deviceID: {} },
    // Machines by adapter and driver: "vendorID|deviceID|card|driver".
    drivers: {}
  };
}

// The tally's field of each verdict.
const VERDICT_FIELDS = Object.fromEntries(Object.entries(page.VERDICTS).map(([field, verdict]) => [verdict, field]));

function countMachine(tally, judged) {
  tally.machines++;
  tally.verdicts[VERDICT_FIELDS[judged.verdict]]++;
  for (const [id, state] of Object.entries(judged.states)) {
    const r = tally.requirements[id] || (tally.requirements[id] = { below: 0, unknown: 0 });
    if (state !== page.STATES.meets) r[state]++;
  }
  const bump = (table, key) => { table[key] = (table[key] || 0) + 1; };
  for (const key of Object.keys(tally.distributions)) bump(tally.distributions[key], String(judged.items[key] ?? null));
  const i = judged.items;
  bump(tally.drivers, [i.vendorID, i.deviceID, i.card, i.driver].map((v) => v ?? null).join('|'));
}

// The page's reading of what the server received, as the tally needs it.
function judgeSent(text) {
  const reading = page.readAddress(text.split('#')[0]);
  const judged = page.judge(reading, null);
  const states = {};
  for (const row of judged.rows) states[row.requirement] = row.state;
  return { verdict: judged.verdict, states, items: reading.items };
}

// One day's lines, in time order: { ms, line, kind, ... }.
function dayEvents(seed, day, budget, state, adapters) {
  const rnd = random(mix(seed, day, 0xDA1));
  const dayStart = START + day * DAY_MS;
  const events = [];
  let count = 0;
  const add = (event) => { events.push(event); count++; };
  while (count < budget) {
    const roll = rnd();
    // Visits start before 20:00, so that their repeats stay within the day.
    const ms = dayStart + 1000 * Math.floor(rnd() * (DAY_MS - 4 * 3600000) / 1000);
    if (roll < 0.07) {
      const [, request, status] = OTHER[Math.floor(rnd() * OTHER.length)];
      add({ ms, line: combinedLine(`203.0.113.${Math.floor(rnd() * 250)}`, ms, request, status, 162, BOTS[Math.floor(rnd() * BOTS.length)]), kind: 'other' });
      continue;
    }
    if (roll < 0.073) {
      add({ ms, line: rnd() < 0.5 ? `2026/01/01 00:00:00 [error] 1234#0: *${count} client closed connection` : `198.51.100.${count % 250} - - [${day}`, kind: 'junk' });
      continue;
    }
    if (roll < 0.078) {
      const unplaced = rnd() < 0.5;
      const target = unplaced ? '/quillet-systemtest?from=mail' : '/quillet-systemtest?result=OK&mem=64%20MB';
      add({ ms, line: combinedLine(`198.51.100.${Math.floor(rnd() * 250)}`, ms, `GET ${target} HTTP/1.1`, 200, 5120, BOTS[0]),
        kind: 'rejected', reason: unplaced ? REASONS.unplacedAddress : REASONS.invalidMask });
      continue;
    }
    // A machine's visit: a new one mostly, now and then one seen on a recent day.
    const index = rnd() < 0.08 && state.machines > 0
      ? state.machines - 1 - Math.floor(rnd() * Math.min(state.machines, 5000)) : state.machines++;
    const m = machine(seed, index, adapters);
    let values = m.values;
    for (let k = 0; k <= m.repeats; k++) {
      const at = ms + k * (60000 + Math.floor(rnd() * 1200000));
      // Someone told to update the driver does so and runs the test again.
      if (k > 0 && (Number(values.result) & 0x400) && Number(values.result) !== -1 && rnd() < 0.5) {
        values = Object.assign({}, values, { driver: values.alternates.split(', ')[0], alternates: '',
          result: String(Number(values.result) & ~0x400) });
      } else if (k > 0 && rnd() < 0.2) {
        // Something was installed in between: less free disk.
        values = Object.assign({}, values, { hdspace: `${Math.max(0, parseInt(values.hdspace, 10) - Math.floor(rnd() * 50))} MB` });
      }
      const text = programAddress(HOST, values);
      add({ ms: at, line: combinedLine(m.client, at, `GET ${sentTarget(text, m.old)} HTTP/1.1`, 200, 5120, m.agent), kind: 'result',
        text, client: m.client, agent: m.agent });
      // The page then loads its styles and script, unless the browser kept them.
      if (rnd() < 0.4) {
        for (const asset of ['result.css', 'result.js']) {
          add({ ms: at + 1000, line: combinedLine(m.client, at + 1000, `GET /quillet-systemtest/${asset} HTTP/1.1`, 200, 9000, m.agent), kind: 'other' });
        }
      }
    }
  }
  // Sorted by time (stable: a visit's lines keep their order), then cut to
  // the day's share of the lines.
  return events.map((e, i) => [e, i]).sort((a, b) => a[0].ms - b[0].ms || a[1] - b[1]).slice(0, budget).map((p) => p[0]);
}

function tallyDay(tally, events) {
  const latest = new Map();
  const cache = new Map();
  for (const e of events) {
    tally.lines.read++;
    if (e.kind === 'other') tally.lines.otherRequests++;
    else if (e.kind === 'junk' || e.kind === 'rejected') {
      const reason = e.kind === 'junk' ? REASONS.notALogLine : e.reason;
      tally.lines.rejected++;
      tally.lines.rejectedReasons[reason] = (tally.lines.rejectedReasons[reason] || 0) + 1;
    } else {
      tally.lines.results++;
      tally.results++;
      if (e.text.includes('#')) tally.lines.cut++;
      let judged = cache.get(e.text);
      if (!judged) cache.set(e.text, judged = judgeSent(e.text));
      const i = judged.items;
      const key = [e.client, e.agent, identityText(identityItems((k) => i[k] ?? null))].join('\0');
      latest.delete(key); // the latest result of the day stands for the machine
      latest.set(key, judged);
    }
  }
  for (const judged of latest.values()) countMachine(tally, judged);
}

function simulateOptions(argv) {
  const { options, positional } = parseArguments(argv, { positional: 1, options: { out: 'value', seed: 'value', days: 'value' } });
  if (!/^[0-9]+$/.test(positional[0])) throw new UsageError('N is a number of lines');
  if (!options.out) throw new UsageError('--out LOG is needed');
  if (options.days !== undefined && !/^[1-9][0-9]*$/.test(options.days)) throw new UsageError('--days takes a number of days');
  return { lines: Number(positional[0]), out: options.out, seed: options.seed, days: Number(options.days || 365) };
}

async function simulate(options) {
  const { lines, days } = options;
  const seed = options.seed !== undefined ? mix(...Buffer.from(String(options.seed))) : crypto.randomBytes(4).readUInt32LE(0);
  const pci = loadPciIds();
  if (pci.missing) throw new Error(`the PCI ID list is needed (Debian's pci.ids package): ${pci.missing}`);
  const adapters = adaptersFromPciIds(pci, seed);
  const tally = createTally();
  const state = { machines: 0 };
  writeFileWhole(options.out, (fd) => {
    for (let day = 0; day < days; day++) {
      const budget = Math.floor(lines * (day + 1) / days) - Math.floor(lines * day / days);
      const events = dayEvents(seed, day, budget, state, adapters);
      tallyDay(tally, events);
      if (events.length) fs.writeSync(fd, events.map((e) => e.line).join('\n') + '\n', null, 'latin1');
    }
  });
  const last = new Date(START + (days - 1) * DAY_MS).toISOString().slice(0, 10);
  const summary = Object.assign({ seed: options.seed ?? null, from: '2026-01-01', to: last }, tally);
  const l = tally.lines;
  return {
    files: [{ file: options.out + '.tally.json', text: JSON.stringify(summary, null, 1) + '\n' }],
    stdout: `${options.out}: ${l.read} lines over ${days} days from 2026-01-01: ${l.results} results (${l.cut} cut by "#") ` +
      `from ${tally.machines} machines, ${l.otherRequests} other requests, ${l.rejected} rejected; ` +
      `verdicts ${Object.entries(tally.verdicts).map(([k, n]) => `${k} ${n}`).join(', ')}; tally in ${options.out}.tally.json\n`
  };
}

const SIMULATE = { label: '', usage: USAGE, parse: simulateOptions, run: simulate };

function runSimulate(argv) {
  return runCommand(SIMULATE, argv);
}

module.exports = { runSimulate, sentTarget };
