// Drafts read by a real XML parser: Debian's xmllint (libxml2-utils).
'use strict';
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');

function assertWellFormedXml(text, what) {
  const run = spawnSync('xmllint', ['--noout', '-'], { input: text, encoding: 'utf8' });
  if (run.error && run.error.code === 'ENOENT') assert.fail('xmllint is not installed (scripts/install-deps installs it)');
  assert.equal(run.status, 0, (what || 'the draft') + ' is not well-formed XML: ' + run.stderr);
}

module.exports = { assertWellFormedXml };
