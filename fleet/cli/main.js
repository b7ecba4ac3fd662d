// vidrake-fleet: what the results arriving at the maker's web host say
// about the field. Each subcommand's module is loaded only when it is called.
'use strict';

const COMMANDS = {
  ingest: ['../ingest/ingest.js', 'runIngest', 'ingest STORE LOG... [--format combined|common|cloudfront] [--workers N]'],
  report: ['../report/report.js', 'runReport', 'report STORE [--from DAY] [--to DAY] [--min-machines K] [--json FILE] [--html FILE] [--csv DIR] [--by month|week] [--trends-csv FILE] [--db VideoCardDB.xml [--draft FILE]] [--pci-ids FILE]'],
  plan: ['../plan/plan.js', 'runPlan', 'plan STORE [--from DAY] [--to DAY] [--min-machines K] [--json FILE] [--html FILE] --min REQUIREMENT=VALUE...'],
  impact: ['../impact/impact.js', 'runImpact', 'impact STORE --before OLD.xml --after NEW.xml [--from DAY] [--to DAY] [--json FILE]'],
  export: ['../store/export.js', 'runExport', 'export STORE DIR'],
  simulate: ['../simulate/simulate.js', 'runSimulate', 'simulate N --out LOG [--seed S] [--days D]']
};

function usage() {
  return 'usage: vidrake-fleet COMMAND ...\n' + Object.values(COMMANDS).map((c) => '  vidrake-fleet ' + c[2]).join('\n') + '\n';
}

// The subcommand's function, or a message saying why there is none.
function load(name) {
  const command = COMMANDS[name];
  if (!command) return { error: `unknown command "${name}"\n${usage()}` };
  let module;
  try {
    module = require(command[0]);
  } catch (error) {
    if (error.code === 'MODULE_NOT_FOUND' && String(error.message).includes(command[0].slice(2))) {
      return { error: `vidrake-fleet ${name}: not built yet\n` };
    }
    throw error;
  }
  if (typeof module[command[1]] !== 'function') return { error: `vidrake-fleet ${name}: not built yet\n` };
  return { run: module[command[1]] };
}

async function main(argv) {
  if (!argv.length || argv[0] === '--help' || argv[0] === '-h') {
    process.stdout.write(usage());
    return argv.length ? 0 : 2;
  }
  const command = load(argv[0]);
  if (command.error) {
    process.stderr.write(command.error);
    return 2;
  }
  return command.run(argv.slice(1));
}

if (require.main === module) {
  main(process.argv.slice(2)).then((status) => { process.exitCode = status; }, (error) => {
    process.stderr.write(`vidrake-fleet: ${error && error.stack ? error.stack : error}\n`);
    process.exitCode = 1;
  });
}

module.exports = { main, load };
