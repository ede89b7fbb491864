#include "app/NumberBox.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <cstdlib>
#include <limits>

namespace flowloom::app {

int committedValue(const QString& text, int current, std::optional<std::pair<int, int>> range)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return current;
    bool ok = false;
    const long long typed = trimmed.toLongLong(&ok);
    const long long low = range ? range->first : std::numeric_limits<int>::min();
    const long long high = range ? range->second : std::numeric_limits<int>::max();
    if (!ok) {
        // Digits beyond 64 bits are still a number, past either end.
        static const QRegularExpression digits(QStringLiteral("^[+-]?\\d+$"));
        if (digits.match(trimmed).hasMatch())
            return static_cast<int>(trimmed.startsWith('-') ? low : high);
        return range ? range->first : current;
    }
    return static_cast<int>(std::clamp(typed, low, high));
}

bool leavesField(Qt::FocusReason reason)
{
    return reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
}

NumberBox::NumberBox(std::optional<std::pair<int, int>> range, QWidget* parent)
    : QAbstractSpinBox(parent), m_min(range ? range->first : std::numeric_limits<int>::min()),
      m_max(range ? range->second : std::numeric_limits<int>::max()), m_ranged(range.has_value()),
      m_value(range ? range->first : 0)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for the longest value with the arrows beside it.
    const QString widest = QString::number(range ? std::max(std::abs(m_min), std::abs(m_max))
                                                 : std::numeric_limits<int>::min());
    setMinimumWidth(fontMetrics().horizontalAdvance(widest + QStringLiteral("00")) + 24);
    lineEdit()->setText(QString::number(m_value));
}

int NumberBox::clamp(long long value) const
{
    return static_cast<int>(std::clamp<long long>(value, m_min, m_max));
}

void NumberBox::setValue(int value)
{
    const int committed = clamp(value);
    const QString text = QString::number(committed);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
    if (committed == m_value)
        return;
    m_value = committed;
    emit valueChanged(m_value);
}

void NumberBox::commit()
{
    const std::optional<std::pair<int, int>> range =
        m_ranged ? std::optional(std::pair{m_min, m_max}) : std::nullopt;
    setValue(committedValue(lineEdit()->text(), m_value, range));
}

void NumberBox::stepBy(int steps)
{
    // The arrows step from what the box shows, typed text included.
    commit();
    setValue(clamp(static_cast<long long>(m_value) + steps));
}

QValidator::State NumberBox::validate(QString&, int&) const
{
    // Anything may be typed; committing decides what it counts as.
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (m_value < m_max)
        enabled |= StepUpEnabled;
    if (m_value > m_min)
        enabled |= StepDownEnabled;
    return enabled;
}

void NumberBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        commit();
    QAbstractSpinBox::keyPressEvent(event);
}

void NumberBox::focusOutEvent(QFocusEvent* event)
{
    if (leavesField(event->reason()))
        commit();
    QAbstractSpinBox::focusOutEvent(event);
}

} // namespace flowloom::app
