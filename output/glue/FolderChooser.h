#pragma once

#include <QString>

class QWidget;

namespace flowloom::output {

// The desktop's folder chooser for the capture folder.
class FolderChooser
{
public:
    // Titled "Select folder", folders only, with an edit box to type a path,
    // starting at current. The chosen folder's path, or current unchanged when
    // the user cancels.
    static QString GetFolder(QWidget* owner, const QString& current);
};

} // namespace flowloom::output
