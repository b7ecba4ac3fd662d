// Message inserts through the platform's message formatter: "%1!d!" inserts the
// first argument as a signed decimal, "%2!d!" the second, "%1!s!" a wide string.
#pragma once

#include "wide_string.h"

// Appends the formatted text to `target`.
void AppendInserts(WideString& target, const wchar_t* format, ...);
// Replaces the content of `target` with the formatted text.
void AssignInserts(WideString& target, const wchar_t* format, ...);
