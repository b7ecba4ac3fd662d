// lint's rules on single records: misspelt attribute names, ids, driver
// versions, BlackList and pixel shader values the reader does not take as
// meant, records that can never match, and records repeated whole.
#pragma once

#include <string>

#include "video_card_records.h"

struct Linter;

// Reports what is wrong with element `e` on its own.
void LintRecord(Linter& lint, long e);

// Reports each record that repeats an earlier one attribute for attribute.
void LintDuplicates(Linter& lint);

// The recognised name an attribute name was most likely meant to be: the
// same but for letter case, a namespace prefix, or one or two characters.
// kOtherAttribute when none.
RecordAttributeKind MeantAttribute(const std::wstring& name);

// What is wrong with a ManufacturerID or DeviceID text; empty when it is
// plain decimal digits within the 32-bit signed range.
std::string IdProblem(const std::wstring& text);

// A driver version written as the check writes one: "%u.%u.%04u.%u" of four
// 16-bit numbers.
bool IsCheckDriverVersion(const std::wstring& text);

// A pixel shader level the check can use: one decimal digit.
bool IsSmallLevel(const std::wstring& text);
