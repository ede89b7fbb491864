#pragma once

#include "output/encoders/ImageType.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

class QWidget;

namespace flowloom::output {

// The file dialog of "Save As...". Only the path comes from it: the data
// written always follows the chosen image type, whatever filter or extension
// the user picks in the dialog.
class SaveAsDialog
{
public:
    // Pairs of description and pattern, "|" between all of them.
    static constexpr std::string_view kFilter =
        "JPEG Image File (*.jpg)|*.jpg|GIF Image File (*.gif)|*.gif|"
        "Bitmap File (*.bmp)|*.bmp|PNG Image File (*.png)|*.png";

    // The "description|pattern|..." list as Qt name filters ("JPEG Image File
    // (*.jpg)"); a description that does not show its pattern gets it added in
    // parentheses, which is where Qt reads patterns from.
    static QStringList nameFilters(std::string_view filter);

    // 0-based entry preselected for an image type: JPEG first, GIF second,
    // BMP third, PNG fourth.
    static int filterIndex(ImageType type);
    // The extension added to a typed name without one: "jpg", "gif", "bmp", "png".
    static QString defaultSuffix(ImageType type);

    // Shows the dialog in initialFolder (the program's files folder, set anew each
    // time) with the type's filter and suffix preselected. Nothing when the
    // user cancels. An existing file is replaced without asking.
    static std::optional<QString> getPath(QWidget* owner, ImageType type,
                                          const QString& initialFolder);
};

} // namespace flowloom::output
