// The main window's side of the full read and the poll: what the reads put
// into the boxes while they run, and the grids filled from the table.
#include "ui/TMainForm.h"

#include "device/FullRead.h"
#include "device/LivePoll.h"
#include "device/ValueFormats.h"
#include "ui/MessageBoxes.h"
#include "ui/StringGrid.h"
#include "ui_TMainForm.h"

#include <QSignalBlocker>
#include <QTimer>

using ValueFormats::countText;
using ValueFormats::priceText;

FullRead::Result TMainForm::FullRead()
{
    // A read cut short leaves the views as they were: a silent line must not
    // turn the figures into zeros, nor a failed conversion half-fill them.
    const FullRead::Result result = FullRead::run(link_, data_, *this, &origins_);
    if (result.completed)
        fillViewsFromData();
    return result;
}

std::optional<QString> TMainForm::setReceiptText(int line, const QString &text)
{
    QLineEdit *edit = receiptEdits()[line];
    // The change handler follows the text, so only a new text runs it; its
    // relayout's error belongs to the read, which ends with it.
    std::optional<QString> error;
    if (edit->text() != text) {
        relayoutError_ = &error;
        edit->setText(text);
        relayoutError_ = nullptr;
    }
    return error;
}

void TMainForm::setMagnificationIndex(int box, int index)
{
    QComboBox *combo = magnificationBoxes()[box];
    // Selecting the item is not an edit: the change handler stays quiet.
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void TMainForm::setCommentBlack(int line)
{
    setReceiptLineRead(line + 1);
}

void TMainForm::setIdentificationText(const QString &text)
{
    if (ui->xxxxxxxx->text() != text)
        ui->xxxxxxxx->setText(text);
}

void TMainForm::fillViewsFromData()
{
    StringGrid *sales = ui->SalesGrid;
    for (int i = 0; i < 16; ++i) {
        sales->setCell(1, i + 1, priceText(i, data_.ColumnPrice(i)));
        sales->setCell(2, i + 1, countText(data_.ColumnSalesCount(i)));
    }
    sales->refresh();
    ui->TotalGrid1->setCell(1, 0, QString::number(data_.SalesTotal()));
    ui->TotalGrid1->refresh();

    ui->TotalGrid2->setCell(1, 0, ui->TotalGrid1->cells(1, 0));
    ui->TotalGrid2->refresh();
    if (!(data_.DeviceStatusFlags() & AutoChangeDisabled)) {
        ui->SendCoinBtn->setEnabled(true);
        ui->EarnBtn->setEnabled(true);
        ui->LabelAutoFlag->hide();
    } else {
        // The buttons keep whatever state they had.
        ui->LabelAutoFlag->show();
    }

    copyToSettingsGrids();

    const auto options = optionBoxes();
    for (int k = 0; k < 6; ++k) {
        const int value = data_.OptionSelection(k);
        // A value the selector has no item for leaves it without a selection.
        options[k]->setCurrentIndex(value >= 0 && value < options[k]->count() ? value : -1);
    }
}

std::array<QComboBox *, 6> TMainForm::optionBoxes() const
{
    return {ui->Opt1Sel, ui->Opt2Sel, ui->Opt3Sel, ui->Opt4Sel, ui->Opt5Sel, ui->Opt6Sel};
}

std::array<QLineEdit *, 3> TMainForm::receiptEdits() const
{
    return {ui->Edit1, ui->Edit2, ui->Edit3};
}

std::array<QComboBox *, 6> TMainForm::magnificationBoxes() const
{
    return {ui->ComboBox1, ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6};
}

void TMainForm::copyToSettingsGrids()
{
    for (int r = 0; r < 16; ++r) {
        ui->OptGrid1->setCell(1, r, ui->SalesGrid->cells(1, r + 1));
        ui->OptGrid2->setCell(1, r, ui->SalesGrid->cells(2, r + 1));
    }
    ui->OptGrid2->setCell(1, 16, ui->TotalGrid1->cells(1, 0));
    ui->OptGrid1->refresh();
    ui->OptGrid2->refresh();
}

void TMainForm::TimerTimer()
{
    // Off for the length of the tick: the next one comes 100 ms after this
    // one ends, however long the controller took.
    Timer->stop();
    if (LivePoll::advancePollTick(PollTickCount) && !RefreshLiveValues()) {
        if (link_.deviceGone()) {
            loseDevice();
            return;
        }
        // A silent line costs a time-out here and another one in the status
        // request: let the window answer the operator in between.
        statusRequest_->start();
        return;
    }
    requestStatus();
}

void TMainForm::requestStatus()
{
    const int state = LivePoll::requestDeviceState(link_);
    if (link_.deviceGone()) {
        loseDevice();
        return;
    }
    ui->StatusLine->showMessage(LivePoll::stateSentence(state));
    Timer->start();
}

bool TMainForm::RefreshLiveValues()
{
    // The grids show the table: values a cut-short refresh did not read
    // keep what they showed.
    const bool complete = LivePoll::refreshLiveValues(link_, data_);

    for (int i = 0; i < 16; ++i)
        ui->SalesGrid->setCell(2, i + 1, countText(data_.ColumnSalesCount(i)));
    ui->SalesGrid->refresh();
    ui->TotalGrid1->setCell(1, 0, QString::number(data_.SalesTotal()));
    ui->TotalGrid1->refresh();
    if (!(data_.DeviceStatusFlags() & AutoChangeDisabled)) {
        for (int t = 0; t < 8; ++t)
            ui->CoinGrid->setCell(3, t + 1, QString::number(data_.TubeCurrentCount(t)));
        ui->CoinGrid->refresh();
    }
    ui->TotalGrid2->setCell(1, 0, ui->TotalGrid1->cells(1, 0));
    ui->TotalGrid2->refresh();
    copyToSettingsGrids();
    return complete;
}
