#include "ui/TSubForm.h"

#include "ui/Fonts.h"
#include "ui_TSubForm.h"

TSubForm::TSubForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::TSubForm)
{
    ui->setupUi(this);
    setFixedSize(232, 126);
    move(201, 539);
    setFont(pixelFont(FontMsPGothic, 12));
    ui->Label->setFont(pixelFont(FontMsPGothic, 16));
    ui->Edit1->setFont(pixelFont(FontMsPGothic, 16));
}

TSubForm::~TSubForm()
{
    delete ui;
}
