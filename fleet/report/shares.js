// Shares of machines with their 95% confidence interval (Wilson score).
'use strict';

const Z95 = 1.959963984540054;

function rounded(value) {
  return Math.round(value * 1e6) / 1e6;
}

// The Wilson score interval of `count` in `total`, as [low, high]; null when
// there is nothing to take a share of.
function wilson(count, total) {
  if (!(total > 0)) return null;
  const p = count / total, z2 = Z95 * Z95;
  const centre = (p + z2 / (2 * total)) / (1 + z2 / total);
  const half = (Z95 * Math.sqrt(p * (1 - p) / total + z2 / (4 * total * total))) / (1 + z2 / total);
  return [Math.max(0, centre - half), Math.min(1, centre + half)];
}

// { machines, share, low, high } of `count` machines out of `total`.
function share(count, total) {
  const interval = wilson(count, total);
  return {
    machines: count,
    share: interval ? rounded(count / total) : null,
    low: interval ? rounded(interval[0]) : null,
    high: interval ? rounded(interval[1]) : null
  };
}

module.exports = { wilson, share };
