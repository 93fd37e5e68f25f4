#include "panel/portlist.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace lumavera {

namespace {

constexpr int DeviceRole = Qt::UserRole + 1;

QString itemText(const QModelIndex &index)
{
    const QString device = index.data(DeviceRole).toString();
    const QString number = index.data(Qt::DisplayRole).toString();
    return device.isEmpty() ? number : number + QStringLiteral("   ") + device;
}

} // namespace

void PortItemDelegate::showDevice(QComboBox *list, int position, const QString &device)
{
    list->setItemData(position, device, DeviceRole);
    // A screen reader reads the item as it is drawn.
    list->setItemData(position, itemText(list->model()->index(position, 0)),
                      Qt::AccessibleTextRole);
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, list->view()->fontMetrics().horizontalAdvance(
                                      itemText(list->model()->index(i, 0))));
    // Room for the item's margins and the drop-down's scroll bar.
    list->view()->setMinimumWidth(widest + 48);
}

void PortItemDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = itemText(index);
}

} // namespace lumavera
