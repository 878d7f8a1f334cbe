#include "ui/LogView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include "ui/QtText.h"

namespace {

// A message with line breaks stays one entry: its breaks become line separators inside the block.
QString EntryText(const std::string& line) {
    QString text = ToQString(line);
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    return text;
}

QString LineText(const QTextBlock& block) {
    QString text = block.text();
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

}  // namespace

TLogView::TLogView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("LogBox"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

std::string TLogView::Line(int index) const {
    if (index < 0 || index >= count_) return {};
    return FromQString(LineText(document()->findBlockByNumber(index)));
}

void TLogView::RemoveFirst(int count) {
    if (count <= 0) return;
    if (count >= count_) {
        Clear();
        return;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    cursor.setPosition(document()->findBlockByNumber(count).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    count_ -= count;
    Changed();
}

void TLogView::Append(const std::string& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (count_ > 0) cursor.insertBlock();
    cursor.insertText(EntryText(line));
    ++count_;
    Changed();
}

void TLogView::Clear() {
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    count_ = 0;
    Changed();
}

void TLogView::BeginUpdate() {
    if (updateDepth_++ == 0) {
        batch_ = QTextCursor(document());
        batch_.beginEditBlock();
    }
}

void TLogView::EndUpdate() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ == 0) {
        batch_.endEditBlock();
        batch_ = QTextCursor();
        Changed();
    }
}

QString TLogView::AllText() const {
    QStringList lines;
    lines.reserve(count_);
    for (QTextBlock block = document()->begin(); block.isValid() && lines.size() < count_; block = block.next()) {
        lines << LineText(block);
    }
    return lines.join(QLatin1Char('\n'));
}

void TLogView::ScrollLines(int lines) {
    verticalScrollBar()->setValue(verticalScrollBar()->value() + lines);
}

void TLogView::Changed() {
    if (updateDepth_ > 0) return;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
