#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

int runBox(QWidget *parent, const QString &text, const QString &caption,
           QMessageBox::StandardButtons buttons, QMessageBox::Icon icon = QMessageBox::NoIcon,
           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    // The translation gives "キャンセル"; say it outright so a missing
    // translation file cannot change what the technician reads.
    if (QAbstractButton *cancel = box.button(QMessageBox::Cancel))
        cancel->setText(QStringLiteral("キャンセル"));
    if (QAbstractButton *ok = box.button(QMessageBox::Ok))
        ok->setText(QStringLiteral("OK"));
    // Plain text buttons; some styles would add icons to them.
    for (QAbstractButton *b : box.buttons())
        b->setIcon(QIcon());
    return box.exec();
}

} // namespace

bool askOkCancel(QWidget *parent, const QString &text, const QString &caption)
{
    return runBox(parent, text, caption, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool askOkCancelDefaultCancel(QWidget *parent, const QString &text, const QString &caption)
{
    return runBox(parent, text, caption, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoIcon,
                  QMessageBox::Cancel)
        == QMessageBox::Ok;
}

void showOk(QWidget *parent, const QString &text, const QString &caption)
{
    runBox(parent, text, caption, QMessageBox::Ok);
}

void showApplicationError(const QString &message)
{
    runBox(QApplication::activeWindow(), message, QApplication::applicationDisplayName(),
           QMessageBox::Ok, QMessageBox::Critical);
}
