// scripts/read-result-address, which scripts/system-test-run uses to name
// the bits of a run's mask: the page's reader, so the program's own result
// counts (not a "result=" inside the card name) and -1 names no bits.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { address } = require('./address.js');

const SCRIPT = path.join(__dirname, '..', '..', 'scripts', 'read-result-address');
const read = (href) => execFileSync(SCRIPT, [href], { encoding: 'utf8' });

test('the mask and its bits as the program wrote them', () => {
  const cases = [
    [address({ result: '16', mem: '30 MB' }), '16\nGFX_MEMORY_LOW 0x010\n'],
    [address({ result: '1040', alternates: '1.0' }), '1040\nGFX_MEMORY_LOW 0x010, GFX_DRIVER_REJECTED 0x400\n'],
    [address({}), '0\nnone: the computer meets the requirements\n'],
    [address({ result: '-1', mem: '', card: '', pslevel: '', driver: '', alternates: '' }),
      '-1\nnone: -1 says that neither graphics check library could be loaded\n'],
    [address({ card: 'Odd result=1024 &result=2' }), '0\nnone: the computer meets the requirements\n'],
    ['http://h/quillet-systemtest?mem=1 MB', 'unknown\nnone: the address holds no result that is a number\n']
  ];
  for (const [href, printed] of cases) assert.equal(read(href), printed, href);
});
