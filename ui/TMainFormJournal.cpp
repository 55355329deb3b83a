// The main window's side of the machine journal: what it hands the journal
// and when, the one message when the journal is not kept, the box before a
// counter clear whose counts cannot be kept, and the history window.
#include "ui/TMainForm.h"

#include "device/LivePoll.h"
#include "journal/Journal.h"
#include "ui/JournalDisplay.h"
#include "ui/JournalWindow.h"
#include "ui/MessageBoxes.h"
#include "ui_TMainForm.h"

#include <QComboBox>
#include <QMessageBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

void TMainForm::prepareJournal()
{
    // In the top panel's free stretch right of the connection status box:
    // nothing of the specified layout moves.
    journalButton_ = new QPushButton(QStringLiteral("履歴"), ui->TopPanel);
    journalButton_->setObjectName(QStringLiteral("JournalBtn"));
    journalButton_->setGeometry(184, 5, 52, 21);
    journalButton_->setFont(ui->ComStatus->font());
    journalButton_->setToolTip(QStringLiteral("記録した読み取りと書き込みの履歴を開きます"));
    journalButton_->setEnabled(false);
    connect(journalButton_, &QPushButton::clicked, this, &TMainForm::JournalBtnClick);
    journalState_ = new QLabel(QStringLiteral("履歴なし"), this);
    journalState_->setObjectName(QStringLiteral("JournalState"));
    ui->StatusLine->addPermanentWidget(journalState_);
    journalState_->hide();
}

void TMainForm::setJournal(Journal *journal)
{
    journal_ = journal;
    journalButton_->setEnabled(journal_ != nullptr);
    showJournalNotice();
}

void TMainForm::showJournalNotice()
{
    if (!journal_)
        return;
    // The mark stays while events are not kept, whatever the status line
    // shows meanwhile, and goes once recording resumes.
    if (journal_->ok()) {
        journalState_->hide();
        return;
    }
    journalState_->setToolTip(journal_->problem());
    journalState_->show();
    if (const std::optional<QString> notice = journal_->takeNotKeptNotice())
        ui->StatusLine->showMessage(*notice);
}

void TMainForm::recordConnectionReading(const FullRead::Result &read, bool sameVisit)
{
    journalConnected_ = true;
    if (!journal_)
        return;
    // The same controller the proof waits for, whatever identification it
    // reports now: the visit goes with the machine of the write.
    const bool proven = pendingProof_ && pendingProof_->journalEvent != 0
        && proofVerdict() != FigureContinuity::Verdict::Another && proofVerdict() != FigureContinuity::Verdict::Unknown;
    if (!sameVisit || !journal_->resumeVisit())
        journal_->startVisit(proven ? pendingProof_->journalEvent : 0, proven ? 0 : askWhichMachine(read));
    journal_->recordReading(identity_, data_, &origins_, false, &read.read);
    // What the controller reports of the settings a restarting write sent
    // to it, now that it is back.
    if (proven)
        journal_->recordSettingsOutcome(pendingProof_->journalEvent, pendingProof_->sent, origins_);
    showJournalNotice();
}

void TMainForm::recordReadBack(const FullRead::Result &read)
{
    if (!journal_ || !journalConnected_)
        return;
    journal_->recordReading(identity_, data_, &origins_, false, &read.read);
    showJournalNotice();
}

void TMainForm::recordDisconnectReading()
{
    if (!journalConnected_)
        return;
    journalConnected_ = false;
    if (!journal_)
        return;
    if (Connected != 0) {
        // What the operator saw last: a refresh cut short by a doubt about
        // the controller has left its figures in the table unshown.
        journal_->recordReading(identity_, shownFigures_, nullptr, true);
        showJournalNotice();
    }
    journal_->endVisit();
}

qint64 TMainForm::askWhichMachine(const FullRead::Result &read)
{
    const QList<Journal::Candidate> candidates = journal_->candidates(identity_, data_, &read.read);
    if (candidates.size() < 2)
        return 0;
    QString text = QStringLiteral("このQUVO%1は,名前を付けた次の機械のどれとも識別文字とバージョンが同じで,"
                                  "販売枚数と総売上からも見分けられません.\nどの機械ですか?\n")
                       .arg(identity_.describe());
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Information"), QString(), QMessageBox::NoButton, this);
    QList<QPair<QAbstractButton *, qint64>> buttons;
    for (const Journal::Candidate &c : candidates) {
        text += QStringLiteral("\n・%1 %2: 最後の読み取り %3, 総売上 %4")
                    .arg(c.asset, c.location,
                         c.lastTime.isEmpty() ? QStringLiteral("なし") : JournalDisplay::time(c.lastTime),
                         c.lastTotal ? QStringLiteral("%1円").arg(*c.lastTotal) : QStringLiteral("不明"));
        if (c.verdict == FigureContinuity::Verdict::ClearedElsewhere)
            text += QStringLiteral(" (その後ほかでカウンタクリアされたことになります)");
        buttons.append({box.addButton(c.asset, QMessageBox::AcceptRole), c.machine});
    }
    text += QStringLiteral("\n\n「識別文字で見分ける」(履歴の画面) で識別文字を書き換えると,次からは尋ねません.");
    box.setText(text);
    QAbstractButton *none = box.addButton(QStringLiteral("どれでもない"), QMessageBox::RejectRole);
    box.setDefaultButton(qobject_cast<QPushButton *>(none));
    box.exec();
    for (const auto &[button, machine] : buttons)
        if (box.clickedButton() == button)
            return machine;
    return 0;
}

void TMainForm::bindIdentification(qint64 machine, const QByteArray &identification)
{
    // Only into the controller of that machine, connected now and in service.
    if (Connected == 0 || deviceLost_ || !journal_ || journal_->currentMachine() != machine) {
        showOk(journalWindow_ ? static_cast<QWidget *>(journalWindow_) : this,
               QStringLiteral("その機械のQUVOに接続していないため,識別文字は書き込みません.\n"
                              "その機械のQUVOに接続してから,もう一度行って下さい."),
               QStringLiteral("Information"));
        return;
    }
    // As the operator would type it: the options write's guards and its
    // restart apply; the controls show what is sent.
    ui->xxxxxxxx->setText(ShiftJis::decode(identification));
    origins_.setByOperator(ValueOrigins::Identification);
    raise();
    activateWindow();
    SendSalesBtnClick();
}

bool TMainForm::askClearUnrecorded()
{
    generationAtBox_ = link().generation();
    return askOkCancelDefaultCancel(
        this,
        QStringLiteral("現在の販売枚数と総売上を履歴に記録できませんでした.\n"
                       "カウンタクリアを行うと, これらの値は残りません.\nクリアしますか?"),
        QStringLiteral("Information"));
}

bool TMainForm::recordBeforeClear(const std::optional<LivePoll::Counters> &counts)
{
    // From the controller in write mode, not the screen: the grids show
    // four digits and whatever the last poll left.
    if (!journal_)
        return true;
    // Tried even after a failure: recording may have resumed.
    if (counts)
        clearEvent_ = journal_->recordCounterClear(identity_, *counts);
    showJournalNotice();
    // Not asked here: write mode is open. The clear stops and asks after.
    return clearEvent_ != 0;
}

void TMainForm::recordClearOutcome(const std::optional<LivePoll::Counters> &after)
{
    // The counts read at once after "QVZ0": a sale during the full read
    // that follows is a sale after the clear, not one it lost.
    if (journal_ && clearEvent_ != 0 && after) {
        DeviceData d;
        std::bitset<Slot::Count> read;
        for (int i = 0; i < 16; ++i) {
            d.ColumnSalesCount(i) = std::int32_t(after->counts[std::size_t(i)]);
            read[std::size_t(Slot::ColumnSalesCount + i)] = true;
        }
        d.SalesTotal() = std::int32_t(after->total);
        read[std::size_t(Slot::SalesTotal)] = true;
        journal_->recordClearOutcome(clearEvent_, d, &read);
    }
    clearEvent_ = 0;
}

qint64 TMainForm::recordPriceIntent(int row, std::int32_t before, std::int32_t sent)
{
    if (!journal_)
        return 0;
    const qint64 event = journal_->recordPrice(identity_, row, before, sent, std::nullopt);
    showJournalNotice();
    return event;
}

void TMainForm::recordPriceWrite(qint64 intent, int row, const std::optional<FullRead::Result> &readBack)
{
    // What the read-back reported completes the record; without one it
    // stays a write not confirmed.
    if (!journal_ || intent == 0 || !readBack || !readBack->read[std::size_t(Slot::ColumnPrice + row)])
        return;
    journal_->recordOutcome(intent, {{JournalItemName::price(row), {}, {}, QVariant(qint64(data_.ColumnPrice(row)))}});
    showJournalNotice();
}

qint64 TMainForm::recordRestartingWrite(const QString &kind, const WriteProof::SentSettings &sent)
{
    if (!journal_)
        return 0;
    const qint64 event = journal_->recordSettingsWrite(kind, identity_, sent, origins_);
    showJournalNotice();
    return event;
}

void TMainForm::JournalBtnClick()
{
    if (!journal_)
        return;
    if (!journalWindow_) {
        journalWindow_ = new JournalWindow(*journal_, this);
        journalWindow_->setWindowFlag(Qt::Window);
        // The options as this window labels them and lists their items.
        JournalDisplay::Options options;
        const QList<QLabel *> labels = findChildren<QLabel *>();
        for (QComboBox *box : optionBoxes()) {
            JournalDisplay::Option option;
            for (const QLabel *label : labels)
                if (label->buddy() == box)
                    option.label = label->text();
            for (int i = 0; i < box->count(); ++i)
                option.items << box->itemText(i);
            options.append(option);
        }
        journalWindow_->setOptions(options);
        connect(journalWindow_, &JournalWindow::bindRequested, this, &TMainForm::bindIdentification);
    }
    journalWindow_->reload(identity_.known() ? std::optional<ControllerIdentity>(identity_) : std::nullopt);
    journalWindow_->show();
    journalWindow_->raise();
    journalWindow_->activateWindow();
}
