#include "lint.h"

#include <algorithm>

#include "lint_matching_rules.h"
#include "lint_record_rules.h"
#include "linter.h"

// The matching rules weigh records for many adapters and drivers; past this
// many record judgements (a guard against hostile input, far beyond what
// 100,000 records of ordinary shape need) they stop and say so.
const long long kJudgementLimit = 50000000;

int LintExitStatus(const LintReport& report)
{
    if (report.readResult != S_OK)
        return 2;
    if (!report.complete)
        return 3;
    return report.findings.empty() ? 0 : 1;
}

HRESULT LintDatabase(const std::wstring& databasePath, LintReport& report, long long judgementLimit)
{
    ComApartment apartment;  // the document object wants a single-threaded apartment
    VideoCardQuery neutral;
    HRESULT hr = PrepareNeutralQuery(neutral);
    if (FAILED(hr))
        return report.readResult = hr;
    StoredDatabase database;
    report.readResult = ReadWholeDatabase(databasePath, neutral, database, report.loadError);
    if (report.readResult == S_FALSE)
        report.notWellFormed = DatabaseFileOpens(databasePath);
    if (report.readResult != S_OK)
        return report.readResult;
    report.elementCount = static_cast<long>(database.elements.size());

    Linter lint(database);
    lint.judgementLimit = judgementLimit;
    IndexRecords(database, neutral, lint.index);
    for (size_t e = 0; e < database.elements.size(); ++e)
        LintRecord(lint, static_cast<long>(e));
    LintDuplicates(lint);
    LintMatching(lint);
    report.complete = lint.complete;
    report.judgements = lint.judgements;
    report.judgementLimit = judgementLimit;
    std::stable_sort(lint.findings.begin(), lint.findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.element < b.element; });
    report.findings.swap(lint.findings);
    return S_OK;
}
