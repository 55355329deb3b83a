#include "ui/AccessibleComboBox.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

QAccessibleInterface *comboBoxFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("QComboBox") || !object || !object->isWidgetType())
        return nullptr;
    // Every box: its interface may be asked for (and kept) while the box is
    // being built, before it has its name.
    return new AccessibleComboBox(static_cast<QComboBox *>(object));
}

} // namespace

AccessibleComboBox::AccessibleComboBox(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

QString AccessibleComboBox::text(QAccessible::Text t) const
{
    auto *box = static_cast<QComboBox *>(widget());
    if (t == QAccessible::Value)
        return box->isEditable() ? box->lineEdit()->text() : box->currentText();
    return QAccessibleWidget::text(t);
}

// The field of an editable box is the box itself to a screen reader (it
// keeps the focus and passes the keys on), not a second control without a
// name; the list it opens is a window of its own.
int AccessibleComboBox::childCount() const
{
    return 0;
}

QAccessibleInterface *AccessibleComboBox::child(int) const
{
    return nullptr;
}

int AccessibleComboBox::indexOfChild(const QAccessibleInterface *) const
{
    return -1;
}

QStringList AccessibleComboBox::actionNames() const
{
    return QAccessibleWidget::actionNames() << showMenuAction();
}

void AccessibleComboBox::doAction(const QString &actionName)
{
    if (actionName == showMenuAction())
        static_cast<QComboBox *>(widget())->showPopup();
    else
        QAccessibleWidget::doAction(actionName);
}

void AccessibleComboBox::install()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(comboBoxFactory);
    installed = true;
}
