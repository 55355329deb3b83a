// The main window's handlers that write to the controller, and its side of
// a write operation: the boxes it shows, the manual-mode test, the read-back
// and the disconnection.
#include "ui/TMainForm.h"

#include "device/PriceEntry.h"
#include "device/WriteOperations.h"
#include "journal/JournalEvent.h"
#include "ui/MessageBoxes.h"
#include "ui/StringGrid.h"
#include "ui/TDataSetDialog.h"
#include "ui_TMainForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

void TMainForm::OptGrid1SelectCell(int ACol, int ARow)
{
    if (Connected == 0 || ACol != 1 || ARow < 0 || ARow >= PriceEntry::SettableRows || !dataSetDialog_)
        return;
    dataSetDialog_->Label()->setText(QStringLiteral("コラム%1 設定価格").arg(ARow + 1));
    dataSetDialog_->SubLabel()->setText(PriceEntry::rangeText(ARow));
    dataSetDialog_->Edit()->setText(ui->SalesGrid->cells(1, ARow + 1));
    if (dataSetDialog_->exec() != QDialog::Accepted)
        return;

    const std::int32_t priceBefore = data_.ColumnPrice(ARow);
    const WriteOperations::PriceWrite result =
        WriteOperations::setPrice(link_, data_, ARow, dataSetDialog_->Edit()->text(), manualMode());
    if (!result.sent) {
        rejectInput();
        return;
    }
    ui->OptGrid1->setCell(1, ARow, result.entry.cellText);
    ui->SalesGrid->setCell(1, ARow + 1, ui->OptGrid1->cells(1, ARow));
    // A refusal is not a failure of the sequence; the operator is told
    // when the controller does not report the price sent.
    const bool readOk = readBack();
    recordPriceWrite(ARow, priceBefore, result.entry.stored, readOk);
    if (readOk) {
        if (const auto text = WriteProof::priceNotTaken(ARow, result.entry.stored, data_.ColumnPrice(ARow)))
            reportError(*text);
    }
}

void TMainForm::SendSalesBtnClick()
{
    WriteOperations::OptionSettings settings;
    const auto options = optionBoxes();
    for (std::size_t k = 0; k < 6; ++k)
        settings.selected[k] = options[k]->currentIndex();
    settings.identification = ui->xxxxxxxx->text();
    const auto edits = receiptEdits();
    const auto boxes = magnificationBoxes();
    for (std::size_t line = 0; line < 3; ++line)
        settings.lines[line] = {boxes[line * 2]->currentText(), boxes[line * 2 + 1]->currentText(),
                                edits[line]->text()};
    WriteProof::SentSettings sent;
    if (WriteOperations::writeOptionsAndRestart(link_, *this, data_, settings, origins_, &sent)) {
        pendingProof_ = sent;
        recordRestartingWrite(JournalKind::Settings, sent);
    }
}

void TMainForm::noteOperatorEdits()
{
    // Only the operator's own choosing and typing count: what a read sets
    // programmatically raises neither signal.
    const auto note = [this](ValueOrigins::Field f) { return [this, f] { origins_.setByOperator(f); }; };
    const auto options = optionBoxes();
    for (int k = 0; k < 6; ++k)
        connect(options[k], &QComboBox::activated, this, note(ValueOrigins::option(k)));
    connect(ui->xxxxxxxx, &QLineEdit::textEdited, this, note(ValueOrigins::Identification));
    const auto edits = receiptEdits();
    const auto boxes = magnificationBoxes();
    for (int line = 0; line < 3; ++line) {
        connect(edits[line], &QLineEdit::textEdited, this, note(ValueOrigins::line(line, 2)));
        for (int axis = 0; axis < 2; ++axis) {
            QComboBox *box = boxes[line * 2 + axis];
            const ValueOrigins::Field f = ValueOrigins::line(line, axis);
            connect(box, &QComboBox::activated, this, note(f));
            if (box->lineEdit())
                connect(box->lineEdit(), &QLineEdit::textEdited, this, note(f));
        }
    }
}

void TMainForm::CntClrBtnClick()
{
    if (!confirm(WriteOperations::clearConfirmText()))
        return;
    if (!recordBeforeClear())
        return;
    WriteOperations::clearCounters(link_, manualMode());
    if (readBack()) {
        recordClearOutcome();
        if (const auto text = WriteProof::countersNotCleared(data_))
            reportError(*text);
    }
}

bool TMainForm::readBack()
{
    if (const std::optional<QString> error = FullRead()) {
        showConversionError(*error);
        return false;
    }
    recordReadBack();
    return true;
}

void TMainForm::showPendingProof()
{
    if (!pendingProof_)
        return;
    const auto options = optionBoxes();
    const std::optional<QString> text = WriteProof::settingsNotTaken(
        *pendingProof_, origins_, [&options](int k, int value) { return options[k]->itemText(value); });
    // Compared once: a write the controller took fully shows nothing.
    pendingProof_.reset();
    if (text)
        reportError(*text);
}

bool TMainForm::confirm(const QString &text)
{
    return askOkCancel(this, text, QStringLiteral("Information"));
}

void TMainForm::notify(const QString &text)
{
    showOk(this, text, QStringLiteral("Information"));
}

void TMainForm::rejectInput()
{
    showOk(this, QStringLiteral("値が正しくありません"), QStringLiteral("Error"));
}

void TMainForm::reportError(const QString &text)
{
    showOk(this, text, QStringLiteral("Error"));
}

bool TMainForm::manualMode() const
{
    // The selector's own state, whatever the window around it is doing.
    return ui->PanelMode->isEnabledTo(this) && ui->PanelMode->currentIndex() == 1;
}

std::optional<QString> TMainForm::runFullRead()
{
    return FullRead();
}

void TMainForm::showConversionError(const QString &message)
{
    showApplicationError(message);
}

void TMainForm::setWindowEnabled(bool enabled)
{
    setEnabled(enabled);
}
