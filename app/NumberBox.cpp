#include "app/NumberBox.h"

#include <QLineEdit>
#include <cstdlib>
#include <limits>

namespace flowloom::app {

int numberBoxValue(const QString& text, int minimum)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : minimum;
}

NumberBox::NumberBox(std::optional<std::pair<int, int>> range, QWidget* parent)
    : QAbstractSpinBox(parent), m_min(range ? range->first : std::numeric_limits<int>::min()),
      m_max(range ? range->second : std::numeric_limits<int>::max()), m_lastValue(m_min)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for the longest value with the arrows beside it.
    const QString widest = QString::number(range ? std::max(std::abs(m_min), std::abs(m_max))
                                                 : std::numeric_limits<int>::min());
    setMinimumWidth(fontMetrics().horizontalAdvance(widest + QStringLiteral("00")) + 24);
    setKeyboardTracking(true);
    lineEdit()->setText(QString::number(range ? m_min : 0));
    m_lastValue = value();
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { onTextChanged(); });
}

int NumberBox::value() const
{
    return numberBoxValue(lineEdit()->text(), m_min);
}

int NumberBox::clamp(long long value) const
{
    return static_cast<int>(std::clamp<long long>(value, m_min, m_max));
}

void NumberBox::setValue(int value)
{
    const QString text = QString::number(clamp(value));
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

void NumberBox::stepBy(int steps)
{
    setValue(clamp(static_cast<long long>(value()) + steps));
}

QValidator::State NumberBox::validate(QString& input, int&) const
{
    if (input.isEmpty() || input == QLatin1String("-"))
        return QValidator::Intermediate;
    // Anything may be typed; what is not a whole number counts as the minimum.
    bool ok = false;
    input.toInt(&ok);
    return ok ? QValidator::Acceptable : QValidator::Intermediate;
}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (value() < m_max)
        enabled |= StepUpEnabled;
    if (value() > m_min)
        enabled |= StepDownEnabled;
    return enabled;
}

void NumberBox::focusOutEvent(QFocusEvent* event)
{
    setValue(clamp(value()));
    QAbstractSpinBox::focusOutEvent(event);
}

void NumberBox::onTextChanged()
{
    const int now = value();
    if (now == m_lastValue)
        return;
    m_lastValue = now;
    emit valueChanged(now);
}

} // namespace flowloom::app
