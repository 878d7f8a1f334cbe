#pragma once
#include <CLI/CLI.hpp>

#include "CliFramework.h"

// Exit statuses of "run" besides 0 (every operation succeeded) and 1 to 99 (the position of the
// first operation that failed, 99 for any later one).
enum CliRunStatus : int {
    RunInterrupted = 130,  // Ctrl+C or SIGTERM before the first operation
    RunStartFailed = 200,  // the framework did not start, or the session file cannot be read
    RunNoProgrammer = 201, // no programmer answered
    RunNoDevice = 202,     // no device could be selected
    RunSetupRefused = 203, // --splits, --current or --byte-swap cannot be used with the device
};

// programmers, devices and run.
void AddProgrammerCommands(CLI::App& app, CliOptions& options, int& status);
