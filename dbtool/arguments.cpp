#include "arguments.h"

#include <wchar.h>

#include "text_output.h"

const char kUsageText[] =
    "usage: VidrakeDb explain [DB] (--vendor N --device N --card TEXT --driver TEXT | --this-machine)\n"
    "                         [--all] [--json]\n"
    "       VidrakeDb explain --batch ADAPTERS [--trail] [DB...]\n"
    "       VidrakeDb lint [DB] [--json]\n"
    "\n"
    "DB is a VideoCardDB.xml; without it, the one beside the program.\n"
    "explain  what both builds of the graphics check library answer for the adapter and its\n"
    "         installed driver, and the records that led there (--all: every record).\n"
    "         --vendor and --device take the PCI ids in decimal (or 0x hexadecimal), --card the\n"
    "         adapter description exactly, --driver the version as the check writes it\n"
    "         (for example 6.14.0010.6177). --this-machine asks this machine's adapter instead.\n"
    "         --batch: one JSON line per adapter of ADAPTERS (UTF-8 lines of vendorId, deviceId,\n"
    "         driverVersion and cardName, tab-separated) and database, each database read once;\n"
    "         --trail adds the records that matched.\n"
    "lint     every place where the database will not do what its author most likely meant.\n"
    "         Exit status 0: nothing to report, 1: findings, 2: the database cannot be read,\n"
    "         3: incomplete (the matching rules stopped at their guard limit).\n"
    "--json   print one JSON document instead of text.\n";

bool ReadAdapterId(const wchar_t* text, DWORD* id)
{
    int base = 10;
    if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        text += 2;
    }
    if (*text == L'\0')
        return false;
    wchar_t* end = nullptr;
    unsigned long long value = wcstoull(text, &end, base);
    if (*end != L'\0' || *text == L'-' || *text == L'+' || iswspace(*text) || value > 0xFFFFFFFFULL)
        return false;
    *id = static_cast<DWORD>(value);
    return true;
}

bool ParseArguments(int argc, const wchar_t* const* argv, ToolArguments& arguments, std::string& error)
{
    if (argc < 2) {
        error = "no command given";
        return false;
    }
    std::wstring command = argv[1];
    if (command == L"explain") {
        arguments.command = kExplainCommand;
    } else if (command == L"lint") {
        arguments.command = kLintCommand;
    } else {
        error = "unknown command " + QuotedText(command);
        return false;
    }
    bool vendor = false, device = false, card = false, driver = false;
    for (int i = 2; i < argc; ++i) {
        std::wstring option = argv[i];
        bool explainOnly = option == L"--vendor" || option == L"--device" || option == L"--card" ||
                           option == L"--driver" || option == L"--all" || option == L"--this-machine" ||
                           option == L"--batch" || option == L"--trail";
        if (explainOnly && arguments.command != kExplainCommand) {
            error = Utf8(option) + " belongs to explain";
            return false;
        }
        bool takesValue = option == L"--vendor" || option == L"--device" || option == L"--card" ||
                          option == L"--driver" || option == L"--batch";
        if (takesValue && i + 1 >= argc) {
            error = Utf8(option) + " needs a value";
            return false;
        }
        if (option == L"--json") {
            arguments.json = true;
        } else if (option == L"--all") {
            arguments.everyRecord = true;
        } else if (option == L"--this-machine") {
            arguments.thisMachine = true;
        } else if (option == L"--batch") {
            arguments.batch = true;
            arguments.adapterList = argv[++i];
        } else if (option == L"--trail") {
            arguments.trail = true;
        } else if (option == L"--vendor" || option == L"--device") {
            DWORD* id = option == L"--vendor" ? &arguments.adapter.vendorId : &arguments.adapter.deviceId;
            if (!ReadAdapterId(argv[++i], id)) {
                error = Utf8(option) + " takes a number from 0 to 4294967295, not " + QuotedText(argv[i]);
                return false;
            }
            (option == L"--vendor" ? vendor : device) = true;
        } else if (option == L"--card") {
            arguments.adapter.cardName = argv[++i];
            card = true;
        } else if (option == L"--driver") {
            arguments.adapter.driverVersion = argv[++i];
            driver = true;
        } else if (option.size() > 1 && option[0] == L'-') {
            error = "unknown option " + QuotedText(option);
            return false;
        } else {
            arguments.databases.push_back(option);
        }
    }
    if (arguments.batch) {
        if (vendor || device || card || driver || arguments.thisMachine || arguments.everyRecord) {
            error = "--batch takes its adapters from ADAPTERS: not with --vendor, --device, --card, --driver, "
                    "--this-machine or --all";
            return false;
        }
        return true;
    }
    if (arguments.trail) {
        error = "--trail belongs to --batch (explain always shows the records)";
        return false;
    }
    if (arguments.databases.size() > 1) {
        error = "more than one database given";
        return false;
    }
    if (!arguments.databases.empty())
        arguments.database = arguments.databases[0];
    if (arguments.command == kExplainCommand) {
        bool anyAdapterOption = vendor || device || card || driver;
        if (arguments.thisMachine && anyAdapterOption) {
            error = "--this-machine replaces --vendor, --device, --card and --driver";
            return false;
        }
        if (!arguments.thisMachine && !(vendor && device && card && driver)) {
            error = "explain needs --vendor, --device, --card and --driver, or --this-machine";
            return false;
        }
    }
    return true;
}
