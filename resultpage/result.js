/* Quillet system test result page. Reads the address that QuilletVidrake
 * opened and shows its verdict. The program does not encode the address
 * itself: it is read by the program's fixed order of keys, never by
 * splitting on "&", and every value is shown as text, never as markup.
 * Plain functions (readAddress, judge) for Node's test runner and tools; in
 * a browser the script starts itself. ECMAScript 3 and no newer library, so
 * that Internet Explorer 6 to 8 run it too. */
(function (root, factory) {
  var api = factory(root);
  if (typeof module === 'object' && module.exports) module.exports = api;
  if (root && root.document && root.location) {
    root.QuilletResult = api;
    api.startWhenReady(root);
  }
}(typeof window !== 'undefined' ? window : this, function (root) {
  'use strict';

  // The page's words by language: English, the source and the default, comes
  // with the script (a file of its own, loaded before it); the others are
  // loaded when asked for (language-CODE.js, beside this script). The code and
  // the language's own name, as the list of languages shows it.
  var LANGUAGES = [['en', 'English'], ['de', 'Deutsch'], ['fr', 'Fran\u00e7ais'], ['es', 'Espa\u00f1ol'],
    ['it', 'Italiano'], ['pl', 'Polski'], ['ru', '\u0420\u0443\u0441\u0441\u043a\u0438\u0439'],
    ['pt-BR', 'Portugu\u00eas (Brasil)'], ['zh-CN', '\u7b80\u4f53\u4e2d\u6587']];
  var TABLES = root && root.QuilletLanguages && root.QuilletLanguages.en ? root.QuilletLanguages
    : require('./language-en.js').QuilletLanguages;
  var ENGLISH = TABLES.en;

  // The query keys in the order the program writes them.
  var KEYS = ['result', 'mem', 'card', 'pslevel', 'dxver', 'hdspace', 'ram', 'osver',
    'driver', 'vendorID', 'deviceID', 'alternates'];
  var KEY_ORDER = {}, LONGEST_KEY = 0;
  for (var k = 0; k < KEYS.length; k++) {
    KEY_ORDER[KEYS[k]] = k;
    LONGEST_KEY = Math.max(LONGEST_KEY, KEYS[k].length);
  }
  // The program hands the address to the browser on a command line, and
  // Windows passes at most 32,767 characters of one.
  var LONGEST_ADDRESS = 32767;
  // At most this many markers fit in such an address ("&ram=" is the
  // shortest).
  var MARKER_LIMIT = Math.ceil(LONGEST_ADDRESS / 5);
  // Values that may hold any character, "&" included; the program writes the
  // others from numbers and fixed texts, never with an "&".
  function freeText(key) {
    return key === 'card' || key === 'alternates';
  }

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

  // id, the address key of its value, its bit "below" and its bit
  // "undetermined"; REQUIREMENTS adds the English name and minimum after the
  // id for readers of the address.
  var REQUIREMENT_BITS = [
    ['directx', 'dxver', 0x001, 0],
    ['device', null, 0x002, 0],
    ['memory', 'mem', 0x010, 0x004],
    ['shader', 'pslevel', 0x020, 0x008],
    ['driver', 'driver', 0x400, 0],
    ['ram', 'ram', 0x040, 0],
    ['disk', 'hdspace', 0x080, 0],
    ['windows', 'osver', 0x100, 0]
  ];

  var REQUIREMENTS = [], REQUIREMENT_IDS = [];
  for (var q = 0; q < REQUIREMENT_BITS.length; q++) {
    var id = REQUIREMENT_BITS[q][0];
    REQUIREMENTS.push([id, ENGLISH.names[id], ENGLISH.minimums[id]].concat(REQUIREMENT_BITS[q].slice(1)));
    REQUIREMENT_IDS.push(id);
  }

  // A requirement's states, and the verdicts by the name a record of them
  // takes in a reader's output.
  var STATES = { meets: 'meets', below: 'below', unknown: 'unknown' };
  var VERDICTS = { meets: 'meets', below: 'below', incomplete: 'incomplete', notRun: 'not-run' };

  var STATE_WORDS_IN_TEXT = { meets: 'meets', below: 'below minimum', unknown: 'unknown' };
  // The headlines' names in a table of words, by verdict.
  var HEADLINE = { meets: 'meets', below: 'below', incomplete: 'incomplete', 'not-run': 'notRun' };

  // A text of a table of words with its "{name}"s filled in from values.
  // Each text is split at its markers once and kept: text, name, text, ...
  var PLACEHOLDER = /\{(\w+)\}/g, SPLIT_TEXTS = {};

  function say(text, values) {
    var parts = has(SPLIT_TEXTS, text) && SPLIT_TEXTS[text], out, found, i;
    if (!parts) {
      parts = [];
      for (PLACEHOLDER.lastIndex = i = 0; (found = PLACEHOLDER.exec(text)); i = PLACEHOLDER.lastIndex) parts.push(text.slice(i, found.index), found[1]);
      parts.push(text.slice(i));
      if (text !== '__proto__') SPLIT_TEXTS[text] = parts;
    }
    out = parts[0];
    for (i = 1; i < parts.length; i += 2) out += (has(values, parts[i]) ? String(values[parts[i]]) : '{' + parts[i] + '}') + parts[i + 1];
    return out;
  }

  var HAS_OWN = Object.prototype.hasOwnProperty;

  function has(items, key) {
    return HAS_OWN.call(items, key);
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
  // the marker, start of its value, the key, its order, the first "&" after
  // it or -1). Past MARKER_LIMIT, more than the program can write, markers
  // are left as text: the reading's work stays bounded however a link was
  // made. One pass over the "&"s: a marker's key is all between its start
  // and the next "=", as no key holds an "&" or a "=".
  function findMarkers(query) {
    var markers = { start: [], value: [], order: [], key: [], amp: [], count: 0 }, at = 0, equals = -1, from, key, found, order = -1;
    while (at >= 0 && markers.count < MARKER_LIMIT) {
      from = query.charAt(at) === '&' ? at + 1 : at;
      if (equals < from) equals = query.indexOf('=', from);
      if (equals < 0) break;
      key = equals - from <= LONGEST_KEY ? query.slice(from, equals) : '';
      // Most often the key is the one the program writes after the last.
      found = key === KEYS[order + 1] ? order + 1 : has(KEY_ORDER, key) ? KEY_ORDER[key] : -1;
      if (found >= 0) {
        order = found;
        markers.start.push(at);
        markers.value.push(equals + 1);
        markers.key.push(KEYS[order]);
        markers.order.push(order);
        markers.count++;
      }
      at = query.indexOf('&', at + 1);
      if (found >= 0) markers.amp.push(at);
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
      var amp = markers.amp[i];
      var strict = !freeText(key[i]) && amp >= 0, base = strict ? 99 : 100;
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
      if (freeText(chain[f].key) && chain[f + 1].order !== f + 1) {
        chain.length = f + 1;
        break;
      }
    }
    return chain;
  }

  function rawValue(query, segment) {
    var raw = query.slice(segment.value, segment.end);
    var amp = freeText(segment.key) ? -1 : raw.indexOf('&');
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
      if (afterLast && freeText(segment.key)) continue;
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
    // The chain's links serve as the segments of the query, each to the next;
    // placed[order] says whether a key has a segment, in the chain or out of
    // order.
    var chain = bestChain(query, markers), placed = [];
    for (var i = 0; i < chain.length; i++) {
      chain[i].end = i + 1 < chain.length ? chain[i + 1].start : query.length;
      placed[chain[i].order] = true;
    }
    var segments = chain[0].start > 0 ? [{ key: null, value: 0, end: chain[0].start }].concat(chain) : chain;

    // A key missing from the chain may stand out of order inside another
    // value; alternates are looked for only when the result rejects the driver.
    var mask = placed[KEY_ORDER.result] ? readMask(percentDecode(rawValue(query, segments[segments[0].key ? 0 : 1])[0])) : null;
    var rejected = mask && mask.value !== undefined && (mask.value & 0x400);
    var last = chain[chain.length - 1].order;
    for (var order = 0; order < KEYS.length; order++) {
      var key = KEYS[order];
      if (placed[order] || (key === 'alternates' && !rejected)) continue;
      var found = findOutOfOrder(query, segments, key, order > last);
      if (!found) continue;
      segments.splice(found.segment + 1, 0, { key: key, value: found.value, end: segments[found.segment].end, moved: true });
      segments[found.segment].end = found.start;
      placed[order] = true;
    }

    reading.present = true;
    // Escapes count as the one character each that the program wrote.
    var written = href.length;
    for (var t = 0; t < segments.length; t++) {
      var segment = segments[t], raw = query.slice(segment.value, segment.end);
      var amp = freeText(segment.key) ? -1 : raw.indexOf('&');
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
    for (var f = 0; f < KEYS.length; f++) if (placed[f]) reading.found.push(KEYS[f]);
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

  // The version as Windows names it (words.windowsNames), never claiming more
  // than the number says: Windows reports 6.2 to programs that do not declare
  // newer versions.
  function windowsName(major, minor, words) {
    var version = major + '.' + minor, known = (words || ENGLISH).windowsNames;
    return has(known, version) ? known[version] : say((words || ENGLISH).windowsOther, { version: version });
  }

  function describeWindows(os, words) {
    words = words || ENGLISH;
    var name = windowsName(os.major, os.minor, words);
    if (os.spMajor > 0) name = say(words.servicePack, { name: name, number: os.spMajor + (os.spMinor > 0 ? '.' + os.spMinor : '') });
    return say(words.windowsDetail, { name: name, version: os.major + '.' + os.minor, servicePack: os.spMajor + '.' + os.spMinor });
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
  function shorten(text, words) {
    if (text.length <= LONGEST_ADDRESS) return text;
    return say(words.moreNotShown, { text: text.slice(0, LONGEST_ADDRESS), count: text.length - LONGEST_ADDRESS });
  }

  function shown(items, key, words) {
    return !holds(items, key) ? words.notInAddress : items[key] === '' ? words.notReported : shorten(items[key], words);
  }

  function bitHex(bit) {
    return '0x' + ('00' + bit.toString(16)).slice(-3);
  }

  function judgeRow(requirement, items, context) {
    var id = requirement[0], key = requirement[3], below = requirement[4], undetermined = requirement[5];
    var words = context.words, mask = context.mask, bits = mask !== null && !context.notRun, stopped = bits && (mask & 3);
    var state, reason = '', found = key ? shown(items, key, words) : '', os = id === 'windows' ? osVersion(items.osver) : null;
    var minimum = context.minimums && has(context.minimums, id) ? context.minimums[id] : null;
    var untested = context.notRun && id !== 'directx' && id !== 'ram' && id !== 'disk' && id !== 'windows';
    if (minimum && !untested && !(bits && (mask & undetermined))) {
      state = stateByMinimum(id, items, minimum, bits && (mask & below));
      if (state === 'unknown') reason = words.reasonNoValue;
    } else if (bits && (mask & below)) {
      state = 'below';
      reason = say(words.reasonBelow, { bit: bitHex(below) });
    } else if (bits && (mask & undetermined)) {
      state = 'unknown';
      reason = say(words.reasonUndetermined, { bit: bitHex(undetermined) });
    } else if (untested) {
      state = 'unknown';
      reason = words.reasonNotRun;
    } else if (id === 'device' || id === 'driver') {
      // Only the test can judge these; the address holds its word on them.
      stopped = id === 'device' ? bits && (mask & 1) : stopped;
      state = bits && !stopped && (id === 'device' || items.driver) ? 'meets' : 'unknown';
      reason = mask === null ? words.reasonUnreadable
        : stopped ? words.reasonStopped : state === 'unknown' ? words.reasonNotNamed : '';
    } else if (id === 'directx') {
      state = directXState(items.dxver, MINIMUMS.directx);
      if (state === 'unlettered') {
        state = 'unknown';
        reason = words.reasonUnlettered;
      } else if (state === 'unknown') {
        reason = words.reasonNoValue;
      }
    } else {
      state = id === 'windows' ? (os ? windowsState(os, null) : 'unknown') : valueState(id, items, MINIMUMS[id]);
      if (state === 'unknown') reason = stopped ? words.reasonStopped : words.reasonNoValue;
    }
    if (id === 'device') {
      found = words.device[context.notRun ? 'notTested' : mask === null ? 'notKnown' : mask & 2 ? 'failed'
        : mask & 1 ? 'notTried' : 'created'];
    } else if (id === 'shader' && items.pslevel === '?') {
      found = words.shaderUnknown;
    } else if (os) {
      found = describeWindows(os, words);
    }
    var advice = null;
    if (state !== 'meets') {
      advice = { text: words.advice[id][state === 'below' ? 0 : 1], list: null, link: null };
      if (id === 'driver' && state === 'below' && context.alternates.length) {
        advice.text = words.adviceAlternates;
        advice.list = context.alternates;
      }
      if (id === 'directx' && context.directXDownload) advice.link = { href: context.directXDownload, text: words.directxLink };
    }
    return { requirement: id, name: words.names[id], minimum: minimum && minimum.text ? minimum.text : words.minimums[id], found: found, state: state,
      stateText: words.states[state], reason: reason, advice: advice };
  }

  function idReport(items, key, vendor, words) {
    if (!holds(items, key)) return { text: words.notInAddress, hex: '', name: '' };
    var text = items[key], value = NUMBER.test(text) ? Number(text) : NaN;
    if (!(value >= -2147483648 && value <= 4294967295)) return { text: text === '' ? words.notReported : shorten(text, words), hex: '', name: '' };
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

  function names(rows, words) {
    var list = [];
    for (var i = 0; i < rows.length; i++) list.push(rows[i].name);
    return list.join(words.listSeparator);
  }

  // Judges a reading: the verdict, one row per requirement, the adapter, notes
  // on what could not be read, and the plain-text summary (docs/result-page.md
  // has the shape).
  // options: { directXDownload: the DirectX download page, summary: false to
  // leave the summary text out (null) for a reader that shows no page, words:
  // a table of words other than English, minimums: { id: minimum } to judge
  // by instead of today's (MINIMUMS has their shapes; text: the minimum as a
  // row shows it) }. The summary is English in every language: support reads
  // every copy.
  function judge(reading, options) {
    if (!reading || !reading.present) return { view: 'intro', verdict: null };
    var items = reading.items, words = (options && options.words) || ENGLISH;
    var mask = readMask(holds(items, 'result') ? items.result : null);
    var value = mask.state === 'ok' ? mask.value : null;
    var context = {
      mask: value, notRun: value === -1, directXDownload: (options && options.directXDownload) || '',
      alternates: alternateList(items.alternates), words: words, minimums: (options && options.minimums) || null
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
      notes.push(mask.state === 'missing' ? words.noteNoResult : say(words.noteNotNumber, { text: shorten(mask.text, words) }));
    } else if (value === -1) {
      notes.push(words.noteNoLibrary);
    } else {
      if (value & 0x200) notes.push(value === 0x200 ? words.noteBitAlone : words.noteBit);
      if (value & ~0x7FF) notes.push(say(words.noteUnknownBits, { bits: hexId(value & ~0x7FF) }));
    }
    // The program writes every key, and alternates exactly with bit 0x400.
    var missing = [], shownItems = [];
    for (var i = 0; i < KEYS.length; i++) {
      var key = KEYS[i];
      if (holds(items, key)) shownItems.push({ key: key, value: shorten(items[key], words) });
      else if (key !== 'alternates' || (value & 0x400)) {
        missing.push(key);
        shownItems.push({ key: key, value: null });
      }
    }
    if (missing.length) notes.push(say(words.noteMissing, { keys: missing.join(', ') }));
    if (reading.outOfOrder.length) notes.push(say(words.noteOutOfOrder, { keys: reading.outOfOrder.join(', ') }));
    for (var u = 0; u < reading.unread.length; u++) notes.push(say(words.noteUnread, { text: shorten(reading.unread[u], words) }));
    if (reading.tooLong) notes.push(say(words.noteTooLong, { length: reading.length, limit: LONGEST_ADDRESS }));

    var verdict = context.notRun ? 'not-run' : below.length ? 'below'
      : unknown.length || value === null || (value & ~0x7FF) ? 'incomplete' : 'meets';
    var explanation = verdict === 'meets' ? words.explainMeets
      : verdict === 'below' ? say(below.length === 1 ? words.explainBelowOne : words.explainBelowMany, { count: below.length, names: names(below, words) })
      : verdict === 'incomplete' ? (unknown.length ? say(unknown.length === 1 ? words.explainUnknownOne : words.explainUnknownMany, { names: names(unknown, words) })
        : value === null ? words.explainUnreadable : words.explainUnknownBits)
      : words.explainNotRun;

    // -1 is no set of bits: it says that no library could be loaded.
    var bits = [];
    for (var b = 0; value !== null && value !== -1 && b < BITS.length; b++) {
      if (value & BITS[b][1]) bits.push(BITS[b][0] + ' ' + bitHex(BITS[b][1]));
    }
    var result = {
      view: 'result', verdict: verdict, headline: words.headlines[HEADLINE[verdict]], explanation: explanation,
      mask: { state: mask.state, text: mask.text, value: value, bits: bits }, rows: rows,
      adapter: { card: shown(items, 'card', words), vendor: idReport(items, 'vendorID', true, words),
        device: idReport(items, 'deviceID', false, words) },
      notes: notes, items: shownItems
    };
    result.summary = options && options.summary === false ? null
      : words === ENGLISH ? summaryText(result) : judge(reading, { directXDownload: context.directXDownload }).summary;
    return result;
  }

  function idText(report) {
    return report.text + (report.hex ? ' = ' + report.hex : '') + (report.name ? ' (' + report.name + ')' : '');
  }

  function maskText(mask) {
    if (mask.state === 'missing') return 'not in the address';
    if (mask.state !== 'ok') return 'not a number: ' + shorten(mask.text, ENGLISH);
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
    clear(node).appendChild(node.ownerDocument.createTextNode(text));
  }

  var STATE_MARKS = { meets: '\u2713 ', below: '\u2717 ', unknown: '? ' };
  var COLUMNS = [['requirement', 'col-requirement'], ['found', 'col-found'], ['minimum', 'col-minimum'], ['state', 'col-state']];
  // The files a table of words names as "{program}" and the like.
  var FILES = { program: 'QuilletVidrake.exe', dx9: 'VidrakeDx9.dll', dx8: 'VidrakeDx8.dll', database: 'VideoCardDB.xml' };

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

  function clear(node) {
    while (node.firstChild) node.removeChild(node.firstChild);
    return node;
  }

  // A text of a table of words with the files it names as code.
  function withFiles(doc, text) {
    var nodes = [], marker = /\{(\w+)\}/g, at = 0, found;
    while ((found = marker.exec(text))) {
      nodes.push(text.slice(at, found.index), el(doc, 'code', null, [FILES[found[1]]]));
      at = marker.lastIndex;
    }
    nodes.push(text.slice(at));
    return nodes;
  }

  // The words the page holds apart from a result: the masthead, the
  // introduction and the footer (the page's HTML holds them in English for a
  // browser without scripts).
  function renderFrame(doc, words) {
    var heading = doc.getElementsByTagName('h1')[0], intro = doc.getElementById('intro'), footer = doc.getElementById('footer-text');
    doc.title = words.title;
    if (heading) setText(heading, words.masthead);
    if (footer) setText(footer, words.footer);
    if (!intro) return;
    var steps = el(doc, 'ol', null, [el(doc, 'li', null, withFiles(doc, words.howToFiles)),
      el(doc, 'li', null, withFiles(doc, words.howToRun)), el(doc, 'li', null, [words.howToNoBrowser])]);
    var parts = [el(doc, 'h2', null, [words.introHeading]), el(doc, 'p', null, [words.introPurpose]),
      el(doc, 'p', null, [words.introNoResult]), el(doc, 'h2', null, [words.howToHeading]), steps];
    clear(intro);
    for (var i = 0; i < parts.length; i++) intro.appendChild(parts[i]);
  }

  function render(doc, result, words) {
    var body = doc.body, section = doc.getElementById('result'), intro = doc.getElementById('intro'), i;
    words = words || ENGLISH;
    body.setAttribute('data-view', result.view);
    if (result.view !== 'result') {
      body.removeAttribute('data-verdict');
      return;
    }
    body.setAttribute('data-verdict', result.verdict);
    doc.title = say(words.titleResult, { headline: result.headline });
    if (intro) intro.parentNode.removeChild(intro);
    clear(section);
    var add = function (node) { section.appendChild(node); return node; };
    var heading = function (text) { add(el(doc, 'h2', null, [text])); };

    add(el(doc, 'div', { id: 'verdict', 'class': 'verdict verdict-' + result.verdict, role: 'status' }, [
      el(doc, 'h2', null, [result.headline]), el(doc, 'p', null, [result.explanation])]));

    heading(words.requirementsHeading);
    var header = el(doc, 'tr'), rows = el(doc, 'tbody');
    for (i = 0; i < COLUMNS.length; i++) header.appendChild(el(doc, 'th', { scope: 'col', 'class': COLUMNS[i][1] }, [words.columns[COLUMNS[i][0]]]));
    for (i = 0; i < result.rows.length; i++) rows.appendChild(requirementRow(doc, result.rows[i]));
    add(el(doc, 'table', { 'class': 'requirements' }, [el(doc, 'thead', null, [header]), rows]));

    var a = result.adapter;
    heading(words.adapterHeading);
    add(el(doc, 'dl', { 'class': 'adapter' }, [
      el(doc, 'dt', null, [words.adapterName]), el(doc, 'dd', { 'data-adapter': 'card' }, [el(doc, 'span', { 'class': 'value' }, [a.card])]),
      el(doc, 'dt', null, [words.adapterVendor]), el(doc, 'dd', { 'data-adapter': 'vendor' }, idNodes(doc, a.vendor)),
      el(doc, 'dt', null, [words.adapterDevice]), el(doc, 'dd', { 'data-adapter': 'device' }, idNodes(doc, a.device))]));

    if (result.notes.length) {
      heading(words.notesHeading);
      var notes = add(el(doc, 'ul', { 'class': 'notes' }));
      for (i = 0; i < result.notes.length; i++) notes.appendChild(el(doc, 'li', null, [result.notes[i]]));
    }

    heading(words.supportHeading);
    add(el(doc, 'p', null, [words.supportText]));
    var summary = add(el(doc, 'textarea', { id: 'summary', readonly: 'readonly', rows: '12', cols: '80', spellcheck: 'false',
      'aria-label': words.summaryLabel, lang: 'en' }));
    try {
      summary.appendChild(doc.createTextNode(result.summary));
    } catch (e) { /* old IE: the value below */ }
    if (summary.value !== result.summary) summary.value = result.summary;
    var status = el(doc, 'span', { id: 'copy-status', role: 'status' });
    var button = el(doc, 'button', { type: 'button', id: 'copy' }, [words.copy]);
    button.onclick = function () { copySummary(doc.parentWindow || doc.defaultView || {}, summary, status, words); };
    add(el(doc, 'p', null, [button, ' ', status]));

    heading(words.itemsHeading);
    var list = add(el(doc, 'dl', { 'class': 'items' }));
    for (i = 0; i < result.items.length; i++) {
      var item = result.items[i];
      list.appendChild(el(doc, 'dt', null, [item.key]));
      list.appendChild(item.value === null ? el(doc, 'dd', { 'data-missing': item.key, 'class': 'missing' }, [words.notInAddress])
        : el(doc, 'dd', { 'data-key': item.key }, [item.value]));
    }
  }

  // Copies the summary where the browser allows it: the clipboard API (secure
  // pages only), IE's clipboardData, the copy command; otherwise the text
  // stays selected for the user to copy.
  function copySummary(win, summary, status, words) {
    words = words || ENGLISH;
    var done = function (ok) { setText(status, ok ? words.copied : words.copyByHand); };
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

  // --- the language -------------------------------------------------------------

  // The browser's own preferences, first to last: navigator.languages, then
  // navigator.language, then Internet Explorer's userLanguage and
  // browserLanguage. Never the user agent.
  function preferredLanguages(navigator) {
    var list = [], i;
    if (!navigator) return list;
    var all = navigator.languages;
    if (all && typeof all !== 'string' && typeof all.length === 'number') for (i = 0; i < all.length; i++) list.push(all[i]);
    var single = [navigator.language, navigator.userLanguage, navigator.browserLanguage];
    for (i = 0; i < single.length; i++) list.push(single[i]);
    return list;
  }

  // The first preference the page has a language for, by its primary subtag
  // (de-AT is German, pt Brazilian Portuguese, zh-SG Simplified Chinese);
  // English when none is.
  function chooseLanguage(preferences) {
    for (var i = 0; preferences && i < preferences.length; i++) {
      if (typeof preferences[i] !== 'string') continue;
      var primary = preferences[i].split(/[-_]/)[0].toLowerCase();
      for (var l = 0; l < LANGUAGES.length; l++) if (LANGUAGES[l][0].split('-')[0] === primary) return LANGUAGES[l][0];
    }
    return 'en';
  }

  // The folder this script came from, where its languages lie beside it.
  function scriptFolder(doc) {
    var scripts = doc.getElementsByTagName('script');
    for (var i = 0; i < scripts.length; i++) {
      var source = scripts[i].getAttribute('src') || '', found = /(^|\/)result\.js$/.exec(source);
      if (found) return source.slice(0, found.index + found[1].length);
    }
    return '/quillet-systemtest/';
  }

  // Loads language-CODE.js from beside this script, then calls done however
  // the load ended. The script is UTF-8: charset tells Internet Explorer,
  // which reads a script in the page's encoding otherwise.
  function loadLanguage(doc, code, done) {
    var script = doc.createElement('script'), finished = false;
    var finish = function () {
      if (finished) return;
      finished = true;
      script.onload = script.onerror = script.onreadystatechange = null;
      if (script.parentNode) script.parentNode.removeChild(script);
      done();
    };
    script.onload = script.onerror = finish;
    script.onreadystatechange = function () {
      if (script.readyState === 'loaded' || script.readyState === 'complete') finish();
    };
    script.charset = 'utf-8';
    script.src = scriptFolder(doc) + 'language-' + code + '.js';
    (doc.getElementsByTagName('head')[0] || doc.body).appendChild(script);
  }

  // The list of languages, each but the one shown a button that shows the
  // page in it; nothing is stored or sent.
  function renderLanguages(page, shown) {
    var doc = page.doc, list = doc.getElementById('languages');
    if (!list) return;
    clear(list).appendChild(doc.createTextNode(TABLES[shown].languages + ' '));
    for (var l = 0; l < LANGUAGES.length; l++) {
      var code = LANGUAGES[l][0];
      if (l) list.appendChild(doc.createTextNode(' '));
      if (code === shown) {
        list.appendChild(el(doc, 'strong', { lang: code }, [LANGUAGES[l][1]]));
      } else {
        var button = list.appendChild(el(doc, 'button', { type: 'button', lang: code, 'class': 'language' }, [LANGUAGES[l][1]]));
        button.onclick = languageSwitch(page, code);
      }
    }
  }

  function languageSwitch(page, code) {
    return function () { show(page, code); return false; };
  }

  // Shows the page in a language, loading its words first when they are not
  // here yet; where they cannot be loaded, in English.
  function show(page, code) {
    page.wanted = code;
    if (TABLES[code]) return showIn(page, code);
    loadLanguage(page.doc, code, function () {
      if (page.wanted === code) showIn(page, TABLES[code] ? code : 'en');
    });
    return null;
  }

  function showIn(page, code) {
    var doc = page.doc, words = TABLES[code], began = page.clock();
    doc.documentElement.setAttribute('lang', code);
    renderFrame(doc, words);
    renderLanguages(page, code);
    var result = judge(page.reading, { directXDownload: page.download, words: words });
    render(doc, result, words);
    doc.body.setAttribute('data-render-ms', (page.readMs + page.clock() - began).toFixed(2));
    return result;
  }

  function start(win) {
    var doc = win.document, now = clock(win);
    var began = now();
    // The DirectX download page, written into the page by the build from the
    // libraries' own setting; only an http(s) address is linked.
    var download = doc.body.getAttribute('data-directx-download') || '';
    var page = { doc: doc, clock: now, reading: readAddress(win.location.href), download: /^https?:\/\//i.test(download) ? download : '' };
    page.readMs = now() - began;
    return show(page, chooseLanguage(preferredLanguages(win.navigator)));
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
    LANGUAGES: LANGUAGES, findMarkers: findMarkers, megabytes: megabytes, osVersion: osVersion, describeWindows: describeWindows, percentDecode: percentDecode,
    readAddress: readAddress, readMask: readMask, windowsName: windowsName, hexId: hexId, vendorName: vendorName, judge: judge,
    render: render, copySummary: copySummary, preferredLanguages: preferredLanguages, chooseLanguage: chooseLanguage,
    start: start, startWhenReady: startWhenReady
  };
}));
