// Where a database stops being well-formed, when the document object does
// not say.
#pragma once

#include <string>

#include "video_card_xml.h"

// Fills the line, column and reason of `error` from MSXML's SAX reader when
// the document object's parse error gave no line (Wine's msxml3 answers only
// "error" there). False when the reader found nothing wrong or is missing.
bool LocateParseError(const WideString& address, DatabaseLoadError& error);
