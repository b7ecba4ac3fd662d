// The progress line of ingest, on a terminal only.
'use strict';

// Progress on a terminal only: bytes read of the total, lines a second.
function createProgress(stream) {
  if (!stream.isTTY) return { file() {}, bytes() {}, lines() {}, done() {} };
  let name = '', total = 0, read = 0, lines = 0, began = Date.now(), shown = 0;
  const show = (force) => {
    const now = Date.now();
    if (!force && now - shown < 500) return;
    shown = now;
    const rate = Math.round(lines / Math.max(0.001, (now - began) / 1000));
    stream.write(`\r${name}: ${(read / 1e6).toFixed(1)} of ${(total / 1e6).toFixed(1)} MB, ${rate.toLocaleString('en')} lines/s\x1b[K`);
  };
  return {
    file(n, size) { name = n; total = size; read = 0; lines = 0; began = Date.now(); },
    bytes(n) { read += n; show(false); },
    lines(n) { lines += n; show(false); },
    done() { show(true); stream.write('\n'); }
  };
}

module.exports = { createProgress };
