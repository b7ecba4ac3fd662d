// The tool's command line.
#pragma once

#include <string>

#include "explain.h"

enum ToolCommand {
    kNoCommand,
    kExplainCommand,
    kLintCommand,
};

struct ToolArguments {
    ToolCommand command = kNoCommand;
    std::wstring database;  // empty: VideoCardDB.xml beside the program
    bool json = false;
    bool everyRecord = false;  // explain --all
    bool thisMachine = false;  // explain --this-machine
    AdapterIdentity adapter;
};

extern const char kUsageText[];

// False, with the reason in `error`, on anything the commands do not take.
bool ParseArguments(int argc, const wchar_t* const* argv, ToolArguments& arguments, std::string& error);
