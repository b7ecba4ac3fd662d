/* Quillet system test result page. Reads the address that QuilletVidrake
 * opened and shows its verdict. The program does not encode the address
 * itself: it is read by the program's fixed order of keys, never by
 * splitting on "&", and every value is shown as text, never as markup.
 * Plain functions (readAddress, judge) for Node's test runner and tools; in
 * a browser the script starts itself. ECMAScript 3 and no newer library, so
 * that Internet Explorer 6 to 8 run it too. */
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
  var KEY_ORDER = {};
  for (var k = 0; k < KEYS.length; k++) KEY_ORDER[KEYS[k]] = k;
  // The program hands the address to the browser on a command line, and
  // Windows passes at most 32,767 characters of one.
  var LONGEST_ADDRESS = 32767;
  // At most this many markers fit in such an address ("&ram=" is the
  // shortest).
  var MARKER_LIMIT = Math.ceil(LONGEST_ADDRESS / 5);
  // Values that may hold any character, "&" included; the program writes the
  // others from numbers and fixed texts, never with an "&".
  var FREE_TEXT = { card: 1, alternates: 1 };

  // The bits of the result as common/check_gfx.h declares them (a test of
  // the docs holds the two lists and docs/result-bits.md together).
  var BITS = [
    ['GFX_DIRECTX_MISSING', 0x001],
    ['GFX_DEVICE_FAILED', 0x002],
    ['GFX_MEMORY_UNDETERMINED', 0x004],
    ['GFX_SHADER_UNDETERMINED', 0x008],
    ['GFX_MEMORY_LOW', 0x010],
    ['GFX_SHADER_LOW', 0x020],
    ['SYS_RAM_LOW', 0x040],
    ['SYS_DISK_LOW', 0x080],
    ['SYS_OS_TOO_OLD', 0x100],
    ['GFX_MEETS_WITH_FLAGS', 0x200],
    ['GFX_DRIVER_REJECTED', 0x400]
  ];

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

  var REQUIREMENT_IDS = [];
  for (var q = 0; q < REQUIREMENTS.length; q++) REQUIREMENT_IDS.push(REQUIREMENTS[q][0]);

  // A requirement's states, and the verdicts by the name a record of them
  // takes in a reader's output.
  var STATES = { meets: 'meets', below: 'below', unknown: 'unknown' };
  var VERDICTS = { meets: 'meets', below: 'below', incomplete: 'incomplete', notRun: 'not-run' };

  var STATE_WORDS = { meets: 'Meets', below: 'Below minimum', unknown: 'Unknown' };
  var STATE_WORDS_IN_TEXT = { meets: 'meets', below: 'below minimum', unknown: 'unknown' };
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

  // Whether a reading holds an item: its values are always text.
  function holds(items, key) {
    return typeof items[key] === 'string';
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
    if (text.indexOf('%') < 0) return text;
    try {
      return decodeURIComponent(text);
    } catch (e) {
      return text.replace(ESCAPES, decodeRun);
    }
  }

  // Every place where a key's marker stands: "key=" at the very start or
  // "&key=" anywhere, in the order of the text, as parallel lists (start of
  // the marker, start of its value, the key's order). Past MARKER_LIMIT, more
  // than the program can write, markers are left as text: the reading's
  // work stays bounded however a link was made.
  var MARKER = new RegExp('(^|&)(' + KEYS.join('|') + ')=', 'g');

  function findMarkers(query) {
    var markers = { start: [], value: [], order: [], key: [], count: 0 }, found;
    MARKER.lastIndex = 0;
    while (markers.count < MARKER_LIMIT && (found = MARKER.exec(query))) {
      markers.start.push(found.index);
      markers.value.push(MARKER.lastIndex);
      markers.key.push(found[2]);
      markers.order.push(KEY_ORDER[found[2]]);
      markers.count++;
    }
    return markers;
  }

  // The reading that places the most keys in the program's order; among
  // those, the one with the fewest "&" inside values that the program never
  // writes with one; among those, the one whose keys come first. best[i] is
  // the best chain that starts at marker i. Markers are taken from the last
  // to the first, keeping for each key the best chain that starts with it
  // further on, so the work grows with the number of markers times the
  // number of keys, never with its square.
  function bestChain(query, markers) {
    var count = markers.count, start = markers.start, order = markers.order, key = markers.key;
    var best = [], next = [], ahead = [], first = 0;
    for (var i = count - 1; i >= 0; i--) {
      var amp = query.indexOf('&', markers.value[i]);
      var strict = !FREE_TEXT[key[i]] && amp >= 0, base = strict ? 99 : 100;
      best[i] = base;
      next[i] = -1;
      // The marker right at the next "&" ends the value without an "&" in it.
      if (i + 1 < count && start[i + 1] === amp && order[i + 1] > order[i]) {
        best[i] = 100 + best[i + 1];
        next[i] = i + 1;
        // Every marker from here on follows the one before it: no other
        // chain from here can place more.
        if (best[i] === 100 * (count - i)) {
          if (ahead[order[i]] === undefined || best[i] >= best[ahead[order[i]]]) ahead[order[i]] = i;
          continue;
        }
      }
      for (var o = order[i] + 1; o < KEYS.length; o++) {
        var j = ahead[o];
        if (j === undefined) continue;
        var score = base + best[j];
        if (score > best[i] || (score === best[i] && j < next[i])) {
          best[i] = score;
          next[i] = j;
        }
      }
      if (ahead[order[i]] === undefined || best[i] >= best[ahead[order[i]]]) ahead[order[i]] = i;
    }
    // Text before the first key counts against a chain like an "&" does.
    for (var k = 1; k < count; k++) if (best[k] - (start[k] ? 1 : 0) > best[first] - (start[first] ? 1 : 0)) first = k;
    var chain = [];
    for (var c = first; c >= 0; c = next[c]) chain.push({ key: key[c], order: order[c], start: start[c], value: markers.value[c] });
    // An address that follows the program's order up to the card and then
    // lacks the key written right after it was cut inside the card: what
    // follows is the card's own text, whatever keys it seems to hold.
    for (var f = 0; f < chain.length - 1; f++) {
      if (chain[f].order !== f || (f === 0 && chain[0].start)) break;
      if (FREE_TEXT[chain[f].key] && chain[f + 1].order !== f + 1) {
        chain.length = f + 1;
        break;
      }
    }
    return chain;
  }

  function rawValue(query, segment) {
    var raw = query.slice(segment.value, segment.end);
    var amp = FREE_TEXT[segment.key] ? -1 : raw.indexOf('&');
    return amp < 0 ? [raw, ''] : [raw.slice(0, amp), raw.slice(amp)];
  }

  // Where a key missing from the chain stands out of order, inside another
  // value: the first segment that holds its marker whole. A key the address
  // may have lost by being cut short (one after the last key read) is never
  // taken out of a free-text value. One forward scan of the address per key.
  function findOutOfOrder(query, segments, key, afterLast) {
    var pattern = '&' + key + '=', at = -1;
    for (var s = 0; s < segments.length; s++) {
      var segment = segments[s];
      if (afterLast && FREE_TEXT[segment.key]) continue;
      if (at < segment.value) at = query.indexOf(pattern, segment.value);
      if (at < 0) return null;
      if (at + pattern.length <= segment.end) return { segment: s, start: at, value: at + pattern.length };
    }
    return null;
  }

  // Reads the items of a result page address, given whole as the browser
  // reports it (location.href) or as the program wrote it. Returns
  // { present, items: {key: text}, found, outOfOrder, unread, length, tooLong }
  // (length: of the address as given; tooLong: longer than the program can
  // write)
  // (docs/result-page.md).
  function readAddress(href) {
    href = href == null ? '' : String(href);
    var reading = { present: false, items: {}, found: [], outOfOrder: [], unread: [], length: href.length, tooLong: false };
    var q = href.indexOf('?'), h = href.indexOf('#');
    if (q < 0 || (h >= 0 && h < q)) return reading;
    // A "#" in a value sent the rest to the fragment: all that follows the
    // "?" is the query again, the "#" included.
    var query = href.slice(q + 1);
    var markers = findMarkers(query);
    if (!markers.count) {
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
    var last = chain[chain.length - 1].order;
    for (var order = 0; order < KEYS.length; order++) {
      var key = KEYS[order];
      if (placed[key] || (key === 'alternates' && !rejected)) continue;
      var found = findOutOfOrder(query, segments, key, order > last);
      if (!found) continue;
      segments.splice(found.segment + 1, 0, { key: key, value: found.value, end: segments[found.segment].end, moved: true });
      segments[found.segment].end = found.start;
    }

    reading.present = true;
    // Escapes count as the one character each that the program wrote.
    var written = href.length;
    for (var t = 0; t < segments.length; t++) {
      var segment = segments[t], raw = query.slice(segment.value, segment.end);
      var amp = FREE_TEXT[segment.key] ? -1 : raw.indexOf('&');
      var value = amp < 0 ? raw : raw.slice(0, amp), text = percentDecode(value);
      written -= value.length - text.length;
      if (amp >= 0) {
        var rest = percentDecode(raw.slice(amp));
        written -= raw.length - amp - rest.length;
        reading.unread.push(rest);
      }
      if (!segment.key) {
        if (text) reading.unread.push(text);
      } else {
        reading.items[segment.key] = text;
        if (segment.moved) reading.outOfOrder.push(segment.key);
      }
    }
    reading.tooLong = written > LONGEST_ADDRESS;
    for (var f = 0; f < KEYS.length; f++) if (holds(reading.items, KEYS[f])) reading.found.push(KEYS[f]);
    return reading;
  }

  // --- the values -------------------------------------------------------------

  var SPACE = /\s/;

  // Without the ends' white space; one pass, however long the text.
  function trim(text) {
    var from = 0, to = text.length;
    while (from < to && SPACE.test(text.charAt(from))) from++;
    while (to > from && SPACE.test(text.charAt(to - 1))) to--;
    return text.slice(from, to);
  }

  function readMask(text) {
    if (text == null) return { state: 'missing', text: '' };
    text = String(text);
    var trimmed = trim(text);
    var value = Number(trimmed);
    if (!/^-?[0-9]{1,10}$/.test(trimmed) || value < -2147483648 || value > 2147483647) return { state: 'invalid', text: text };
    return { state: 'ok', text: text, value: value };
  }

  var MEGABYTES = /^\s*(-?[0-9]{1,10}) ?MB\s*$/;
  var OS_VERSION = /^\s*([0-9]{1,5})\.([0-9]{1,5}) SP ([0-9]{1,5})\.([0-9]{1,5})\s*$/;
  var PIXEL_SHADER = /^\s*([0-9]{1,5})(?:\.([0-9]{1,5}))?\s*$/;
  var DIRECTX = /^\s*DirectX ([0-9]{1,5})\.([0-9]{1,5})(\S?) installed\s*$/;
  var NO_DIRECTX = /^\s*DirectX not installed\s*$/;
  var NUMBER = /^\s*-?[0-9]{1,10}\s*$/;

  function megabytes(text) {
    var m = MEGABYTES.exec(text || '');
    return m ? Number(m[1]) : null;
  }

  function osVersion(text) {
    var m = OS_VERSION.exec(text || '');
    return m ? { major: +m[1], minor: +m[2], spMajor: +m[3], spMinor: +m[4] } : null;
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
    var name = major + '.' + minor;
    return has(WINDOWS, name) ? WINDOWS[name] : 'Windows version ' + name;
  }

  function describeWindows(os) {
    return windowsName(os.major, os.minor) +
      (os.spMajor > 0 ? ' Service Pack ' + os.spMajor + (os.spMinor > 0 ? '.' + os.spMinor : '') : '') +
      ' (version ' + os.major + '.' + os.minor + ', service pack ' + os.spMajor + '.' + os.spMinor + ')';
  }

  // The letters of one DirectX release, oldest first (9.0, 9.0a, 9.0b, 9.0c).
  var DIRECTX_LETTERS = 'abc';

  // The minimums the page judges by; a reader may judge by others (judge's
  // options.minimums), each in the shape of its entry here. Windows: the
  // oldest service pack of each version line that meets (a version newer
  // than every line meets); today's rule is windowsState's own.
  var MINIMUMS = {
    directx: { major: 9, minor: 0, letter: 'c' },
    memory: { megabytes: 64 },
    shader: { major: 2, minor: 0 },
    ram: { megabytes: 500 },
    disk: { megabytes: 250 },
    windows: { lines: [[5, 1, 2], [5, 2, 2]] }
  };

  // 9.0 before 9.0a to 9.0c.
  function letterRank(letter) {
    return letter ? DIRECTX_LETTERS.indexOf(letter) + 1 : 0;
  }

  function compareVersions(a, b) {
    for (var i = 0; i < a.length; i++) if (a[i] !== b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
  }

  // The DirectX sentence against a minimum: meets, below, unknown, or
  // "unlettered" for the minimum's release without the letter that tells
  // 9.0c from the releases before it. The program writes plain 9.0 whenever
  // DirectX itself could not be asked: its file versions end at 9.0 for
  // every 9.0 release.
  function directXState(sentence, minimum) {
    var m = DIRECTX.exec(sentence || '');
    if (!m) return NO_DIRECTX.test(sentence || '') ? 'below' : 'unknown';
    var order = compareVersions([+m[1], +m[2]], [minimum.major, minimum.minor]);
    if (order !== 0) return order < 0 ? 'below' : 'meets';
    if (!minimum.letter) return 'meets';
    var letter = DIRECTX_LETTERS.indexOf(m[3].toLowerCase());
    if (!m[3] || letter < 0) return 'unlettered';
    return letter >= DIRECTX_LETTERS.indexOf(minimum.letter) ? 'meets' : 'below';
  }

  function windowsState(os, minimum) {
    if (!minimum) return os.major < 5 || (os.major === 5 && (os.minor === 0 || os.spMajor < 2)) ? 'below' : 'meets';
    var lines = minimum.lines, newer = true;
    for (var i = 0; i < lines.length; i++) {
      if (os.major === lines[i][0] && os.minor === lines[i][1]) return os.spMajor >= lines[i][2] ? 'meets' : 'below';
      if (compareVersions([os.major, os.minor], [lines[i][0], lines[i][1]]) < 0) newer = false;
    }
    return newer ? 'meets' : 'below';
  }

  var VALUE_KEYS = { memory: 'mem', ram: 'ram', disk: 'hdspace' };

  // What a value alone says about its requirement: meets, below or unknown.
  function valueState(id, items, minimum) {
    var v, m;
    if (id === 'shader') {
      m = PIXEL_SHADER.exec(items.pslevel || '');
      if (!m) return 'unknown';
      return compareVersions([+m[1], m[2] ? +m[2] : 0], [minimum.major, minimum.minor]) >= 0 ? 'meets' : 'below';
    }
    v = megabytes(items[VALUE_KEYS[id]]);
    // 0 MB of video memory is no measurement (the program reports it as neither).
    if (v === null || (id === 'memory' && v <= 0)) return 'unknown';
    return v >= minimum.megabytes ? 'meets' : 'below';
  }

  // Whether a minimum asks at least what today's does: a value the test
  // found below today's is then below it too, known or not.
  function notLower(id, minimum) {
    var today = MINIMUMS[id];
    if (id === 'directx') {
      return compareVersions([minimum.major, minimum.minor, letterRank(minimum.letter)], [today.major, today.minor, letterRank(today.letter)]) >= 0;
    }
    if (id === 'shader') return compareVersions([minimum.major, minimum.minor], [today.major, today.minor]) >= 0;
    if (id === 'windows') return compareVersions(minimum.lines[0], today.lines[0]) >= 0;
    return minimum.megabytes >= today.megabytes;
  }

  // The state by a minimum other than today's, from the value alone: the
  // test's bit says only how the value stands to today's minimum.
  function stateByMinimum(id, items, minimum, bitBelow) {
    var state, os;
    if (id === 'directx') state = directXState(items.dxver, minimum);
    else if (id === 'windows') state = (os = osVersion(items.osver)) ? windowsState(os, minimum) : 'unknown';
    else state = valueState(id, items, minimum);
    if (state === 'unlettered') state = 'unknown';
    if (state === 'unknown' && bitBelow && notLower(id, minimum)) state = 'below';
    return state;
  }

  // A text as the page shows it: whole, unless it is longer than any address
  // the program can write, which no value of the program's can be.
  function shorten(text) {
    if (text.length <= LONGEST_ADDRESS) return text;
    return text.slice(0, LONGEST_ADDRESS) + ' \u2026 (' + (text.length - LONGEST_ADDRESS) + ' more characters not shown)';
  }

  function shown(items, key) {
    return !holds(items, key) ? 'not in the address' : items[key] === '' ? 'not reported' : shorten(items[key]);
  }

  function bitHex(bit) {
    return '0x' + ('00' + bit.toString(16)).slice(-3);
  }

  function judgeRow(requirement, items, context) {
    var id = requirement[0], key = requirement[3], below = requirement[4], undetermined = requirement[5];
    var mask = context.mask, bits = mask !== null && !context.notRun, stopped = bits && (mask & 3);
    var state, reason = '', found = key ? shown(items, key) : '', os = id === 'windows' ? osVersion(items.osver) : null;
    var minimum = context.minimums && has(context.minimums, id) ? context.minimums[id] : null;
    var untested = context.notRun && id !== 'directx' && id !== 'ram' && id !== 'disk' && id !== 'windows';
    if (minimum && !untested && !(bits && (mask & undetermined))) {
      state = stateByMinimum(id, items, minimum, bits && (mask & below));
      if (state === 'unknown') reason = 'the address gives no value that can be judged';
    } else if (bits && (mask & below)) {
      state = 'below';
      reason = 'the test found it below the minimum (bit ' + bitHex(below) + ')';
    } else if (bits && (mask & undetermined)) {
      state = 'unknown';
      reason = 'the test could not determine it (bit ' + bitHex(undetermined) + ')';
    } else if (untested) {
      state = 'unknown';
      reason = 'the graphics check could not run';
    } else if (id === 'device' || id === 'driver') {
      // Only the test can judge these; the address holds its word on them.
      stopped = id === 'device' ? bits && (mask & 1) : stopped;
      state = bits && !stopped && (id === 'device' || items.driver) ? 'meets' : 'unknown';
      reason = mask === null ? 'the result could not be read'
        : stopped ? 'the check stopped before it got this far' : state === 'unknown' ? 'the address does not name it' : '';
    } else if (id === 'directx') {
      state = directXState(items.dxver, MINIMUMS.directx);
      if (state === 'unlettered') {
        state = 'unknown';
        reason = 'DirectX 9.0 without a letter: the test could not ask DirectX itself, and its system files do not tell 9.0 from 9.0c';
      } else if (state === 'unknown') {
        reason = 'the address gives no value that can be judged';
      }
    } else {
      state = id === 'windows' ? (os ? windowsState(os, null) : 'unknown') : valueState(id, items, MINIMUMS[id]);
      if (state === 'unknown') reason = stopped ? 'the check stopped before it got this far' : 'the address gives no value that can be judged';
    }
    if (id === 'device') {
      found = context.notRun ? 'not tested' : mask === null ? 'not known' : mask & 2 ? 'no device could be created'
        : mask & 1 ? 'not tried: Direct3D is missing' : 'created';
    } else if (id === 'shader' && items.pslevel === '?') {
      found = '? (could not be determined)';
    } else if (os) {
      found = describeWindows(os);
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
    return { requirement: id, name: requirement[1], minimum: minimum && minimum.text ? minimum.text : requirement[2], found: found, state: state,
      stateText: STATE_WORDS[state], reason: reason, advice: advice };
  }

  function idReport(items, key, vendor) {
    if (!holds(items, key)) return { text: 'not in the address', hex: '', name: '' };
    var text = items[key], value = NUMBER.test(text) ? Number(text) : NaN;
    if (!(value >= -2147483648 && value <= 4294967295)) return { text: text === '' ? 'not reported' : shorten(text), hex: '', name: '' };
    return { text: text, hex: hexId(value), name: vendor ? vendorName(value) : '' };
  }

  // The driver versions offered, as the program lists them: ", " between.
  function alternateList(text) {
    var list = [];
    if (!text) return list;
    var parts = text.split(',');
    for (var i = 0; i < parts.length; i++) {
      var version = trim(parts[i]);
      if (version) list.push(version);
    }
    return list;
  }

  function names(rows) {
    var list = [];
    for (var i = 0; i < rows.length; i++) list.push(rows[i].name);
    return list.join(', ');
  }

  // Judges a reading: the verdict, one row per requirement, the adapter, notes
  // on what could not be read, and the plain-text summary (docs/result-page.md
  // has the shape).
  // options: { directXDownload: the DirectX download page, summary: false to
  // leave the summary text out (null) for a reader that shows no page,
  // minimums: { id: minimum } to judge by instead of today's (MINIMUMS has
  // their shapes; text: the minimum as a row shows it) }.
  function judge(reading, options) {
    if (!reading || !reading.present) return { view: 'intro', verdict: null };
    var items = reading.items;
    var mask = readMask(holds(items, 'result') ? items.result : null);
    var value = mask.state === 'ok' ? mask.value : null;
    var context = {
      mask: value, notRun: value === -1, directXDownload: (options && options.directXDownload) || '',
      alternates: alternateList(items.alternates), minimums: (options && options.minimums) || null
    };
    var rows = [], below = [], unknown = [];
    for (var r = 0; r < REQUIREMENTS.length; r++) {
      var row = judgeRow(REQUIREMENTS[r], items, context);
      rows.push(row);
      if (row.state === 'below') below.push(row);
      if (row.state === 'unknown') unknown.push(row);
    }

    var notes = [];
    if (mask.state !== 'ok') {
      notes.push((mask.state === 'missing' ? 'The address has no result'
        : 'The result \u201c' + shorten(mask.text) + '\u201d is not a number') + ': the requirements are judged from the measured values alone.');
    } else if (value === -1) {
      notes.push('The result is -1: neither graphics check library (VidrakeDx9.dll, VidrakeDx8.dll) could be loaded, so the graphics card was not tested.');
    } else {
      if (value & 0x200) {
        notes.push(value === 0x200 ? 'Bit 0x200 came alone, which the test never sends; it is ignored.'
          : 'Bit 0x200: the graphics check found nothing of its own beyond the other findings; the requirements are judged by the other bits.');
      }
      if (value & ~0x7FF) notes.push('The result has bits this page does not know (' + hexId(value & ~0x7FF) + '); they are ignored.');
    }
    // The program writes every key, and alternates exactly with bit 0x400.
    var expected = [], missing = [];
    for (var e = 0; e < KEYS.length; e++) {
      if (KEYS[e] === 'alternates' && !(value & 0x400)) continue;
      expected.push(KEYS[e]);
      if (!holds(items, KEYS[e])) missing.push(KEYS[e]);
    }
    if (missing.length) notes.push('Not in the address: ' + missing.join(', ') + '. The address may have been cut short.');
    if (reading.outOfOrder.length) notes.push('Found out of the test\u2019s order: ' + reading.outOfOrder.join(', ') + '.');
    for (var u = 0; u < reading.unread.length; u++) notes.push('Could not be read: \u201c' + shorten(reading.unread[u]) + '\u201d');
    if (reading.tooLong) {
      notes.push('The address is ' + reading.length + ' characters long, longer than the test can ever write (Windows hands a program at most ' +
        LONGEST_ADDRESS + ' characters): it did not come from the test as it is.');
    }

    var verdict = context.notRun ? 'not-run' : below.length ? 'below'
      : unknown.length || value === null || (value & ~0x7FF) ? 'incomplete' : 'meets';
    var explanation = verdict === 'meets' ? 'Every requirement that the test checks is met.'
      : verdict === 'below' ? (below.length === 1 ? 'One requirement is' : below.length + ' requirements are') + ' not met: ' + names(below) + '. What to do is shown with each.'
      : verdict === 'incomplete' ? 'Nothing that was checked falls short, but ' + (unknown.length ? names(unknown) + (unknown.length === 1 ? ' is' : ' are') + ' unknown.'
        : value === null ? 'the result could not be read.' : 'the result has bits this page does not know.')
      : 'Neither graphics check library (VidrakeDx9.dll or VidrakeDx8.dll) could be loaded. Keep all the files of the test together in one folder (download the test again if one is missing) and run QuilletVidrake.exe again.';

    // -1 is no set of bits: it says that no library could be loaded.
    var bits = [];
    for (var b = 0; value !== null && value !== -1 && b < BITS.length; b++) {
      if (value & BITS[b][1]) bits.push(BITS[b][0] + ' ' + bitHex(BITS[b][1]));
    }
    var shownItems = [];
    for (var i = 0; i < KEYS.length; i++) {
      if (holds(items, KEYS[i])) shownItems.push({ key: KEYS[i], value: shorten(items[KEYS[i]]) });
      else if (KEYS[i] !== 'alternates' || (value & 0x400)) shownItems.push({ key: KEYS[i], value: null });
    }
    var result = {
      view: 'result', verdict: verdict, headline: HEADLINES[verdict], explanation: explanation,
      mask: { state: mask.state, text: mask.text, value: value, bits: bits }, rows: rows,
      adapter: { card: shown(items, 'card'), vendor: idReport(items, 'vendorID', true), device: idReport(items, 'deviceID', false) },
      notes: notes, items: shownItems
    };
    result.summary = options && options.summary === false ? null : summaryText(result);
    return result;
  }

  function idText(report) {
    return report.text + (report.hex ? ' = ' + report.hex : '') + (report.name ? ' (' + report.name + ')' : '');
  }

  function maskText(mask) {
    if (mask.state === 'missing') return 'not in the address';
    if (mask.state !== 'ok') return 'not a number: ' + shorten(mask.text);
    if (mask.value === -1) return '-1 (neither graphics check library could be loaded)';
    return mask.value + ' (' + (mask.bits.join(', ') || 'no findings') + ')';
  }

  function summaryText(result) {
    var a = result.adapter, i;
    var text = 'Quillet system test result\nVerdict: ' + result.verdict + ' - ' + result.headline +
      '\nResult: ' + maskText(result.mask) + '\nRequirements:';
    for (i = 0; i < result.rows.length; i++) {
      var row = result.rows[i];
      text += '\n  ' + row.name + ': ' + STATE_WORDS_IN_TEXT[row.state] + ' - found ' + row.found + ' (minimum ' + row.minimum + ')';
    }
    text += '\nAdapter: ' + a.card + '\n  vendor: ' + idText(a.vendor) + '\n  device: ' + idText(a.device);
    if (result.notes.length) text += '\nNotes:';
    for (i = 0; i < result.notes.length; i++) text += '\n  ' + result.notes[i];
    text += '\nAddress items:';
    for (i = 0; i < result.items.length; i++) {
      var item = result.items[i];
      text += '\n  ' + item.key + '=' + (item.value === null ? '  (not in the address)' : item.value);
    }
    return text;
  }

  // --- the page ---------------------------------------------------------------
  // Written for Internet Explorer 6 and later as well: ES3, no ES5 library,
  // and every newer browser feature tested for before it is used.

  // Elements built from text nodes only: no value of the address ever becomes
  // markup. "class" and "readonly" go in as properties, which IE 6 and 7
  // need.
  function el(doc, tag, attributes, children) {
    var node = doc.createElement(tag);
    for (var name in attributes) {
      if (!has(attributes, name)) continue;
      if (name === 'class') node.className = attributes[name];
      else if (name === 'readonly') node.readOnly = true;
      else node.setAttribute(name, attributes[name]);
    }
    for (var i = 0; children && i < children.length; i++) {
      if (children[i] == null || children[i] === '') continue;
      node.appendChild(typeof children[i] === 'string' ? doc.createTextNode(children[i]) : children[i]);
    }
    return node;
  }

  function setText(node, text) {
    while (node.firstChild) node.removeChild(node.firstChild);
    node.appendChild(node.ownerDocument.createTextNode(text));
  }

  var STATE_MARKS = { meets: '\u2713 ', below: '\u2717 ', unknown: '? ' };
  var COLUMNS = [['Requirement', 'col-requirement'], ['Found on this computer', 'col-found'], ['Minimum', 'col-minimum'],
    ['State and what to do', 'col-state']];

  function requirementRow(doc, row) {
    var advice = null;
    if (row.advice) {
      var list = null;
      if (row.advice.list) {
        list = el(doc, 'ul');
        for (var i = 0; i < row.advice.list.length; i++) list.appendChild(el(doc, 'li', null, [row.advice.list[i]]));
      }
      advice = el(doc, 'div', { 'class': 'advice' }, [el(doc, 'p', null, [row.advice.text]), list,
        row.advice.link && el(doc, 'p', null, [el(doc, 'a', { href: row.advice.link.href, rel: 'noreferrer' }, [row.advice.link.text])])]);
    }
    return el(doc, 'tr', { 'data-requirement': row.requirement, 'data-state': row.state, 'class': 'state-' + row.state }, [
      el(doc, 'th', { scope: 'row' }, [row.name]),
      el(doc, 'td', { 'class': 'found' }, [el(doc, 'span', { 'class': 'value' }, [row.found])]),
      el(doc, 'td', { 'class': 'minimum' }, [row.minimum]),
      el(doc, 'td', { 'class': 'state' }, [el(doc, 'span', { 'class': 'badge' }, [STATE_MARKS[row.state] + row.stateText]),
        row.reason && el(doc, 'span', { 'class': 'reason' }, [row.reason]), advice])]);
  }

  function idNodes(doc, report) {
    return [el(doc, 'span', { 'class': 'value' }, [report.hex || report.text]),
      report.hex ? ' (' + report.text + ')' : '', report.name ? ' \u2013 ' + report.name : ''];
  }

  function render(doc, result) {
    var body = doc.body, section = doc.getElementById('result'), intro = doc.getElementById('intro'), i;
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
    var header = el(doc, 'tr'), rows = el(doc, 'tbody');
    for (i = 0; i < COLUMNS.length; i++) header.appendChild(el(doc, 'th', { scope: 'col', 'class': COLUMNS[i][1] }, [COLUMNS[i][0]]));
    for (i = 0; i < result.rows.length; i++) rows.appendChild(requirementRow(doc, result.rows[i]));
    add(el(doc, 'table', { 'class': 'requirements' }, [el(doc, 'thead', null, [header]), rows]));

    var a = result.adapter;
    heading('Graphics adapter');
    add(el(doc, 'dl', { 'class': 'adapter' }, [
      el(doc, 'dt', null, ['Name']), el(doc, 'dd', { 'data-adapter': 'card' }, [el(doc, 'span', { 'class': 'value' }, [a.card])]),
      el(doc, 'dt', null, ['Vendor id']), el(doc, 'dd', { 'data-adapter': 'vendor' }, idNodes(doc, a.vendor)),
      el(doc, 'dt', null, ['Device id']), el(doc, 'dd', { 'data-adapter': 'device' }, idNodes(doc, a.device))]));

    if (result.notes.length) {
      heading('About this address');
      var notes = add(el(doc, 'ul', { 'class': 'notes' }));
      for (i = 0; i < result.notes.length; i++) notes.appendChild(el(doc, 'li', null, [result.notes[i]]));
    }

    heading('For support');
    add(el(doc, 'p', null, ['Every item of the result as text, to paste into a message to support:']));
    var summary = add(el(doc, 'textarea', { id: 'summary', readonly: 'readonly', rows: '12', cols: '80', spellcheck: 'false', 'aria-label': 'Summary' }));
    try {
      summary.appendChild(doc.createTextNode(result.summary));
    } catch (e) { /* old IE: the value below */ }
    if (summary.value !== result.summary) summary.value = result.summary;
    var status = el(doc, 'span', { id: 'copy-status', role: 'status' });
    var button = el(doc, 'button', { type: 'button', id: 'copy' }, ['Copy the summary']);
    button.onclick = function () { copySummary(doc.parentWindow || doc.defaultView || {}, summary, status); };
    add(el(doc, 'p', null, [button, ' ', status]));

    heading('Items of the address');
    var list = add(el(doc, 'dl', { 'class': 'items' }));
    for (i = 0; i < result.items.length; i++) {
      var item = result.items[i];
      list.appendChild(el(doc, 'dt', null, [item.key]));
      list.appendChild(item.value === null ? el(doc, 'dd', { 'data-missing': item.key, 'class': 'missing' }, ['not in the address'])
        : el(doc, 'dd', { 'data-key': item.key }, [item.value]));
    }
  }

  // Copies the summary where the browser allows it: the clipboard API (secure
  // pages only), IE's clipboardData, the copy command; otherwise the text
  // stays selected for the user to copy.
  function copySummary(win, summary, status) {
    var done = function (ok) { setText(status, ok ? 'Copied.' : 'The text above is selected: copy it with Ctrl+C.'); };
    var text = summary.value, navigator = win.navigator;
    if (win.isSecureContext && navigator && navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(function () { done(true); }, function () { selectAll(summary); done(false); });
      return;
    }
    if (win.clipboardData && win.clipboardData.setData) {
      try {
        if (win.clipboardData.setData('Text', text)) return done(true);
      } catch (e) { /* refused: select the text instead */ }
    }
    selectAll(summary);
    var copied = false;
    try {
      copied = !!summary.ownerDocument.execCommand('copy');
    } catch (e2) { /* no copy command */ }
    done(copied);
  }

  function selectAll(field) {
    field.focus();
    field.select();
  }

  // The clock for data-render-ms: performance.now() where there is one.
  function clock(win) {
    if (win.performance && win.performance.now) return function () { return win.performance.now(); };
    return function () { return new Date().getTime(); };
  }

  function start(win) {
    var doc = win.document, now = clock(win);
    var began = now();
    // The DirectX download page, written into the page by the build from the
    // libraries' own setting; only an http(s) address is linked.
    var download = doc.body.getAttribute('data-directx-download') || '';
    var result = judge(readAddress(win.location.href), { directXDownload: /^https?:\/\//i.test(download) ? download : '' });
    render(doc, result);
    doc.body.setAttribute('data-render-ms', (now() - began).toFixed(2));
    return result;
  }

  // The page loads the script at the end of its body, where everything it
  // fills in already stands; loaded earlier, it waits for the document.
  function startWhenReady(win) {
    var doc = win.document, started = false;
    var once = function () { if (!started) { started = true; start(win); } };
    if (doc.body && doc.getElementById('result')) once();
    else if (doc.addEventListener) doc.addEventListener('DOMContentLoaded', once, false);
    else if (win.attachEvent) win.attachEvent('onload', once);
    else win.onload = once;
  }

  return {
    KEYS: KEYS, BITS: BITS, REQUIREMENTS: REQUIREMENTS, REQUIREMENT_IDS: REQUIREMENT_IDS, STATES: STATES, VERDICTS: VERDICTS, MINIMUMS: MINIMUMS,
    megabytes: megabytes, osVersion: osVersion, describeWindows: describeWindows, percentDecode: percentDecode, readAddress: readAddress, readMask: readMask,
    windowsName: windowsName, hexId: hexId, vendorName: vendorName, judge: judge, render: render,
    copySummary: copySummary, start: start, startWhenReady: startWhenReady
  };
}));
