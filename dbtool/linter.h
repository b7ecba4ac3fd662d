// The state lint's rules share: the database being linted, its records'
// facts, the findings reported so far and the work done.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "database_file.h"
#include "lint.h"
#include "record_index.h"
#include "text_output.h"

struct Linter {
    const StoredDatabase& database;
    RecordIndex index;
    std::vector<LintFinding> findings;
    std::set<std::pair<long, std::string>> reported;
    long long judgements = 0;
    long long judgementLimit = kJudgementLimit;
    bool complete = true;
    // Per element: how often it accepted or rejected a driver, how often it
    // was an exact match after the record that ended the scan, and that record.
    std::vector<long> decisive, shadowed, shadowedBy;

    explicit Linter(const StoredDatabase& stored) : database(stored) {}

    void Report(long element, const char* rule, RecordAttributeKind kind, const std::string& consequence)
    {
        if (!reported.insert(std::make_pair(element, std::string(rule))).second)
            return;
        const StoredElement& stored = database.elements[element];
        LintFinding finding = {rule, stored.index + 1, stored.path, RecordAttributeName(kind), consequence};
        findings.push_back(finding);
    }

    void ReportAttribute(long element, const char* rule, const std::wstring& attribute, const std::string& consequence)
    {
        const StoredElement& stored = database.elements[element];
        LintFinding finding = {rule, stored.index + 1, stored.path, attribute, consequence};
        findings.push_back(finding);
    }

    std::string PathOf(long element) const { return Utf8(database.elements[element].path); }

    // Counts one record judgement; false past the limit.
    bool Judge()
    {
        if (++judgements <= judgementLimit)
            return true;
        complete = false;
        return false;
    }
};
