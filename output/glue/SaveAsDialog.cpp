#include "output/glue/SaveAsDialog.h"

#include <QFileDialog>

namespace flowloom::output {

QStringList SaveAsDialog::nameFilters(std::string_view filter)
{
    const QStringList parts =
        QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size()))
            .split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
            filters << description;
        else
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

int SaveAsDialog::filterIndex(ImageType type)
{
    switch (type) {
    case ImageType::Jpeg:
        return 0;
    case ImageType::Gif:
        return 1;
    case ImageType::Bmp:
        return 2;
    case ImageType::Png:
        return 3;
    }
    return 0;
}

QString SaveAsDialog::defaultSuffix(ImageType type)
{
    // The extension without its dot.
    return QString::fromLatin1(extensionOf(type).substr(1));
}

std::optional<QString> SaveAsDialog::getPath(QWidget* owner, ImageType type,
                                             const QString& initialFolder)
{
    QFileDialog dialog(owner, QStringLiteral("Save As"), initialFolder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = nameFilters(kFilter);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(filterIndex(type)));
    dialog.setDefaultSuffix(defaultSuffix(type));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return std::nullopt;
    return chosen.front();
}

} // namespace flowloom::output
