#pragma once
// A script for the shared ModalAnswerer: one answer per box or dialog, in
// order. Message boxes: the text of the button to press. The value-entry
// dialog: "OK:<entry>" types the entry and confirms, anything else cancels.
// What the entry dialog showed is noted as "title|hint|field".
#include "tests/support/ModalAnswerer.h"

#include <QLabel>
#include <QLineEdit>
#include <memory>

struct ScriptedAnswers {
    QStringList answers;
    QStringList dialogs;  // what each entry dialog showed
    int unexpected = 0;   // boxes beyond the script, each cancelled
};

inline ModalAnswerer::Answer Script(std::shared_ptr<ScriptedAnswers> script)
{
    return [script](QWidget *modal, int index) {
        const QString answer = index < script->answers.size() ? script->answers.at(index) : QString();
        if (answer.isEmpty())
            ++script->unexpected;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            for (QAbstractButton *b : box->buttons())
                if (b->text() == answer) {
                    b->click();
                    return;
                }
            box->reject();
            return;
        }
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (!dialog)
            return;
        auto *label = dialog->findChild<QLabel *>(QStringLiteral("Label"));
        auto *hint = dialog->findChild<QLabel *>(QStringLiteral("SubLabel"));
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("Edit"));
        script->dialogs.append((label ? label->text() : QString()) + u'|'
                               + (hint ? hint->text() : QString()) + u'|'
                               + (edit ? edit->text() : QString()));
        if (answer.startsWith(QStringLiteral("OK:")) && edit) {
            edit->setText(answer.mid(3));
            if (auto *ok = dialog->findChild<QAbstractButton *>(QStringLiteral("Button1")))
                ok->click();
            else
                dialog->accept();
        } else {
            dialog->reject();
        }
    };
}

// Runs `action` with the boxes it opens answered by `answers`.
struct Answered {
    std::shared_ptr<ScriptedAnswers> script = std::make_shared<ScriptedAnswers>();
    ModalAnswerer answerer;
    explicit Answered(const QStringList &answers) : answerer(Script(script))
    {
        script->answers = answers;
    }
    const QList<ModalAnswerer::Seen> &seen() const { return answerer.seen; }
};
