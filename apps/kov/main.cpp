// kov: the window application.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "branding/Edition.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "ui/Application.h"
#include "ui/DisplayCheck.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"
#include "ui/QtDialogPort.h"
#include "ui/QtText.h"

namespace {

void PrintVersion() {
    std::printf("%s - v%s (edition %s, built %s)\n", ProductName.c_str(), FrameworkVersion.c_str(),
                EditionId.c_str(), BuildDate.c_str());
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: kov [SESSION-FILE]\n"
                 "       kov --version | --help\n"
                 "\n"
                 "Starts %s, the device programming framework, with its main window.\n"
                 "SESSION-FILE is the session (settings) file to use and to write back at exit.\n"
                 "A name without a folder is taken from the sessions folder of the installation;\n"
                 "without SESSION-FILE the session is sessions/default.kvs.\n"
                 "\n"
                 "Without a display, start it on a virtual one (xvfb-run -a kov) or use kov-cli,\n"
                 "the same framework without windows.\n",
                 ProductName.c_str());
}

// The platform named with "-platform NAME"; "-display NAME" is honoured for the display check.
std::string PlatformArgument(int argc, char** argv) {
    std::string platform;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-platform" || arg == "--platform") platform = argv[i + 1];
        if (arg == "-display" || arg == "--display") setenv("DISPLAY", argv[i + 1], 1);
    }
    return platform;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            PrintVersion();
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
    }

    const std::string noDisplay = NoDisplayReason(PlatformArgument(argc, argv));
    if (!noDisplay.empty()) {
        const std::filesystem::path self = RunningProgramPath().empty() ? argv[0] : RunningProgramPath();
        const std::filesystem::path cli = self.parent_path() / "kov-cli";
        std::fprintf(stderr,
                     "kov: there is no display to show the window on (%s).\n"
                     "Start kov on a virtual display:   xvfb-run -a %s%s%s\n"
                     "or use it without windows:        %s --help\n",
                     noDisplay.c_str(), self.c_str(), argc > 1 ? " " : "", argc > 1 ? argv[1] : "", cli.c_str());
        return 2;
    }

    TKovApplication app(argc, argv);
    TQtDialogPort dialogs;
    SetDialogPort(&dialogs);

    // The toolkit has taken its own options out; what is left is the session file.
    QStringList params = TKovApplication::arguments();
    params.removeFirst();
    if (!params.isEmpty() && params.front().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "kov: unknown option %s\n\n", params.front().toLocal8Bit().constData());
        PrintUsage(stderr);
        SetDialogPort(nullptr);
        return 2;
    }
    StartupArgs startup;
    for (const QString& param : params) startup.params.push_back(FromQString(param));

    try {
        InitializeGlobals(startup);
        TKovApplication::setApplicationName(ToQString(ProductName));
        CreateForms();
        // Before the first showing, which may wait in the programmer search dialog.
        CloseOnTerminationSignals(MainForm);
        MainForm->show();
        TKovApplication::exec();
        FinalizeGlobals();
    } catch (const std::exception& error) {
        ShowExceptionMessage(error.what());
    } catch (...) {
        ShowExceptionMessage("Unknown exception");
    }
    DestroyForms();
    SetDialogPort(nullptr);
    return 0;
}
