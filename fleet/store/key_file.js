// The keys of a store, kept beside it in STORE.keys and never in it: the
// day keys of the days still open to late logs, and the file key that names
// log files. The file is rewritten whole through a temporary file, fsync and
// rename, so that a key taken out of it leaves no bytes behind in any file
// the tool keeps.
'use strict';
const fs = require('fs');
const path = require('path');
const crypto = require('crypto');

function keyFileOf(store) {
  return store + '.keys';
}

function newKey() {
  return crypto.randomBytes(32);
}

function keyOfHex(hex, what) {
  if (typeof hex !== 'string' || !/^[0-9a-f]{64}$/.test(hex)) throw new Error(what + ' is not a key');
  return Buffer.from(hex, 'hex');
}

// { fileKey, days: Map(day -> key) } of the store's key file, or null when
// it has none.
function readKeyFile(store) {
  const file = keyFileOf(store);
  let text;
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch (error) {
    if (error.code === 'ENOENT') return null;
    throw error;
  }
  let parsed;
  try {
    parsed = JSON.parse(text);
  } catch (error) {
    throw new Error(file + ': not a key file');
  }
  const days = new Map();
  for (const [day, hex] of Object.entries(parsed.days || {})) days.set(day, keyOfHex(hex, file + ': the key of ' + day));
  return { fileKey: keyOfHex(parsed.file, file + ': the file key'), days };
}

// A file or folder's contents on disk (a folder's: the names renamed into it).
function syncPath(name) {
  const fd = fs.openSync(name, 'r');
  try {
    fs.fsyncSync(fd);
  } finally {
    fs.closeSync(fd);
  }
}

function writeKeyFile(store, keys) {
  const file = keyFileOf(store);
  const temporary = file + '.tmp';
  const days = {};
  for (const day of [...keys.days.keys()].sort()) days[day] = keys.days.get(day).toString('hex');
  const fd = fs.openSync(temporary, 'w', 0o600);
  try {
    fs.writeSync(fd, JSON.stringify({ file: keys.fileKey.toString('hex'), days }) + '\n');
    fs.fsyncSync(fd);
  } finally {
    fs.closeSync(fd);
  }
  fs.renameSync(temporary, file);
  syncPath(path.dirname(path.resolve(file)));
}

module.exports = { keyFileOf, newKey, readKeyFile, writeKeyFile, syncPath };
