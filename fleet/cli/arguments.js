// Command-line options of the fleet's commands: "--name VALUE" pairs and
// positional arguments, checked before any work starts.
'use strict';

// Wrong arguments: the message, then the command's usage line unless
// `withUsage` is false.
class UsageError extends Error {
  constructor(message, withUsage = true) {
    super(message);
    this.withUsage = withUsage;
  }
}

// grammar: { positional: count, options: { name: 'value' | 'flag' | 'list' } };
// a 'list' option may be given again, its values gathered in order.
function parseArguments(argv, grammar) {
  const options = {}, positional = [];
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (!arg.startsWith('--')) {
      positional.push(arg);
      continue;
    }
    const name = arg.slice(2);
    if (!Object.prototype.hasOwnProperty.call(grammar.options, name)) throw new UsageError('unknown option ' + arg);
    if (grammar.options[name] === 'flag') {
      options[name] = true;
      continue;
    }
    if (i + 1 >= argv.length) throw new UsageError(arg + ' needs a value');
    if (grammar.options[name] === 'list') options[name] = (options[name] || []).concat(argv[++i]);
    else options[name] = argv[++i];
  }
  if (positional.length !== grammar.positional) {
    throw new UsageError('expected ' + grammar.positional + ' argument' + (grammar.positional === 1 ? '' : 's') + ', got ' + positional.length);
  }
  return { options, positional };
}

// A UTC day written YYYY-MM-DD, or null when not given.
function day(text, name) {
  if (text === undefined) return null;
  const m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(text);
  const date = m && new Date(Date.UTC(+m[1], +m[2] - 1, +m[3]));
  if (!date || date.getUTCMonth() !== +m[2] - 1 || date.getUTCDate() !== +m[3]) throw new UsageError('--' + name + ' takes a day as YYYY-MM-DD, not ' + text);
  return text;
}

function period(options) {
  const from = day(options.from, 'from'), to = day(options.to, 'to');
  if (from && to && from > to) throw new UsageError('--from ' + from + ' is after --to ' + to);
  return { from, to };
}

function minimumMachines(text) {
  if (text === undefined) return 10;
  if (!/^[1-9][0-9]{0,8}$/.test(text)) throw new UsageError('--min-machines takes a whole number of at least 1, not ' + text);
  return Number(text);
}

module.exports = { UsageError, parseArguments, period, minimumMachines };
