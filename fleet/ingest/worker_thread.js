// A worker thread of ingest: reads the runs of lines the main thread sends.
'use strict';
const { parentPort, workerData } = require('worker_threads');
const { createLineReader } = require('./line_reader.js');
const { transferList } = require('./result_columns.js');

// VIDRAKE_FLEET_CACHE_LIMIT: a smaller cache, for the tests of its turnover.
const limit = Number(process.env.VIDRAKE_FLEET_CACHE_LIMIT) || undefined;
const reader = createLineReader(workerData.worker, workerData.workers, limit);
parentPort.on('message', (job) => {
  const text = job.buffer ? Buffer.from(job.buffer, job.offset, job.length).toString('latin1') : '';
  delete job.buffer;
  const reply = reader.read(Object.assign(job, { text }));
  reply.id = job.id;
  parentPort.postMessage(reply, transferList(reply.lines));
});
