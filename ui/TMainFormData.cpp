// The main window's side of the full read and the poll: what the reads put
// into the boxes while they run, and the grids filled from the table.
#include "ui/TMainForm.h"

#include "device/FullRead.h"
#include "device/LivePoll.h"
#include "device/ValueFormats.h"
#include "ui/MessageBoxes.h"
#include "ui/StringGrid.h"
#include "ui_TMainForm.h"

#include <QDateTime>
#include <QSignalBlocker>
#include <QTimer>

using ValueFormats::countText;
using ValueFormats::priceText;

FullRead::Result TMainForm::FullRead(std::optional<quint64> since)
{
    // A read cut short leaves the views as they were: a silent line must not
    // turn the figures into zeros, nor a failed conversion half-fill them.
    const FullRead::Result result = line_.run([&](DeviceLink &link) {
        return FullRead::run(link, data_, viewOnWindow_, &origins_, &identity_, since);
    });
    if (result.completed && !result.identityChanged) {
        for (int i = 0; i < 16; ++i)
            priceRead_[std::size_t(i)] = result.read[std::size_t(Slot::ColumnPrice + i)];
        fillViewsFromData();
    }
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
        // A price no reply vouched for is not shown as 0: the dialog would
        // offer it and an unedited OK would write it.
        sales->setCell(1, i + 1, priceRead_[std::size_t(i)] ? priceText(i, data_.ColumnPrice(i)) : QString());
        sales->setCell(2, i + 1, countText(data_.ColumnSalesCount(i)));
    }
    sales->refresh();
    ui->TotalGrid1->setCell(1, 0, QString::number(data_.SalesTotal()));
    ui->TotalGrid1->refresh();
    showFigures();

    ui->TotalGrid2->setCell(1, 0, ui->TotalGrid1->cells(1, 0));
    ui->TotalGrid2->refresh();
    if (!(data_.DeviceStatusFlags() & AutoChangeDisabled)) {
        autoChangeButtons_ = true;
        ui->LabelAutoFlag->hide();
    } else {
        // The buttons keep whatever state they had.
        ui->LabelAutoFlag->show();
    }
    applyControlState();

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
    // No tick under an open box: the operation checks its controller after
    // the answer instead.
    if (pollHeld()) {
        Timer->start();
        return;
    }
    lineEntry([this] {
        if (LivePoll::advancePollTick(PollTickCount) && !RefreshLiveValues() && deviceLost_)
            return;
        requestStatus();
    });
}

void TMainForm::requestStatus()
{
    const int state = line_.run([](DeviceLink &link) { return LivePoll::requestDeviceState(link); });
    if (!lineStillOurs())
        return;
    ui->StatusLine->showMessage(LivePoll::stateSentence(state));
    Timer->start();
}

bool TMainForm::RefreshLiveValues()
{
    // The grids show the table: values a cut-short refresh did not read
    // keep what they showed.
    const DeviceData before = data_;
    const bool complete = line_.run([this](DeviceLink &link) { return LivePoll::refreshLiveValues(link, data_); });
    // Figures that fall where no sale can make them fall come from another
    // machine as surely as an answer after a silence does.
    if (LivePoll::figuresFell(before, data_))
        link().raiseGeneration();
    if (!lineStillOurs()) {
        // What came after the gap may be another controller's: not shown as this one's.
        data_ = before;
        return false;
    }

    for (int i = 0; i < 16; ++i)
        ui->SalesGrid->setCell(2, i + 1, countText(data_.ColumnSalesCount(i)));
    ui->SalesGrid->refresh();
    ui->TotalGrid1->setCell(1, 0, QString::number(data_.SalesTotal()));
    ui->TotalGrid1->refresh();
    showFigures();
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

void TMainForm::showFigures()
{
    shownFigures_ = data_;
    shownAt_ = QDateTime::currentSecsSinceEpoch();
}

FigureContinuity::Figures TMainForm::figuresShown() const
{
    return FigureContinuity::fromData(shownFigures_, priceRead_, shownAt_);
}
