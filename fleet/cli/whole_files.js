// Writes a whole file or nothing: into a temporary name beside it, then renamed.
'use strict';
const fs = require('node:fs');
const path = require('node:path');

function writeWhole(file, text) {
  const temporary = path.join(path.dirname(file), '.' + path.basename(file) + '.' + process.pid + '.tmp');
  try {
    fs.writeFileSync(temporary, text);
    fs.renameSync(temporary, file);
  } catch (error) {
    fs.rmSync(temporary, { force: true });
    throw error;
  }
}

module.exports = { writeWhole };
