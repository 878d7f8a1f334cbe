#include "KovTest.h"
#include "core/Globals.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"

namespace {

struct Seen {
    int code;
    std::string text;
    const void* caller;
    bool operator==(const Seen&) const = default;
};

class RecordingListener : public TStatusListener {
public:
    void StatusChanged(int code, const std::string& text, const void* caller) override {
        seen.push_back({code, text, caller});
    }
    std::vector<Seen> seen;
};

class RecordingView : public TProgressView {
public:
    void ProgressChanged(const TProgressState& state) override { states.push_back(state); }
    std::vector<TProgressState> states;
};

const int ownerA = 1, ownerB = 2;
const void* const A = &ownerA;
const void* const B = &ownerB;

}  // namespace

class StatusStackTest : public GlobalsFixture {
protected:
    TStatusStack& Stack() { return *GlobalStatusStack; }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& item : Stack().Items()) texts.push_back(item.text);
        return texts;
    }
};

TEST_F(StatusStackTest, CodesBeforeTheMarkWithinNineCharacters) {
    RecordingListener listener;
    Stack().AddStatusListener(&listener);
    Stack().PushStatus("50##Reading", A);
    Stack().PushStatus("Reading 10##x", A);
    Stack().PushStatus("12345678##eight digits", A);
    Stack().PushStatus("123456789##nine digits", A);
    Stack().PushStatus("##no code", A);
    Stack().PushStatus("ab##not a number", A);
    const std::vector<Seen> expected = {{0, "Idle", &Stack()},
                                        {50, "Reading", A},
                                        {0, "Reading 10##x", A},
                                        {12345678, "eight digits", A},
                                        {0, "123456789##nine digits", A},
                                        {0, "##no code", A},
                                        {0, "ab##not a number", A}};
    EXPECT_EQ(listener.seen, expected);
    Stack().RemoveStatusListener(&listener);
}

TEST_F(StatusStackTest, PopRemovesTheOwnersTopmostLineAndEverythingAbove) {
    Stack().PushStatus("a1", A);
    Stack().PushStatus("a2", A);
    Stack().PushStatus("b1", B);
    RecordingListener listener;
    Stack().AddStatusListener(&listener);
    Stack().PopStatus(A);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Idle", "a1"}));
    Stack().PopStatus(B);   // nothing of B left: no change, but still told
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Idle", "a1"}));
    EXPECT_EQ(listener.seen.size(), 3u);
    EXPECT_EQ(listener.seen.back(), (Seen{0, "a1", A}));
    Stack().RemoveStatusListener(&listener);
}

TEST_F(StatusStackTest, RemoveWorksFromTheBottomAndTellsNobody) {
    Stack().PushStatus("a1", A);
    Stack().PushStatus("b1", B);
    Stack().PushStatus("a2", A);
    RecordingListener listener;
    Stack().AddStatusListener(&listener);
    listener.seen.clear();
    Stack().RemoveStatus(A);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Idle"}));
    Stack().RemoveStatus(nullptr);
    EXPECT_EQ(Stack().TopStatus(), nullptr);
    EXPECT_TRUE(listener.seen.empty());
    // An empty stack still takes pushes.
    Stack().PushStatus("again", A);
    EXPECT_EQ(Stack().TopStatus()->text, "again");
    Stack().RemoveStatusListener(&listener);
}

TEST_F(StatusStackTest, ListenersAreAddedOnceToldAtOnceAndInOrder) {
    RecordingListener first, second;
    Stack().AddStatusListener(&first);
    Stack().AddStatusListener(&second);
    Stack().AddStatusListener(&first);
    EXPECT_EQ(first.seen.size(), 1u);
    Stack().PushStatus("x", A);
    EXPECT_EQ(first.seen.size(), 2u);
    EXPECT_EQ(second.seen.size(), 2u);
    Stack().RemoveStatusListener(&first);
    Stack().PopStatus(A);
    EXPECT_EQ(first.seen.size(), 2u);
    EXPECT_EQ(second.seen.back(), (Seen{0, "Idle", &Stack()}));
    Stack().RemoveStatusListener(&second);
}

TEST_F(StatusStackTest, AListenerMayRemoveItselfWhileBeingTold) {
    struct SelfRemoving : TStatusListener {
        TStatusStack* stack = nullptr;
        int calls = 0;
        void StatusChanged(int, const std::string&, const void*) override {
            if (++calls == 2) stack->RemoveStatusListener(this);
        }
    } self;
    RecordingListener after;
    self.stack = &Stack();
    Stack().AddStatusListener(&self);
    Stack().AddStatusListener(&after);
    Stack().PushStatus("x", A);
    Stack().PushStatus("y", A);
    EXPECT_EQ(self.calls, 2);
    EXPECT_EQ(after.seen.size(), 3u);
    Stack().RemoveStatusListener(&after);
}

TEST_F(StatusStackTest, AMissingCallerIsRefusedAndReportedInDebugModeOnly) {
    Stack().PushStatus("orphan", nullptr);
    EXPECT_TRUE(dialogs.shown.empty());
    DebugMode = true;
    Stack().PushStatus("orphan", nullptr);
    EXPECT_EQ(Stack().Items().size(), 1u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Status Stack called with NULL CallerID argument!");
    EXPECT_EQ(dialogs.shown[0].caption, "Error");
    EXPECT_EQ(dialogs.shown[0].flags, MB_OK | MB_ICONWARNING);
}

TEST_F(StatusStackTest, StatusLinePopsWhatItPushed) {
    {
        StatusLine outer("Programming", A);
        {
            StatusLine inner("Verifying", B);
            EXPECT_EQ(Stack().TopStatus()->text, "Verifying");
        }
        EXPECT_EQ(Stack().TopStatus()->text, "Programming");
    }
    EXPECT_EQ(Stack().TopStatus()->text, "Idle");
    StopGlobals();
    StatusLine without("no stack", A);   // harmless
}

// ---------------------------------------------------------------------------------------------
// Progress box

class ProgressBoxTest : public GlobalsFixture {
protected:
    void SetUp() override {
        GlobalsFixture::SetUp();
        GlobalLog->SetLevel(7);
        ProgressBox().SetView(&view);
    }
    void TearDown() override {
        ProgressBox().SetView(nullptr);
        GlobalsFixture::TearDown();
    }
    const TProgressState& State() { return ProgressBox().State(); }
    RecordingView view;
};

TEST_F(ProgressBoxTest, TypesLayTheBoxOut) {
    struct Layout {
        unsigned type;
        bool bar;
        bool abort;
    };
    for (const Layout& l : {Layout{0, true, true}, Layout{1, true, false}, Layout{2, false, true}, Layout{3, false, false}}) {
        ShowProgressBox("Reading", "Device", l.type, "0 s", 0, 1);
        EXPECT_EQ(State().barVisible, l.bar) << l.type;
        EXPECT_EQ(State().abortEnabled, l.abort) << l.type;
        EXPECT_TRUE(State().visible);
        EXPECT_EQ(State().title, "Device");
        EXPECT_EQ(State().functionText, "Reading");
    }
    EXPECT_EQ(State().progressText, "0 s");
    EXPECT_EQ(view.states.back().type, 3u);
    EXPECT_GE(dialogs.eventPumps, 4);
}

TEST_F(ProgressBoxTest, ShowingAndHidingAreLoggedOnChangeOnly) {
    ShowProgressBox("f", "t", 0, "", 0, 0);
    EXPECT_FALSE(LogContains("Framework Progress box"));
    ShowProgressBox("f", "t", 0, "", 0, 1);
    ShowProgressBox("f", "t", 0, "", 0, 1);
    ShowProgressBox("f", "t", 0, "", 0, 0);
    const auto lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "(3) - Framework Progress box created"), 1);
    EXPECT_EQ(lines.back(), "(4) - Framework Progress box destroyed");
}

TEST_F(ProgressBoxTest, UpdatesReplaceTheRightTextAndMoveTheBar) {
    ShowProgressBox("Programming", "Device", 0, "", 0, 1);
    EXPECT_EQ(UpdateProgress(40, "Block 2"), 1);
    EXPECT_EQ(State().functionText, "Block 2");
    EXPECT_EQ(State().position, 40);
    EXPECT_EQ(UpdateProgress(150, nullptr), 1);
    EXPECT_EQ(State().position, 100);
    EXPECT_EQ(State().functionText, "Block 2");

    ShowProgressBox("Erasing", "Device", 2, "0 s", 0, 1);
    EXPECT_EQ(State().position, 100);   // already visible: the bar is not reset
    EXPECT_EQ(UpdateProgress(-3, "5 s"), 1);
    EXPECT_EQ(State().progressText, "5 s");
    EXPECT_EQ(State().functionText, "Erasing");
    EXPECT_EQ(State().position, 0);

    ShowProgressBox("Erasing", "Device", 2, "0 s", 0, 0);
    EXPECT_EQ(UpdateProgress(60, "hidden"), 2);
    EXPECT_EQ(State().position, 60);    // the bar moves even while the box is hidden
    EXPECT_EQ(State().progressText, "0 s");
}

TEST_F(ProgressBoxTest, AbortCancelsUntilTheNextShowAndIsRememberedLonger) {
    ShowProgressBox("Reading", "Device", 0, "", 0, 1);
    ProgressBox().Abort();
    EXPECT_EQ(UpdateProgress(10, "x"), 2);
    EXPECT_EQ(UpdateProgress(20, "x"), 2);
    EXPECT_NE(State().functionText, "x");
    EXPECT_TRUE(ProgressBox().AbortRequested());

    ShowProgressBox("Verifying", "Device", 0, "", 0, 1);   // reconfigured: no longer cancelled
    EXPECT_FALSE(ProgressBox().Cancelled());
    EXPECT_TRUE(ProgressBox().AbortRequested());           // still visible: not shown anew
    EXPECT_EQ(UpdateProgress(30, nullptr), 1);

    ShowProgressBox("Verifying", "Device", 0, "", 0, 0);
    EXPECT_TRUE(ProgressBox().AbortRequested());
    ShowProgressBox("Next", "Device", 0, "", 0, 1);        // shown again
    EXPECT_FALSE(ProgressBox().AbortRequested());

    ProgressBox().Abort();
    ClearCancelled();
    EXPECT_EQ(UpdateProgress(40, nullptr), 1);
    EXPECT_TRUE(ProgressBox().AbortRequested());
    ProgressBox().ClearAbortRequested();
    EXPECT_FALSE(ProgressBox().AbortRequested());
}

TEST_F(ProgressBoxTest, ADisabledOrHiddenAbortCannotBePressed) {
    ShowProgressBox("Erasing", "Device", 3, "", 0, 1);
    ProgressBox().Abort();
    EXPECT_FALSE(ProgressBox().Cancelled());
    EXPECT_EQ(UpdateProgress(1, nullptr), 1);
    ShowProgressBox("Erasing", "Device", 0, "", 0, 0);
    ProgressBox().Abort();
    EXPECT_FALSE(ProgressBox().AbortRequested());
}

TEST_F(ProgressBoxTest, AnInvalidTypeIsLoggedAndKeepsTheLayout) {
    ShowProgressBox("f", "t", 3, "text", 0, 1);
    ShowProgressBox("g", "u", 7, "other", 0, 1);
    EXPECT_TRUE(LogContains("(4) - Invalid Framework Progress Box Status Type"));
    EXPECT_FALSE(State().barVisible);
    EXPECT_EQ(State().progressText, "text");
    EXPECT_TRUE(State().abortEnabled);   // "Abort" is enabled before the layout is looked at
    EXPECT_EQ(State().functionText, "g");

    const int pumps = dialogs.eventPumps;
    EXPECT_EQ(UpdateProgress(50, "ignored"), 1);
    EXPECT_EQ(dialogs.eventPumps, pumps + 1);
    EXPECT_EQ(State().progressText, "text");
    LogMessage("next", 2);
    EXPECT_EQ(LogLines()[LogLines().size() - 2], "(5) - Last message repeated 1 time");
}

TEST_F(ProgressBoxTest, TheShowFlagIsAByte) {
    ShowProgressBox("f", "t", 0, "", 0, 0x100);
    EXPECT_FALSE(State().visible);
    ShowProgressBox(nullptr, nullptr, 0, nullptr, 0, 1);
    EXPECT_TRUE(State().visible);
    EXPECT_EQ(State().title, "");
}
