// The page's languages: every table has the English table's keys and
// placeholders, judges alike, parses as ECMAScript 3 and is loaded as UTF-8;
// and the choice of language from the browser's preferences.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const acorn = require('acorn');
const page = require('../../resultpage/result.js');
const { address } = require('./address.js');

const FOLDER = path.join(__dirname, '..', '..', 'resultpage');
const fileOf = (code) => path.join(FOLDER, 'language-' + code + '.js');
const CODES = page.LANGUAGES.map((language) => language[0]);
const TABLES = {};
for (const code of CODES) TABLES[code] = require(fileOf(code)).QuilletLanguages[code];
const ENGLISH = TABLES.en;

// Every text of a table by its path of keys ("advice.memory.1").
function texts(table, prefix = '', out = {}) {
  for (const key of Object.keys(table)) {
    const value = table[key];
    if (typeof value === 'string') out[prefix + key] = value;
    else texts(value, prefix + key + '.', out);
  }
  return out;
}

const placeholders = (text) => (text.match(/\{\w+\}/g) || []).sort();

test('the list of languages names exactly the tables beside the script', () => {
  const files = fs.readdirSync(FOLDER).filter((name) => /^language-.*\.js$/.test(name)).sort();
  assert.deepEqual(files, CODES.map((code) => 'language-' + code + '.js').sort());
  for (const code of ['de', 'fr', 'es', 'it', 'pl', 'ru', 'pt-BR', 'zh-CN']) assert.ok(CODES.includes(code), code);
  for (const code of CODES) assert.equal(typeof TABLES[code], 'object', code + ' registers under its own code');
});

test('every table has exactly the English keys, no empty text and the same placeholders', () => {
  const english = texts(ENGLISH);
  for (const code of CODES) {
    const table = texts(TABLES[code]);
    assert.deepEqual(Object.keys(table).sort(), Object.keys(english).sort(), code);
    for (const [key, text] of Object.entries(table)) {
      assert.notEqual(text.trim(), '', code + ' ' + key);
      assert.deepEqual(placeholders(text), placeholders(english[key]), code + ' ' + key);
    }
  }
});

test('every table parses as ECMAScript 3 and is UTF-8 without a byte order mark', () => {
  for (const code of CODES) {
    const bytes = fs.readFileSync(fileOf(code));
    assert.notDeepEqual([...bytes.subarray(0, 3)], [0xEF, 0xBB, 0xBF], code);
    const text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    acorn.parse(text, { ecmaVersion: 3, allowReserved: 'never' });
    assert.doesNotMatch(text, /,\s*[}\]]/, code + ': no trailing comma, which IE 6 to 8 misread');
  }
});

test('the page\'s HTML holds the English table\'s words for a browser without scripts', () => {
  const html = fs.readFileSync(path.join(FOLDER, 'index.html.in'), 'utf8');
  const plain = (markup) => markup.replace(/<[^>]+>/g, '');
  const withFiles = (text) => text.replace('{program}', 'QuilletVidrake.exe').replace('{dx9}', 'VidrakeDx9.dll')
    .replace('{dx8}', 'VidrakeDx8.dll').replace('{database}', 'VideoCardDB.xml');
  const shown = plain(html);
  for (const key of ['masthead', 'introHeading', 'introPurpose', 'introNoResult', 'howToHeading', 'howToFiles',
    'howToRun', 'howToNoBrowser', 'footer']) {
    assert.ok(shown.includes(withFiles(ENGLISH[key])), key);
  }
  assert.match(html, /<title>Quillet system test<\/title>/);
});

const ADDRESSES = [
  address({}), address({ result: '16', mem: '29 MB' }), address({ result: '-1', mem: '', card: '', pslevel: '', driver: '' }),
  address({ result: '1024', alternates: '6.14.0010.7164, 6.14.0010.8185' }), address({ result: 'abc' }),
  address({ result: '4', mem: '' }), address({ result: '448', ram: '255 MB', hdspace: '100 MB', osver: '5.0 SP 4.0' }),
  address({ result: '520', pslevel: '?' }), address({ result: '1', dxver: 'DirectX 9.0 installed', osver: '9.9 SP 0.0' }),
  'http://h/quillet-systemtest?mem=64 MB&card=C&result=16&extra=1', address({ result: '4096' })
];

test('in every language the judgement is the English one in other words, with the summary in English', () => {
  const download = 'https://download.example/';
  for (const href of ADDRESSES) {
    const reading = page.readAddress(href);
    const english = page.judge(reading, { directXDownload: download });
    for (const code of CODES) {
      const result = page.judge(reading, { directXDownload: download, words: TABLES[code] });
      assert.equal(result.verdict, english.verdict, code + ' ' + href);
      assert.deepEqual(result.rows.map((r) => [r.requirement, r.state, !!r.advice, r.advice && r.advice.list]),
        english.rows.map((r) => [r.requirement, r.state, !!r.advice, r.advice && r.advice.list]), code + ' ' + href);
      assert.equal(result.notes.length, english.notes.length, code + ' ' + href);
      assert.deepEqual(result.items, english.items, code + ': the values as they arrived');
      assert.equal(result.summary, english.summary, code + ': the summary stays English');
      assert.deepEqual(result.mask, english.mask);
      if (code !== 'en') assert.notEqual(result.headline, english.headline, code);
      for (const text of [result.headline, result.explanation].concat(result.notes)) {
        assert.doesNotMatch(text, /\{\w+\}/, code + ': every placeholder filled');
      }
    }
  }
});

test('the language is the first preference the page has, by primary subtag, else English', () => {
  const cases = [
    [[], 'en'], [['en-US'], 'en'], [['de-AT'], 'de'], [['DE'], 'de'], [['fr-CA', 'de'], 'fr'],
    [['sv-SE', 'nb', 'de-CH', 'fr'], 'de'], [['pt'], 'pt-BR'], [['pt-BR'], 'pt-BR'], [['pt-PT'], 'pt-BR'],
    [['zh'], 'zh-CN'], [['zh-CN'], 'zh-CN'], [['zh-SG'], 'zh-CN'], [['es-419'], 'es'], [['it_IT'], 'it'],
    [['pl-PL'], 'pl'], [['ru-RU'], 'ru'], [['ja-JP', 'ko'], 'en'], [['', null, undefined, 'ru'], 'ru'],
    [['x-pig-latin'], 'en'], [['deu'], 'en']
  ];
  for (const [preferences, expected] of cases) assert.equal(page.chooseLanguage(preferences), expected, preferences.join());
});

test('the preferences: navigator.languages, then language, then IE\'s userLanguage and browserLanguage', () => {
  assert.deepEqual(page.preferredLanguages({ languages: ['fr-FR', 'de'], language: 'fr-FR', userLanguage: 'ru' }),
    ['fr-FR', 'de', 'fr-FR', 'ru', undefined]);
  assert.deepEqual(page.preferredLanguages({ userLanguage: 'de-DE', browserLanguage: 'en-US' }),
    [undefined, 'de-DE', 'en-US']);
  assert.deepEqual(page.preferredLanguages({ languages: 'pl', language: 'it' }), ['it', undefined, undefined]);
  assert.deepEqual(page.preferredLanguages(undefined), []);
  const choose = (navigator) => page.chooseLanguage(page.preferredLanguages(navigator));
  assert.equal(choose({ userLanguage: 'de-DE' }), 'de', 'Internet Explorer 6');
  assert.equal(choose({ browserLanguage: 'zh-cn', systemLanguage: 'ru' }), 'zh-CN');
  assert.equal(choose({ languages: [], language: 'es-MX' }), 'es');
  assert.equal(choose({ languages: ['ja'], language: 'ja', userLanguage: 'pl' }), 'pl');
  assert.equal(choose({}), 'en');
});

// Just enough of a document for the page to start and ask for a language.
function startingDocument(scriptSource) {
  const added = [];
  const head = { appendChild: (node) => { added.push(node); node.parentNode = head; return node; }, removeChild() {} };
  const doc = {
    body: { getAttribute: () => '' },
    createElement: (tag) => ({ tag }),
    getElementsByTagName: (tag) => (tag === 'script' ? [{ getAttribute: () => scriptSource }] : tag === 'head' ? [head] : [])
  };
  return { doc, added };
}

test('a language not yet here is loaded as UTF-8 from beside the page\'s script', () => {
  for (const [source, folder] of [['/quillet-systemtest/result.js', '/quillet-systemtest/'], ['result.js', ''],
    ['http://h/x/result.js', 'http://h/x/']]) {
    const { doc, added } = startingDocument(source);
    const shown = page.start({ document: doc, location: { href: 'http://h/quillet-systemtest?result=0' },
      navigator: { userLanguage: 'ru-RU' } });
    assert.equal(shown, null, 'the page waits for the words');
    assert.equal(added.length, 1);
    assert.equal(added[0].tag, 'script');
    assert.equal(added[0].src, folder + 'language-ru.js');
    assert.equal(added[0].charset, 'utf-8', 'Internet Explorer reads it as UTF-8 whatever the page\'s encoding');
    assert.equal(typeof added[0].onreadystatechange, 'function', 'Internet Explorer 6 to 8 tell a load by readyState');
  }
});
