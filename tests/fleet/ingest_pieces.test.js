// How ingest cuts a file's bytes into pieces for the workers.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { createPool } = require('../../fleet/ingest/worker_pool.js');
const { wholeLinePieces } = require('../../fleet/ingest/log_pieces.js');

async function piecesOf(chunks, size) {
  async function* source() { for (const chunk of chunks) yield Buffer.from(chunk, 'latin1'); }
  const pieces = [];
  for await (const piece of wholeLinePieces(source(), size)) pieces.push(piece);
  return pieces;
}

test('pieces end after a newline, keep every whole line once, and own their memory', async () => {
  const lines = [];
  for (let i = 0; i < 200; i++) lines.push('line ' + i + ' ' + 'x'.repeat(i % 37) + '\n');
  const text = lines.join('');
  // The same bytes read in chunks of many sizes, some smaller than a line.
  for (const step of [1, 7, 64, 500, text.length]) {
    const chunks = [];
    for (let at = 0; at < text.length; at += step) chunks.push(text.slice(at, at + step));
    const pieces = await piecesOf(chunks, 256);
    assert.equal(pieces.map((p) => p.toString('latin1')).join(''), text, `chunks of ${step}`);
    for (const piece of pieces) {
      assert.equal(piece[piece.length - 1], 10);
      assert.ok(piece.length <= 256, `a piece of ${piece.length} bytes from chunks of ${step}`);
      assert.equal(piece.byteOffset, 0);
      assert.equal(piece.buffer.byteLength, piece.length);
    }
    assert.ok(pieces.length >= Math.floor(text.length / 256), `chunks of ${step}: ${pieces.length} pieces`);
  }
});

test('a line longer than a piece comes whole; a last line without its newline waits', async () => {
  const long = 'L'.repeat(1000) + '\n';
  const pieces = await piecesOf(['a\nb', 'b\n' + long.slice(0, 300), long.slice(300), 'c\nunfinished'], 100);
  assert.deepEqual(pieces.map((p) => p.toString('latin1')), ['a\nbb\n', long, 'c\n']);
  assert.deepEqual(await piecesOf(['no newline at all'], 4), []);
  assert.deepEqual(await piecesOf([], 4), []);
});

test('a line over the limit is let pass as it streams and stands as one marker in its place', async () => {
  const limit = 20;
  const lines = ['short', 'x'.repeat(limit), 'y'.repeat(limit + 1), 'ok', 'z'.repeat(95), 'z'.repeat(3 * limit), 'end'];
  const text = lines.join('\n') + '\n' + 'w'.repeat(70); // the last line has no newline yet
  for (const step of [1, 7, 19, 64, text.length]) {
    const chunks = [];
    for (let at = 0; at < text.length; at += step) chunks.push(Buffer.from(text.slice(at, at + step), 'latin1'));
    async function* source() { yield* chunks; }
    const seen = [];
    for await (const out of wholeLinePieces(source(), 32, limit)) {
      if (out.tooLong) seen.push({ tooLong: out.tooLong });
      else seen.push(...out.toString('latin1').split('\n').slice(0, -1));
    }
    // Each whole line comes once, in order, as itself or, when over the
    // limit, as its marker; a line is held whole only when its newline came
    // in the chunk that took it past the limit (the workers reject it).
    assert.equal(seen.length, lines.length, `chunks of ${step}`);
    seen.forEach((s, i) => {
      const what = `chunks of ${step}, line ${i}`;
      if (s.tooLong) assert.ok(s.tooLong === lines[i].length + 1 && lines[i].length > limit, what);
      else assert.ok(s === lines[i] && (s.length <= limit || s.length < limit + step), what);
    });
    if (step < limit) assert.deepEqual(seen.slice(4, 6), [{ tooLong: 96 }, { tooLong: 61 }], `chunks of ${step}`);
  }
});

test('a job for stopped workers fails at once instead of waiting for ever', { timeout: 20000 }, async () => {
  const pool = createPool(1);
  await pool.close();
  await assert.rejects(pool.send({ reset: true, format: 'combined', firstLine: 0 }), /stopped/);
});
