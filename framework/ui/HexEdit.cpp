#include "ui/HexEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

namespace {

// Capitals for small letters; anything that is not a hexadecimal digit never gets in, whether
// typed or pasted.
class HexValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        input = input.toUpper();
        for (const QChar c : input) {
            if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
                return Invalid;
        }
        return Acceptable;
    }
};

}  // namespace

THexEdit::THexEdit(QWidget* parent, int maxDigits) : QLineEdit(parent) {
    setMaxLength(maxDigits);
    setValidator(new HexValidator(this));
    setText(QString(maxDigits, QLatin1Char('0')));
}

QSize THexEdit::minimumSizeHint() const {
    ensurePolished();
    // The widest digit, as many times as the field takes digits, inside the text margins and the
    // line edit's own margin of two pixels on each side.
    const QMargins margins = textMargins();
    const int digits = fontMetrics().horizontalAdvance(QString(maxLength(), QLatin1Char('D'))) + 1;
    const QSize content(digits + margins.left() + margins.right() + 4,
                        QLineEdit::minimumSizeHint().height());
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QSize framed = style()->sizeFromContents(QStyle::CT_LineEdit, &option, content, this);
    return QSize(framed.width(), QLineEdit::minimumSizeHint().height());
}

std::uint32_t THexEdit::GetValue() const {
    bool ok = false;
    const qulonglong value = text().toULongLong(&ok, 16);
    return ok && value <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(value) : 0;
}

void THexEdit::SetValue(std::uint32_t value) {
    setText(QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper());
}

void THexEdit::Normalise() {
    bool ok = false;
    text().toULongLong(&ok, 16);
    SetValue(ok ? GetValue() : 0);
}

void THexEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Another window coming to the front (a message box, a menu) is not leaving the field.
    if (isReadOnly() || event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    Normalise();
    emit Left(GetValue());
}

void THexEdit::keyPressEvent(QKeyEvent* event) {
    if (!isReadOnly() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        Normalise();
        emit Left(GetValue());
        return;
    }
    QLineEdit::keyPressEvent(event);
}
