#include "app/FigureBoard.h"

#include <QLabel>

namespace flowloom::app {

bool FigureBoard::unseen() const
{
    return !m_window.updatesEnabled();
}

void FigureBoard::set(QLabel* label, const QString& text)
{
    // A label on a page behind another (the statistics behind the graph) is
    // kept as well: a new text would lay its hidden page out anew every tick.
    if (!unseen() && (label->isVisible() || !m_window.isVisible())) {
        // The same text again repaints nothing and lays nothing out anew.
        if (label->text() != text)
            label->setText(text);
        return;
    }
    for (auto& [kept, keptText] : m_kept)
        if (kept == label) {
            keptText = text;
            return;
        }
    m_kept.emplace_back(label, text);
}

void FigureBoard::formDue() const
{
    if (!m_unformed || !m_formTexts)
        return;
    m_unformed = false;
    m_formTexts(); // writes through set(), on the board that owns this
}

QString FigureBoard::figure(const QLabel* label) const
{
    formDue();
    for (const auto& [kept, text] : m_kept)
        if (kept == label)
            return text;
    return label->text();
}

void FigureBoard::showKept()
{
    formDue();
    for (const auto& [label, text] : m_kept)
        label->setText(text);
    m_kept.clear();
}

} // namespace flowloom::app
