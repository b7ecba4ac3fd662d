// The machines of a simulated user base: what the program would measure on
// each and the address it would open. Distributions of a product whose users
// run Windows XP to 7 on cards of that era; adapters from the PCI ID list.
'use strict';
const page = require('../../resultpage/result.js');

// A small fast generator of numbers in [0, 1) from a 32-bit seed (mulberry32).
function random(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6D2B79F5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// A seed from several numbers, for a generator of its own per machine.
function mix(...parts) {
  let h = 0x811C9DC5;
  for (const p of parts) h = Math.imul(h ^ (p >>> 0), 0x01000193) ^ (h >>> 13);
  return h >>> 0;
}

// One of `choices` ([weight, value]...) by weight.
function pick(rnd, choices) {
  let total = 0;
  for (const c of choices) total += c[0];
  let at = rnd() * total;
  for (const c of choices) if ((at -= c[0]) < 0) return c[1];
  return choices[choices.length - 1][1];
}

const VENDORS = [[46, 0x10DE], [30, 0x1002], [19, 0x8086], [2, 0x5333], [1.5, 0x1039], [1, 0x1106], [0.5, 0x102B]];
const MAKERS = { 0x10DE: 'NVIDIA', 0x1002: 'ATI', 0x8086: 'Intel(R)', 0x5333: 'S3 Graphics', 0x1039: 'SiS', 0x1106: 'VIA', 0x102B: 'Matrox' };
const GRAPHICS = /GeForce|Quadro|Radeon|FireGL|FirePro|Mobility|Graphics|GMA|Chrome|Savage|UniChrome|Mirage|Millennium|Parhelia|Xabre|Express Chipset/;

// The display adapters of each vendor in the PCI ID list, popular first:
// [{ vendorId, deviceId, name }], weights falling with the rank.
function adaptersFromPciIds(pci, seed) {
  const byVendor = new Map();
  for (const [key, name] of pci.devices) {
    const vendorId = Math.floor(key / 0x10000), deviceId = key % 0x10000;
    if (!(vendorId in MAKERS) || !GRAPHICS.test(name)) continue;
    if (!byVendor.has(vendorId)) byVendor.set(vendorId, []);
    byVendor.get(vendorId).push({ vendorId, deviceId, name: cardName(vendorId, name) });
  }
  // A fixed shuffle by the seed decides which adapters are popular.
  for (const list of byVendor.values()) {
    const rnd = random(mix(seed, list[0].vendorId));
    for (let i = list.length - 1; i > 0; i--) {
      const j = Math.floor(rnd() * (i + 1));
      [list[i], list[j]] = [list[j], list[i]];
    }
    list.splice(60);
  }
  return byVendor;
}

// "NV43 [GeForce 6600 GT]" as a driver names it: "NVIDIA GeForce 6600 GT".
function cardName(vendorId, pciName) {
  const bracket = /\[([^\]]+)\]/.exec(pciName);
  const name = (bracket ? bracket[1] : pciName).split('/')[0].trim();
  return name.startsWith(MAKERS[vendorId].replace('(R)', '')) ? name : MAKERS[vendorId] + ' ' + name;
}

const MEMORY = [[3, '16 MB'], [4, '29 MB'], [6, '32 MB'], [10, '64 MB'], [22, '128 MB'], [27, '256 MB'], [18, '512 MB'],
  [7, '1024 MB'], [2, '2048 MB'], [1, '']];
const SHADER = { old: [[50, '1.1'], [50, '1.4']], mid: [[70, '2.0'], [30, '3.0']], new: [[15, '2.0'], [85, '3.0']] };
const DIRECTX = [[90, 'DirectX 9.0c installed'], [3, 'DirectX 9.0b installed'], [2, 'DirectX 8.1 installed'], [0.5, 'DirectX not installed'],
  [4.5, 'DirectX 11.0 installed']];
const WINDOWS = [[40, '5.1 SP 3.0'], [18, '5.1 SP 2.0'], [4, '5.1 SP 1.0'], [1, '5.1 SP 0.0'], [4, '5.0 SP 4.0'], [1, '4.10 SP 0.0'],
  [8, '6.0 SP 2.0'], [18, '6.1 SP 1.0'], [3, '6.2 SP 0.0'], [2, '5.2 SP 2.0'], [1, '6.2 SP 0.0']];
const RAM = [[4, '255 MB'], [6, '511 MB'], [12, '767 MB'], [30, '1023 MB'], [30, '2047 MB'], [12, '3071 MB'], [6, '3327 MB']];
const BROWSERS_OLD = ['Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)', 'Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)',
  'Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)'];
const BROWSERS_NEW = ['Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/109.0.0.0 Safari/537.36',
  'Mozilla/5.0 (Windows NT 6.1; rv:115.0) Gecko/20100101 Firefox/115.0', 'Mozilla/5.0 (Windows NT 5.1; rv:52.0) Gecko/20100101 Firefox/52.0',
  'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36 Edg/120.0.0.0'];
// Names from localized drivers and odd ones: non-ASCII text, and a "#"
// that cuts the address short in every browser.
const ODD_NAMES = ['Contr\u00f4leur vid\u00e9o VGA standard', 'Standard-VGA-Grafikkarte (Ger\u00e4t)', 'Radeon\u00ae X1300 \u2013 Pro',
  'Mobile Intel(R) 945 Express Chipset Family #2', 'RADEON 9600 SERIES #1 Secondary'];


function number(mb) {
  return parseInt(mb, 10);
}

function driverVersion(rnd, vendorId, os) {
  const major = os.startsWith('5.') ? '6.14' : os.startsWith('6.0') ? '7.15' : '8.17';
  const build = vendorId === 0x10DE ? 11 + Math.floor(rnd() * 3) : 10;
  return `${major}.00${build}.${String(6000 + Math.floor(rnd() * 40) * 37).padStart(4, '0')}`;
}

// The machine with index `index`: its network side (client, agent, old
// browser or not) and the values the program would report on it.
function machine(seed, index, adapters) {
  const rnd = random(mix(seed, index, 0x5EED));
  const vendorId = pick(rnd, VENDORS);
  const list = adapters.get(vendorId) || [...adapters.values()][0];
  // Popularity falls with the rank (a Zipf-like draw).
  const adapter = list[Math.min(list.length - 1, Math.floor(list.length * Math.pow(rnd(), 2.2)))];
  const os = pick(rnd, WINDOWS);
  const old = os.startsWith('5.') && rnd() < 0.45;
  const card = rnd() < 0.03 ? ODD_NAMES[Math.floor(rnd() * ODD_NAMES.length)] : adapter.name;
  const memory = vendorId === 0x8086 && rnd() < 0.6 ? pick(rnd, MEMORY.slice(0, 5)) : pick(rnd, MEMORY);
  const era = number(memory) >= 256 ? 'new' : number(memory) >= 64 || memory === '' ? 'mid' : 'old';
  const values = {
    mem: memory, card, pslevel: rnd() < 0.01 ? '?' : pick(rnd, SHADER[era]), dxver: pick(rnd, DIRECTX),
    hdspace: `${rnd() < 0.03 ? 10 + Math.floor(rnd() * 240) : Math.round(Math.exp(6.5 + rnd() * 5.5))} MB`, ram: pick(rnd, RAM), osver: os,
    driver: driverVersion(rnd, vendorId, os), vendorID: String(vendorId), deviceID: String(adapter.deviceId), alternates: ''
  };
  const rejected = rnd() < 0.05;
  const mask = rnd() < 0.005 ? -1 : maskOf(values, rejected);
  if (mask === -1) Object.assign(values, { mem: '', card: '', pslevel: '', driver: '', vendorID: '0', deviceID: '0' });
  else if (mask & 0x001) Object.assign(values, { mem: '', card: '', pslevel: '', driver: '', vendorID: '0', deviceID: '0' });
  if (mask !== -1 && (mask & 0x400)) values.alternates = `${values.driver.slice(0, -4)}${String(7000 + Math.floor(rnd() * 9) * 101)}, ${values.driver.slice(0, -4)}8185`;
  values.result = String(mask);
  const octets = [mix(seed, index, 1) % 223 + 1, mix(seed, index, 2) % 256, mix(seed, index, 3) % 256, mix(seed, index, 4) % 254 + 1];
  return {
    index, values, old, client: octets.join('.'),
    agent: (old ? BROWSERS_OLD : BROWSERS_NEW)[Math.floor(rnd() * 3)] + (rnd() < 0.5 ? '' : ' .NET CLR 2.0.50727'),
    repeats: rnd() < 0.25 ? 1 + Math.floor(rnd() * 4) : 0
  };
}

// The bits the program would set for these values.
function maskOf(v, driverRejected) {
  if (!/^DirectX (9\.0c|1\d)/.test(v.dxver)) return 0x001 | lowSystemBits(v);
  let mask = lowSystemBits(v);
  if (v.mem === '') mask |= 0x004;
  else if (number(v.mem) < 64) mask |= 0x010;
  if (v.pslevel === '?') mask |= 0x008;
  else if (Number(v.pslevel) < 2) mask |= 0x020;
  if (driverRejected) mask |= 0x400;
  return mask;
}

function lowSystemBits(v) {
  const [major, minor, sp] = v.osver.split(/[. ]|SP /).filter((s) => s !== '').map(Number);
  return (number(v.ram) < 500 ? 0x040 : 0) | (number(v.hdspace) < 250 ? 0x080 : 0) |
    (major < 5 || (major === 5 && (minor === 0 || sp < 2)) ? 0x100 : 0);
}

// The address the program opens: its keys in order, no encoding,
// alternates only with bit 0x400.
function programAddress(host, values) {
  let text = `http://${host}/quillet-systemtest`;
  const mask = Number(values.result);
  for (const key of page.KEYS) {
    if (key === 'alternates' && !(mask & 0x400)) continue;
    text += (key === 'result' ? '?' : '&') + key + '=' + values[key];
  }
  return text;
}

module.exports = { random, mix, pick, adaptersFromPciIds, cardName, machine, maskOf, programAddress };
