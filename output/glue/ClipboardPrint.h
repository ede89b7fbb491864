#pragma once

#include "output/rules/PrintScale.h"

#include <QImage>
#include <QString>

#include <optional>

class QPrinter;
class QWidget;

namespace flowloom::output {

// The clipboard and the printer as destinations of a graph image.
class ClipboardPrint
{
public:
    // Replaces the clipboard's contents with this one image.
    static void copyToClipboard(const QImage& image);

    // One print job of one page: the image stretched into (0, 0, fx x w,
    // fy x h) of the page, fx and fy the whole ratios of the printer's
    // resolution to screenPpi. The job is ended on every path, also when
    // drawing fails. Nothing on success, else the message for the user's box.
    // When target is given it receives the rectangle used.
    static std::optional<QString> print(QPrinter& printer, const QImage& image, int screenPpi,
                                        PrintScale::Rect* target = nullptr);

    // The screen's logical pixels per inch where the widget is shown.
    static int screenPpi(const QWidget& widget);

    // "Print...": the printer dialog; true when the user confirms.
    static bool printDialog(QWidget* owner, QPrinter& printer);
    // "Printer Setup...": the page and printer set-up dialog, nothing else.
    static void printerSetupDialog(QWidget* owner, QPrinter& printer);
};

} // namespace flowloom::output
