#pragma once
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Status stack: status lines pushed and popped by their owners; the top one is shown.

struct TStatusItem {
    int code = 0;
    std::string text;
    const void* caller = nullptr;   // owner; never null on the stack
};

class TStatusListener {
public:
    virtual ~TStatusListener() = default;
    virtual void StatusChanged(int code, const std::string& text, const void* caller) = 0;
};

class TStatusStack {
public:
    TStatusStack();     // holds one "Idle" item (code 0) owned by the stack itself
    ~TStatusStack();

    void PushStatus(const std::string& text, const void* caller);
    void PopStatus(const void* caller);
    void RemoveStatus(const void* caller);
    const TStatusItem* TopStatus() const;
    void AddStatusListener(TStatusListener* listener);
    void RemoveStatusListener(TStatusListener* listener);

    const std::vector<TStatusItem>& Items() const { return items_; }

private:
    void Notify();
    std::vector<TStatusItem> items_;
    std::vector<TStatusListener*> listeners_;
};

// Pushes a status line for its lifetime and pops it again (no-op without a status stack).
class StatusLine {
public:
    StatusLine(const std::string& text, const void* caller);
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

private:
    const void* caller_;
};

// ---------------------------------------------------------------------------------------------
// Progress box: the small always-on-top window with a title, a line of text, a bar or a second
// line of text, and "Abort". The model lives here; a view (the Qt window, kov-cli's progress line)
// shows it.

struct TProgressState {
    std::string title;
    std::string functionText = "Performing Function";
    std::string progressText = "Elapsed time";
    int position = 0;           // 0..100
    unsigned type = 0;          // 0..3
    bool barVisible = true;     // types 0, 1
    bool abortEnabled = true;   // types 0, 2
    bool visible = false;
};

class TProgressView {
public:
    virtual ~TProgressView() = default;
    // The state changed (texts, bar, layout, visibility). Called after every model change.
    virtual void ProgressChanged(const TProgressState& state) = 0;
};

class TProgressBox {
public:
    int ShowProgressBox(const char* functionText, const char* title, unsigned type, const char* progressText,
                        int ignored, bool show);
    int UpdateProgress(int position, const char* text);   // 1 = go on, 2 = cancelled or not shown
    void ClearCancelled();
    // The user pressed "Abort" (mouse press or Escape): sets cancelled and abort requested.
    void Abort();
    bool Cancelled() const { return cancelled_; }
    bool AbortRequested() const { return abortRequested_; }
    void ClearAbortRequested() { abortRequested_ = false; }

    const TProgressState& State() const { return state_; }
    void SetView(TProgressView* view);    // not owned; nullptr detaches

private:
    void Changed();
    TProgressState state_;
    bool cancelled_ = false;
    bool abortRequested_ = false;
    TProgressView* view_ = nullptr;
};

// The one progress box of the process.
TProgressBox& ProgressBox();
// The two progress entries handed to libraries (and used by the framework itself).
extern "C" int ShowProgressBox(const char* functionText, const char* title, unsigned type,
                               const char* progressText, int ignored, int show);
extern "C" int UpdateProgress(int position, const char* text);
void ClearCancelled();
