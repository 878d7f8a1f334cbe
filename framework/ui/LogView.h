#pragma once
#include <QPlainTextEdit>
#include <QTextCursor>

#include "core/Logger.h"

// The main window's log view: one block per log entry, read-only, the newest entry kept in view.
// Changes between BeginUpdate and EndUpdate form one edit of the document, so trimming many lines
// and appending one redraws the view once.
class TLogView : public QPlainTextEdit, public TLogLines {
    Q_OBJECT
public:
    explicit TLogView(QWidget* parent = nullptr);

    int Count() const override { return count_; }
    std::string Line(int index) const override;
    void RemoveFirst(int count) override;
    void Append(const std::string& line) override;
    void Clear() override;
    void BeginUpdate() override;
    void EndUpdate() override;

    // Every line, separated by line feeds.
    QString AllText() const;
    // Scrolls by whole lines: negative up, positive down.
    void ScrollLines(int lines);

private:
    void Changed();

    int count_ = 0;
    int updateDepth_ = 0;
    QTextCursor batch_;
};
