#pragma once
#include <string>

// Why the window system cannot be reached, or "" when it can. Checked before the application
// object exists, because the toolkit aborts the process when it finds no display.
// `platform` is the platform named on the command line ("" when none was named).
std::string NoDisplayReason(const std::string& platform);
