// The result page's script in the browsers Windows XP ships (Internet
// Explorer 6 to 8): it parses as ECMAScript 3, calls what those browsers
// lack only behind a test for it, reads and judges the same without the ES5
// library, and falls back where a feature is missing.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const acorn = require('acorn');
const page = require('../../resultpage/result.js');
const { address, asBrowserReports } = require('./address.js');

const SOURCE_PATH = path.join(__dirname, '..', '..', 'resultpage', 'result.js');
const SOURCE = fs.readFileSync(SOURCE_PATH, 'utf8');
const ENGLISH_PATH = path.join(__dirname, '..', '..', 'resultpage', 'language-en.js');

// Names IE 6 lacks. Array and string methods of ES5 and Object.keys,
// Function.prototype.bind, Date.now are members; JSON is a global. indexOf
// is left to the run below without the ES5 library: on text it is ES3.
const MEMBERS = ['map', 'forEach', 'filter', 'some', 'every', 'reduce', 'reduceRight', 'trim', 'keys', 'bind',
  'now', 'isArray', 'create', 'defineProperty', 'getPrototypeOf', 'toISOString', 'addEventListener',
  'removeEventListener', 'textContent', 'querySelector', 'querySelectorAll', 'getElementsByClassName', 'classList',
  'dataset', 'performance', 'clipboard', 'isSecureContext'];
const GLOBALS = ['JSON', 'Promise', 'Symbol', 'Map', 'Set', 'WeakMap', 'globalThis'];

// Every node with its ancestors, outermost first.
function walk(node, visit, ancestors = []) {
  visit(node, ancestors);
  for (const key of Object.keys(node)) {
    const child = node[key];
    for (const item of Array.isArray(child) ? child : [child]) {
      if (item && typeof item.type === 'string') walk(item, visit, ancestors.concat([node]));
    }
  }
}

// Whether a use of `name` stands in a test of it, or in the branch that such
// a test guards (if, ?:, && and ||).
function guarded(name, node, ancestors, source) {
  const mentions = (test) => new RegExp('\\b' + name + '\\b').test(source.slice(test.start, test.end));
  const chain = ancestors.concat([node]);
  for (let i = chain.length - 2; i >= 0; i--) {
    const parent = chain[i], child = chain[i + 1];
    if ((parent.type === 'IfStatement' || parent.type === 'ConditionalExpression') &&
        (child === parent.test || mentions(parent.test))) return true;
    if (parent.type === 'LogicalExpression' && (child === parent.left || mentions(parent.left))) return true;
    if (parent.type === 'UnaryExpression' && (parent.operator === '!' || parent.operator === 'typeof')) return true;
  }
  return false;
}

function unguardedUses(source) {
  // "never": no reserved word as a property name either, as IE's parser.
  const tree = acorn.parse(source, { ecmaVersion: 3, allowReserved: 'never' });
  const found = [];
  walk(tree, (node, ancestors) => {
    let name = null;
    if (node.type === 'MemberExpression') {
      name = node.computed ? (node.property.type === 'Literal' ? String(node.property.value) : null) : node.property.name;
      if (!MEMBERS.includes(name)) name = null;
    } else if (node.type === 'Identifier' && GLOBALS.includes(node.name)) {
      const parent = ancestors[ancestors.length - 1];
      if (!(parent.type === 'MemberExpression' && parent.property === node && !parent.computed)) name = node.name;
    } else if (node.type === 'ArrayExpression' && node.elements.length &&
               /,\s*$/.test(source.slice(node.elements[node.elements.length - 1]?.end ?? node.start + 1, node.end - 1))) {
      // [1, 2,] has three elements in IE 6 to 8.
      found.push('a trailing comma in the array at ' + node.start);
    }
    if (name && !guarded(name, node, ancestors, source)) found.push(name + ' at ' + node.start);
  });
  return found;
}

test('the script parses as ECMAScript 3 and uses nothing IE 6 lacks unless it tests for it first', () => {
  assert.deepEqual(unguardedUses(SOURCE), []);
});

test('the static check finds what IE 6 cannot run', () => {
  const cases = [
    ['var a = { b: 1, };', /Trailing comma|Unexpected token/],
    ['var a = { class: 1 };', /reserved|Unexpected keyword/],
    ['var a = { get b() { return 1; } };', /Unexpected|getter/]
  ];
  for (const [source, error] of cases) assert.throws(() => unguardedUses(source), error, source);
  assert.deepEqual(unguardedUses('var a = [1, 2,];'), ['a trailing comma in the array at 8']);
  assert.deepEqual(unguardedUses('[1].map(f); node.textContent = "x"; JSON.stringify(1);'),
    ['map at 0', 'textContent at 12', 'JSON at 36']);
  assert.deepEqual(unguardedUses('if (doc.addEventListener) doc.addEventListener("x", f, false);' +
    'if (n && n.clipboard) n.clipboard.writeText(t); var t = w.performance && w.performance.now ? w.performance.now() : 0;'), []);
  // A test for the object is no test for its method.
  assert.deepEqual(unguardedUses('var t = w.performance ? w.performance.now() : 0;'), ['now at 24']);
});

// The script in a context of its own whose built-ins lack what IE 6 lacks.
function withoutES5() {
  const context = vm.createContext({ module: { exports: {} } });
  vm.runInContext(`
    delete Array.prototype.map; delete Array.prototype.forEach; delete Array.prototype.filter;
    delete Array.prototype.indexOf; delete Array.prototype.lastIndexOf; delete Array.prototype.some;
    delete Array.prototype.every; delete Array.prototype.reduce; delete Array.isArray;
    delete String.prototype.trim; delete Object.keys; delete Object.create; delete Function.prototype.bind;
    delete Date.now; delete Date.prototype.toISOString; delete this.JSON;`, context);
  vm.runInContext(fs.readFileSync(ENGLISH_PATH, 'utf8'), context, { filename: ENGLISH_PATH });
  vm.runInContext(SOURCE, context, { filename: SOURCE_PATH });
  return context.module.exports;
}

test('without the ES5 library the page reads and judges every address the same', () => {
  const old = withoutES5();
  const addresses = [
    address({}), address({ result: '-1', mem: '', card: '', pslevel: '', driver: '' }),
    address({ result: '1040', mem: '32 MB', alternates: ' 6.14.0010.7164 , 6.14.0010.8185' }),
    address({ card: 'Tom & Jerry&pslevel=0.1#1 100%', dxver: 'DirectX 9.0 installed', osver: '5.1 SP 1.0' }),
    address({ result: '12', mem: '', pslevel: '?', vendorID: 'abc', deviceID: '-1' }),
    'http://h/quillet-systemtest?mem=64 MB&card=C&result=16&extra=1',
    'http://h/quillet-systemtest?result=0&card=%E2%82%zz%C3%A9',
    address({ card: 'Foo&deviceID=99' }).replace(/&deviceID=1741$/, ''),
    'http://h/quillet-systemtest?result=0#' + '&card=x&mem=1 MB'.repeat(3000)
  ];
  for (const text of addresses) {
    for (const href of [text, asBrowserReports(text)]) {
      const options = { directXDownload: 'https://download.example/' };
      assert.equal(JSON.stringify(old.judge(old.readAddress(href), options)),
        JSON.stringify(page.judge(page.readAddress(href), options)), href.slice(0, 200));
    }
  }
});

// A stand-in for the few DOM calls the copy button makes.
function copyScene({ clipboardData, execCommand }) {
  const status = { children: [], get firstChild() { return this.children[0]; },
    removeChild(c) { this.children.splice(this.children.indexOf(c), 1); },
    appendChild(c) { this.children.push(c); }, ownerDocument: { createTextNode: (t) => ({ text: t }) } };
  const summary = { value: 'the summary', selected: false, focus() {}, select() { this.selected = true; },
    ownerDocument: { execCommand } };
  const win = clipboardData ? { clipboardData } : {};
  page.copySummary(win, summary, status);
  return { said: status.children.map((c) => c.text).join(''), selected: summary.selected };
}

test('the copy button: IE\'s clipboardData, the copy command, or the text selected with an instruction', () => {
  let copied = null;
  assert.deepEqual(copyScene({ clipboardData: { setData: (kind, text) => { copied = [kind, text]; return true; } } }),
    { said: 'Copied.', selected: false });
  assert.deepEqual(copied, ['Text', 'the summary']);
  // IE asks the user, who may refuse: setData then answers false.
  assert.deepEqual(copyScene({ clipboardData: { setData: () => false }, execCommand: () => false }),
    { said: 'The text above is selected: copy it with Ctrl+C.', selected: true });
  assert.deepEqual(copyScene({ execCommand: () => true }), { said: 'Copied.', selected: true });
  assert.deepEqual(copyScene({ execCommand: () => { throw new Error('not supported'); } }),
    { said: 'The text above is selected: copy it with Ctrl+C.', selected: true });
});

test('started before the document is complete, the page waits for it with what the browser has', () => {
  const waits = [];
  const doc = { body: null, getElementById: () => null };
  page.startWhenReady({ document: Object.assign({ addEventListener: (name) => waits.push(name) }, doc) });
  page.startWhenReady({ document: doc, attachEvent: (name) => waits.push(name) });
  const bare = { document: doc };
  page.startWhenReady(bare);
  assert.deepEqual(waits, ['DOMContentLoaded', 'onload']);
  assert.equal(typeof bare.onload, 'function');
});
