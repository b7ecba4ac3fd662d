/* Quillet system test result page. Reads the address that QuilletVidrake
 * opened and shows its verdict. The program does not encode the address
 * itself: it is read by the program's fixed order of keys, never by
 * splitting on "&", and every value is shown as text, never as markup.
 * Plain functions (readAddress, judge) for Node's test runner; in a browser
 * the script starts itself. ES5, so that old browsers run it too. */
(function (root, factory) {
  var api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  if (root && root.document && root.location) {
    root.QuilletResult = api;
    api.startWhenReady(root);
  }
}(typeof window !== 'undefined' ? window : this, function () {
  'use strict';

  // The query keys in the order the program writes them.
  var KEYS = ['result', 'mem', 'card', 'pslevel', 'dxver', 'hdspace', 'ram', 'osver',
    'driver', 'vendorID', 'deviceID', 'alternates'];
  // Values that may hold any character, "&" included; the program writes the
  // others from numbers and fixed texts, never with an "&".
  var FREE_TEXT = { card: 1, alternates: 1 };

  var BIT_NAMES = ['GFX_DIRECTX_MISSING', 'GFX_DEVICE_FAILED', 'GFX_MEMORY_UNDETERMINED',
    'GFX_SHADER_UNDETERMINED', 'GFX_MEMORY_LOW', 'GFX_SHADER_LOW', 'SYS_RAM_LOW', 'SYS_DISK_LOW',
    'SYS_OS_TOO_OLD', 'GFX_MEETS_WITH_FLAGS', 'GFX_DRIVER_REJECTED'];

  var VENDORS = {
    0x1002: 'AMD (ATI)', 0x10DE: 'NVIDIA', 0x8086: 'Intel', 0x102B: 'Matrox', 0x5333: 'S3 Graphics',
    0x1039: 'SiS', 0x1106: 'VIA', 0x121A: '3dfx', 0x18CA: 'XGI', 0x1023: 'Trident',
    0x1013: 'Cirrus Logic', 0x104A: 'STMicroelectronics (PowerVR)', 0x15AD: 'VMware',
    0x80EE: 'VirtualBox', 0x1AB8: 'Parallels', 0x1414: 'Microsoft', 0x1234: 'QEMU'
  };

  // id, name, minimum, the address key of its value, its bit "below" and its
  // bit "undetermined".
  var REQUIREMENTS = [
    ['directx', 'DirectX', 'DirectX 9.0c', 'dxver', 0x001, 0],
    ['device', 'Direct3D device', 'a working Direct3D device', null, 0x002, 0],
    ['memory', 'Video memory', '64 MB', 'mem', 0x010, 0x004],
    ['shader', 'Pixel shader', 'version 2.0', 'pslevel', 0x020, 0x008],
    ['driver', 'Display driver', 'a version the video card list accepts', 'driver', 0x400, 0],
    ['ram', 'Memory (RAM)', '500 MB', 'ram', 0x040, 0],
    ['disk', 'Free disk space', '250 MB on one fixed drive', 'hdspace', 0x080, 0],
    ['windows', 'Windows', 'Windows XP SP2, Server 2003 SP2 or later', 'osver', 0x100, 0]
  ];

  var STATE_WORDS = { meets: 'Meets', below: 'Below minimum', unknown: 'Unknown' };
  var HEADLINES = {
    meets: 'This computer meets the minimum requirements for Quillet.',
    below: 'This computer does not meet the minimum requirements for Quillet.',
    incomplete: 'The test could not check everything.',
    'not-run': 'The graphics check could not run.'
  };
  var MAKER = ' from the graphics card maker\u2019s website';
  // What to do: [when below the minimum, when unknown].
  var ADVICE = {
    directx: ['Install DirectX 9.0c or later from Microsoft\u2019s download page, then run the test again.',
      'The test could not tell which DirectX is installed. Install DirectX 9.0c or later from Microsoft\u2019s download page, then run the test again.'],
    device: ['Direct3D could not start on this graphics card. Install the newest driver' + MAKER + ', restart the computer and run the test again.',
      'The graphics card was not tested. Deal with the findings above, then run the test again.'],
    memory: ['Quillet needs a graphics card with at least 64 MB of its own memory; with less it will be unstable and may lose data.',
      'Look the memory size up: Control Panel, Display, Settings, Advanced, Adapter: \u201cMemory Size\u201d. 64 MB or more is enough.'],
    shader: ['Quillet needs a graphics card with pixel shader 2.0 or higher (a DirectX 9 class card); on this one some materials will not display correctly.',
      'Look up which pixel shader version this graphics card supports: Quillet needs pixel shader 2.0 or higher.'],
    driver: ['This driver version is not supported. Download the newest driver' + MAKER + ', install it and run the test again.',
      'Make sure a driver' + MAKER + ' is installed, then run the test again.'],
    ram: ['Quillet needs at least 500 MB of memory (RAM). Fit more memory or use another computer.',
      'Look the memory up in Control Panel, System: Quillet needs at least 500 MB.'],
    disk: ['Free up space until one fixed drive has at least 250 MB free: empty the Recycle Bin and remove what you no longer need.',
      'Make sure one fixed drive has at least 250 MB free.'],
    windows: ['Quillet needs Windows XP Service Pack 2, Windows Server 2003 Service Pack 2 or a newer Windows. Install the service pack with Windows Update, or upgrade Windows.',
      'Look the Windows version up (Start, Run, \u201cwinver\u201d): Quillet needs Windows XP Service Pack 2, Server 2003 Service Pack 2 or later.']
  };

  function has(items, key) {
    return Object.prototype.hasOwnProperty.call(items, key);
  }

  // --- reading the address --------------------------------------------------

  var ESCAPES = /(?:%[0-9A-Fa-f]{2})+/g;

  // One run of escapes as UTF-8; a byte that starts no valid sequence
  // becomes U+FFFD.
  function decodeRun(run) {
    try {
      return decodeURIComponent(run);
    } catch (e) {
      var out = '';
      for (var at = 0; at < run.length;) {
        var lead = parseInt(run.substr(at + 1, 2), 16);
        var size = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        try {
          out += decodeURIComponent(run.substr(at, size * 3));
          at += size * 3;
        } catch (e2) {
          out += '\uFFFD';
          at += 3;
        }
      }
      return out;
    }
  }

  // Percent escapes become their characters; a "%" that starts no valid
  // escape stays a "%"; "+" stays a plus sign.
  function percentDecode(text) {
    return text.replace(ESCAPES, decodeRun);
  }

  // Every place where a key's marker stands: "key=" at the very start or
  // "&key=" anywhere, in the order of the text.
  function findMarkers(query) {
    var markers = [];
    for (var order = 0; order < KEYS.length; order++) {
      var key = KEYS[order];
      if (query.lastIndexOf(key + '=', 0) === 0) markers.push({ key: key, order: order, start: 0, value: key.length + 1 });
      var pattern = '&' + key + '=';
      for (var at = query.indexOf(pattern); at >= 0; at = query.indexOf(pattern, at + 1)) {
        markers.push({ key: key, order: order, start: at, value: at + pattern.length });
      }
    }
    return markers.sort(function (a, b) { return a.start - b.start || a.order - b.order; });
  }

  // The reading that places the most keys in the program's order; among
  // those, the one with the fewest "&" inside values that the program never
  // writes with one. best[i] is the best chain that starts at marker i.
  function bestChain(query, markers) {
    var count = markers.length, best = [], next = [], first = 0;
    for (var i = count - 1; i >= 0; i--) {
      var m = markers[i];
      var amp = query.indexOf('&', m.value);
      var strict = !FREE_TEXT[m.key] && amp >= 0;
      best[i] = 100 - (strict ? 1 : 0);
      next[i] = -1;
      for (var j = i + 1; j < count; j++) {
        var o = markers[j];
        if (o.start < m.value || o.order <= m.order) continue;
        var score = 100 - (strict && amp < o.start ? 1 : 0) + best[j];
        if (score > best[i]) {
          best[i] = score;
          next[i] = j;
        }
      }
    }
    // Text before the first key counts against a chain like an "&" does.
    for (var k = 1; k < count; k++) if (best[k] - (markers[k].start ? 1 : 0) > best[first] - (markers[first].start ? 1 : 0)) first = k;
    var chain = [];
    for (var c = first; c >= 0; c = next[c]) chain.push(markers[c]);
    return chain;
  }

  function rawValue(query, segment) {
    var raw = query.slice(segment.value, segment.end);
    var amp = FREE_TEXT[segment.key] ? -1 : raw.indexOf('&');
    return amp < 0 ? [raw, ''] : [raw.slice(0, amp), raw.slice(amp)];
  }

  // Reads the items of a result page address, given whole as the browser
  // reports it (location.href) or as the program wrote it. Returns
  // { present, items: {key: text}, found, outOfOrder, unread }.
  function readAddress(href) {
    href = href == null ? '' : String(href);
    var reading = { present: false, items: {}, found: [], outOfOrder: [], unread: [] };
    var q = href.indexOf('?'), h = href.indexOf('#');
    if (q < 0 || (h >= 0 && h < q)) return reading;
    // A "#" in a value sent the rest to the fragment: all that follows the
    // "?" is the query again, the "#" included.
    var query = href.slice(q + 1);
    var markers = findMarkers(query);
    if (!markers.length) {
      if (query) reading.unread.push(percentDecode(query));
      return reading;
    }
    var chain = bestChain(query, markers), segments = [], placed = {};
    if (chain[0].start > 0) segments.push({ key: null, value: 0, end: chain[0].start });
    for (var i = 0; i < chain.length; i++) {
      segments.push({ key: chain[i].key, value: chain[i].value, end: i + 1 < chain.length ? chain[i + 1].start : query.length });
      placed[chain[i].key] = true;
    }

    // A key missing from the chain may stand out of order inside another
    // value; alternates are looked for only when the result rejects the driver.
    var mask = placed.result ? readMask(percentDecode(rawValue(query, segments[segments[0].key ? 0 : 1])[0])) : null;
    var rejected = mask && mask.value !== undefined && (mask.value & 0x400);
    for (var order = 0; order < KEYS.length; order++) {
      var key = KEYS[order], pattern = '&' + key + '=';
      if (placed[key] || (key === 'alternates' && !rejected)) continue;
      for (var s = 0; s < segments.length; s++) {
        var at = query.indexOf(pattern, segments[s].value);
        if (at < 0 || at + pattern.length > segments[s].end) continue;
        segments.splice(s + 1, 0, { key: key, value: at + pattern.length, end: segments[s].end, moved: true });
        segments[s].end = at;
        break;
      }
    }

    reading.present = true;
    for (var t = 0; t < segments.length; t++) {
      var part = rawValue(query, segments[t]);
      if (part[1]) reading.unread.push(percentDecode(part[1]));
      if (!segments[t].key) {
        if (part[0]) reading.unread.push(percentDecode(part[0]));
        continue;
      }
      reading.items[segments[t].key] = percentDecode(part[0]);
      if (segments[t].moved) reading.outOfOrder.push(segments[t].key);
    }
    for (var f = 0; f < KEYS.length; f++) if (has(reading.items, KEYS[f])) reading.found.push(KEYS[f]);
    return reading;
  }

  // --- the values -------------------------------------------------------------

  function readMask(text) {
    if (text == null) return { state: 'missing', text: '' };
    var trimmed = String(text).replace(/^\s+|\s+$/g, '');
    var value = Number(trimmed);
    if (!/^-?[0-9]{1,10}$/.test(trimmed) || value < -2147483648 || value > 2147483647) return { state: 'invalid', text: String(text) };
    return { state: 'ok', text: String(text), value: value };
  }

  function match(pattern, text) {
    var found = pattern.exec(text || '');
    return found ? found.slice(1).map(function (part) { return part === undefined ? '' : part; }) : null;
  }

  function megabytes(text) {
    var m = match(/^\s*(-?[0-9]{1,10}) ?MB\s*$/, text);
    return m ? Number(m[0]) : null;
  }

  function osVersion(text) {
    var m = match(/^\s*([0-9]{1,5})\.([0-9]{1,5}) SP ([0-9]{1,5})\.([0-9]{1,5})\s*$/, text);
    return m ? { major: +m[0], minor: +m[1], spMajor: +m[2], spMinor: +m[3] } : null;
  }

  // The id as people look it up (4318 is 0x10DE); a negative number is the
  // program's signed view of 32 bits.
  function hexId(value) {
    var hex = (value >>> 0).toString(16).toUpperCase();
    while (hex.length < 4) hex = '0' + hex;
    return '0x' + hex;
  }

  function vendorName(value) {
    return VENDORS[value >>> 0] || '';
  }

  // The version as Windows names it, never claiming more than the number says:
  // Windows reports 6.2 to programs that do not declare newer versions.
  var WINDOWS = {
    '4.0': 'Windows NT 4.0 or Windows 95', '4.10': 'Windows 98', '4.90': 'Windows Me', '5.0': 'Windows 2000',
    '5.1': 'Windows XP', '5.2': 'Windows Server 2003 or Windows XP x64', '6.0': 'Windows Vista or Server 2008',
    '6.1': 'Windows 7 or Server 2008 R2', '6.2': 'Windows 8 or later', '6.3': 'Windows 8.1 or later',
    '10.0': 'Windows 10 or later'
  };

  function windowsName(major, minor) {
    return WINDOWS[major + '.' + minor] || 'Windows version ' + major + '.' + minor;
  }

  function describeWindows(os) {
    return windowsName(os.major, os.minor) +
      (os.spMajor > 0 ? ' Service Pack ' + os.spMajor + (os.spMinor > 0 ? '.' + os.spMinor : '') : '') +
      ' (version ' + os.major + '.' + os.minor + ', service pack ' + os.spMajor + '.' + os.spMinor + ')';
  }

  // What a value alone says about its requirement: meets, below or unknown.
  function valueState(id, items) {
    var v, m;
    if (id === 'directx') {
      if (/^\s*DirectX not installed\s*$/.test(items.dxver || '')) return 'below';
      m = match(/^\s*DirectX ([0-9]{1,5})\.([0-9]{1,5})(\S?) installed\s*$/, items.dxver);
      if (!m) return 'unknown';
      return +m[0] < 9 || (+m[0] === 9 && +m[1] === 0 && /^[abAB]$/.test(m[2])) ? 'below' : 'meets';
    }
    if (id === 'shader') {
      m = match(/^\s*([0-9]{1,5})(?:\.[0-9]{1,5})?\s*$/, items.pslevel);
      return !m ? 'unknown' : +m[0] >= 2 ? 'meets' : 'below';
    }
    if (id === 'windows') {
      v = osVersion(items.osver);
      return !v ? 'unknown' : v.major < 5 || (v.major === 5 && (v.minor === 0 || v.spMajor < 2)) ? 'below' : 'meets';
    }
    var limits = { memory: ['mem', 64], ram: ['ram', 500], disk: ['hdspace', 250] }[id];
    v = limits ? megabytes(items[limits[0]]) : null;
    // 0 MB of video memory is no measurement (the program reports it as neither).
    if (v === null || (id === 'memory' && v <= 0)) return 'unknown';
    return v >= limits[1] ? 'meets' : 'below';
  }

  function shown(items, key) {
    return !has(items, key) ? 'not in the address' : items[key] === '' ? 'not reported' : items[key];
  }

  function bitHex(bit) {
    return '0x' + ('00' + bit.toString(16)).slice(-3);
  }

  function judgeRow(requirement, items, context) {
    var id = requirement[0], key = requirement[3], below = requirement[4], undetermined = requirement[5];
    var mask = context.mask, bits = mask !== null && !context.notRun, stopped = bits && (mask & 3);
    var state, reason = '', found = key ? shown(items, key) : '';
    if (bits && (mask & below)) {
      state = 'below';
      reason = 'the test found it below the minimum (bit ' + bitHex(below) + ')';
    } else if (bits && (mask & undetermined)) {
      state = 'unknown';
      reason = 'the test could not determine it (bit ' + bitHex(undetermined) + ')';
    } else if (context.notRun && id !== 'directx' && id !== 'ram' && id !== 'disk' && id !== 'windows') {
      state = 'unknown';
      reason = 'the graphics check could not run';
    } else if (id === 'device' || id === 'driver') {
      // Only the test can judge these; the address holds its word on them.
      stopped = id === 'device' ? bits && (mask & 1) : stopped;
      state = bits && !stopped && (id === 'device' || items.driver) ? 'meets' : 'unknown';
      reason = mask === null ? 'the result could not be read'
        : stopped ? 'the check stopped before it got this far' : state === 'unknown' ? 'the address does not name it' : '';
    } else {
      state = valueState(id, items);
      if (state === 'unknown') reason = stopped && id !== 'directx' ? 'the check stopped before it got this far' : 'the address gives no value that can be judged';
    }
    if (id === 'device') {
      found = context.notRun ? 'not tested' : mask === null ? 'not known' : mask & 2 ? 'no device could be created'
        : mask & 1 ? 'not tried: Direct3D is missing' : 'created';
    } else if (id === 'shader' && items.pslevel === '?') {
      found = '? (could not be determined)';
    } else if (id === 'windows' && osVersion(items.osver)) {
      found = describeWindows(osVersion(items.osver));
    }
    var advice = null;
    if (state !== 'meets') {
      advice = { text: ADVICE[id][state === 'below' ? 0 : 1], list: null, link: null };
      if (id === 'driver' && state === 'below' && context.alternates.length) {
        advice.text = 'This driver version is not supported. Install one of these versions, which the test accepts for this card,' + MAKER + ':';
        advice.list = context.alternates;
      }
      if (id === 'directx' && context.directXDownload) advice.link = { href: context.directXDownload, text: 'DirectX download page' };
    }
    return { requirement: id, name: requirement[1], minimum: requirement[2], found: found, state: state,
      stateText: STATE_WORDS[state], reason: reason, advice: advice };
  }

  function idReport(text, vendor) {
    if (text === undefined) return { text: 'not in the address', hex: '', name: '' };
    var value = /^\s*-?[0-9]{1,10}\s*$/.test(text) ? Number(text) : NaN;
    if (!(value >= -2147483648 && value <= 4294967295)) return { text: text === '' ? 'not reported' : text, hex: '', name: '' };
    return { text: text, hex: hexId(value), name: vendor ? vendorName(value) : '' };
  }

  function names(rows) {
    return rows.map(function (r) { return r.name; }).join(', ');
  }

  // Judges a reading: the verdict, one row per requirement, the adapter, notes
  // on what could not be read, and the plain-text summary.
  // options: { directXDownload: the DirectX download page }.
  function judge(reading, options) {
    if (!reading || !reading.present) return { view: 'intro', verdict: null };
    var items = reading.items;
    var mask = readMask(has(items, 'result') ? items.result : null);
    var value = mask.state === 'ok' ? mask.value : null;
    var context = {
      mask: value, notRun: value === -1, directXDownload: (options && options.directXDownload) || '',
      alternates: (items.alternates || '').split(',').map(function (v) { return v.replace(/^\s+|\s+$/g, ''); })
        .filter(function (v) { return v; })
    };
    var rows = REQUIREMENTS.map(function (r) { return judgeRow(r, items, context); });

    var notes = [];
    if (mask.state !== 'ok') {
      notes.push((mask.state === 'missing' ? 'The address has no result'
        : 'The result \u201c' + mask.text + '\u201d is not a number') + ': the requirements are judged from the measured values alone.');
    } else if (value === -1) {
      notes.push('The result is -1: neither graphics check library (VidrakeDx9.dll, VidrakeDx8.dll) could be loaded, so the graphics card was not tested.');
    } else {
      if (value & 0x200) {
        notes.push(value === 0x200 ? 'Bit 0x200 came alone, which the test never sends; it is ignored.'
          : 'Bit 0x200: the graphics check found nothing of its own beyond the other findings; the requirements are judged by the other bits.');
      }
      if (value & ~0x7FF) notes.push('The result has bits this page does not know (' + hexId(value & ~0x7FF) + '); they are ignored.');
    }
    var expected = KEYS.filter(function (k) { return k !== 'alternates' || (value & 0x400); });
    var missing = expected.filter(function (k) { return !has(items, k); });
    if (missing.length) notes.push('Not in the address: ' + missing.join(', ') + '. The address may have been cut short.');
    if (reading.outOfOrder.length) notes.push('Found out of the test\u2019s order: ' + reading.outOfOrder.join(', ') + '.');
    for (var u = 0; u < reading.unread.length; u++) notes.push('Could not be read: \u201c' + reading.unread[u] + '\u201d');

    var below = rows.filter(function (r) { return r.state === 'below'; });
    var unknown = rows.filter(function (r) { return r.state === 'unknown'; });
    var verdict = context.notRun ? 'not-run' : below.length ? 'below'
      : unknown.length || value === null || (value & ~0x7FF) ? 'incomplete' : 'meets';
    var explanation = {
      meets: 'Every requirement that the test checks is met.',
      below: (below.length === 1 ? 'One requirement is' : below.length + ' requirements are') + ' not met: ' + names(below) + '. What to do is shown with each.',
      incomplete: 'Nothing that was checked falls short, but ' + (unknown.length ? names(unknown) + (unknown.length === 1 ? ' is' : ' are') + ' unknown.'
        : value === null ? 'the result could not be read.' : 'the result has bits this page does not know.'),
      'not-run': 'Neither graphics check library (VidrakeDx9.dll or VidrakeDx8.dll) could be loaded. Keep all the files of the test together in one folder (download the test again if one is missing) and run QuilletVidrake.exe again.'
    }[verdict];

    var bits = [];
    for (var b = 0; value !== null && b < BIT_NAMES.length; b++) if (value & (1 << b)) bits.push(BIT_NAMES[b] + ' ' + bitHex(1 << b));
    var result = {
      view: 'result', verdict: verdict, headline: HEADLINES[verdict], explanation: explanation,
      mask: { state: mask.state, text: mask.text, value: value, bits: bits }, rows: rows,
      adapter: { card: shown(items, 'card'), vendor: idReport(items.vendorID, true), device: idReport(items.deviceID, false) },
      notes: notes,
      items: KEYS.filter(function (k) { return has(items, k) || expected.indexOf(k) >= 0; })
        .map(function (k) { return { key: k, value: has(items, k) ? items[k] : null }; })
    };
    result.summary = summaryText(result);
    return result;
  }

  function idText(report) {
    return report.text + (report.hex ? ' = ' + report.hex : '') + (report.name ? ' (' + report.name + ')' : '');
  }

  function summaryText(result) {
    var mask = result.mask, a = result.adapter;
    var lines = ['Quillet system test result', 'Verdict: ' + result.verdict + ' - ' + result.headline,
      'Result: ' + (mask.state === 'ok' ? mask.value + ' (' + (mask.bits.join(', ') || 'no findings') + ')'
        : mask.state === 'missing' ? 'not in the address' : 'not a number: ' + mask.text), 'Requirements:'];
    result.rows.forEach(function (row) {
      lines.push('  ' + row.name + ': ' + row.stateText.toLowerCase() + ' - found ' + row.found + ' (minimum ' + row.minimum + ')');
    });
    lines.push('Adapter: ' + a.card, '  vendor: ' + idText(a.vendor), '  device: ' + idText(a.device));
    if (result.notes.length) lines.push('Notes:');
    result.notes.forEach(function (n) { lines.push('  ' + n); });
    lines.push('Address items:');
    result.items.forEach(function (item) {
      lines.push('  ' + item.key + '=' + (item.value === null ? '  (not in the address)' : item.value));
    });
    return lines.join('\n');
  }

  // --- the page ---------------------------------------------------------------

  // Elements built from text nodes only: no value of the address ever becomes
  // markup.
  function el(doc, tag, attributes, children) {
    var node = doc.createElement(tag);
    for (var name in attributes) if (has(attributes, name)) node.setAttribute(name, attributes[name]);
    for (var i = 0; children && i < children.length; i++) {
      if (children[i] == null) continue;
      node.appendChild(typeof children[i] === 'string' ? doc.createTextNode(children[i]) : children[i]);
    }
    return node;
  }

  var STATE_MARKS = { meets: '\u2713 ', below: '\u2717 ', unknown: '? ' };

  function render(doc, result) {
    var body = doc.body, section = doc.getElementById('result'), intro = doc.getElementById('intro');
    body.setAttribute('data-view', result.view);
    if (result.view !== 'result') {
      body.removeAttribute('data-verdict');
      return;
    }
    body.setAttribute('data-verdict', result.verdict);
    doc.title = 'Quillet system test: ' + result.headline;
    if (intro) intro.parentNode.removeChild(intro);
    var add = function (node) { section.appendChild(node); return node; };
    var heading = function (text) { add(el(doc, 'h2', null, [text])); };

    add(el(doc, 'div', { id: 'verdict', 'class': 'verdict verdict-' + result.verdict, role: 'status' }, [
      el(doc, 'h2', null, [result.headline]), el(doc, 'p', null, [result.explanation])]));

    heading('Requirements');
    var header = el(doc, 'tr', null, ['Requirement', 'Found on this computer', 'Minimum', 'State and what to do']
      .map(function (t) { return el(doc, 'th', { scope: 'col' }, [t]); }));
    add(el(doc, 'table', { 'class': 'requirements' }, [el(doc, 'thead', null, [header]),
      el(doc, 'tbody', null, result.rows.map(function (row) {
        var advice = row.advice && el(doc, 'div', { 'class': 'advice' }, [
          el(doc, 'p', null, [row.advice.text]),
          row.advice.list && el(doc, 'ul', null, row.advice.list.map(function (v) { return el(doc, 'li', null, [v]); })),
          row.advice.link && el(doc, 'p', null, [el(doc, 'a', { href: row.advice.link.href, rel: 'noreferrer' }, [row.advice.link.text])])]);
        return el(doc, 'tr', { 'data-requirement': row.requirement, 'data-state': row.state, 'class': 'state-' + row.state }, [
          el(doc, 'th', { scope: 'row' }, [row.name]),
          el(doc, 'td', { 'class': 'found' }, [el(doc, 'span', { 'class': 'value' }, [row.found])]),
          el(doc, 'td', { 'class': 'minimum' }, [row.minimum]),
          el(doc, 'td', { 'class': 'state' }, [el(doc, 'span', { 'class': 'badge' }, [STATE_MARKS[row.state] + row.stateText]),
            row.reason && el(doc, 'span', { 'class': 'reason' }, [row.reason]), advice])]);
      }))]));

    var a = result.adapter;
    var id = function (report) {
      return [el(doc, 'span', { 'class': 'value' }, [report.hex || report.text]),
        report.hex ? ' (' + report.text + ')' : '', report.name ? ' \u2013 ' + report.name : ''];
    };
    heading('Graphics adapter');
    add(el(doc, 'dl', { 'class': 'adapter' }, [
      el(doc, 'dt', null, ['Name']), el(doc, 'dd', { 'data-adapter': 'card' }, [el(doc, 'span', { 'class': 'value' }, [a.card])]),
      el(doc, 'dt', null, ['Vendor id']), el(doc, 'dd', { 'data-adapter': 'vendor' }, id(a.vendor)),
      el(doc, 'dt', null, ['Device id']), el(doc, 'dd', { 'data-adapter': 'device' }, id(a.device))]));

    if (result.notes.length) {
      heading('About this address');
      add(el(doc, 'ul', { 'class': 'notes' }, result.notes.map(function (n) { return el(doc, 'li', null, [n]); })));
    }

    heading('For support');
    add(el(doc, 'p', null, ['Every item of the result as text, to paste into a message to support:']));
    var summary = add(el(doc, 'textarea', { id: 'summary', readonly: 'readonly', rows: '12', spellcheck: 'false', 'aria-label': 'Summary' }, [result.summary]));
    var status = el(doc, 'span', { id: 'copy-status', role: 'status' });
    var button = el(doc, 'button', { type: 'button', id: 'copy' }, ['Copy the summary']);
    button.onclick = function () { copySummary(doc, summary, status); };
    add(el(doc, 'p', null, [button, ' ', status]));

    heading('Items of the address');
    var list = add(el(doc, 'dl', { 'class': 'items' }));
    result.items.forEach(function (item) {
      list.appendChild(el(doc, 'dt', null, [item.key]));
      list.appendChild(item.value === null ? el(doc, 'dd', { 'data-missing': item.key }, ['not in the address'])
        : el(doc, 'dd', { 'data-key': item.key }, [item.value]));
    });
    section.removeAttribute('hidden');
  }

  function copySummary(doc, summary, status) {
    var done = function (ok) { status.textContent = ok ? 'Copied.' : 'Select the text above and copy it (Ctrl+C).'; };
    var clipboard = doc.defaultView && doc.defaultView.isSecureContext && doc.defaultView.navigator.clipboard;
    if (clipboard) {
      clipboard.writeText(summary.value).then(function () { done(true); }, function () { done(false); });
      return;
    }
    summary.focus();
    summary.select();
    try {
      done(doc.execCommand('copy'));
    } catch (e) {
      done(false);
    }
  }

  function start(win) {
    var doc = win.document, perf = win.performance;
    var now = perf && perf.now ? function () { return perf.now(); } : function () { return +new Date(); };
    var began = now();
    // The DirectX download page, written into the page by the build from the
    // libraries' own setting; only an http(s) address is linked.
    var download = doc.body.getAttribute('data-directx-download') || '';
    var result = judge(readAddress(win.location.href), { directXDownload: /^https?:\/\//i.test(download) ? download : '' });
    render(doc, result);
    doc.body.setAttribute('data-render-ms', (now() - began).toFixed(2));
    return result;
  }

  function startWhenReady(win) {
    if (win.document.readyState === 'loading') {
      win.document.addEventListener('DOMContentLoaded', function () { start(win); });
    } else {
      start(win);
    }
  }

  return {
    KEYS: KEYS, percentDecode: percentDecode, readAddress: readAddress, readMask: readMask,
    windowsName: windowsName, hexId: hexId, vendorName: vendorName, judge: judge, render: render,
    start: start, startWhenReady: startWhenReady
  };
}));
