// How many ordinary addresses, as the program writes them and as a browser
// sends them (the form a web server logs), the result page's reader reads
// and judges per second in Node, on one core: the best of several rounds.
//   node reader_benchmark.js [rounds]
'use strict';
const page = require('../../resultpage/result.js');
const { address, asBrowserReports } = require('./address.js');

const written = [
  address({}), address({ result: '16', mem: '30 MB' }), address({ result: '1040', mem: '32 MB', alternates: '6.14.0010.7164, 6.14.0010.8185' }),
  address({ result: '-1', mem: '', card: '', pslevel: '', driver: '', alternates: '' }),
  address({ result: '256', osver: '5.1 SP 1.0', dxver: 'DirectX 9.0 installed', card: 'RADEON 9700 PRO', vendorID: '4098', deviceID: '20800' })
];
const addresses = written.concat(written.map(asBrowserReports));

const rounds = Number(process.argv[2]) || 7;
const perRound = 50000;
let best = 0;
for (let warm = 0; warm < perRound; warm++) page.judge(page.readAddress(addresses[warm % addresses.length]));
for (let round = 0; round < rounds; round++) {
  const began = process.hrtime.bigint();
  for (let i = 0; i < perRound; i++) page.judge(page.readAddress(addresses[i % addresses.length]));
  best = Math.max(best, perRound / (Number(process.hrtime.bigint() - began) / 1e9));
}
console.log('per_second=' + Math.round(best));
