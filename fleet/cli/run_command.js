// What every command shares: its arguments checked before any work, the
// store opened and closed on every path, its output files written whole or
// not at all, and one exit status per kind of outcome.
'use strict';
const fs = require('node:fs');
const { UsageError } = require('./arguments.js');
const { writeWhole } = require('./whole_files.js');
const { openForReading } = require('../store/store_reader.js');
const { openStore } = require('../store/store.js');

const DONE = 0;
const FAILED = 1;      // the work failed, or a part of it
const USAGE = 2;       // the arguments were wrong, or the store cannot be opened

// Ingest opens the store to write it, creating it when there is none.
async function openForWriting(file) {
  try {
    return await openStore(file);
  } catch (error) {
    throw new Error(file + ': cannot open the store: ' + error.message);
  }
}

const OPENERS = { read: openForReading, write: openForWriting };

// command: {
//   label: what starts its messages ("vidrake-fleet report: " or ""),
//   usage: its usage line,
//   parse(argv): its options, or throws UsageError,
//   prepare(options): optional, before the store opens,
//   store: 'read' | 'write' to open options.store, or absent,
//   run(options, store): { status, files, stdout }, each optional: files in
//     order, { file, text } or { folder } (made with its parents); a thrown
//     error fails the command with its message.
// }
async function runCommand(command, argv) {
  const say = (message) => process.stderr.write(command.label + message + '\n');
  let options;
  try {
    options = command.parse(argv);
  } catch (error) {
    if (!(error instanceof UsageError)) throw error;
    if (!error.withUsage) say(error.message);
    else process.stderr.write(command.label + (error.message ? error.message + '\n' : '') + command.usage + '\n');
    return USAGE;
  }
  if (command.prepare) command.prepare(options);
  let store = null;
  if (command.store) {
    try {
      store = await OPENERS[command.store](options.store);
    } catch (error) {
      say(error.message);
      return USAGE;
    }
  }
  let outcome;
  try {
    outcome = await command.run(options, store);
  } catch (error) {
    say(error.message);
    return FAILED;
  } finally {
    if (store) store.close();
  }
  try {
    for (const output of outcome.files || []) {
      if (output.folder) fs.mkdirSync(output.folder, { recursive: true });
      else writeWhole(output.file, output.text);
    }
  } catch (error) {
    say(error.message);
    return FAILED;
  }
  if (outcome.stdout !== undefined) process.stdout.write(outcome.stdout);
  return outcome.status === undefined ? DONE : outcome.status;
}

module.exports = { runCommand, DONE, FAILED, USAGE };
