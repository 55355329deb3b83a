// The main window's side of the receipt preview: building it, and the
// handlers that feed it from the receipt fields of the option group.
#include "ui/TMainForm.h"

#include "receipt/ByteLimitValidator.h"
#include "receipt/ReceiptPreview.h"
#include "ui/MessageBoxes.h"
#include "ui_TMainForm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <memory>

namespace {

// A box the read left without a value (no item chosen, nothing typed) is an
// unread magnification, not a bad entry: its line is laid out at the
// reference size, as in the start-up picture. Only what the operator typed
// can fail to convert.
QString magnificationText(const QComboBox *box)
{
    if (box->currentIndex() < 0 && box->currentText().isEmpty())
        return QStringLiteral("1");
    return box->currentText();
}

ReceiptPreview::MagnificationTexts magnifications(const Ui::TMainForm *ui)
{
    return {magnificationText(ui->ComboBox1), magnificationText(ui->ComboBox2),
            magnificationText(ui->ComboBox3), magnificationText(ui->ComboBox4),
            magnificationText(ui->ComboBox5), magnificationText(ui->ComboBox6)};
}

} // namespace

void TMainForm::prepareReceiptPreview()
{
    // The preview's items are made with their start texts, which are
    // also the start texts of the fields.
    receipt_ = new ReceiptPreview(ui->ScrImg, ui->LblBase, this);
    // Line unit, rulers and the start-up layout.
    receipt_->startUp();

    new ByteLimitValidator(ByteLimitValidator::ReceiptLineLimit, ui->Edit1);
    new ByteLimitValidator(ByteLimitValidator::ReceiptLineLimit, ui->Edit2);
    new ByteLimitValidator(ByteLimitValidator::ReceiptLineLimit, ui->Edit3);
    new ByteLimitValidator(ByteLimitValidator::IdentificationLimit, ui->xxxxxxxx);

    connect(ui->Edit1, &QLineEdit::textChanged, this, &TMainForm::Edit1Change);
    connect(ui->Edit2, &QLineEdit::textChanged, this, &TMainForm::Edit2Change);
    connect(ui->Edit3, &QLineEdit::textChanged, this, &TMainForm::Edit3Change);
    // Choosing from a box's list changes its text and then its index; one
    // relayout (and at most one error message) serves both.
    auto textJustChanged = std::make_shared<QComboBox *>(nullptr);
    for (QComboBox *box : magnificationBoxes()) {
        // A typed text is taken as it stands; it never joins the list "1".."4".
        box->setInsertPolicy(QComboBox::NoInsert);
        connect(box, &QComboBox::editTextChanged, this, [this, box, textJustChanged] {
            ComboBox1Change();
            *textJustChanged = box;
            QTimer::singleShot(0, this, [textJustChanged] { *textJustChanged = nullptr; });
        });
        connect(box, &QComboBox::currentIndexChanged, this, [this, box, textJustChanged] {
            if (*textJustChanged != box)
                ComboBox1Change();
        });
    }
    connect(ui->xxxxxxxx, &QLineEdit::textChanged, this, &TMainForm::xxxxxxxxChange);
    connect(receipt_, &ReceiptPreview::scrImgResized, this, &TMainForm::ScrImgResize);
}

void TMainForm::Edit1Change()
{
    receipt_->setCommentText(1, ui->Edit1->text());
    ComboBox1Change();
}

void TMainForm::Edit2Change()
{
    receipt_->setCommentText(2, ui->Edit2->text());
    ComboBox1Change();
}

void TMainForm::Edit3Change()
{
    receipt_->setCommentText(3, ui->Edit3->text());
    ComboBox1Change();
}

void TMainForm::ComboBox1Change()
{
    // All six boxes are read again, whichever one changed.
    std::optional<QString> error = receipt_->editRelayout(magnifications(ui));
    if (!error)
        return;
    if (relayoutError_) {
        if (!*relayoutError_)
            *relayoutError_ = std::move(error);
        return;
    }
    showApplicationError(*error);
}

void TMainForm::xxxxxxxxChange()
{
    receipt_->setIdentificationText(ui->xxxxxxxx->text());
}

void TMainForm::ScrImgResize()
{
    receipt_->ScrImgResize();
}

bool TMainForm::RefreshReceiptPreview()
{
    if (const std::optional<QString> error = receipt_->RefreshReceiptPreview(magnifications(ui))) {
        showApplicationError(*error);
        return false;
    }
    return true;
}

void TMainForm::setReceiptLineRead(int line)
{
    receipt_->setCommentColour(line, ReceiptPreview::ReadColour);
}

void TMainForm::setReceiptLinesUnread()
{
    receipt_->setCommentsUnread();
}
