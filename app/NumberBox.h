#pragma once

#include <QAbstractSpinBox>
#include <optional>

namespace flowloom::app {

// A whole-number box with up/down arrows. What the user types takes effect
// only when it is committed (Enter, the arrows, or leaving the box), and
// always within the box's range.
class NumberBox final : public QAbstractSpinBox
{
    Q_OBJECT
public:
    // Without a range the box takes any 32-bit number ("Maximum value").
    explicit NumberBox(std::optional<std::pair<int, int>> range, QWidget* parent = nullptr);

    // The committed value; text still being typed does not count.
    int value() const { return m_value; }
    // Clamped into the range, as a loaded setting is.
    void setValue(int value);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

    void stepBy(int steps) override;

signals:
    // A new value was committed.
    void valueChanged(int value);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int clamp(long long value) const;
    void commit();

    int m_min;
    int m_max;
    bool m_ranged;
    int m_value;
};

// The rule behind the box: the value that committing the typed text gives.
// A whole number is limited to the range; other text gives the minimum of a
// ranged box; an empty box, or text that is no number in a box without range,
// keeps the current value.
int committedValue(const QString& text, int current, std::optional<std::pair<int, int>> range);

// Whether losing the focus for this reason is leaving the field. A context
// menu or a switch to another program leaves the user in the field.
bool leavesField(Qt::FocusReason reason);

} // namespace flowloom::app
