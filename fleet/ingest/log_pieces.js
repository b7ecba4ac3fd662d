// A log file as the pieces ingest hands its workers: the file's head, which
// recognises it, and then runs of whole lines, decompressed when it is gzip.
'use strict';
const fs = require('fs');
const zlib = require('zlib');

const CHUNK = 1 << 20;        // bytes of lines per worker job
const HEAD_LIMIT = 1 << 20;   // a file's head ends within this
// A line of more bytes than this before its newline is rejected unread: far
// longer than a server writes with its default limits (nginx and Apache
// take a request line or a header of 8 KiB at the most).
const LINE_LIMIT = 1 << 20;
// A file's format is detected from its first lines within its first bytes,
// those after a first line longer than a line may be among them.
const DETECTION_LINES = 50;
const HEAD_READ = 4 * LINE_LIMIT;

// Where the head of a file ends: after its first line that is neither empty
// nor a "#" header; -1 when no such whole line is in `buffer`.
function headEnd(buffer) {
  for (let start = 0; start < buffer.length;) {
    const end = buffer.indexOf(10, start);
    if (end < 0) return -1;
    const first = buffer[start];
    if (end > start && first !== 35 && !(first === 13 && end === start + 1)) return end + 1;
    start = end + 1;
  }
  return -1;
}

function isGzip(file) {
  const fd = fs.openSync(file, 'r');
  try {
    const magic = Buffer.alloc(2);
    return fs.readSync(fd, magic, 0, 2, 0) === 2 && magic[0] === 0x1F && magic[1] === 0x8B;
  } finally {
    fs.closeSync(fd);
  }
}

// The decompressed bytes of a file from `skip` on, in chunks; `progress`
// learns the bytes of the file itself read so far.
async function* contentFrom(file, gzip, skip, progress) {
  const raw = fs.createReadStream(file, { highWaterMark: 4 << 20, start: gzip ? 0 : skip });
  const stream = gzip ? raw.pipe(zlib.createGunzip({ chunkSize: 1 << 20 })) : raw;
  if (gzip) {
    raw.on('data', (b) => progress(b.length));
    raw.on('error', (e) => stream.destroy(e));
  }
  let toSkip = gzip ? skip : 0;
  try {
    for await (let chunk of stream) {
      if (!gzip) progress(chunk.length);
      if (toSkip) {
        if (chunk.length <= toSkip) { toSkip -= chunk.length; continue; }
        chunk = chunk.subarray(toSkip);
        toSkip = 0;
      }
      yield chunk;
    }
  } finally {
    raw.destroy();
  }
}

// The first bytes of a file: `buffer`, the first HEAD_READ bytes (or all
// when fewer), and `end`, where the head that recognises the file ends:
// after its first line that is neither empty nor a "#" header, or at
// HEAD_LIMIT when that line is longer; -1 while the file is shorter and that
// line has no newline yet.
async function readHead(file, gzip) {
  const parts = [];
  let size = 0;
  for await (const chunk of contentFrom(file, gzip, 0, () => {})) {
    parts.push(chunk);
    size += chunk.length;
    if (size >= HEAD_READ) break;
  }
  const buffer = Buffer.concat(parts).subarray(0, HEAD_READ);
  const end = headEnd(buffer.subarray(0, HEAD_LIMIT));
  return { buffer, end: end < 0 && buffer.length >= HEAD_LIMIT ? HEAD_LIMIT : end };
}

// The first lines of `buffer` (a file's first bytes) as byte strings without
// their line ends, the lines too long to be read left out.
function headLines(buffer) {
  const lines = [];
  for (let start = 0; start < buffer.length && lines.length < DETECTION_LINES;) {
    let end = buffer.indexOf(10, start);
    if (end < 0) end = buffer.length;
    const length = end - start - (buffer[end - 1] === 13 && end > start ? 1 : 0);
    if (end - start <= LINE_LIMIT) lines.push(buffer.toString('latin1', start, start + length));
    start = end + 1;
  }
  return lines;
}

// Where to cut `parts` (buffers read one after the other): after the last
// newline before byte `limit`, else after the first one past it (a line
// longer than a piece); -1 when there is no newline to cut at.
function cutPoint(parts, limit) {
  if (!parts.length) return -1;
  let i = 0, offset = 0;
  while (i < parts.length - 1 && offset + parts[i].length < limit) offset += parts[i++].length;
  for (let j = i, at = offset; j >= 0; j--) {
    const newline = parts[j].lastIndexOf(10, j === i ? limit - 1 - at : parts[j].length - 1);
    if (newline >= 0) return at + newline + 1;
    if (j > 0) at -= parts[j - 1].length;
  }
  for (let j = i, at = offset; j < parts.length; at += parts[j].length, j++) {
    const newline = parts[j].indexOf(10, j === i ? Math.max(0, limit - at) : 0);
    if (newline >= 0) return at + newline + 1;
  }
  return -1;
}

// The whole lines of `chunks` in pieces of about `size` bytes, cut after a
// newline, each in memory of its own (never Node's shared pool) so that it
// can be transferred to a worker; each byte is copied once. A line of more
// than `lineLimit` bytes before its newline is not held: its bytes are let
// pass as they stream, and it comes in its place as { tooLong: its bytes,
// newline included }. What follows the last newline is left out: a line
// without its newline waits for the next run.
async function* wholeLinePieces(chunks, size = CHUNK, lineLimit = LINE_LIMIT) {
  const parts = [];
  let held = 0;      // bytes in parts
  let open = 0;      // of them, the bytes after the last newline
  let passing = -1;  // bytes of a line too long let pass so far; -1 outside one
  const take = (length) => {
    const piece = Buffer.allocUnsafeSlow(length);
    for (let at = 0; at < length;) {
      const n = Math.min(parts[0].length, length - at);
      parts[0].copy(piece, at, 0, n);
      at += n;
      if (n === parts[0].length) parts.shift();
      else parts[0] = parts[0].subarray(n);
    }
    held -= length;
    return piece;
  };
  for await (let chunk of chunks) {
    if (passing >= 0) {
      const newline = chunk.indexOf(10);
      if (newline < 0) {
        passing += chunk.length;
        continue;
      }
      yield { tooLong: passing + newline + 1 };
      passing = -1;
      chunk = chunk.subarray(newline + 1);
    }
    const last = chunk.lastIndexOf(10);
    open = last < 0 ? open + chunk.length : chunk.length - last - 1;
    parts.push(chunk);
    held += chunk.length;
    if (open > lineLimit) {
      // The whole lines before it go on; the line's bytes held so far go.
      for (let end; held > open && (end = cutPoint(parts, Math.min(size, held - open))) > 0;) yield take(end);
      passing = open;
      parts.length = 0;
      held = open = 0;
      continue;
    }
    for (let end; held >= size && (end = cutPoint(parts, size)) > 0;) yield take(end);
  }
  const end = cutPoint(parts, held);
  if (end > 0) yield take(end);
}

function countLines(buffer) {
  let n = 0;
  for (let at = buffer.indexOf(10); at >= 0; at = buffer.indexOf(10, at + 1)) n++;
  return n;
}

module.exports = { LINE_LIMIT, headEnd, isGzip, contentFrom, readHead, headLines, wholeLinePieces, countLines };
