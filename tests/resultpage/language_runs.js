/* Served after the result page's script in the browser test, with every
 * language's table loaded before it: shows the page in each language by its
 * own buttons, and writes down after the page, for each, the language of
 * <html>, every data- attribute and every text the page shows in its own
 * language; then shows the page in the language it chose. Written like the
 * page for a browser without the ES5 library. */
(function () {
  var doc = document, chosen = doc.documentElement.getAttribute('lang'), runs = doc.createElement('div');
  var SKIPPED = { SCRIPT: 1, NOSCRIPT: 1, STYLE: 1, TEXTAREA: 1 };

  function item(list, kind, text) {
    var li = doc.createElement('li');
    li.className = kind;
    li.appendChild(doc.createTextNode(text));
    list.appendChild(li);
  }

  function dataAttributes(node, list) {
    for (var a = 0; a < node.attributes.length; a++) {
      var name = node.attributes[a].name;
      if (name.slice(0, 5) === 'data-' && name !== 'data-render-ms') item(list, 'data', node.nodeName + ' ' + name + '=' + node.attributes[a].value);
    }
  }

  // Text inside an element with a lang of its own (a language's own name,
  // the English summary) is not in the page's language.
  function walk(node, list) {
    for (var child = node.firstChild; child; child = child.nextSibling) {
      if (child.nodeType === 3) {
        var text = child.nodeValue.replace(/^\s+|\s+$/g, '');
        if (text) item(list, 'text', text);
      } else if (child.nodeType === 1 && !SKIPPED[child.nodeName] && !child.getAttribute('lang') && child !== runs) {
        dataAttributes(child, list);
        walk(child, list);
      }
    }
  }

  function button(code) {
    var buttons = doc.getElementById('languages').getElementsByTagName('button');
    for (var i = 0; i < buttons.length; i++) if (buttons[i].getAttribute('lang') === code) return buttons[i];
    return null;
  }

  var codes = [], all = doc.getElementById('languages').childNodes;
  for (var i = 0; i < all.length; i++) if (all[i].nodeType === 1) codes.push(all[i].getAttribute('lang'));
  for (var c = 0; c < codes.length; c++) {
    var shown = button(codes[c]);
    if (shown) shown.onclick();
    var list = doc.createElement('ol');
    list.className = 'language-run';
    list.setAttribute('title', codes[c]);
    item(list, 'lang', doc.documentElement.getAttribute('lang'));
    item(list, 'text', doc.title);
    dataAttributes(doc.body, list);
    walk(doc.body, list);
    runs.appendChild(list);
  }
  if (button(chosen)) button(chosen).onclick();
  runs.id = 'language-runs';
  doc.body.appendChild(runs);
}());
