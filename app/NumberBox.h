#pragma once

#include <QAbstractSpinBox>
#include <optional>

namespace flowloom::app {

// A whole-number box with up/down arrows. While the user types, the number
// typed is the value even outside the range; leaving the box clamps it into
// the range. Text that is not a whole number counts as the minimum.
class NumberBox final : public QAbstractSpinBox
{
    Q_OBJECT
public:
    // Without a range the box takes any 32-bit number ("Maximum value").
    explicit NumberBox(std::optional<std::pair<int, int>> range, QWidget* parent = nullptr);

    int value() const;
    // Clamped into the range, as a loaded setting is.
    void setValue(int value);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

    void stepBy(int steps) override;

signals:
    void valueChanged(int value);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int clamp(long long value) const;
    void onTextChanged();

    int m_min;
    int m_max;
    int m_lastValue;
};

// The rule behind the box: the typed text as a number, or the minimum.
int numberBoxValue(const QString& text, int minimum);

} // namespace flowloom::app
