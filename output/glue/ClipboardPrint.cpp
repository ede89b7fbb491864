#include "output/glue/ClipboardPrint.h"

#include <QApplication>
#include <QClipboard>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <limits>

namespace flowloom::output {

namespace {

// Qt's printing layer reports failures as a state without words; the
// printer's name (or the file it prints into) tells the user which one failed.
QString printerText(const QPrinter& printer)
{
    const QString file = printer.outputFileName();
    return file.isEmpty() ? printer.printerName() : file;
}

} // namespace

void ClipboardPrint::copyToClipboard(const QImage& image)
{
    QApplication::clipboard()->setImage(image);
}

std::optional<QString> ClipboardPrint::print(QPrinter& printer, const QImage& image, int screenPpi,
                                             PrintScale::Rect* target)
{
    if (image.isNull())
        return QStringLiteral("There is no image to print.");
    const PrintScale scale(printer.logicalDpiX(), printer.logicalDpiY(), screenPpi);
    const PrintScale::Rect rect = scale.target(image.width(), image.height());
    if (target != nullptr)
        *target = rect;
    constexpr std::int64_t kMaxDots = std::numeric_limits<int>::max();
    if (rect.width > kMaxDots || rect.height > kMaxDots)
        return QStringLiteral("The image is too large for the printer \"%1\".")
            .arg(printerText(printer));

    QPainter painter;
    if (!painter.begin(&printer))
        return QStringLiteral("Printing on \"%1\" could not start.").arg(printerText(printer));
    painter.drawImage(QRect(static_cast<int>(rect.x), static_cast<int>(rect.y),
                            static_cast<int>(rect.width), static_cast<int>(rect.height)),
                      image);
    // end() closes the job whatever happened while drawing; its result and the
    // printer's state tell whether the page really went out.
    const bool ended = painter.end();
    if (!ended || printer.printerState() == QPrinter::Error)
        return QStringLiteral("Printing on \"%1\" failed.").arg(printerText(printer));
    return std::nullopt;
}

int ClipboardPrint::screenPpi(const QWidget& widget)
{
    return widget.logicalDpiX();
}

bool ClipboardPrint::printDialog(QWidget* owner, QPrinter& printer)
{
    QPrintDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted;
}

void ClipboardPrint::printerSetupDialog(QWidget* owner, QPrinter& printer)
{
    QPageSetupDialog dialog(&printer, owner);
    dialog.exec();
}

} // namespace flowloom::output
