#include "output/glue/FolderChooser.h"

#include <QFileDialog>

namespace flowloom::output {

QString FolderChooser::GetFolder(QWidget* owner, const QString& current)
{
    const QString chosen = QFileDialog::getExistingDirectory(owner, QStringLiteral("Select folder"),
                                                             current, QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? current : chosen;
}

} // namespace flowloom::output
