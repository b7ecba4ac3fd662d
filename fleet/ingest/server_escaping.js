// Bytes as web servers log them, back to the text the program wrote. Log
// lines are read as latin1 ("byte strings": one character per byte, 0-255),
// so escapes and raw bytes can be undone before any text decoding.
'use strict';

// Windows-1252's characters for 0x80-0x9F; the five it leaves undefined
// keep their C1 code points, as Windows itself maps them.
const CP1252_HIGH = [
  0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D, 0x017D, 0x8F,
  0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178
];

function cp1252(byte) {
  return String.fromCharCode(byte >= 0x80 && byte < 0xA0 ? CP1252_HIGH[byte - 0x80] : byte);
}

// The length of the valid UTF-8 sequence that starts at `at` in `bytes`
// (an array-like of byte values), or 0 when none starts there.
function utf8SequenceLength(bytes, at) {
  const lead = bytes[at];
  let size, min;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) { size = 2; min = 0x80; }
  else if (lead >= 0xE0 && lead <= 0xEF) { size = 3; min = 0x800; }
  else if (lead >= 0xF0 && lead <= 0xF4) { size = 4; min = 0x10000; }
  else return 0;
  if (at + size > bytes.length) return 0;
  let code = lead & (0xFF >> (size + 1));
  for (let i = 1; i < size; i++) {
    const b = bytes[at + i];
    if ((b & 0xC0) !== 0x80) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return size;
}

function decodeUtf8(bytes, at, size) {
  return Buffer.from(bytes.slice(at, at + size)).toString('utf8');
}

// A byte string as text: UTF-8 where the bytes are valid UTF-8, each other
// byte as Windows-1252 (the code page of the program's old users).
function bytesToText(byteString) {
  if (!/[\x80-\xFF]/.test(byteString)) return byteString;
  const bytes = [];
  for (let i = 0; i < byteString.length; i++) bytes.push(byteString.charCodeAt(i));
  let out = '';
  for (let at = 0; at < bytes.length;) {
    const size = utf8SequenceLength(bytes, at);
    if (size === 0) out += cp1252(bytes[at++]);
    else if (size === 1) out += String.fromCharCode(bytes[at++]);
    else { out += decodeUtf8(bytes, at, size); at += size; }
  }
  return out;
}

const PERCENT_RUN = /(?:%[0-9A-Fa-f]{2})+/g;

// Percent escapes of bytes that are not UTF-8 (an old browser escaping the
// code page's bytes) become the escapes of their Windows-1252 characters in
// UTF-8, so that a reader decoding UTF-8 finds the text the program wrote.
// Valid UTF-8 and escapes of ASCII are left exactly as they are.
function recodePercentEscapes(text) {
  if (!/%[89A-Fa-f][0-9A-Fa-f]/.test(text)) return text;
  return text.replace(PERCENT_RUN, (run) => {
    const bytes = [];
    for (let i = 0; i < run.length; i += 3) bytes.push(parseInt(run.substr(i + 1, 2), 16));
    let out = '';
    for (let at = 0; at < bytes.length;) {
      const size = utf8SequenceLength(bytes, at);
      if (size === 0) out += encodeURIComponent(cp1252(bytes[at++]));
      else { out += run.substr(at * 3, size * 3); at += size; }
    }
    return out;
  });
}

const C_ESCAPES = { n: '\n', t: '\t', r: '\r', v: '\v', f: '\f', b: '\b', '"': '"', '\\': '\\' };

// A quoted field of nginx's or Apache's log back to its bytes: nginx writes
// `\xHH` for `"`, `\` and bytes outside printable ASCII; Apache writes
// `\xHH` too, but `\"` and `\\` for those two and C escapes for whitespace.
function unescapeLogField(field) {
  if (field.indexOf('\\') < 0) return field;
  return field.replace(/\\(x[0-9A-Fa-f]{2}|[ntrvfb"\\])/g, (all, what) =>
    what.length === 3 ? String.fromCharCode(parseInt(what.slice(1), 16)) : C_ESCAPES[what]);
}

// A CloudFront log field back to the bytes the client sent: CloudFront
// percent-escapes the characters it will not write raw (spaces, controls,
// bytes past ASCII, and "%" itself, so a client's %20 arrives as %2520);
// one level of percent decoding undoes that.
function unescapeCloudFront(field) {
  if (field.indexOf('%') < 0) return field;
  return field.replace(/%([0-9A-Fa-f]{2})/g, (all, hex) => String.fromCharCode(parseInt(hex, 16)));
}

module.exports = { bytesToText, recodePercentEscapes, unescapeLogField, unescapeCloudFront, cp1252 };
