#include "app/InterfaceItems.h"

#include <QComboBox>
#include <QStyledItemDelegate>

namespace flowloom::app {

namespace {
// The drop-down of an interface list shows each interface's name beside its
// address; the item text stays the address, which the title, the listening
// address and the stored index rely on.
class InterfaceItemDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = interfaceItemCaption(index.data(Qt::DisplayRole).toString(),
                                            index.data(Qt::ToolTipRole).toString());
    }
};

} // namespace

QString interfaceItemCaption(const QString& item, const QString& name)
{
    return name.isEmpty() ? item : item + QStringLiteral("   ") + name;
}

QString interfaceName(const QComboBox& list, int index)
{
    return list.itemData(index, Qt::ToolTipRole).toString();
}

void addInterfaceItem(QComboBox& list, const QString& item, const QString& name)
{
    if (list.count() == 0 && dynamic_cast<InterfaceItemDelegate*>(list.itemDelegate()) == nullptr) {
        list.setItemDelegate(new InterfaceItemDelegate(&list));
        QObject::connect(&list, &QComboBox::currentIndexChanged, &list,
                         [&list] { showNameOfCurrent(list); });
    }
    list.addItem(item);
    list.setItemData(list.count() - 1, name, Qt::ToolTipRole);
}

void showNameOfCurrent(QComboBox& list)
{
    list.setToolTip(list.currentIndex() >= 0 ? interfaceName(list, list.currentIndex())
                                             : QString());
}

} // namespace flowloom::app
