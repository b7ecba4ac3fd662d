// A store that cannot be opened: every command stops with the same status
// before any work, says which store and why, and leaves the file as it was.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');

const MAIN = path.join(__dirname, '..', '..', 'fleet', 'cli', 'main.js');
const CANNOT_OPEN = 2; // as for wrong arguments

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-unopenable.'));
test.after(() => fs.rmSync(dir, { recursive: true, force: true }));

function fleet(args) {
  const done = spawnSync(process.execPath, [MAIN, ...args], { encoding: 'utf8' });
  return { status: done.status, out: done.stdout, err: done.stderr };
}

test('every command gives one status for a store that cannot be opened', () => {
  const garbage = path.join(dir, 'notes.duckdb');
  const text = 'not a database, only text that ends up where a store was meant to be\n'.repeat(100);
  fs.writeFileSync(garbage, text);
  const log = path.join(dir, 'access.log');
  fs.writeFileSync(log, '203.0.113.9 - - [01/Jan/2026:10:00:00 +0000] "GET / HTTP/1.1" 200 5 "-" "curl/8"\n');
  const missing = path.join(dir, 'no-such-store.duckdb');
  const cases = [
    ['ingest', garbage, log],
    ['report', garbage], ['report', missing, '--json', path.join(dir, 'report.json')],
    ['impact', garbage, '--before', 'old.xml', '--after', 'new.xml'], ['impact', missing, '--before', 'old.xml', '--after', 'new.xml'],
    ['export', garbage, path.join(dir, 'export')], ['export', missing, path.join(dir, 'export')]
  ];
  for (const args of cases) {
    const run = fleet(args);
    const name = args.join(' ');
    assert.equal(run.status, CANNOT_OPEN, name + ': ' + run.err);
    assert.equal(run.out, '', name);
    // One line that names the store, no stack trace.
    assert.match(run.err, /^[^\n]+\n$/, name);
    assert.ok(run.err.includes(args[1]), name + ': ' + run.err);
    if (args[0] !== 'ingest') assert.ok(run.err.startsWith('vidrake-fleet ' + args[0] + ': '), name + ': ' + run.err);
  }
  assert.equal(fs.readFileSync(garbage, 'utf8'), text, 'the file that is no store is left as it was');
  assert.deepEqual(fs.readdirSync(dir).sort(), ['access.log', 'notes.duckdb'], 'no output, no store made');
});
