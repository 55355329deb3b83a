#include "ui/TMainForm.h"

#include "link/ControllerSearch.h"
#include "link/ShiftJis.h"
#include "ui/Colours.h"
#include "ui/Fonts.h"
#include "ui/MessageBoxes.h"
#include "ui/StringGrid.h"
#include "ui/TDataSetDialog.h"
#include "ui_TMainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QTimer>
#include <stdexcept>

namespace {

// Bitmaps compiled into the program; a missing one ends the start.
QPixmap loadBitmap(const QString &name)
{
    QPixmap pm(QStringLiteral(":/bitmaps/%1.png").arg(name));
    if (pm.isNull())
        throw std::runtime_error(QStringLiteral("bitmap resource %1 not found").arg(name).toStdString());
    return pm;
}

// The connect button's glyphs use pure red as their transparent colour.
QIcon loadGlyph(const QString &name)
{
    QPixmap pm = loadBitmap(name);
    pm.setMask(pm.createMaskFromColor(QColor(255, 0, 0), Qt::MaskInColor));
    return QIcon(pm);
}

void paintBackground(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

const QString TextSearching = QStringLiteral("探索中");
const QString TextConnectedOn = QStringLiteral("接続中");
const QString TextNotConnected = QStringLiteral("未接続");
const QString TextLost = QStringLiteral("接続断");
// After a probe that found a device silent, the next look waits this long.
constexpr int SilentProbeRetryMs = 3000;

} // namespace

TMainForm::TMainForm(std::unique_ptr<PortIo> port, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::TMainForm),
      line_(std::move(port))
{
    // The window and its controls from the layout, at their fixed size and fonts.
    ui->setupUi(this);
    setFixedSize(812, 673);
    setFont(pixelFont(FontMsGothic, 13));
    ui->ConBtn->setFont(pixelFont(FontMsGothic, 16, true));
    ui->ConBtn->setIcon(loadGlyph(QStringLiteral("ICON2")));
    ui->LabelAutoFlag->setFont(pixelFont(FontMsGothic, 15));
    for (StringGrid *g : {ui->SalesGrid, ui->CoinGrid, ui->OptGrid1, ui->OptGrid2})
        g->setFont(pixelFont(FontMsPGothic, 16));
    ui->LblBase->setFont(pixelFont(FontMsGothic, 24));
    ui->PageControl->tabRow()->setDrawTab([this](QPainter &p, int i, const QRect &r, bool active) {
        PageControlDrawTab(p, i, r, active);
    });
    // The change page stays out of the tab row; its controls live on, hidden.
    ui->PageControl->removeTab(ui->PageControl->indexOf(ui->TabSheet2));
    for (QLabel *l : ui->GroupBox1->findChildren<QLabel *>())
        if (!l->wordWrap())
            l->adjustSize();
    ui->StatusLine->setSizeGripEnabled(false);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(100);
    reconnect_ = new QTimer(this);
    reconnect_->setSingleShot(true);
    afterLineTimer_ = new QTimer(this);
    afterLineTimer_->setSingleShot(true);
    afterLineTimer_->setInterval(0);
    connect(afterLineTimer_, &QTimer::timeout, this, &TMainForm::runDeferred);

    // The link starts closed: no port is opened before 接続.
    // The lamp pictures, in the order the status codes index them (0-6).
    const char *lamps[] = {"LOFF", "LONG1", "LONG3", "LONR1", "LOFF3", "LOFF4", "LON4"};
    for (int i = 0; i < 7; ++i)
        LampBitmap[std::size_t(i)] = loadBitmap(QString::fromLatin1(lamps[i]));
    // Each page in its own colour.
    paintBackground(ui->TabSheet1, Colours::Sales);
    paintBackground(ui->TabSheet2, Colours::Change);
    paintBackground(ui->TabSheet3, Colours::Settings);
    // The sales page first, whatever page the layout left current.
    ui->PageControl->setCurrentWidget(ui->TabSheet1);
    // The option group in the sales colour.
    paintBackground(ui->GroupBox1, Colours::Sales);
    // Headings, row labels and cell drawing of every grid, then the receipt
    // preview; the controller fills the data cells later.
    prepareSalesPage();
    prepareChangePage();
    prepareSettingsPage();
    prepareReceiptPreview();

    connect(ui->ConBtn, &QPushButton::clicked, this, &TMainForm::ConBtnClick);
    connectChangePage();

    // The poll.
    connect(Timer, &QTimer::timeout, this, &TMainForm::TimerTimer);
    connect(reconnect_, &QTimer::timeout, this, &TMainForm::lookForDevice);

    // Writes to the controller.
    noteOperatorEdits();
    connect(ui->OptGrid1, &StringGrid::selectCell, this, &TMainForm::OptGrid1SelectCell);
    connect(ui->SendSalesBtn, &QPushButton::clicked, this, &TMainForm::SendSalesBtnClick);
    connect(ui->CntClrBtn, &QPushButton::clicked, this, &TMainForm::CntClrBtnClick);
    prepareJournal();
}

TMainForm::~TMainForm()
{
    delete ui;
}

void TMainForm::prepareSalesPage()
{
    StringGrid *g = ui->SalesGrid;
    g->setShape(3, 17, 1, 1, 200, 20);
    const int w0 = g->cellAreaWidth(0);
    g->setCellAreaWidth(1, (g->width() - w0) / 2);
    g->setCellAreaWidth(2, (g->width() - w0) / 2 - 4);
    g->setCell(1, 0, QStringLiteral("設定価格(円)"));
    g->setCell(2, 0, QStringLiteral("販売枚数"));
    const QString fullWidth = QStringLiteral("１２３４５６７８９");
    for (int r = 1; r <= 16; ++r) {
        const QString number = r <= 9 ? QString(fullWidth.at(r - 1)) : QString::number(r);
        g->setCell(0, r, QStringLiteral("コラム") + number);
    }
    g->setDrawCell([this](QPainter &p, int c, int r, const QRect &rect, bool fixed) {
        SalesGridDrawCell(p, c, r, rect, fixed);
    });

    StringGrid *t = ui->TotalGrid1;
    t->setShape(2, 3, 1, 0, 400, 20);
    t->setCellAreaWidth(1, t->width() - t->cellAreaWidth(0) - 4);
    t->setCell(0, 0, QStringLiteral("前回のメモリクリアからの総売上(円)"));
    t->setDrawCell([this](QPainter &p, int c, int r, const QRect &rect, bool fixed) {
        TotalGrid1DrawCell(p, c, r, rect, fixed);
    });
}

void TMainForm::prepareChangePage()
{
    // The coin tubes: four automatically refilled, four refilled by hand,
    // each with its settable, standard, current and surplus counts.
    StringGrid *g = ui->CoinGrid;
    g->setShape(5, 9, 1, 1, 200, 20);
    g->setCellAreaHeight(7, 21);
    const int w = (g->width() - g->cellAreaWidth(0) - 4) / 4;
    g->setCellAreaWidth(1, w);
    g->setCellAreaWidth(2, w);
    g->setCellAreaWidth(3, w);
    g->setCellAreaWidth(4, w - 1);
    const QStringList headings = {QStringLiteral("設定可能数"), QStringLiteral("基準枚数"),
                                  QStringLiteral("現在枚数"), QStringLiteral("過不足")};
    for (int c = 1; c <= 4; ++c)
        g->setCell(c, 0, headings.at(c - 1));
    const QStringList coins = {QStringLiteral("10円硬貨"), QStringLiteral("50円硬貨"),
                               QStringLiteral("100円硬貨"), QStringLiteral("500円硬貨")};
    for (int t = 0; t < 8; ++t) {
        const QString refill = t < 4 ? QStringLiteral("自動補充チューブ") : QStringLiteral("手動補充チューブ");
        g->setCell(0, t + 1, refill + coins.at(t % 4));
    }
    // The sales total again, under the same heading as on the sales page.
    StringGrid *t2 = ui->TotalGrid2;
    t2->setShape(2, 3, 1, 0, 300, 20);
    t2->setCellAreaWidth(1, t2->width() - t2->cellAreaWidth(0) - 4);
    t2->setCell(0, 0, ui->TotalGrid1->cells(0, 0));
    // Two lines, 精算 over つり銭合わせ, the line feed before the carriage return.
    ui->EarnBtn->setText(QStringLiteral("精算") + QChar('\n') + QChar('\r') + QStringLiteral("つり銭合わせ"));
    // The automatic-mode label on the change page's colour, the I/O group on
    // the settings colour.
    paintBackground(ui->LabelAutoFlag, Colours::Change);
    paintBackground(ui->GroupBox3, Colours::Settings);
    // The I/O panel picture.
    drawIoPanel();
}

void TMainForm::prepareSettingsPage()
{
    // The sixteen column prices; rows 1 and 7 keep the layout's odd heights.
    StringGrid *g1 = ui->OptGrid1;
    g1->setShape(2, 16, 1, 0, 64, 20);
    g1->setCellAreaHeight(1, 19);
    g1->setCellAreaHeight(7, 21);
    g1->setCellAreaWidth(0, g1->cellAreaWidth(0) + 4);
    g1->setCellAreaWidth(1, g1->width() - g1->cellAreaWidth(0) - 4);
    for (int r = 0; r < 16; ++r)
        g1->setCell(0, r, QStringLiteral("コラム%1価格").arg(r + 1));
    g1->setDrawCell([this, g1](QPainter &p, int c, int r, const QRect &rect, bool fixed) {
        OptGrid1DrawCell(g1, p, c, r, rect, fixed);
    });
    // The sixteen sales counts and the sales total.
    StringGrid *g2 = ui->OptGrid2;
    g2->setShape(2, 17, 1, 0, 64, 20);
    g2->setCellAreaHeight(7, 21);
    g2->setCellAreaWidth(0, g2->cellAreaWidth(0) + 4);
    g2->setCellAreaWidth(1, g2->width() - g2->cellAreaWidth(0) - 4);
    for (int r = 0; r < 16; ++r)
        g2->setCell(0, r, QStringLiteral("コラム%1枚数").arg(r + 1));
    g2->setCell(0, 16, QStringLiteral("総売上(円)"));
    // One drawing handler serves both settings grids.
    g2->setDrawCell([this, g2](QPainter &p, int c, int r, const QRect &rect, bool fixed) {
        OptGrid1DrawCell(g2, p, c, r, rect, fixed);
    });
}

void TMainForm::SalesGridDrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool)
{
    ui->SalesGrid->paintStandardCell(canvas, ACol, ARow, Rect, Colours::SalesFixed);
}

void TMainForm::TotalGrid1DrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool)
{
    ui->TotalGrid1->paintStandardCell(canvas, ACol, ARow, Rect, Colours::TotalFixed);
}

void TMainForm::OptGrid1DrawCell(StringGrid *Sender, QPainter &canvas, int ACol, int ARow,
                                 const QRect &Rect, bool)
{
    Sender->paintStandardCell(canvas, ACol, ARow, Rect, Colours::OptFixed);
}

void TMainForm::PageControlDrawTab(QPainter &canvas, int TabIndex, const QRect &Rect, bool Active)
{
    QFont f = ui->PageControl->font();
    f.setBold(Active);
    canvas.setFont(f);
    const int h = std::abs(f.pixelSize() > 0 ? f.pixelSize() : QFontMetrics(f).height());
    int x = Rect.left() + (Rect.width() - h) / 2;
    int y = Rect.top() + h;
    QColor fill;
    QString caption;
    if (TabIndex == 0) {
        fill = Colours::Sales;
        caption = QStringLiteral("売上管理");
    } else if (TabIndex == 1) {
        fill = Colours::Settings;
        caption = QStringLiteral("設定・保守");
    } else {
        return;
    }
    canvas.fillRect(Rect, fill);
    canvas.setPen(Qt::black);
    canvas.setBackground(fill);
    canvas.setBackgroundMode(Qt::OpaqueMode);
    // One double-byte character under the other.
    for (const QChar c : caption) {
        canvas.drawText(QRect(x, y, Rect.right() - x + 1, h), Qt::AlignLeft | Qt::AlignTop, QString(c));
        y += h;
    }
}

void TMainForm::applyControlState()
{
    // Every control from the connection's state alone, so that no ending
    // (a restart, a loss, a cancel, an operation's own end) can leave one
    // off that the state says is on.
    const bool live = Connected != 0 && !deviceLost_;
    const bool idle = operations_ == 0;
    QWidget *settings[] = {ui->Opt1Sel, ui->Opt2Sel, ui->Opt3Sel, ui->Opt4Sel, ui->Opt5Sel, ui->Opt6Sel,
                           ui->Edit1, ui->Edit2, ui->Edit3, ui->xxxxxxxx, ui->ComboBox1, ui->ComboBox2,
                           ui->ComboBox3, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6};
    for (QWidget *w : settings)
        w->setEnabled(live);
    // What starts an operation is off while one runs.
    ui->OptGrid1->setEnabled(live && idle);
    ui->SendSalesBtn->setEnabled(live && idle);
    ui->CntClrBtn->setEnabled(live && idle);
    ui->SendCoinBtn->setEnabled(live && idle && autoChangeButtons_);
    ui->EarnBtn->setEnabled(live && idle && autoChangeButtons_);
    if (!live)
        ui->PanelMode->setEnabled(false);
}

void TMainForm::showConnectButton(bool connected)
{
    ui->ConBtn->setIcon(loadGlyph(connected ? QStringLiteral("ICON1") : QStringLiteral("ICON2")));
    ui->ConBtn->setText(connected ? QStringLiteral("切断") : QStringLiteral("接続"));
    ui->ConBtn->setToolTip(connected ? QStringLiteral("QUVOとの接続を切断します")
                                     : QStringLiteral("QUVOを探索し接続します"));
    // A click queued under the state before belongs to it, not to this one.
    if ((connected ? 1 : 0) != Connected)
        ++connectionEpoch_;
    Connected = connected ? 1 : 0;
}

void TMainForm::ConBtnClick()
{
    // 切断, or 中止 during the search, while a sequence is on the wire: it
    // ends at its next command, and the connection closes.
    if (line_.waiting()) {
        if (Connected != 0 || searching_)
            line_.cancel();
        return;
    }
    lineEntry([this] { connectOrDisconnect(); });
}

void TMainForm::connectOrDisconnect()
{
    ui->PCBVer->clear();
    if (Connected != 0) {
        closeConnection();
        return;
    }

    searching_ = true;
    // The button cancels the search while it runs.
    ui->ConBtn->setText(QStringLiteral("中止"));
    ui->ConBtn->setToolTip(QStringLiteral("QUVOの探索を中止します"));
    SearchOutcome found;
    {
        const WorkShown work(*this, QStringLiteral("QUVOを探しています."));
        found = line_.run([this](DeviceLink &link) {
            return searchController(link, [this](int n) {
                return line_.onWindow([this, n] {
                    ui->ComStatus->setText(QStringLiteral("COM%1").arg(n) + TextSearching);
                    return !line_.cancelling();
                });
            });
        });
    }
    searching_ = false;
    showConnectButton(false);
    if (found.kind == SearchOutcome::Aborted)
        return; // ended by the operator: the handler closes the port

    if (found.kind != SearchOutcome::Found) {
        ui->ComStatus->setText(TextNotConnected);
        ui->ComStatus->setToolTip(QString());
        showOk(this,
               found.kind == SearchOutcome::NotFound
                   ? notFoundText(found)
                   : QStringLiteral("QUVOが正常な状態でないか,接続できない状態にあるため接続に失敗しました."),
               QStringLiteral("Error"));
        return;
    }
    startConnection();
}

void TMainForm::lineEntry(const std::function<void()> &body, std::function<void()> again)
{
    if (line_.waiting()) {
        // A click belongs to the connection it was made under: one that
        // ends, is lost or is re-checked meanwhile drops it.
        if (again) {
            afterLine_.push_back([this, epoch = connectionEpoch_, again = std::move(again)] {
                if (epoch == connectionEpoch_)
                    again();
            });
            afterLineTimer_->start();
        }
        return;
    }
    ++entries_;
    try {
        body();
    } catch (const LineCancelled &) {
        if (entries_ > 1) {
            // Inside another handler's sequence: it ends there.
            --entries_;
            throw;
        }
    }
    --entries_;
    if (entries_ > 0)
        return;
    // A cancel that came after the sequence's last command ends the
    // connection all the same.
    if (line_.cancelling() || closeAfterLine_)
        sequenceCancelled();
    else if (!afterLine_.empty())
        afterLineTimer_->start();
}

void TMainForm::sequenceCancelled()
{
    line_.clearCancel();
    afterLine_.clear();
    searching_ = false;
    if (closeAfterLine_) {
        closeAfterLine_ = false;
        close();
        return;
    }
    // As a click on 切断 leaves it.
    ui->PCBVer->clear();
    closeConnection();
}

void TMainForm::runDeferred()
{
    if (afterLine_.empty())
        return;
    if (lineBusy())
        return;
    const std::function<void()> request = std::move(afterLine_.front());
    afterLine_.pop_front();
    request();
    if (!afterLine_.empty())
        afterLineTimer_->start();
}

TMainForm::OperationRunning::OperationRunning(TMainForm &form) : form_(form)
{
    if (form_.operations_++ == 0)
        form_.applyControlState();
}

TMainForm::OperationRunning::~OperationRunning()
{
    // Whatever ended the operation (a restart, a loss, a cancel), the
    // controls come back as the connection's state says.
    if (--form_.operations_ == 0)
        form_.applyControlState();
}

TMainForm::WorkShown::WorkShown(TMainForm &form, const QString &text) : form_(form), text_(text)
{
    form_.setCursor(Qt::BusyCursor);
    form_.ui->StatusLine->showMessage(text_);
}

TMainForm::WorkShown::~WorkShown()
{
    form_.unsetCursor();
    // What came meanwhile (a poll's sentence, a loss) stays.
    if (form_.ui->StatusLine->currentMessage() == text_)
        form_.ui->StatusLine->clearMessage();
}

void TMainForm::startConnection(const ControllerIdentity *before)
{
    // A click made while the controller is being found out belongs to no
    // connection: it is dropped however the connection ends.
    struct EpochAtEnd {
        quint64 &epoch;
        ~EpochAtEnd() { ++epoch; }
    } const clicksBefore{connectionEpoch_};
    ++connectionEpoch_;
    // What the window showed of the controller before the gap.
    const FigureContinuity::Figures figuresBefore = figuresShown();
    const int port = link().portNumber();
    ui->ComStatus->setText(QStringLiteral("COM%1").arg(port) + TextConnectedOn);
    ui->ComStatus->setToolTip(link().devicePath());
    ui->StatusLine->clearMessage();
    const WorkShown work(*this, QStringLiteral("QUVOから読み込んでいます."));

    // The version text as it came; only a whole normal reply names the controller.
    const TransactResult version = line_.run([](DeviceLink &link) { return link.Transact("QVV", 100); });
    ui->PCBVer->setText(ShiftJis::decode(version.payload));
    data_.FirmwareVersion() = firmwareVersionFromReply(version.payload);
    identity_ = ControllerIdentity{port, link().devicePath(), QByteArray(), version.payload, false,
                                   version.usable()};

    showConnectButton(true);
    applyControlState();

    // Everything the controller holds into the pages; what the controls held
    // before this connection counts as unknown. A controller that stops
    // answering is told in seconds, not after every read has timed out.
    origins_.forget();
    priceRead_.reset();
    // Nothing typed for the last connection may fail the relayouts of this
    // one's read: the magnifications start unread, as the read finds them.
    for (int box = 0; box < 6; ++box)
        setMagnificationIndex(box, -1);
    const quint64 since = link().generation();
    const bool alive = line_.run([&version](DeviceLink &link) { return link.answered(version) || link.probe(); });
    // A write left in write mode on this controller is closed before anything
    // is read: the read then shows what the controller holds in service.
    const std::optional<OpenWrite> closedLeft = alive ? closeLeftWriteMode(version) : std::nullopt;
    const FullRead::Result read = alive ? FullRead(since) : FullRead::Result::deadLine();
    if (read.silent || read.identityChanged) {
        // A dead line at the operator's own click ends the connection; one
        // that came back under the window, or a device that went, is
        // waited for, and a controller that changed during the read is
        // connected to afresh.
        if (!before && !read.identityChanged && !link().deviceGone()) {
            reportNoAnswer();
            closeConnection();
            return;
        }
        if (!before && read.silent)
            reportNoAnswer();
        loseDevice();
        return;
    }
    // A magnification that fails to convert ends the connection here:
    // connected, but without polling until the operator disconnects.
    if (!read.completed) {
        showApplicationError(read.error);
        return;
    }
    identity_.identification = read.identification;
    identity_.identificationRead = read.identificationRead;
    // From here the controller is identified: a later gap means checking it again.
    generation_ = link().generation();
    // After a gap: the same controller reports the same texts and figures
    // that go on from those shown; then the visit goes on too.
    bool sameVisit = false;
    if (before && before->known() && identity_.known()) {
        const FigureContinuity::Verdict verdict = FigureContinuity::judge(figuresBefore, figuresShown());
        if (!before->sameController(identity_) || verdict == FigureContinuity::Verdict::Another)
            notify(anotherControllerText(*before, before->sameController(identity_)));
        sameVisit = before->sameController(identity_) && FigureContinuity::sameMachine(verdict);
    }
    recordConnectionReading(read, sameVisit);
    if (closedLeft)
        notify(leftWriteModeText(*closedLeft));
    // What a write before the restart sent, against what was just read.
    showPendingProof();
    // The I/O panel back to its resting state for the new controller.
    resetIoPanelMode();
    // The preview from the lines just read; a magnification it cannot
    // convert has been shown and likewise leaves polling off.
    if (!RefreshReceiptPreview())
        return;
    // Live figures from here on, the refresh count starting afresh.
    PollTickCount = 0;
    Timer->start();
}

QString TMainForm::anotherControllerText(const ControllerIdentity &before, bool sameTexts) const
{
    QString text = QStringLiteral("COM%1に別のQUVOが接続されました.\n前: QUVO%2\n今: QUVO%3\n")
                       .arg(QString::number(identity_.portNumber), before.describe(), identity_.describe());
    if (sameTexts)
        text += QStringLiteral("識別文字とバージョンは同じですが,販売枚数と総売上が前のQUVOから続いていません.\n");
    return text + QStringLiteral("表示は今接続されているQUVOから読み込んだ値です.");
}

void TMainForm::loseDevice()
{
    if (deviceLost_ || Connected == 0)
        return;
    deviceLost_ = true;
    // A click that waited for the line was meant for the controller now
    // in doubt: it is dropped with the controls it came from.
    afterLine_.clear();
    recordDisconnectReading();
    Timer->stop();
    // The values stay in view, but nothing read from this device may be
    // written anywhere: whatever answers next may be another controller.
    origins_.forget();
    ++connectionEpoch_;
    autoChangeButtons_ = false;
    applyControlState();
    setReceiptLinesUnread();
    if (!link().deviceGone() && link().lastHeard()) {
        // Something answers after a gap: find out who before anything else.
        ui->StatusLine->showMessage(QStringLiteral("COM%1のQUVOを確認しています.").arg(identity_.portNumber));
        reconnect_->start(0);
        return;
    }
    showLost();
    reconnect_->start(ReconnectIntervalMs);
}

void TMainForm::showLost()
{
    ui->ComStatus->setText(QStringLiteral("COM%1").arg(identity_.portNumber) + TextLost);
    ui->StatusLine->showMessage(
        QStringLiteral("COM%1のQUVOが見つかりません.つながると自動的に接続し直します.").arg(identity_.portNumber));
}

bool TMainForm::pollHeld() const
{
    return lineBusy() || !afterLine_.empty();
}

bool TMainForm::lineBusy() const
{
    return operations_ > 0 || entries_ > 0 || line_.waiting() || QApplication::activeModalWidget() != nullptr;
}

bool TMainForm::lineStillOurs()
{
    if (!link().deviceGone() && link().generation() == generation_)
        return true;
    loseDevice();
    return false;
}

void TMainForm::lookForDevice()
{
    if (!deviceLost_)
        return;
    if (pollHeld()) {
        reconnect_->start(ReconnectIntervalMs);
        return;
    }
    lineEntry([this] {
        // Something is there again: only a controller's normal answer
        // counts, and it is connected to as at a click on 接続.
        const std::optional<TransactResult> probe = line_.run([](DeviceLink &link) -> std::optional<TransactResult> {
            if (link.deviceGone() && !link.reopenPort())
                return std::nullopt;
            return link.Transact("QV", 0);
        });
        if (!probe) {
            reconnect_->start(ReconnectIntervalMs);
            return;
        }
        if (probe->status != StatusOk) {
            if (!probe->heard())
                showLost();
            reconnect_->start(probe->heard() ? ReconnectIntervalMs : SilentProbeRetryMs);
            return;
        }
        deviceLost_ = false;
        const ControllerIdentity before = identity_;
        startConnection(&before);
    });
}

void TMainForm::disconnectController()
{
    if (Connected != 0)
        ConBtnClick();
}

void TMainForm::closeConnection()
{
    afterLine_.clear();
    recordDisconnectReading();
    Timer->stop();
    reconnect_->stop();
    deviceLost_ = false;
    line_.run([](DeviceLink &link) { link.closePort(); });
    ui->ComStatus->setText(TextNotConnected);
    ui->ComStatus->setToolTip(QString());
    ui->StatusLine->clearMessage();
    showConnectButton(false);
    autoChangeButtons_ = false;
    applyControlState();
    ui->LabelAutoFlag->hide();
    setReceiptLinesUnread();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // A sequence on the wire ends at its next command first; the window
    // closes once it has.
    if (entries_ > 0) {
        closeAfterLine_ = true;
        line_.cancel();
        event->ignore();
        return;
    }
    FormClose();
    QWidget::closeEvent(event);
}

void TMainForm::FormClose()
{
    recordDisconnectReading();
    Timer->stop();
    reconnect_->stop();
    for (QPixmap &pm : LampBitmap)
        pm = QPixmap();
    // Nothing is sent to the controller on close.
    line_.run([](DeviceLink &link) { link.closePort(); });
}
