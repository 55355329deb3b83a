#include "ui/TDataSetDialog.h"

#include "ui/Fonts.h"
#include "ui_TDataSetDialog.h"

#include <QGuiApplication>
#include <QScreen>

TDataSetDialog::TDataSetDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(new Ui::TDataSetDialog)
{
    ui->setupUi(this);
    setFixedSize(232, 126);
    setFont(pixelFont(FontMsPGothic, 12));
    ui->Label->setFont(pixelFont(FontMsPGothic, 16));
    ui->Edit->setFont(pixelFont(FontMsPGothic, 16));
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TDataSetDialog::~TDataSetDialog()
{
    delete ui;
}

QLabel *TDataSetDialog::Label() const { return ui->Label; }
QLabel *TDataSetDialog::SubLabel() const { return ui->SubLabel; }
QLineEdit *TDataSetDialog::Edit() const { return ui->Edit; }
QPushButton *TDataSetDialog::Button1() const { return ui->Button1; }
QPushButton *TDataSetDialog::Button2() const { return ui->Button2; }

int TDataSetDialog::exec()
{
    // The labels grow with their texts; the dialog opens centred on the
    // screen with the value selected in its field, so what the operator
    // types replaces it and Enter confirms it (OK is the default button).
    ui->Label->adjustSize();
    ui->SubLabel->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), frameGeometry().size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    ui->Button1->setDefault(true);
    ui->Edit->setFocus();
    ui->Edit->selectAll();
    return QDialog::exec();
}
