#include "app/shell/Dialogs.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace flowloom::app {

namespace {
// A font dialog with the font's colour, as the title and web fonts need.
std::optional<FontChoice> chooseFontAndColour(QWidget* owner, const FontChoice& initial)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Font"));
    auto* fonts = new QFontDialog(initial.font, &dialog);
    fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    fonts->setWindowFlags(Qt::Widget);
    QColor colour = initial.colour;
    auto* colourButton = new QPushButton(QStringLiteral("Colour..."), &dialog);
    auto* swatch = new QLabel(&dialog);
    swatch->setFixedSize(40, 20);
    swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
    auto paint = [&] {
        swatch->setStyleSheet(QStringLiteral("background: %1;").arg(colour.name()));
    };
    paint();
    QObject::connect(colourButton, &QPushButton::clicked, &dialog, [&] {
        const QColor chosen = QColorDialog::getColor(colour, &dialog);
        if (chosen.isValid()) {
            colour = chosen;
            paint();
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(new QLabel(QStringLiteral("Colour:"), &dialog));
    colourRow->addWidget(swatch);
    colourRow->addWidget(colourButton);
    colourRow->addStretch(1);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(fonts);
    layout->addLayout(colourRow);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return FontChoice{fonts->currentFont(), colour};
}
} // namespace

Dialogs Dialogs::desktop()
{
    Dialogs dialogs;
    dialogs.chooseColour = [](QWidget* owner, const QColor& initial) -> std::optional<QColor> {
        const QColor chosen = QColorDialog::getColor(initial, owner);
        if (!chosen.isValid())
            return std::nullopt;
        return chosen;
    };
    dialogs.chooseFont = chooseFontAndColour;
    dialogs.chooseSaveFile = [](QWidget* owner,
                                const QString& suggested) -> std::optional<QString> {
        const QString path = QFileDialog::getSaveFileName(
            owner, QStringLiteral("Export CSV"), suggested,
            QStringLiteral("Comma separated values (*.csv);;All files (*)"));
        if (path.isEmpty())
            return std::nullopt;
        return path;
    };
    return dialogs;
}

} // namespace flowloom::app
