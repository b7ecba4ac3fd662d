// Log lines as nginx, Apache and CloudFront write them, for the fleet's
// tests: a request target (a byte string) escaped the way each server does.
'use strict';
const { cp1252 } = require('../../fleet/ingest/server_escaping.js');
const { nginxEscape } = require('../../fleet/simulate/nginx_log.js');

const HEX = (code) => '\\x' + code.toString(16).toUpperCase().padStart(2, '0');

// Apache: `\"` and `\\`, C escapes for whitespace, \xhh for the rest.
function apacheEscape(bytes) {
  const c = { '"': '\\"', '\\': '\\\\', '\n': '\\n', '\t': '\\t', '\r': '\\r', '\v': '\\v', '\f': '\\f', '\b': '\\b' };
  return bytes.replace(/[\x00-\x1F"\\\x7F-\xFF]/g, (ch) => c[ch] || HEX(ch.charCodeAt(0)).toLowerCase());
}

// CloudFront: percent-escapes spaces, controls, bytes past ASCII, `"`, `\`
// and `%` itself.
function cloudFrontEscape(bytes) {
  return bytes.replace(/[\x00-\x20"%\\\x7F-\xFF]/g, (c) => '%' + c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0'));
}

const CLF_TIME = '09/Dec/2026:07:52:46 +0000';

function combinedLine(target, options = {}, escape = nginxEscape) {
  const o = Object.assign({ client: '192.0.2.7', time: CLF_TIME, method: 'GET', agent: 'Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)' }, options);
  return `${o.client} - - [${o.time}] "${escape(o.method + ' ' + target + ' HTTP/1.1')}" 200 5120 "-" "${escape(o.agent)}"`;
}

function commonLine(target, options = {}, escape = nginxEscape) {
  const o = Object.assign({ client: '192.0.2.7', time: CLF_TIME, method: 'GET' }, options);
  return `${o.client} - - [${o.time}] "${escape(o.method + ' ' + target + ' HTTP/1.1')}" 200 5120`;
}

const CLOUDFRONT_HEADER = '#Version: 1.0\n#Fields: date time x-edge-location sc-bytes c-ip cs-method cs(Host) cs-uri-stem sc-status ' +
  'cs(Referer) cs(User-Agent) cs-uri-query cs(Cookie) x-edge-result-type x-edge-request-id x-host-header cs-protocol cs-bytes ' +
  'time-taken x-forwarded-for ssl-protocol ssl-cipher x-edge-response-result-type cs-protocol-version fle-status ' +
  'fle-encrypted-fields c-port time-to-first-byte x-edge-detailed-result-type sc-content-type sc-content-len sc-range-start sc-range-end';

function cloudFrontLine(target, options = {}) {
  const o = Object.assign({ client: '192.0.2.7', date: '2026-12-09', time: '07:52:46', method: 'GET', agent: 'Mozilla/5.0 (Windows NT 10.0)' }, options);
  const q = target.indexOf('?');
  const stem = q < 0 ? target : target.slice(0, q);
  const query = q < 0 ? '-' : cloudFrontEscape(target.slice(q + 1));
  return [o.date, o.time, 'FRA56-P1', '5120', o.client, o.method, 'd111111abcdef8.cloudfront.net', cloudFrontEscape(stem), '200', '-',
    cloudFrontEscape(o.agent), query || '-', '-', 'Miss', 'abc==', 'systemtest.quillet.example', 'http', '600', '0.002', '-', '-', '-',
    'Miss', 'HTTP/1.1', '-', '-', '50123', '0.002', 'Miss', 'text/html', '5120', '-', '-'].join('\t');
}

// Text as an old browser sends it: the code page's bytes raw, spaces as %20.
function asOldBrowserSends(text) {
  let out = '';
  for (const ch of text) {
    if (ch === ' ') { out += '%20'; continue; }
    let byte = ch.charCodeAt(0) < 0x80 ? ch.charCodeAt(0) : -1;
    for (let b = 0x80; byte < 0 && b <= 0xFF; b++) if (cp1252(b) === ch) byte = b;
    if (byte < 0) return null; // not in Windows-1252: the program could not have written it
    out += String.fromCharCode(byte);
  }
  return out;
}

// Text as a current browser sends it (Chromium and Node's URL agree), as a
// byte string.
function asBrowserSends(text) {
  const url = new URL(text);
  return url.pathname + url.search;
}

module.exports = { nginxEscape, apacheEscape, cloudFrontEscape, combinedLine, commonLine, cloudFrontLine, CLOUDFRONT_HEADER,
  asOldBrowserSends, asBrowserSends };
