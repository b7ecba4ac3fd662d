// VidrakeDb: explains what the graphics check library makes of VideoCardDB.xml
// for one adapter, and lints a database for the records that will not do what
// their author meant. Both read the database with the library's own scan.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "arguments.h"
#include "database_file.h"
#include "explain.h"
#include "explain_batch.h"
#include "lint.h"
#include "lint_output.h"
#include "text_output.h"
#include "this_machine.h"

namespace {

void Print(const std::string& text)
{
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

int Explain(const ToolArguments& arguments, const std::wstring& database)
{
    AdapterIdentity adapter = arguments.adapter;
    if (arguments.thisMachine) {
        std::wstring error;
        if (!ProbeThisMachine(adapter, error)) {
            fprintf(stderr, "VidrakeDb: this machine's adapter could not be identified: %s\n", Utf8(error).c_str());
            return 2;
        }
    }
    Explanation explanation;
    HRESULT hr = ExplainAdapter(database, adapter, arguments.everyRecord, explanation);
    Print(arguments.json ? ExplanationJson(database, adapter, explanation)
                         : ExplanationText(database, adapter, explanation));
    return hr == S_OK ? 0 : 2;
}

void PrintBatchLine(const std::string& line, void*)
{
    fwrite(line.data(), 1, line.size(), stdout);
}

int ExplainMany(const ToolArguments& arguments)
{
    std::string content;
    std::wstring error;
    if (!ReadWholeFile(arguments.adapterList, content, error)) {
        fprintf(stderr, "VidrakeDb: the adapter list %s cannot be read: %s\n", Utf8(arguments.adapterList).c_str(),
                Utf8(error).c_str());
        return 2;
    }
    std::vector<AdapterLine> lines;
    ReadAdapterList(content, lines);
    std::vector<std::wstring> databases = arguments.databases;
    if (databases.empty())
        databases.push_back(DefaultDatabasePath());
    static char buffer[1 << 16];  // one write per many lines
    setvbuf(stdout, buffer, _IOFBF, sizeof(buffer));
    ExplainBatch(lines, databases, arguments.trail, PrintBatchLine, nullptr);
    fflush(stdout);
    return 0;
}

int Lint(const ToolArguments& arguments, const std::wstring& database)
{
    LintReport report;
    LintDatabase(database, report);
    Print(arguments.json ? LintJson(database, report) : LintText(database, report));
    return LintExitStatus(report);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Line feeds as they are: the output is read on Linux as often as not.
    _setmode(_fileno(stdout), _O_BINARY);
    ToolArguments arguments;
    std::string error;
    if (!ParseArguments(argc, argv, arguments, error)) {
        fprintf(stderr, "VidrakeDb: %s\n\n%s", error.c_str(), kUsageText);
        return 2;
    }
    std::wstring database = arguments.database.empty() ? DefaultDatabasePath() : arguments.database;
    try {
        if (arguments.batch)
            return ExplainMany(arguments);
        return arguments.command == kExplainCommand ? Explain(arguments, database) : Lint(arguments, database);
    } catch (const StringFailure& failure) {
        fprintf(stderr, "VidrakeDb: out of memory (0x%08lX)\n", static_cast<unsigned long>(failure.code));
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "VidrakeDb: out of memory\n");
    }
    return 2;
}
