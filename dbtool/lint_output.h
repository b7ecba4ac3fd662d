// lint's report as text for people and as one JSON document.
#pragma once

#include <string>

#include "lint.h"

std::string LintText(const std::wstring& databasePath, const LintReport& report);
std::string LintJson(const std::wstring& databasePath, const LintReport& report);
