#include "panel/accessible.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace lumavera {

namespace {

// A control whose value is also its text, read-only, as a reader that asks
// for a control's displayed text expects.
class ShownValue : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    using QAccessibleWidget::QAccessibleWidget;

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override { return QAccessibleWidget::text(t); }

    QString text(int start, int end) const override { return current().mid(start, end - start); }
    int characterCount() const override { return int(current().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    int selectionCount() const override { return 0; }
    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *start, int *end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }

protected:
    QString current() const { return text(QAccessible::Value); }
};

class AccessibleList : public ShownValue
{
public:
    explicit AccessibleList(QComboBox *list) : ShownValue(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return list()->isEditable() ? list()->lineEdit()->text() : list()->currentText();
        // The name as any other widget has it: its own, else its label's.
        return QAccessibleWidget::text(t);
    }

    // The pop-up's items, and the edit field of an editable list.
    int childCount() const override { return list()->isEditable() ? 2 : 1; }

    QAccessibleInterface *child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(list()->view());
        if (index == 1 && list()->isEditable())
            return QAccessible::queryAccessibleInterface(list()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child->object() == list()->view())
            return 0;
        if (list()->isEditable() && child->object() == list()->lineEdit())
            return 1;
        return -1;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

    void doAction(const QString &name) override
    {
        if (name != showMenuAction() && name != pressAction())
            return;
        if (list()->view()->isVisible())
            list()->hidePopup();
        else
            list()->showPopup();
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
};

class AccessibleReadout : public ShownValue
{
public:
    explicit AccessibleReadout(Readout *readout) : ShownValue(readout, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<Readout *>(widget())->spokenValue();
        return ShownValue::text(t);
    }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("QComboBox"))
        return new AccessibleList(static_cast<QComboBox *>(object));
    if (className == QLatin1String(Readout::staticMetaObject.className()))
        return new AccessibleReadout(static_cast<Readout *>(object));
    return nullptr;
}

} // namespace

void Readout::setText(const QString &text)
{
    if (text == QLabel::text())
        return;
    const QString before = spokenValue();
    QLabel::setText(text);
    announce(before);
}

void Readout::setSpokenValue(const QString &value)
{
    const QString before = spokenValue();
    spoken_ = value;
    announce(before);
}

void Readout::announce(const QString &before)
{
    // A label with a name of its own tells readers nothing when its text
    // changes; the change is sent as an edit of the value's text.
    if (QAccessible::isActive() && before != spokenValue()) {
        QAccessibleTextUpdateEvent changed(this, 0, before, spokenValue());
        QAccessible::updateAccessibility(&changed);
    }
}

void InstallAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

} // namespace lumavera
