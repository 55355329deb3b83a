// The change page: the coin tubes with their excess or shortage, the entry
// of standard counts, their write, and the change reconciliation.
#include "ui/TMainForm.h"

#include "device/ChangeReconciliation.h"
#include "device/OperationHost.h"
#include "device/StandardCount.h"
#include "journal/JournalEvent.h"
#include "ui/Colours.h"
#include "ui/IoPanel.h"
#include "ui/MessageBoxes.h"
#include "ui/StringGrid.h"
#include "ui/TDataSetDialog.h"
#include "ui_TMainForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>

void TMainForm::connectChangePage()
{
    ui->CoinGrid->setDrawCell([this](QPainter &p, int c, int r, const QRect &rect, bool fixed) {
        CoinGridDrawCell(p, c, r, rect, fixed);
    });
    ui->TotalGrid2->setDrawCell([this](QPainter &p, int c, int r, const QRect &rect, bool fixed) {
        TotalGrid2DrawCell(p, c, r, rect, fixed);
    });
    connect(ui->CoinGrid, &StringGrid::selectCell, this, &TMainForm::CoinGridSelectCell);
    connect(ui->SendCoinBtn, &QPushButton::clicked, this, &TMainForm::SendCoinBtnClick);
    connect(ui->EarnBtn, &QPushButton::clicked, this, &TMainForm::EarnBtnClick);
    connect(ui->PanelMode, &QComboBox::currentIndexChanged, this, &TMainForm::PanelModeChange);
    new IoPanel::MouseRelay(
        ui->Image1,
        [this](Qt::KeyboardModifiers shift, int x, int y) { Image1MouseMove(shift, x, y); },
        [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
            Image1MouseDown(button, shift, x, y);
        });
}

void TMainForm::CoinGridDrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool fixed)
{
    StringGrid *g = ui->CoinGrid;
    if (fixed) {
        StringGrid::paintCell(canvas, Rect, Colours::CoinFixed, g->cells(ACol, ARow), true);
        return;
    }
    // Excess or shortage is worked out afresh at every drawing and never
    // kept; a cell that holds no integer counts as 0.
    const auto count = [g, ARow](int col) {
        return qint64(StandardCount::parseEntry(g->cells(col, ARow)).value_or(0));
    };
    const qint64 d = count(3) - count(2);
    QColor brush = g->palette().color(QPalette::Base);
    if (ACol != 1 && d > 0)
        brush = QColor(255, 232, 232);
    else if (ACol != 1 && d < 0)
        brush = QColor(232, 232, 255);
    QString text;
    if (ACol == 4)
        text = d > 0 ? QStringLiteral("+") + QString::number(d) : QString::number(d);
    else
        text = g->cells(ACol, ARow);
    StringGrid::paintCell(canvas, Rect, brush, text, false);
}

void TMainForm::TotalGrid2DrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool)
{
    ui->TotalGrid2->paintStandardCell(canvas, ACol, ARow, Rect, Colours::TotalFixed);
}

void TMainForm::CoinGridSelectCell(int ACol, int ARow)
{
    if (Connected == 0 || ACol != 2 || ARow < 1 || ARow > 8 || !ui->EarnBtn->isEnabled()
        || !dataSetDialog_)
        return;
    const int t = ARow - 1;
    dataSetDialog_->Label()->setText(StandardCount::dialogTitle(t));
    dataSetDialog_->SubLabel()->setText(StandardCount::dialogHint(t, data_.TubeSettableMax(t)));
    dataSetDialog_->Edit()->setText(ui->CoinGrid->cells(2, ARow));
    if (dataSetDialog_->exec() != QDialog::Accepted)
        return;
    const auto value = StandardCount::validate(t, dataSetDialog_->Edit()->text());
    if (!value) {
        rejectInput();
        return;
    }
    // Kept here until the write sends all eight; nothing goes out now.
    data_.TubeStandardCount(t) = *value;
    origins_.setByOperator(ValueOrigins::standardCount(t));
    ui->CoinGrid->setCell(2, ARow, QString::number(*value));
}

void TMainForm::SendCoinBtnClick()
{
    lineEntry(
        [this] {
            const OperationRunning running(*this);
            const WorkShown work(*this, QStringLiteral("QUVOに書き込んでいます."));
            WriteProof::SentSettings sent;
            intentKind_ = JournalKind::StandardCount;
            intentDetail_ = QStringLiteral("基準枚数の書き込み");
            intentEvent_ = 0;
            if (line_.run([&](DeviceLink &link) {
                    return StandardCount::write(link, hostOnWindow_, data_, origins_, &sent);
                }))
                keepProof(JournalKind::StandardCount, sent);
            showWriteModeNote();
        },
        [this] { SendCoinBtnClick(); });
}

void TMainForm::EarnBtnClick()
{
    lineEntry(
        [this] {
            const OperationRunning running(*this);
            const WorkShown work(*this, QStringLiteral("つり銭合せをしています."));
            line_.run([this](DeviceLink &link) { ChangeReconciliation::run(link, hostOnWindow_, data_); });
        },
        [this] { EarnBtnClick(); });
}
