#pragma once
// Plain message boxes as the utility shows them: no icon, buttons "OK"
// and "キャンセル".
#include <QString>

class QWidget;

// OK and Cancel; true only when OK was chosen.
bool AskOkCancel(QWidget *parent, const QString &text, const QString &caption);
// OK only.
void ShowOk(QWidget *parent, const QString &text, const QString &caption);
// The application's error display: an error that ended a handler.
void ShowApplicationError(const QString &message);
