// Result page addresses as QuilletVidrake writes them: the fixed
// order of keys, no encoding, "&alternates=" only with bit 0x400.
'use strict';

const DEFAULTS = {
  result: '0', mem: '256 MB', card: 'NVIDIA GeForce GTX 470', pslevel: '3.0', dxver: 'DirectX 9.0c installed',
  hdspace: '51234 MB', ram: '2047 MB', osver: '6.1 SP 1.0', driver: '8.21.0013.9135', vendorID: '4318',
  deviceID: '1741', alternates: ''
};
const ORDER = ['result', 'mem', 'card', 'pslevel', 'dxver', 'hdspace', 'ram', 'osver', 'driver', 'vendorID',
  'deviceID', 'alternates'];

// The items of an address: the defaults with `values` over them.
function items(values) {
  return Object.assign({}, DEFAULTS, values || {});
}

// The address the program would write for these items; alternates only when
// the result has bit 0x400 (or `withAlternates` says so).
function address(values, withAlternates) {
  const all = items(values);
  const mask = Number(all.result);
  let text = 'http://systemtest.quillet.example/quillet-systemtest';
  for (const key of ORDER) {
    if (key === 'alternates' && !(withAlternates || (Number.isInteger(mask) && (mask & 0x400)))) continue;
    text += (key === 'result' ? '?' : '&') + key + '=' + all[key];
  }
  return text;
}

// The same address as a browser reports it in location.href (Node's URL
// parser follows the same standard as Chromium: spaces become %20, a "#"
// starts the fragment, "&", "+" and a bare "%" stay).
function asBrowserReports(text) {
  return new URL(text).href;
}

module.exports = { DEFAULTS, ORDER, items, address, asBrowserReports };
