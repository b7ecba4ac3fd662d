// lint: every place where a database will not do what its author most likely
// meant. LintDatabase reads the database once and runs the rules on single
// records (lint_record_rules.h), then the rules about matching, which judge
// records with the library's own scan (lint_matching_rules.h); lint_output.h
// writes the report.
#pragma once

#include <string>
#include <vector>

#include "video_card_xml.h"

struct LintFinding {
    std::string rule;
    long element;  // 1 for the first element of the document
    std::wstring path;
    std::wstring attribute;  // empty when the finding is about the whole record
    std::string consequence;
};

struct LintReport {
    HRESULT readResult = S_OK;  // S_FALSE: not loaded; a failure: no document object
    DatabaseLoadError loadError;
    long elementCount = 0;
    bool notWellFormed = false;  // not read, though the file opens: the parser stopped
    bool complete = true;  // false: the matching rules stopped at their work limit
    long long judgements = 0;  // records the matching rules weighed
    long long judgementLimit = 0;
    std::vector<LintFinding> findings;
};

// Exit status: 0 nothing to report, 1 findings, 2 the database cannot be read,
// 3 incomplete: the matching rules stopped at their work limit.
int LintExitStatus(const LintReport& report);

// The matching rules stop after `judgementLimit` record judgements.
extern const long long kJudgementLimit;
HRESULT LintDatabase(const std::wstring& databasePath, LintReport& report, long long judgementLimit = kJudgementLimit);
