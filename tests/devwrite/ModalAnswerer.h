#pragma once
// Answers the modal boxes and dialogs a handler opens, in order, and notes
// what each showed. Runs on a timer, as the modal loops let it.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <functional>

class ModalAnswerer : public QObject {
public:
    struct Seen {
        QString title;
        QString text;          // message text, or the dialog's title line
        QString hint;          // the dialog's range line
        QString field;         // the dialog's field as it opened
        QString focus;         // objectName of the focused control
        QStringList buttons;
        bool enabled = false;  // the box itself takes input
        bool windowEnabled = false; // the main window, while the box is open
    };
    using Action = std::function<void(QWidget *)>;

    explicit ModalAnswerer(QWidget *mainWindow) : main_(mainWindow)
    {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { check(); });
        timer_.start();
    }

    QList<Seen> seen;
    QList<Action> actions;
    int unexpected = 0;  // boxes that came with no answer left
    int stuck = 0;       // boxes that ignored their answer

    // Clicks the button with this caption.
    static Action click(const QString &caption)
    {
        return [caption](QWidget *w) {
            for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
                if (b->text() == caption) {
                    b->click();
                    return;
                }
            }
        };
    }
    // Types into the dialog's field and presses OK.
    static Action enter(const QString &text)
    {
        return [text](QWidget *w) {
            w->findChild<QLineEdit *>(QStringLiteral("Edit"))->setText(text);
            click(QStringLiteral("OK"))(w);
        };
    }

private:
    void check()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || busy_)
            return;
        busy_ = true;
        Seen s;
        s.title = w->windowTitle();
        s.enabled = w->isEnabled();
        s.windowEnabled = main_->isEnabled();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            s.text = box->text();
            for (QAbstractButton *b : box->buttons())
                s.buttons << b->text();
        } else {
            if (auto *l = w->findChild<QLabel *>(QStringLiteral("Label")))
                s.text = l->text();
            if (auto *l = w->findChild<QLabel *>(QStringLiteral("SubLabel")))
                s.hint = l->text();
            if (auto *e = w->findChild<QLineEdit *>(QStringLiteral("Edit")))
                s.field = e->text();
        }
        if (QWidget *f = w->focusWidget())
            s.focus = f->objectName();
        seen.append(s);
        if (actions.isEmpty()) {
            ++unexpected;
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
            else
                w->close();
        } else {
            actions.takeFirst()(w);
            // A box that did not take the answer would hang the test.
            if (w->isVisible()) {
                ++stuck;
                if (auto *d = qobject_cast<QDialog *>(w))
                    d->done(QDialog::Rejected);
                else
                    w->close();
            }
        }
        busy_ = false;
    }

    QWidget *main_;
    QTimer timer_;
    bool busy_ = false;
};
