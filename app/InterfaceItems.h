#pragma once

#include <QString>

class QComboBox;

namespace flowloom::app {

// Interface lists (the data interface and the listening address): each item
// is the address text, with the interface's name kept as the item's tooltip
// and shown beside the address in the drop-down.
void addInterfaceItem(QComboBox& list, const QString& item, const QString& name);
QString interfaceName(const QComboBox& list, int index);
QString interfaceItemCaption(const QString& item, const QString& name);
// The closed box tells the chosen interface's name in its tooltip.
void showNameOfCurrent(QComboBox& list);

} // namespace flowloom::app
