#pragma once

#include <QStyledItemDelegate>

class QComboBox;

namespace lumavera {

// The port list's drop-down: each number with the device behind it, so that
// the numbers leading somewhere stand out from those leading nowhere. The
// closed list, and what a screen reader reads as its value, stay "COMn".
class PortItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Shows `device` (empty: none) beside the list's item `position`, and
    // widens the drop-down to fit it.
    static void showDevice(QComboBox *list, int position, const QString &device);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

} // namespace lumavera
