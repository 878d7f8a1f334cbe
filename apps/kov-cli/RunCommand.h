#pragma once
#include <CLI/CLI.hpp>

#include "CliFramework.h"

// kov-cli run: a programmer, a device and device operations in the order given.
void AddRunCommand(CLI::App& app, CliOptions& options, int& status);
