// Graph output on the main window: snapshots, files, clipboard, printer and
// page capture.
#include "app/SetupPage.h"
#include "app/Unit1.h"
#include "graph/ChartWidget.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>

namespace flowloom::app {

bool TForm1::captureFolderExists() const
{
    const QString folder = Setup->edFolder->text();
    return !folder.isEmpty() && QDir(folder).exists();
}

std::optional<QImage> TForm1::webGraphSnapshot()
{
    const QImage image = Chart1->renderToImage(Chart1->size());
    if (image.isNull())
        return std::nullopt;
    return image;
}

bool TForm1::captureTrigger()
{
    return false;
}

} // namespace flowloom::app
