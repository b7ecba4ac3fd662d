// Bidirectional controls in texts from the field: one in a card name would
// turn the text after it around wherever the name is shown. Each is written
// out as its code point instead, so it does nothing and can be seen.
'use strict';

const BIDI_CONTROLS = /[\u202A-\u202E\u2066-\u2069\u200E\u200F\u061C]/g;

function visibleBidiControls(text) {
  return String(text).replace(BIDI_CONTROLS, (c) => '<U+' + c.charCodeAt(0).toString(16).toUpperCase().padStart(4, '0') + '>');
}

module.exports = { visibleBidiControls };
