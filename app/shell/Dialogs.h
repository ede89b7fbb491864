#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace flowloom::app {

struct FontChoice
{
    QFont font;
    QColor colour;
};

// The common dialogs the window opens. Tests replace them with scripted
// answers; an empty answer means the user cancelled.
struct Dialogs
{
    std::function<std::optional<QColor>(QWidget* owner, const QColor& initial)> chooseColour;
    std::function<std::optional<FontChoice>(QWidget* owner, const FontChoice& initial)> chooseFont;
    // A file to save to, starting from a suggested path.
    std::function<std::optional<QString>(QWidget* owner, const QString& suggested)> chooseSaveFile;

    // The desktop's own dialogs; the font dialog carries a colour choice too.
    static Dialogs desktop();
};

} // namespace flowloom::app
