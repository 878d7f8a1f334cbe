// kov-cli: the framework without windows, for scripts, production lines and conversions.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <new>

#include "CliFramework.h"
#include "FileCommands.h"
#include "ProgrammerCommands.h"

int main(int argc, char** argv) {
    CLI::App app{"kov-cli: the kov framework without windows"};
    app.require_subcommand(1);
    app.fallthrough();
    CliOptions options;
    app.add_option("--session", options.session,
                   "Session file whose settings apply (default: default.kvs in the sessions folder); it is "
                   "written back at the end as the window application does");
    app.add_flag("-y,--yes", options.yes, "Answer questions with Yes or OK (otherwise No or Cancel)");
    app.add_flag("-v,--verbose", options.verbose, "Show every log line on standard error as it is written");
    app.add_option("--log-level", options.logLevel, "Log level for this command, 0 (Severe) to 7 (Framework Debug)")
        ->check(CLI::Range(0, 7).description(""))
        ->type_name("N");

    int status = 0;
    AddFileCommands(app, options, status);
    AddProgrammerCommands(app, options, status);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kov-cli: not enough memory\n");
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kov-cli: %s\n", e.what());
        return 1;
    }
    return status;
}
