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

std::optional<QString> TMainForm::FullRead()
{
    const FullRead::Result result = FullRead::run(Link, Data, *this, &Origins);
    if (!result.completed)
        return result.error;
    FillViewsFromData();
    return std::nullopt;
}

std::optional<QString> TMainForm::setReceiptText(int line, const QString &text)
{
    QLineEdit *edits[] = {ui->Edit1, ui->Edit2, ui->Edit3};
    QLineEdit *edit = edits[line];
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
    QComboBox *boxes[] = {ui->ComboBox1, ui->ComboBox2, ui->ComboBox3,
                          ui->ComboBox4, ui->ComboBox5, ui->ComboBox6};
    QComboBox *combo = boxes[box];
    // Selecting the item is not an edit: the change handler stays quiet.
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void TMainForm::setCommentBlack(int line)
{
    SetReceiptLineRead(line + 1);
}

void TMainForm::setIdentificationText(const QString &text)
{
    if (ui->xxxxxxxx->text() != text)
        ui->xxxxxxxx->setText(text);
}

void TMainForm::FillViewsFromData()
{
    StringGrid *sales = ui->SalesGrid;
    for (int i = 0; i < 16; ++i) {
        sales->SetCell(1, i + 1, priceText(i, Data.ColumnPrice(i)));
        sales->SetCell(2, i + 1, countText(Data.ColumnSalesCount(i)));
    }
    sales->Refresh();
    ui->TotalGrid1->SetCell(1, 0, QString::number(Data.SalesTotal()));
    ui->TotalGrid1->Refresh();

    ui->TotalGrid2->SetCell(1, 0, ui->TotalGrid1->Cells(1, 0));
    ui->TotalGrid2->Refresh();
    if (!(Data.DeviceStatusFlags() & AutoChangeDisabled)) {
        ui->SendCoinBtn->setEnabled(true);
        ui->EarnBtn->setEnabled(true);
        ui->LabelAutoFlag->hide();
    } else {
        // The buttons keep whatever state they had.
        ui->LabelAutoFlag->show();
    }

    CopyToSettingsGrids();

    QComboBox *options[] = {ui->Opt1Sel, ui->Opt2Sel, ui->Opt3Sel, ui->Opt4Sel, ui->Opt5Sel, ui->Opt6Sel};
    for (int k = 0; k < 6; ++k) {
        const int value = Data.OptionSelection(k);
        // A value the selector has no item for leaves it without a selection.
        options[k]->setCurrentIndex(value >= 0 && value < options[k]->count() ? value : -1);
    }
}

void TMainForm::CopyToSettingsGrids()
{
    for (int r = 0; r < 16; ++r) {
        ui->OptGrid1->SetCell(1, r, ui->SalesGrid->Cells(1, r + 1));
        ui->OptGrid2->SetCell(1, r, ui->SalesGrid->Cells(2, r + 1));
    }
    ui->OptGrid2->SetCell(1, 16, ui->TotalGrid1->Cells(1, 0));
    ui->OptGrid1->Refresh();
    ui->OptGrid2->Refresh();
}

void TMainForm::TimerTimer()
{
    // Off for the length of the tick: the next one comes 100 ms after this
    // one ends, however long the controller took.
    Timer->stop();
    if (LivePoll::advancePollTick(PollTickCount) && !RefreshLiveValues()) {
        // A silent line costs a time-out here and another one in the status
        // request: let the window answer the operator in between.
        StatusRequest->start();
        return;
    }
    RequestStatus();
}

void TMainForm::RequestStatus()
{
    ui->StatusLine->showMessage(LivePoll::stateSentence(LivePoll::requestDeviceState(Link)));
    Timer->start();
}

bool TMainForm::RefreshLiveValues()
{
    // The grids show the table: values a cut-short refresh did not read
    // keep what they showed.
    const bool complete = LivePoll::refreshLiveValues(Link, Data);

    for (int i = 0; i < 16; ++i)
        ui->SalesGrid->SetCell(2, i + 1, countText(Data.ColumnSalesCount(i)));
    ui->SalesGrid->Refresh();
    ui->TotalGrid1->SetCell(1, 0, QString::number(Data.SalesTotal()));
    ui->TotalGrid1->Refresh();
    if (!(Data.DeviceStatusFlags() & AutoChangeDisabled)) {
        for (int t = 0; t < 8; ++t)
            ui->CoinGrid->SetCell(3, t + 1, QString::number(Data.TubeCurrentCount(t)));
        ui->CoinGrid->Refresh();
    }
    ui->TotalGrid2->SetCell(1, 0, ui->TotalGrid1->Cells(1, 0));
    ui->TotalGrid2->Refresh();
    CopyToSettingsGrids();
    return complete;
}
