/* Served before the result page's own script in the browser test: takes
 * away from a current browser what Internet Explorer 6 lacks, and gives
 * window and document IE's attachEvent, so that the page runs as it would
 * there (this does not imitate IE's parser or its CSS). What it took away
 * it lists on <html data-removed>. */
(function () {
  var removed = [];
  var listen = EventTarget.prototype.addEventListener, unlisten = EventTarget.prototype.removeEventListener;
  var define = Object.defineProperty, join = Array.prototype.join;

  function takeAway(owner, ownerName, names) {
    for (var i = 0; i < names.length; i++) {
      var name = names[i];
      if (!(name in owner)) continue;
      try {
        delete owner[name];
      } catch (e) { /* not configurable: shadowed below */ }
      if (owner[name] !== undefined) define(owner, name, { value: undefined, configurable: true, writable: true });
      if (owner[name] === undefined) removed[removed.length] = ownerName + '.' + name;
    }
  }

  takeAway(Array.prototype, 'Array.prototype', ['map', 'forEach', 'filter', 'indexOf', 'lastIndexOf', 'some',
    'every', 'reduce', 'reduceRight', 'includes', 'find', 'findIndex']);
  takeAway(Array, 'Array', ['isArray', 'from']);
  takeAway(String.prototype, 'String.prototype', ['trim', 'trimStart', 'trimEnd', 'includes', 'startsWith', 'endsWith']);
  takeAway(Object, 'Object', ['keys', 'create', 'getPrototypeOf', 'assign']);
  takeAway(Function.prototype, 'Function.prototype', ['bind']);
  takeAway(Date, 'Date', ['now']);
  takeAway(Date.prototype, 'Date.prototype', ['toISOString']);
  takeAway(Node.prototype, 'Node.prototype', ['textContent']);
  takeAway(Element.prototype, 'Element.prototype', ['querySelector', 'querySelectorAll', 'classList',
    'getElementsByClassName']);
  takeAway(Document.prototype, 'Document.prototype', ['querySelector', 'querySelectorAll', 'getElementsByClassName']);
  takeAway(DocumentFragment.prototype, 'DocumentFragment.prototype', ['querySelector', 'querySelectorAll']);
  takeAway(HTMLElement.prototype, 'HTMLElement.prototype', ['dataset']);
  takeAway(Navigator.prototype, 'Navigator.prototype', ['clipboard', 'language', 'languages']);
  takeAway(window, 'window', ['JSON', 'performance', 'isSecureContext']);

  // IE's events: "on" before the name, no capture phase.
  function attach(target) {
    target.attachEvent = function (name, handler) {
      listen.call(target, name.replace(/^on/, ''), handler, false);
      return true;
    };
    target.detachEvent = function (name, handler) {
      unlisten.call(target, name.replace(/^on/, ''), handler, false);
    };
  }
  attach(window);
  attach(document);
  takeAway(EventTarget.prototype, 'EventTarget.prototype', ['addEventListener', 'removeEventListener']);

  document.documentElement.setAttribute('data-removed', join.call(removed, ' '));
}());
