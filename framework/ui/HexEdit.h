#pragma once
#include <QLineEdit>
#include <cstdint>

// A field for one hexadecimal number of up to MaxDigits digits: typing takes hexadecimal digits
// only (small letters become capitals), and leaving the field shows the value with all its digits.
class THexEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit THexEdit(QWidget* parent = nullptr, int maxDigits = 8);

    // The text read as a hexadecimal number, 0 when it is not one.
    std::uint32_t GetValue() const;
    // Shows the value as eight capital hexadecimal digits.
    void SetValue(std::uint32_t value);

    // Wide enough for all its digits: a layout never cuts a number short.
    QSize minimumSizeHint() const override;

signals:
    // The user left the field (focus moved away, or Return pressed) with this value.
    void Left(std::uint32_t value);

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Normalise();
};
