// The report's tables from the grouped rows of report_queries.js: plain
// values in, plain records out. Shares are of all machines of the period
// unless a field says otherwise.
'use strict';
const page = require('../../resultpage/result.js');
const { share } = require('./shares.js');
const { foldTable, shownFigure, withheld, withheldCells, OTHER } = require('./folding.js');
const { STEPS, passesLowered } = require('./what_if.js');
const bins = require('./bins.js');

const { REQUIREMENT_IDS, VERDICTS, STATES } = page;

function sum(list, pick) {
  return list.reduce((total, item) => total + pick(item), 0);
}

function belowIds(profile) {
  return REQUIREMENT_IDS.filter((id) => profile['st_' + id] === STATES.below);
}

function lines(files) {
  const counts = { read: 0, results: 0, otherRequests: 0, rejected: 0, cut: 0, rejectedReasons: {} };
  for (const file of files) {
    counts.read += file.lines_read;
    counts.results += file.results;
    counts.otherRequests += file.other_requests;
    counts.rejected += file.rejected;
    counts.cut += file.cut;
    const reasons = JSON.parse(file.rejected_reasons || '{}');
    for (const reason of Object.keys(reasons)) counts.rejectedReasons[reason] = (counts.rejectedReasons[reason] || 0) + reasons[reason];
  }
  counts.rejectedReasons = sortedKeys(counts.rejectedReasons);
  return counts;
}

function sortedKeys(object) {
  const out = {};
  for (const key of Object.keys(object).sort()) out[key] = object[key];
  return out;
}

// A figure of a fixed table, counted in withheldCount when withheld.
function figure(count, total, minimum, withheldCount) {
  const shown = shownFigure(count, total, minimum);
  if (shown.machines === null) withheldCount.n++;
  return shown;
}

function verdictCounts(profiles) {
  return Object.values(VERDICTS).map((verdict) => sum(profiles.filter((p) => p.verdict === verdict), (p) => p.machines));
}

// The verdicts add up to the machines shown: a verdict withheld takes a
// second one with it.
function verdicts(profiles, total, minimum) {
  const counts = verdictCounts(profiles), hidden = withheldCells(counts, minimum), count = { n: 0 }, table = {};
  Object.keys(VERDICTS).forEach((field, i) => {
    table[field] = figure(hidden[i] ? null : counts[i], total, minimum, count);
  });
  return { table, folded: count.n };
}

// Each requirement's machines below it, unknown on it, and below on it alone.
function requirementCounts(profiles) {
  const counts = {};
  for (const id of REQUIREMENT_IDS) counts[id] = { below: 0, unknown: 0, alone: 0 };
  for (const p of profiles) {
    const ids = belowIds(p);
    for (const id of ids) counts[id].below += p.machines;
    if (ids.length === 1) counts[ids[0]].alone += p.machines;
    for (const id of REQUIREMENT_IDS) if (p['st_' + id] === STATES.unknown) counts[id].unknown += p.machines;
  }
  return counts;
}

// A requirement's machines are below, unknown or meeting it (never shown),
// and those below it are below on it alone or with others (never shown):
// each is withheld as a table of its own.
function requirements(profiles, total, minimum) {
  const count = { n: 0 }, counts = requirementCounts(profiles);
  const table = REQUIREMENT_IDS.map((id) => {
    const { below, unknown, alone } = counts[id];
    const states = withheldCells([below, unknown, total - below - unknown], minimum, [2]);
    const parts = withheldCells([alone, below - alone], minimum, [1]);
    return {
      id,
      below: figure(states[0] ? null : below, total, minimum, count),
      unknown: figure(states[1] ? null : unknown, total, minimum, count),
      soleBlocker: figure(parts[0] ? null : alone, total, minimum, count)
    };
  });
  return { table, folded: count.n };
}

function byMachines(a, b) {
  return b.machines - a.machines || (a.key < b.key ? -1 : a.key > b.key ? 1 : 0);
}

// Rows of { key, machines, record(), extra() } sorted, shared out and
// folded; `other`: the fields of the "Other" row.
function finish(rows, total, minimum, other, sort) {
  const sorted = sort === false ? rows : rows.slice().sort(byMachines);
  return foldTable(sorted, total, minimum, other, (row) => Object.assign(row.record(), share(row.machines, total), row.extra ? row.extra() : {}));
}

function combinations(profiles, total, minimum) {
  const sets = new Map();
  for (const p of profiles) {
    const ids = belowIds(p);
    if (!ids.length) continue;
    const key = ids.join('+');
    sets.set(key, { key, ids, machines: (sets.has(key) ? sets.get(key).machines : 0) + p.machines });
  }
  const rows = [...sets.values()].map((s) => ({ key: s.key, machines: s.machines, record: () => ({ ids: s.ids }) }));
  return finish(rows, total, minimum, { ids: null, label: OTHER });
}

// A step's machines are the verdicts' "meets" and those it gains: shown
// only when both are, so that neither is the other less the step.
function whatIf(profiles, shortfalls, total, minimum, meetsShown) {
  const meets = sum(profiles.filter((p) => p.verdict === VERDICTS.meets), (p) => p.machines);
  const count = { n: 0 };
  const table = STEPS.map((step) => {
    const gained = sum(shortfalls.filter((row) => row.id === step.id && passesLowered(step.id, {
      memMb: row.mem_mb, pslevel: row.pslevel, ramMb: row.ram_mb, diskMb: row.disk_mb,
      osMajor: row.os_major, osMinor: row.os_minor, osSp: row.os_sp
    })), (row) => row.machines);
    const gainedShown = !withheld(gained, minimum) && !withheld(total, minimum);
    const shown = figure(meetsShown && gainedShown ? meets + gained : null, total, minimum, count);
    return Object.assign({ id: step.id, minimum: step.minimum, lowered: step.lowered }, shown,
      { gained: gainedShown ? gained : null });
  });
  return { table, folded: count.n };
}

// A distribution: the column's values put in bins by `label`, in the
// distribution's natural order (bins.js) when it has one, otherwise by
// machines.
function distribution(name, valueRows, label, total, minimum) {
  const counts = new Map();
  for (const row of valueRows) {
    const key = label(row.value);
    counts.set(key, (counts.get(key) || 0) + row.machines);
  }
  const order = bins.naturalOrder(name, [...counts.keys()]);
  const rows = (order || [...counts.keys()]).map((key) => ({ key, machines: counts.get(key), record: () => ({ label: key }) }));
  return finish(rows, total, minimum, { label: OTHER }, !order);
}

function vendorLabel(pciNames) {
  return (id) => {
    if (id === null || id === undefined) return bins.UNKNOWN;
    return pciNames.vendorName(id) || 'vendor ' + page.hexId(id);
  };
}

// Each distribution: the grouping its values come from and the bin of a value.
function distributionKinds(pciNames) {
  return {
    videoMemory: ['mem_mb', bins.videoMemoryBin],
    pixelShader: ['pslevel', bins.pixelShaderBin],
    directx: ['dxver', bins.directxBin],
    windows: ['windows', (name) => name || bins.UNKNOWN],
    ram: ['ram_mb', bins.ramBin],
    disk: ['disk_mb', bins.diskBin],
    vendor: ['vendor_id', vendorLabel(pciNames)]
  };
}

function distributions(values, total, minimum, pciNames) {
  const kinds = distributionKinds(pciNames);
  const table = {}, folded = {};
  for (const name of Object.keys(kinds)) {
    const [column, label] = kinds[name];
    const made = distribution(name, values[column], label, total, minimum);
    table[name] = made.rows;
    folded['distributions.' + name] = made.folded;
  }
  return { table, folded };
}

function adapterKey(vendorId, deviceId) {
  return vendorId + '/' + deviceId;
}

const MOST_NAMES = 5;

function adapterDeviceName(pciNames, vendorId, deviceId) {
  return vendorId === null || deviceId === null ? null : pciNames.deviceName(vendorId, deviceId);
}

function adapters(nameRows, total, minimum, pciNames) {
  const byAdapter = new Map();
  for (const row of nameRows) {
    const key = adapterKey(row.vendor_id, row.device_id);
    if (!byAdapter.has(key)) byAdapter.set(key, { key, vendorId: row.vendor_id, deviceId: row.device_id, machines: 0, meets: 0, names: [], below: {} });
    const a = byAdapter.get(key);
    a.machines += row.machines;
    a.meets += row.meets;
    if (row.card !== null && row.card !== '') a.names.push({ name: row.card, machines: row.machines });
    for (const id of REQUIREMENT_IDS) a.below[id] = (a.below[id] || 0) + row['below_' + id];
  }
  const rows = [...byAdapter.values()].map((a) => ({
    key: a.key, machines: a.machines,
    record: () => ({
      vendorId: a.vendorId, deviceId: a.deviceId,
      vendorName: a.vendorId === null ? null : pciNames.vendorName(a.vendorId),
      deviceName: adapterDeviceName(pciNames, a.vendorId, a.deviceId),
      // A name is shown only when K machines reported it, like any row.
      names: a.names.filter((n) => n.machines >= minimum).sort((x, y) => y.machines - x.machines || (x.name < y.name ? -1 : 1))
        .slice(0, MOST_NAMES).map((n) => n.name)
    }),
    extra: () => adapterShares(a, minimum)
  }));
  return finish(rows, total, minimum, { vendorId: null, deviceId: null, vendorName: null, deviceName: null, names: [], label: OTHER });
}

// The share of an adapter's machines that meet and the machines that do
// not, shown when neither those that meet nor the others are 1 to K-1; the
// requirement most of them fall short of, shown when K of them do.
function adapterShares(a, minimum) {
  const blocker = topBlocker(a.below);
  const shown = !withheld(a.meets, minimum) && !withheld(a.machines - a.meets, minimum);
  return {
    meetsShare: shown ? Math.round(a.meets / a.machines * 1e6) / 1e6 : null,
    notMeeting: shown ? a.machines - a.meets : null,
    topBlocker: blocker === null || withheld(a.below[blocker], minimum) ? null : blocker
  };
}

// The requirement most of the adapter's machines fall short of (the
// requirements' own order breaks ties); null when none falls short.
function topBlocker(below) {
  let best = null;
  for (const id of REQUIREMENT_IDS) if (below[id] > 0 && (best === null || below[id] > below[best])) best = id;
  return best;
}

// The alternates text as the result page lists it: comma-separated versions.
function alternateVersions(text) {
  return (text || '').split(',').map((v) => v.trim()).filter((v) => v);
}

// The versions offered in the lists at least `minimum` machines reported
// (a list is shown only then, like a name), most offered first.
function shownAlternates(lists, minimum) {
  const versions = new Map();
  for (const list of lists.values()) {
    if (list.machines < minimum) continue;
    for (const version of list.versions) versions.set(version, (versions.get(version) || 0) + list.machines);
  }
  return [...versions.entries()].sort((x, y) => y[1] - x[1] || (x[0] < y[0] ? -1 : 1)).map((e) => e[0]);
}

function rejectedDrivers(driverRows, total, minimum, pciNames) {
  const byDriver = new Map();
  for (const row of driverRows) {
    const key = adapterKey(row.vendor_id, row.device_id) + '/' + row.driver;
    if (!byDriver.has(key)) byDriver.set(key, { key, vendorId: row.vendor_id, deviceId: row.device_id, driver: row.driver, machines: 0, onlyBlocker: 0, lists: new Map() });
    const d = byDriver.get(key);
    const offered = alternateVersions(row.alternates);
    d.machines += row.machines;
    if (row.only_driver && offered.length) d.onlyBlocker += row.machines;
    if (!offered.length) continue;
    const listKey = JSON.stringify(offered);
    if (!d.lists.has(listKey)) d.lists.set(listKey, { versions: offered, machines: 0 });
    d.lists.get(listKey).machines += row.machines;
  }
  const rows = [...byDriver.values()].map((d) => ({
    key: d.key, machines: d.machines,
    record: () => ({
      vendorId: d.vendorId, deviceId: d.deviceId, deviceName: adapterDeviceName(pciNames, d.vendorId, d.deviceId),
      driver: d.driver, alternates: shownAlternates(d.lists, minimum)
    }),
    extra: () => ({ onlyBlocker: withheld(d.onlyBlocker, minimum) ? null : d.onlyBlocker })
  }));
  return finish(rows, total, minimum, { vendorId: null, deviceId: null, deviceName: null, driver: null, alternates: [], label: OTHER, onlyBlocker: null });
}

module.exports = {
  lines, verdictCounts, verdicts, requirementCounts, requirements, distributionKinds, combinations, whatIf, distributions, adapters, rejectedDrivers,
  alternateVersions, topBlocker
};
