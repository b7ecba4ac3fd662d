// The tool's command line.
#pragma once

#include <string>
#include <vector>

#include "explain.h"

enum ToolCommand {
    kNoCommand,
    kExplainCommand,
    kLintCommand,
};

struct ToolArguments {
    ToolCommand command = kNoCommand;
    std::wstring database;  // empty: VideoCardDB.xml beside the program
    std::vector<std::wstring> databases;  // explain --batch: in order; empty: the one beside the program
    std::wstring adapterList;             // explain --batch ADAPTERS
    bool batch = false;
    bool trail = false;  // explain --batch --trail
    bool json = false;
    bool everyRecord = false;  // explain --all
    bool thisMachine = false;  // explain --this-machine
    AdapterIdentity adapter;
};

extern const char kUsageText[];

// A PCI id as the commands take it: decimal, or hexadecimal after "0x", from
// 0 to 4294967295, nothing else around it.
bool ReadAdapterId(const wchar_t* text, DWORD* id);

// False, with the reason in `error`, on anything the commands do not take.
bool ParseArguments(int argc, const wchar_t* const* argv, ToolArguments& arguments, std::string& error);
