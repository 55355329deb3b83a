#pragma once
// Plain message boxes as the utility shows them: no icon, buttons "OK"
// and "キャンセル".
#include <QString>

class QWidget;

// OK and Cancel; true only when OK was chosen.
bool askOkCancel(QWidget *parent, const QString &text, const QString &caption);
// The same with キャンセル as the default: Enter does not go ahead.
bool askOkCancelDefaultCancel(QWidget *parent, const QString &text, const QString &caption);
// OK only.
void showOk(QWidget *parent, const QString &text, const QString &caption);
// The application's error display: an error that ended a handler.
void showApplicationError(const QString &message);
