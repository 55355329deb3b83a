#pragma once
// Answers the modal boxes and dialogs a handler opens, as an operator would,
// and notes what each showed. Runs on a timer, as the modal loops let it.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

class ModalAnswerer : public QObject {
public:
    struct Seen {
        QString caption;
        QString text;          // message text, or the value dialog's title line
        QString hint;          // the value dialog's range line
        QString field;         // the value dialog's field as it opened
        QString focus;         // objectName of the focused control
        QStringList buttons;
        bool enabled = false;  // the box itself takes input
        bool windowEnabled = false; // the watched window, while the box is open
    };
    using Action = std::function<void(QWidget *)>;

    // Answers from `actions`, one per box in order. `window` is the one whose
    // enabled state each box notes.
    explicit ModalAnswerer(QWidget *window = nullptr) : ModalAnswerer(Action(), window) {}
    // Answers every box with the same action.
    explicit ModalAnswerer(Action always, QWidget *window = nullptr)
        : always_(std::move(always)), window_(window)
    {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { check(); });
        timer_.start();
    }

    QList<Seen> seen;
    QList<Action> actions;
    // The answer once `actions` has run out.
    void setAlways(Action always) { always_ = std::move(always); }
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
    // Types into the value dialog's field and presses OK.
    static Action enter(const QString &text)
    {
        return [text](QWidget *w) {
            if (auto *e = w->findChild<QLineEdit *>(QStringLiteral("Edit")))
                e->setText(text);
            click(QStringLiteral("OK"))(w);
        };
    }
    // Types into whatever has the focus as the dialog opens, then Enter:
    // what a technician does without touching the mouse.
    static Action typeAtOnce(const QString &text)
    {
        return [text](QWidget *w) {
            QTest::keyClicks(w->focusWidget(), text);
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        };
    }
    // Message boxes: presses the button of this role; dialogs: OK accepts,
    // anything else rejects.
    static Action press(QMessageBox::StandardButton which)
    {
        return [which](QWidget *w) {
            if (auto *box = qobject_cast<QMessageBox *>(w)) {
                if (QAbstractButton *b = box->button(which))
                    b->click();
            } else if (auto *d = qobject_cast<QDialog *>(w)) {
                which == QMessageBox::Ok ? d->accept() : d->reject();
            }
        };
    }

private:
    void check()
    {
        QPointer<QWidget> w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || busy_)
            return;
        busy_ = true;
        Seen s;
        s.caption = w->windowTitle();
        s.enabled = w->isEnabled();
        s.windowEnabled = window_ && window_->isEnabled();
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
        const Action answer = !actions.isEmpty() ? actions.takeFirst() : always_;
        if (answer)
            answer(w);
        else
            ++unexpected;
        // A box left open would hang the test: close it and count it.
        if (w && w->isVisible()) {
            if (answer)
                ++stuck;
            if (auto *d = qobject_cast<QDialog *>(w))
                d->done(QDialog::Rejected);
            else
                w->close();
        }
        busy_ = false;
    }

    Action always_;
    QPointer<QWidget> window_;
    QTimer timer_;
    bool busy_ = false;
};
