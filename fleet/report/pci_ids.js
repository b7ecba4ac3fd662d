// Vendor and device names from the PCI ID list (Debian's pci.ids package):
// "vvvv  Vendor" lines, each followed by its "\tdddd  Device" lines.
'use strict';
const fs = require('node:fs');

const DEFAULT_PATH = '/usr/share/misc/pci.ids';

function parsePciIds(text) {
  const vendors = new Map(), devices = new Map();
  let vendor = null;
  for (const line of text.split('\n')) {
    if (line === '' || line[0] === '#') continue;
    // The device classes follow the vendors and end them.
    if (line.startsWith('C ')) break;
    let m = /^([0-9a-fA-F]{4})\s+(.*\S)/.exec(line);
    if (m) {
      vendor = parseInt(m[1], 16);
      vendors.set(vendor, m[2]);
      continue;
    }
    m = /^\t([0-9a-fA-F]{4})\s+(.*\S)/.exec(line);
    if (m && vendor !== null) devices.set(vendor * 0x10000 + parseInt(m[1], 16), m[2]);
  }
  return names(vendors, devices);
}

// A PCI id is 16 bits; the program reports ids as signed 32-bit numbers.
function pciId(value) {
  if (value === null || value === undefined) return null;
  const n = Number(value);
  return Number.isInteger(n) && n >= 0 && n <= 0xFFFF ? n : null;
}

function names(vendors, devices) {
  return {
    vendorName: (vendorId) => (pciId(vendorId) === null ? null : vendors.get(pciId(vendorId)) || null),
    deviceName: (vendorId, deviceId) => {
      const v = pciId(vendorId), d = pciId(deviceId);
      return v === null || d === null ? null : devices.get(v * 0x10000 + d) || null;
    },
    vendors, devices
  };
}

// The list at `file`; without it every name is null and `missing` says why.
function loadPciIds(file) {
  try {
    return parsePciIds(fs.readFileSync(file || DEFAULT_PATH, 'utf8'));
  } catch (error) {
    return Object.assign(names(new Map(), new Map()), { missing: (file || DEFAULT_PATH) + ': ' + error.code });
  }
}

module.exports = { parsePciIds, loadPciIds, DEFAULT_PATH };
