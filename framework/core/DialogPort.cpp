#include "core/DialogPort.h"

#include <cstdio>

#include "core/MessageCodes.h"

namespace {

// Used when nobody can be asked: answers with the button that changes nothing.
class NonInteractivePort : public DialogPort {
public:
    int MessageBox(const std::string& text, const std::string& caption, int flags) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        switch (flags & MB_TYPEMASK) {
        case MB_OK: return IDOK;
        case MB_YESNO: return IDNO;
        case MB_ABORTRETRYIGNORE: return IDABORT;
        default: return IDCANCEL;
        }
    }
};

NonInteractivePort defaultPort;
DialogPort* currentPort = nullptr;

}  // namespace

DialogPort& Dialogs() {
    return currentPort ? *currentPort : defaultPort;
}

DialogPort* SetDialogPort(DialogPort* port) {
    DialogPort* previous = currentPort;
    currentPort = port;
    return previous;
}
