// The database tool's batch explain: every adapter judged against every
// database in one run of scripts/vidrake-db (one Wine session).
// VIDRAKE_DB_COMMAND names another wrapper of the tool.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
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

function run(command, args) {
  return new Promise((resolve, reject) => {
    const child = spawn(command, args, { stdio: ['ignore', 'pipe', 'pipe'] });
    const out = [], err = [];
    child.stdout.on('data', (chunk) => out.push(chunk));
    child.stderr.on('data', (chunk) => err.push(chunk));
    child.on('error', (error) => reject(new Error('cannot run the database tool ' + command + ': ' + error.message)));
    child.on('close', (status) => resolve({ status, stdout: Buffer.concat(out).toString('utf8'), stderr: Buffer.concat(err).toString('utf8') }));
  });
}

// The tool's answers split per database: answers[d][i] is the explain
// record of adapters[i] against databases[d].
function splitAnswers(text, adapterCount, databases) {
  const records = text.split('\n').filter((line) => line.trim() !== '').map((line) => JSON.parse(line));
  if (records.length !== adapterCount * databases.length) {
    throw new Error('the database tool gave ' + records.length + ' answers for ' + adapterCount + ' adapters and ' + databases.length + ' databases');
  }
  return databases.map((database, d) => {
    const answers = records.slice(d * adapterCount, (d + 1) * adapterCount);
    answers.forEach((answer, i) => {
      if (answer.line !== i + 1) throw new Error('the database tool answered line ' + answer.line + ' where line ' + (i + 1) + ' was due');
      if (answer.readable === false) {
        throw new Error('the database tool cannot read ' + database + (answer.error && answer.error.reason ? ': ' + answer.error.reason : ''));
      }
    });
    return answers;
  });
}

// adapters: [{ vendorId, deviceId, driver, card }] (explainable ones only).
// With `trail`, each answer holds the records that matched the adapter.
async function explainBatch(adapters, databases, { trail = false } = {}) {
  if (!adapters.length) return databases.map(() => []);
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'vidrake-fleet-explain-'));
  try {
    const file = path.join(folder, 'adapters.txt');
    fs.writeFileSync(file, adapterLines(adapters), 'utf8');
    const command = toolCommand();
    const result = await run(command, ['explain', '--batch', file, ...(trail ? ['--trail'] : []), ...databases]);
    if (result.status !== 0) {
      throw new Error('the database tool (' + command + ') ended with status ' + result.status + (result.stderr.trim() ? ': ' + result.stderr.trim() : ''));
    }
    return splitAnswers(result.stdout, adapters.length, databases);
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

module.exports = { explainBatch, explainable, judgedAnswer, splitAnswers, adapterLines, toolCommand };
