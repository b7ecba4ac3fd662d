// Outputs written whole or not at all: into a temporary name beside the
// target, renamed onto it once complete.
'use strict';
const fs = require('node:fs');
const path = require('node:path');

// A file of `text`.
function writeWhole(file, text) {
  writeFileWhole(file, (fd) => fs.writeFileSync(fd, text));
}

// A file written through `write(fd)`, for outputs too large to hold.
function writeFileWhole(file, write) {
  const temporary = path.join(path.dirname(file), '.' + path.basename(file) + '.' + process.pid + '.tmp');
  try {
    const fd = fs.openSync(temporary, 'w');
    try {
      write(fd);
    } finally {
      fs.closeSync(fd);
    }
    fs.renameSync(temporary, file);
  } catch (error) {
    fs.rmSync(temporary, { force: true });
    throw error;
  }
}

// A folder filled by `fill(folder)`; the target may be an empty folder.
async function writeFolderWhole(target, fill) {
  const partial = path.join(path.dirname(path.resolve(target)), '.' + path.basename(target) + '.partial-' + process.pid);
  try {
    fs.mkdirSync(partial);
    await fill(partial);
    if (fs.existsSync(target)) fs.rmdirSync(target);
    fs.renameSync(partial, target);
  } catch (error) {
    fs.rmSync(partial, { recursive: true, force: true });
    throw error;
  }
}

module.exports = { writeWhole, writeFileWhole, writeFolderWhole };
