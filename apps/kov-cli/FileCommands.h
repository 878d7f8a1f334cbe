#pragma once
#include <CLI/CLI.hpp>

#include "CliFramework.h"

// detect, convert and dump.
void AddFileCommands(CLI::App& app, CliOptions& options, int& status);
