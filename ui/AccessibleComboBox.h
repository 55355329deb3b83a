#pragma once
// A combo box as a screen reader sees it: named by its accessible name (or
// the label it is the buddy of), its current item (or what is typed into it)
// as its value. Qt's own
// interface on Linux gives the current item as the name, so a row of option
// selectors would read as "あり", "有効", "接続" with nothing of what each
// one chooses.
#include <QAccessibleWidget>

class QComboBox;

class AccessibleComboBox : public QAccessibleWidget {
public:
    explicit AccessibleComboBox(QComboBox *box);

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

    // Makes every combo box use this interface; once per process, before the
    // first box is built.
    static void install();
};
