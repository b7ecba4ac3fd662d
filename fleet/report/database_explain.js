// The database tool's batch explain: every adapter judged against every
// database in one run of scripts/vidrake-db (one Wine session).
// VIDRAKE_DB_COMMAND names another wrapper of the tool.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const { spawn } = require('node:child_process');

function toolCommand() {
  return process.env.VIDRAKE_DB_COMMAND || path.join(__dirname, '..', '..', 'scripts', 'vidrake-db');
}

const LARGEST_ID = 4294967295;

// Whether the tool can be asked about the adapter as it is: ids it reads,
// texts that keep its line format (no tab, line break or NUL) and that UTF-8
// can carry unchanged (no lone surrogate).
function explainable(adapter) {
  const id = (value) => value !== null && Number.isInteger(Number(value)) && Number(value) >= 0 && Number(value) <= LARGEST_ID;
  return id(adapter.vendorId) && id(adapter.deviceId) &&
    [adapter.card, adapter.driver].every((text) => !/[\t\r\n\0]/.test(text || '') && String(text || '').isWellFormed());
}

// Whether an answer judges the adapter: the tool answers a line it cannot
// read with an error and no judgement.
function judgedAnswer(answer) {
  return Boolean(answer && !answer.error && answer.direct3d9 && answer.direct3d8);
}

function adapterLines(adapters) {
  return adapters.map((a) => [a.vendorId, a.deviceId, a.driver || '', a.card || ''].join('\t')).join('\n') + '\n';
}

// The questions written a batch at a time: a million names would not fit
// one string.
const LINES_PER_WRITE = 4096;

function writeAdapterLines(file, adapters) {
  const fd = fs.openSync(file, 'w');
  try {
    for (let i = 0; i < adapters.length; i += LINES_PER_WRITE) {
      fs.writeSync(fd, adapterLines(adapters.slice(i, i + LINES_PER_WRITE)), null, 'utf8');
    }
  } finally {
    fs.closeSync(fd);
  }
}

// The tool's answers as they come, one JSON line each, checked against the
// questions: answers[d][i] is the explain record of adapters[i] against
// databases[d].
function createAnswers(adapterCount, databases) {
  const answers = databases.map(() => []);
  let count = 0;
  return {
    add(line) {
      if (line.trim() === '') return;
      const answer = JSON.parse(line);
      const d = Math.floor(count / adapterCount), i = count % adapterCount;
      count++;
      if (d >= databases.length) return;
      if (answer.line !== i + 1) throw new Error('the database tool answered line ' + answer.line + ' where line ' + (i + 1) + ' was due');
      if (answer.readable === false) {
        throw new Error('the database tool cannot read ' + databases[d] + (answer.error && answer.error.reason ? ': ' + answer.error.reason : ''));
      }
      answers[d].push(answer);
    },
    finish() {
      if (count !== adapterCount * databases.length) {
        throw new Error('the database tool gave ' + count + ' answers for ' + adapterCount + ' adapters and ' + databases.length + ' databases');
      }
      return answers;
    }
  };
}

function splitAnswers(text, adapterCount, databases) {
  const answers = createAnswers(adapterCount, databases);
  for (const line of text.split('\n')) answers.add(line);
  return answers.finish();
}

// The tool's standard output line by line into `answers`; of its standard
// error the end only, which says why it failed.
const ERROR_TAIL = 64 * 1024;

function run(command, args, answers) {
  return new Promise((resolve, reject) => {
    const child = spawn(command, args, { stdio: ['ignore', 'pipe', 'pipe'] });
    let stderr = '';
    let failed = null;
    child.stderr.setEncoding('utf8');
    child.stderr.on('data', (text) => { stderr = (stderr + text).slice(-ERROR_TAIL); });
    const lines = readline.createInterface({ input: child.stdout, crlfDelay: Infinity });
    lines.on('line', (line) => {
      if (failed) return;
      try {
        answers.add(line);
      } catch (error) {
        failed = error;
        child.kill();
      }
    });
    child.on('error', (error) => reject(new Error('cannot run the database tool ' + command + ': ' + error.message)));
    // 'close' comes after the last line has been read.
    child.on('close', (status) => resolve({ status, stderr, failed }));
  });
}

// adapters: [{ vendorId, deviceId, driver, card }] (explainable ones only).
// With `trail`, each answer holds the records that matched the adapter.
async function explainBatch(adapters, databases, { trail = false } = {}) {
  if (!adapters.length) return databases.map(() => []);
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-explain-'));
  try {
    const file = path.join(folder, 'adapters.txt');
    writeAdapterLines(file, adapters);
    const command = toolCommand();
    const answers = createAnswers(adapters.length, databases);
    const result = await run(command, ['explain', '--batch', file, ...(trail ? ['--trail'] : []), ...databases], answers);
    if (result.failed) throw result.failed;
    if (result.status !== 0) {
      throw new Error('the database tool (' + command + ') ended with status ' + result.status + (result.stderr.trim() ? ': ' + result.stderr.trim() : ''));
    }
    return answers.finish();
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

module.exports = { explainBatch, explainable, judgedAnswer, splitAnswers, adapterLines, toolCommand };
