// The worker threads that read the lines (worker_thread.js), each job posted
// to the least busy one, its reply a promise.
'use strict';
const path = require('path');
const { Worker } = require('worker_threads');

// A worker's heap: each line leaves short-lived garbage (its slices, matches
// and request), collected in the young generation; what lives on is the
// cache of judged addresses, which line_reader.js bounds. A bounded old
// generation is collected before it grows far past that.
const WORKER_YOUNG_MB = 48;
const WORKER_OLD_MB = 96;

function createPool(count) {
  const workers = [];
  for (let i = 0; i < count; i++) {
    const worker = new Worker(path.join(__dirname, 'worker_thread.js'), {
      workerData: { worker: i, workers: count }, resourceLimits: { maxYoungGenerationSizeMb: WORKER_YOUNG_MB, maxOldGenerationSizeMb: WORKER_OLD_MB }
    });
    const entry = { worker, waiting: new Map(), busy: 0, failed: null };
    worker.on('message', (reply) => {
      const done = entry.waiting.get(reply.id);
      entry.waiting.delete(reply.id);
      entry.busy--;
      done.resolve(reply);
    });
    worker.on('error', (error) => {
      entry.failed = error;
      for (const done of entry.waiting.values()) done.reject(error);
      entry.waiting.clear();
    });
    workers.push(entry);
  }
  let nextId = 0;
  let closed = false;
  return {
    size: count,
    idle() { return workers.reduce((best, w) => (w.busy < best.busy ? w : best)); },
    // Posts a job to the least busy worker; resolves with its reply.
    send(job, target) {
      const entry = target || this.idle();
      if (entry.failed) return Promise.reject(entry.failed);
      if (closed) return Promise.reject(new Error('the workers have stopped'));
      const id = nextId++;
      entry.busy++;
      const transfer = job.buffer ? [job.buffer] : [];
      return new Promise((resolve, reject) => {
        entry.waiting.set(id, { resolve, reject });
        entry.worker.postMessage(Object.assign(job, { id }), transfer);
      });
    },
    workers,
    async close() {
      closed = true;
      await Promise.all(workers.map((w) => w.worker.terminate()));
    }
  };
}

module.exports = { createPool };
