// Lines as nginx writes them in its `combined` log, for simulated logs.
'use strict';

// nginx writes `"`, `\` and bytes outside printable ASCII as \xHH.
function nginxEscape(bytes) {
  return bytes.replace(/[\x00-\x1F"\\\x7F-\xFF]/g, (c) => '\\x' + c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0'));
}

const MONTHS = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];

// "09/Dec/2026:07:52:46 +0000" for a time in milliseconds.
function clfTime(ms) {
  const d = new Date(ms);
  const two = (n) => String(n).padStart(2, '0');
  return `${two(d.getUTCDate())}/${MONTHS[d.getUTCMonth()]}/${d.getUTCFullYear()}:${two(d.getUTCHours())}:${two(d.getUTCMinutes())}:${two(d.getUTCSeconds())} +0000`;
}

// One line; `request` and `agent` are byte strings as received.
function combinedLine(client, ms, request, status, bytes, agent) {
  return `${client} - - [${clfTime(ms)}] "${nginxEscape(request)}" ${status} ${bytes} "-" "${nginxEscape(agent)}"`;
}

module.exports = { nginxEscape, clfTime, combinedLine };
