#pragma once
// The value-entry dialog: a title, a range hint, one field, OK and キャンセル.
// It has no logic; each caller fills the texts and validates the entry.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui { class TDataSetDialog; }

class TDataSetDialog : public QDialog {
    Q_OBJECT
public:
    explicit TDataSetDialog(QWidget *parent = nullptr);
    ~TDataSetDialog() override;

    QLabel *Label() const;
    QLabel *SubLabel() const;
    QLineEdit *Edit() const;
    QPushButton *Button1() const;
    QPushButton *Button2() const;

    // Shows the dialog modally; QDialog::Accepted for OK.
    int exec() override;

private:
    Ui::TDataSetDialog *ui;
};
