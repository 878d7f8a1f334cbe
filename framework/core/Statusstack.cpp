#include "core/Statusstack.h"

#include <algorithm>

#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"

// ---------------------------------------------------------------------------------------------
// Status stack

namespace {

// "50##Reading" carries the code 50. The "##" must start within the first nine characters and
// what stands before it must be a decimal number; otherwise the whole text is the text.
void SplitCode(const std::string& text, int& code, std::string& rest) {
    code = 0;
    rest = text;
    const auto mark = text.find("##");
    if (mark == std::string::npos || mark > 8 || mark == 0) return;
    int value = 0;
    for (std::size_t i = 0; i < mark; ++i) {
        if (text[i] < '0' || text[i] > '9') return;
        value = value * 10 + (text[i] - '0');   // at most eight digits: no overflow
    }
    code = value;
    rest = text.substr(mark + 2);
}

void ReportMissingCaller() {
    if (DebugMode)
        Dialogs().MessageBox("Status Stack called with NULL CallerID argument!", "Error", MB_OK | MB_ICONWARNING);
}

}  // namespace

TStatusStack::TStatusStack() {
    items_.push_back({0, "Idle", this});
}

TStatusStack::~TStatusStack() {
    RemoveStatus(nullptr);
    listeners_.clear();
}

void TStatusStack::PushStatus(const std::string& text, const void* caller) {
    if (!caller) {
        ReportMissingCaller();
        return;
    }
    TStatusItem item;
    SplitCode(text, item.code, item.text);
    item.caller = caller;
    items_.push_back(std::move(item));
    Notify();
}

void TStatusStack::PopStatus(const void* caller) {
    if (!caller) ReportMissingCaller();
    for (auto i = items_.size(); i-- > 0;) {
        if (items_[i].caller == caller) {
            items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i), items_.end());
            break;
        }
    }
    Notify();
}

void TStatusStack::RemoveStatus(const void* caller) {
    if (!caller) {
        items_.clear();
        return;
    }
    const auto first = std::find_if(items_.begin(), items_.end(),
                                     [caller](const TStatusItem& item) { return item.caller == caller; });
    items_.erase(first, items_.end());
}

const TStatusItem* TStatusStack::TopStatus() const {
    return items_.empty() ? nullptr : &items_.back();
}

void TStatusStack::AddStatusListener(TStatusListener* listener) {
    if (!listener || std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) return;
    listeners_.push_back(listener);
    if (const TStatusItem* top = TopStatus()) listener->StatusChanged(top->code, top->text, top->caller);
}

void TStatusStack::RemoveStatusListener(TStatusListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TStatusStack::Notify() {
    const TStatusItem* top = TopStatus();
    if (!top) return;
    // A listener may remove itself or push while being told; work on copies.
    const TStatusItem item = *top;
    const auto listeners = listeners_;
    for (TStatusListener* listener : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end())
            listener->StatusChanged(item.code, item.text, item.caller);
    }
}

StatusLine::StatusLine(const std::string& text, const void* caller) : caller_(caller) {
    if (GlobalStatusStack) GlobalStatusStack->PushStatus(text, caller);
}

StatusLine::~StatusLine() {
    if (GlobalStatusStack) GlobalStatusStack->PopStatus(caller_);
}

// ---------------------------------------------------------------------------------------------
// Progress box

namespace {

constexpr const char* InvalidTypeText = "Invalid Framework Progress Box Status Type";

bool ValidType(unsigned type) {
    return type <= 3;
}

}  // namespace

int TProgressBox::ShowProgressBox(const char* functionText, const char* title, unsigned type,
                                  const char* progressText, int /*ignored*/, bool show) {
    state_.abortEnabled = true;
    state_.title = title ? title : "";
    state_.functionText = functionText ? functionText : "";
    state_.type = type;

    if (show != state_.visible) {
        if (show) {
            LogMessage("Framework Progress box created", 7);
            state_.position = 0;
        } else {
            LogMessage("Framework Progress box destroyed", 7);
        }
    }

    if (ValidType(type)) {
        state_.barVisible = type <= 1;
        if (!state_.barVisible) state_.progressText = progressText ? progressText : "";
        state_.abortEnabled = type == 0 || type == 2;
    } else {
        LogMessage(InvalidTypeText, 1);
    }

    ClearCancelled();
    // Each showing of the box starts without a pending abort.
    if (show && !state_.visible) abortRequested_ = false;
    state_.visible = show;
    Changed();
    Dialogs().ProcessEvents();
    return 0;
}

int TProgressBox::UpdateProgress(int position, const char* text) {
    state_.position = std::clamp(position, 0, 100);
    int result = 2;
    if (state_.visible && !cancelled_) {
        if (!ValidType(state_.type)) {
            LogMessage(InvalidTypeText, 1);
            Changed();
            Dialogs().ProcessEvents();
            return 1;
        }
        if (text) (state_.type <= 1 ? state_.functionText : state_.progressText) = text;
        result = 1;
    }
    Changed();
    Dialogs().ProcessEvents();
    return result;
}

void TProgressBox::ClearCancelled() {
    cancelled_ = false;
}

void TProgressBox::Abort() {
    // A disabled or hidden "Abort" cannot be pressed.
    if (!state_.visible || !state_.abortEnabled) return;
    cancelled_ = true;
    abortRequested_ = true;
}

void TProgressBox::SetView(TProgressView* view) {
    view_ = view;
    Changed();
}

void TProgressBox::Changed() {
    if (view_) view_->ProgressChanged(state_);
}

TProgressBox& ProgressBox() {
    static TProgressBox box;
    return box;
}

extern "C" int ShowProgressBox(const char* functionText, const char* title, unsigned type, const char* progressText,
                               int ignored, int show) {
    try {
        return ProgressBox().ShowProgressBox(functionText, title, type, progressText, ignored, (show & 0xFF) != 0);
    } catch (...) {
        return 0;
    }
}

extern "C" int UpdateProgress(int position, const char* text) {
    try {
        return ProgressBox().UpdateProgress(position, text);
    } catch (...) {
        return 2;
    }
}

void ClearCancelled() {
    ProgressBox().ClearCancelled();
}
