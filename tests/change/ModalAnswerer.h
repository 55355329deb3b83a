#pragma once
// Answers the modal boxes and dialogs an operation opens, one scripted
// answer per box, and notes what each box showed.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

class ModalAnswerer : public QObject {
public:
    struct Seen {
        QString caption;
        QString text;        // message text, or dialog title + "|" + hint
        QStringList buttons; // button texts of a message box
    };

    // `button`: text of the message box button to press, or for the entry
    // dialog "OK:<entry>" / "Cancel".
    void expect(const QString &button) { answers_.append(button); }
    QList<Seen> seen;
    int unexpected = 0;

    ModalAnswerer()
    {
        timer_.setInterval(10);
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w == last_)
            return;
        last_ = w;
        // The entry dialog is one instance reused by every prompt.
        if (auto *d = qobject_cast<QDialog *>(w))
            connect(d, &QDialog::finished, this, [this] { last_ = nullptr; },
                    Qt::SingleShotConnection);
        const QString answer = answers_.isEmpty() ? QString() : answers_.takeFirst();
        if (answer.isEmpty())
            ++unexpected;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            Seen s{box->windowTitle(), box->text(), {}};
            for (QAbstractButton *b : box->buttons())
                s.buttons.append(b->text());
            seen.append(s);
            for (QAbstractButton *b : box->buttons())
                if (b->text() == answer) {
                    QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
                    return;
                }
            box->reject();
            return;
        }
        if (auto *dialog = qobject_cast<QDialog *>(w)) {
            auto *label = dialog->findChild<QLabel *>(QStringLiteral("Label"));
            auto *hint = dialog->findChild<QLabel *>(QStringLiteral("SubLabel"));
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("Edit"));
            seen.append(Seen{dialog->windowTitle(),
                             (label ? label->text() : QString()) + u'|' + (hint ? hint->text() : QString())
                                 + u'|' + (edit ? edit->text() : QString()),
                             {}});
            if (answer.startsWith(QStringLiteral("OK:"))) {
                if (edit)
                    edit->setText(answer.mid(3));
                auto *ok = dialog->findChild<QAbstractButton *>(QStringLiteral("Button1"));
                QMetaObject::invokeMethod(ok, &QAbstractButton::click, Qt::QueuedConnection);
            } else {
                dialog->reject();
            }
        }
    }

    QStringList answers_;
    QTimer timer_;
    QPointer<QWidget> last_;
};
