#pragma once
// Answers the modal boxes and dialogs a handler opens, as an operator would,
// and records what each one said.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

class ModalAnswerer : public QObject {
public:
    struct Seen {
        QString caption;
        QString text;
        QStringList buttons;
    };
    using Answer = std::function<void(QWidget *modal, int index)>;

    explicit ModalAnswerer(Answer answer) : answer_(std::move(answer))
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }

    // Message boxes: press the button of this role; dialogs: accept or reject.
    static Answer Press(QMessageBox::StandardButton which)
    {
        return [which](QWidget *modal, int) {
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                box->button(which)->click();
            } else if (auto *dlg = qobject_cast<QDialog *>(modal)) {
                which == QMessageBox::Ok ? dlg->accept() : dlg->reject();
            }
        };
    }

    QList<Seen> seen;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == last_)
            return;
        last_ = modal;
        Seen s;
        s.caption = modal->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            s.text = box->text();
            for (QAbstractButton *b : box->buttons())
                s.buttons.append(b->text());
        }
        seen.append(s);
        const int index = int(seen.size()) - 1;
        // Answer from the event loop the box runs, not from inside this poll.
        QTimer::singleShot(0, this, [this, modal = QPointer<QWidget>(modal), index] {
            if (modal)
                answer_(modal, index);
            last_ = nullptr;
        });
    }

    Answer answer_;
    QTimer timer_;
    QPointer<QWidget> last_;
};
