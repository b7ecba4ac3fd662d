// --html FILE: a plan as one static page, in the report's style.
'use strict';
const { htmlDocument, table, section } = require('../report/html.js');
const { escape, barChart, figureText } = require('../report/charts.js');

function planPage(plan) {
  const period = (plan.period.from || 'the first day') + ' to ' + (plan.period.to || 'the last day');
  const named = plan.requirements.filter((r) => r.changed);
  const parts = [
    '<h1>Quillet system test: the next minimums</h1>',
    '<p class="lead">' + (plan.machines === null ? escape('Too few machines to show any figure') : escape(plan.machines.toLocaleString('en-US') + ' machines')) +
      ' from ' + escape(period) + ', each judged by the result page with the minimums below. Figures under ' + escape(plan.minMachines) +
      ' machines are withheld; shares carry 95% Wilson intervals.</p>',
    section('Minimums', table([['requirement', (r) => r.name], ['today', (r) => r.today], ['planned', (r) => (r.changed ? r.minimum : 'unchanged')]], plan.requirements)),
    section('Machines that meet', barChart('Machines that meet', [
      Object.assign({ label: 'today\u2019s minimums' }, plan.meetsToday), Object.assign({ label: 'the planned minimums' }, plan.meets)])),
    section('What each minimum costs', table([
      ['requirement', (r) => r.name], ['minimum', (r) => r.minimum],
      ['meet today, fall short of it', (r) => figureText(r.lost)],
      ['would meet but for it alone', (r) => figureText(r.lostAlone)],
      ['value not known', (r) => figureText(r.unknown)]
    ], named.length ? named : plan.requirements)),
    section('At or above each step', plan.requirements.map((r) => barChart(r.name, plan.curves[r.id])).join(''))
  ];
  return htmlDocument('Quillet system test: the next minimums, ' + period, parts);
}

module.exports = { planPage };
