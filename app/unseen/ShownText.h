#pragma once

#include <QString>
#include <optional>

namespace flowloom::app {

// A text that something shows (the notification-area icon's tip): handed
// over only when it differs from what is shown, and only while it can be
// seen; meanwhile the latest one waits and is handed over when it can be
// seen again. Handing a text over can cost a repaint or a message to the
// desktop's panel; a tick that changes nothing then costs nothing.
class ShownText
{
public:
    explicit ShownText(QString shown = {}) : m_shown(shown), m_latest(std::move(shown)) {}

    // Whether text must be handed over now.
    bool set(const QString& text, bool seen)
    {
        m_latest = text;
        if (!seen || text == m_shown)
            return false;
        m_shown = text;
        return true;
    }
    // Seen again: the text to hand over, when it differs from what is shown.
    std::optional<QString> reveal()
    {
        if (m_latest == m_shown)
            return std::nullopt;
        m_shown = m_latest;
        return m_shown;
    }
    const QString& latest() const { return m_latest; }

private:
    QString m_shown;
    QString m_latest;
};

} // namespace flowloom::app
