#pragma once
// A second dialog of the same size, created at start and never opened.
#include <QDialog>

namespace Ui { class TSubForm; }

class TSubForm : public QDialog {
    Q_OBJECT
public:
    explicit TSubForm(QWidget *parent = nullptr);
    ~TSubForm() override;

private:
    Ui::TSubForm *ui;
};
