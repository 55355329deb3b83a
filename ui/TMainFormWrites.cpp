// The main window's handlers that write to the controller, and its side of
// a write operation: the boxes it shows, the manual-mode test, the read-back
// and the disconnection.
#include "ui/TMainForm.h"

#include "device/PriceEntry.h"
#include "device/ValueFormats.h"
#include "device/WriteOperations.h"
#include "journal/JournalEvent.h"
#include "journal/Journal.h"
#include "ui/JournalDisplay.h"
#include "ui/MessageBoxes.h"
#include "ui/StringGrid.h"
#include "ui/TDataSetDialog.h"
#include "ui_TMainForm.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <utility>

void TMainForm::OptGrid1SelectCell(int ACol, int ARow)
{
    lineEntry(
        [this, ACol, ARow] {
            if (Connected == 0 || deviceLost_ || ACol != 1 || ARow < 0 || ARow >= PriceEntry::SettableRows
                || !dataSetDialog_)
                return;
            const OperationRunning running(*this);
            // The dialog offers what the controller holds now, never a figure read
            // before a gap or from a reply that did not vouch for it.
            const quint64 opened = link().generation();
            const std::optional<std::int32_t> held =
                line_.run([ARow](DeviceLink &link) { return WriteOperations::readPrice(link, ARow); });
            if (!held) {
                if (!link().lastHeard() || link().deviceGone()) {
                    reportNoAnswer();
                    loseDevice();
                    return;
                }
                reportError(QStringLiteral("コラム%1の設定価格をQUVOから読み込めませんでした.\n"
                                           "何も送信していません.もう一度実行して下さい.")
                                .arg(ARow + 1));
                if (link().generation() != opened)
                    loseDevice();
                return;
            }
            data_.ColumnPrice(ARow) = *held;
            priceRead_[std::size_t(ARow)] = true;
            ui->OptGrid1->setCell(1, ARow, ValueFormats::priceText(ARow, *held));
            ui->SalesGrid->setCell(1, ARow + 1, ui->OptGrid1->cells(1, ARow));
            if (link().generation() != generation_) {
                loseDevice();
                return;
            }

            dataSetDialog_->Label()->setText(QStringLiteral("コラム%1 設定価格").arg(ARow + 1));
            dataSetDialog_->SubLabel()->setText(PriceEntry::rangeText(ARow));
            dataSetDialog_->Edit()->setText(ui->SalesGrid->cells(1, ARow + 1));
            generationAtBox_ = link().generation();
            if (dataSetDialog_->exec() != QDialog::Accepted)
                return;
            if (!PriceEntry::check(ARow, dataSetDialog_->Edit()->text()).ok) {
                rejectInput();
                return;
            }
            if (!stillSameController())
                return;
            // The price the dialog offered must still be the controller's.
            const std::optional<std::int32_t> still =
                line_.run([ARow](DeviceLink &link) { return WriteOperations::readPrice(link, ARow); });
            if (!still || *still != *held) {
                reportError(QStringLiteral("コラム%1の設定価格が入力画面を開いた時と異なるため,送信しませんでした.\n"
                                           "QUVOを確認してから読み込み直します.")
                                .arg(ARow + 1));
                loseDevice();
                return;
            }

            const std::int32_t reportedBefore = data_.ColumnPrice(ARow);
            const quint64 beforeWrite = link().generation();
            const QString entry = dataSetDialog_->Edit()->text();
            const PriceEntry::Checked checked = PriceEntry::check(ARow, entry);
            // Kept before it is sent: a write cut off at any moment leaves its record.
            const qint64 intent = recordPriceIntent(ARow, reportedBefore, checked.stored);
            const WorkShown work(*this, QStringLiteral("QUVOに書き込んでいます."));
            const bool manual = manualMode();
            openingWriteMode(JournalKind::Price,
                             QStringLiteral("コラム%1の価格の書き込み (%2)").arg(ARow + 1).arg(checked.cellText.trimmed()),
                             ARow, manual);
            const WriteOperations::PriceWrite result = line_.run(
                [&](DeviceLink &link) { return WriteOperations::setPrice(link, data_, ARow, entry, manual); });
            endingWriteMode(result.writeMode);
            if (!result.sent) {
                rejectInput();
                return;
            }
            // Nothing went out, or nothing answers now: the grids keep the
            // price the controller last reported. A price command that went
            // out to a controller still there (it heard the closing) may have
            // been taken: only the read-back can say.
            if (!result.answered && (!result.commandSent || result.writeMode == WriteModeEnd::MayBeOpen)) {
                reportNoAnswer();
                loseDevice();
                return;
            }
            ui->OptGrid1->setCell(1, ARow, result.entry.cellText);
            ui->SalesGrid->setCell(1, ARow + 1, ui->OptGrid1->cells(1, ARow));
            // A refusal is not a failure of the sequence; the operator is told
            // when the controller does not report the price sent.
            std::optional<FullRead::Result> read;
            try {
                read = readBack(beforeWrite);
            } catch (const LineCancelled &) {
                // 切断 came before the read-back: what the controller holds
                // is not known, and the grid says so instead of the entry.
                showPriceUnknown(ARow);
                reportError(QStringLiteral("切断したため,コラム%1の価格が書き込まれたか確認できていません.\n"
                                           "接続し直して確認して下さい.")
                                .arg(ARow + 1));
                throw;
            }
            recordPriceWrite(intent, ARow, read);
            if (read) {
                if (const auto text = WriteProof::priceNotTaken(ARow, result.entry.stored, data_.ColumnPrice(ARow),
                                                                read->read[std::size_t(Slot::ColumnPrice + ARow)]))
                    reportError(*text);
            } else {
                // The entry stays out of the grids and the table: they hold what
                // the controller last reported.
                data_.ColumnPrice(ARow) = reportedBefore;
                ui->OptGrid1->setCell(1, ARow, ValueFormats::priceText(ARow, reportedBefore));
                ui->SalesGrid->setCell(1, ARow + 1, ui->OptGrid1->cells(1, ARow));
            }
            showWriteModeNote();
        },
        [this, ACol, ARow] { OptGrid1SelectCell(ACol, ARow); });
}

void TMainForm::SendSalesBtnClick()
{
    lineEntry(
        [this] {
            const OperationRunning running(*this);
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
            intentKind_ = JournalKind::Settings;
            intentDetail_ = QStringLiteral("設定値の書き込み");
            intentEvent_ = 0;
            const WorkShown work(*this, QStringLiteral("QUVOに書き込んでいます."));
            if (line_.run([&](DeviceLink &link) {
                    return WriteOperations::writeOptionsAndRestart(link, hostOnWindow_, data_, settings, origins_, &sent);
                }))
                keepProof(JournalKind::Settings, sent);
            showWriteModeNote();
        },
        [this] { SendSalesBtnClick(); });
}

void TMainForm::aboutToWrite(const WriteProof::SentSettings &sent)
{
    intentEvent_ = recordRestartingWrite(intentKind_, sent);
}

void TMainForm::keepProof(const QString &kind, const WriteProof::SentSettings &sent)
{
    // The record made before sending, or (a write that keeps no intent) now.
    const qint64 event = intentEvent_ != 0 ? intentEvent_ : recordRestartingWrite(kind, sent);
    intentEvent_ = 0;
    pendingProof_ = PendingProof{sent, identity_, event, figuresShown()};
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
    runCounterClear(false);
}

void TMainForm::runCounterClear(bool unrecordedAgreed)
{
    lineEntry(
        [this, unrecordedAgreed] {
            const OperationRunning running(*this);
            if (deviceLost_ || Connected == 0)
                return;
            bool mayGoUnrecorded = unrecordedAgreed;
            if (!mayGoUnrecorded) {
                if (!confirm(WriteOperations::clearConfirmText()))
                    return;
                // Asked before the controller is checked, so that the check
                // follows the last answer: the cable may move during any box.
                if (journal_ && !journal_->ok()) {
                    if (!askClearUnrecorded())
                        return;
                    mayGoUnrecorded = true;
                }
            }
            if (!stillSameController())
                return;
            // The counts to clear must still be this controller's.
            const WorkShown work(*this, QStringLiteral("カウンタをクリアしています."));
            if (!line_.run([this](DeviceLink &link) { return WriteOperations::sameIdentity(link, identity_); })) {
                if (!link().lastHeard() || link().deviceGone()) {
                    reportNoAnswer();
                } else {
                    reportError(QStringLiteral("COM%1のQUVOが画面に表示しているQUVOと異なるため,カウンタをクリアしませんでした.\n"
                                               "QUVOを確認してから読み込み直します.")
                                    .arg(identity_.portNumber));
                }
                loseDevice();
                return;
            }
            clearEvent_ = 0;
            const quint64 beforeWrite = link().generation();
            const bool manual = manualMode();
            bool notKept = false;
            openingWriteMode(JournalKind::CounterClear, QStringLiteral("カウンタクリア"), -1, manual);
            const WriteOperations::CounterClear clear = line_.run([&](DeviceLink &link) {
                return WriteOperations::clearCounters(link, manual, [&](const std::optional<LivePoll::Counters> &before) {
                    // No question waits inside write mode: counts the journal
                    // could not keep stop the clear, and the operator is asked
                    // once write mode is closed.
                    return line_.onWindow([&] {
                        if (recordBeforeClear(before) || mayGoUnrecorded)
                            return true;
                        notKept = true;
                        return false;
                    });
                });
            });
            endingWriteMode(clear.writeMode);
            if (clear.cancelled) {
                if (notKept && clear.writeMode != WriteModeEnd::MayBeOpen && askClearUnrecorded())
                    runCounterClear(true);   // afresh, with its checks
                else
                    showWriteModeNote();
                return;
            }
            if (!clear.clearSent || clear.writeMode == WriteModeEnd::MayBeOpen) {
                // The counts on screen stay: nothing says they were cleared.
                reportNoAnswer();
                loseDevice();
                return;
            }
            // "QVZ0" unanswered by a controller still there: the read-back tells.
            recordClearOutcome(clear.answered ? clear.after : std::nullopt);
            const auto read = readBack(beforeWrite);
            // Decided from the figures read at once after "QVZ0" (else the
            // read-back's), weighed against what the machine took meanwhile.
            if (clear.after || read) {
                WriteProof::ClearFigures after;
                for (int i = 0; i < 16; ++i) {
                    if (clear.after)
                        after.counts[std::size_t(i)] = clear.after->counts[std::size_t(i)];
                    else if (read->read[std::size_t(Slot::ColumnSalesCount + i)])
                        after.counts[std::size_t(i)] = std::uint16_t(data_.ColumnSalesCount(i));
                }
                if (clear.after)
                    after.total = clear.after->total;
                else if (read->read[std::size_t(Slot::SalesTotal)])
                    after.total = std::uint32_t(data_.SalesTotal());
                std::optional<WriteProof::ClearFigures> before;
                if (clear.before) {
                    before.emplace();
                    for (int i = 0; i < 16; ++i)
                        before->counts[std::size_t(i)] = clear.before->counts[std::size_t(i)];
                    before->total = clear.before->total;
                }
                std::array<std::optional<qint64>, 16> prices{};
                for (int i = 0; i < 16; ++i)
                    if (priceRead_[std::size_t(i)])
                        prices[std::size_t(i)] = ValueFormats::priceTenths(i, data_.ColumnPrice(i));
                if (const auto text = WriteProof::countersNotCleared(before, after, prices))
                    reportError(*text);
            }
            showWriteModeNote();
        },
        [this, unrecordedAgreed] { runCounterClear(unrecordedAgreed); });
}

void TMainForm::showPriceUnknown(int row)
{
    priceRead_[std::size_t(row)] = false;
    ui->OptGrid1->setCell(1, row, QString());
    ui->SalesGrid->setCell(1, row + 1, QString());
}

void TMainForm::openingWriteMode(const QString &operation, const QString &detail, int column, bool manual)
{
    OpenWrite w;
    w.identification = identity_.identificationRead ? identity_.identification : QByteArray();
    w.version = identity_.versionRead ? identity_.version : QByteArray();
    w.operation = operation;
    w.detail = detail;
    w.column = column;
    w.manual = manual;
    w.time = QDateTime::currentDateTime().toString(Qt::ISODate);
    w.figures = figuresShown();
    if (journal_) {
        w.event = journal_->recordWriteModeOpened(identity_, operation, detail, column, manual);
        showJournalNotice();
    }
    writeMode_ = w;
}

void TMainForm::writeModeOpening()
{
    openingWriteMode(intentKind_, intentDetail_, -1, false);
}

void TMainForm::writeModeEnded(WriteModeEnd end, const QStringList &sent)
{
    endingWriteMode(end, sent);
}

void TMainForm::endingWriteMode(WriteModeEnd end, const QStringList &sent)
{
    if (!writeMode_)
        return;
    OpenWrite w = *writeMode_;
    writeMode_.reset();
    w.sent = sent.join(QStringLiteral(", "));
    const bool kept = journal_ && w.event != 0
        && journal_->recordWriteModeEnded(w.event, WriteMode::endName(end),
                                          sent.isEmpty() ? QString() : w.sent);
    if (journal_)
        showJournalNotice();
    // Manual mode keeps write mode open on purpose: nothing closes it later.
    if (end != WriteModeEnd::MayBeOpen || w.manual)
        return;
    leftOpen_ = w;
    writeModeNote_ = kept ? QStringLiteral("QUVOが書き込みモードのままになっている可能性があります.\n"
                                           "次にこのQUVOに接続した時に,書き込みモードを終了します.")
                          : QStringLiteral("QUVOが書き込みモードのままになっている可能性があります.\n"
                                           "次の書き込みかQUVOの再起動で書き込みモードは終了します.");
}

void TMainForm::showWriteModeNote()
{
    if (writeModeNote_.isEmpty())
        return;
    const QString note = std::exchange(writeModeNote_, QString());
    reportError(note);
}

std::optional<TMainForm::OpenWrite> TMainForm::closeLeftWriteMode(const TransactResult &version)
{
    if (!version.usable())
        return std::nullopt;
    std::vector<OpenWrite> candidates;
    if (leftOpen_ && !leftOpen_->version.isNull() && leftOpen_->version == version.payload)
        candidates.push_back(*leftOpen_);
    if (journal_) {
        for (const Journal::OpenWriteMode &o : journal_->openWriteModes()) {
            if (o.version == version.payload
                && std::none_of(candidates.begin(), candidates.end(),
                                [&o](const OpenWrite &c) { return c.event == o.event; }))
                candidates.push_back(OpenWrite{o});
        }
    }
    if (candidates.empty())
        return std::nullopt;
    // Only the controller the write was made to is taken out of write mode:
    // its identification text must read as it did then.
    const TransactResult id = line_.run([](DeviceLink &link) { return link.Transact("QVRON", 10); });
    if (!id.usable())
        return std::nullopt;
    std::vector<OpenWrite> ours;
    for (const OpenWrite &c : candidates)
        if (!c.identification.isNull() && c.identification == id.payload)
            ours.push_back(c);
    // And it must be the same machine: its figures go on from those last
    // read before the write (a clear the write sent is a fall it explains).
    if (std::any_of(ours.begin(), ours.end(), [](const OpenWrite &c) { return c.figures.has_value(); })) {
        const std::optional<LivePoll::Counters> counters = line_.run(LivePoll::readCounters);
        std::optional<FigureContinuity::Figures> now;
        if (counters) {
            now.emplace();
            for (std::size_t c = 0; c < 16; ++c)
                now->counts[c] = counters->counts[c];
            now->total = counters->total;
            now->at = QDateTime::currentSecsSinceEpoch();
        }
        ours.erase(std::remove_if(ours.begin(), ours.end(),
                                  [&now](const OpenWrite &c) {
                                      return c.figures
                                          && (!now || !FigureContinuity::sameMachine(FigureContinuity::judge(*c.figures, *now)));
                                  }),
                   ours.end());
    }
    if (ours.empty())
        return std::nullopt;
    const WriteModeEnd end = line_.run([](DeviceLink &link) { return WriteMode::close(link, false); });
    if (end != WriteModeEnd::Closed)
        return std::nullopt;
    for (const OpenWrite &c : ours) {
        if (journal_ && c.event != 0)
            journal_->recordWriteModeEnded(c.event, QStringLiteral("closed-at-connection"));
        if (leftOpen_ && leftOpen_->event == c.event && leftOpen_->time == c.time)
            leftOpen_.reset();
    }
    return ours.front();
}

QString TMainForm::leftWriteModeText(const OpenWrite &w) const
{
    QString text = QStringLiteral("前回の%1が途中で終わり,QUVOが書き込みモードのままになっていました (%2).\n"
                                  "書き込みモードを終了し,QUVOから読み込み直しました.\n")
                       .arg(w.detail, JournalDisplay::time(w.time));
    if (w.operation == JournalKind::Price && w.column >= 0 && w.column < 16) {
        const QString now = ui->OptGrid1->cells(1, w.column);
        text += QStringLiteral("読み込んだコラム%1の価格: %2")
                    .arg(w.column + 1)
                    .arg(now.isEmpty() ? QStringLiteral("読み込めませんでした") : now.trimmed());
    } else if (w.operation == JournalKind::CounterClear) {
        text += QStringLiteral("読み込んだ総売上: %1円\n販売枚数は画面に表示している値です.")
                    .arg(ui->TotalGrid1->cells(1, 0));
    } else {
        text += QStringLiteral("途中で終わる前に送信した設定: %1\n設定値は画面に表示している値です.")
                    .arg(w.sent.isEmpty() ? QStringLiteral("記録がありません") : w.sent);
    }
    return text;
}

std::optional<FullRead::Result> TMainForm::readBack(quint64 since)
{
    const FullRead::Result read = FullRead(since);
    if (read.silent) {
        reportNoAnswer();
        loseDevice();
        return std::nullopt;
    }
    if (read.identityChanged) {
        // Another controller answered the read-back: connect to it afresh.
        loseDevice();
        return std::nullopt;
    }
    if (!read.completed) {
        showConversionError(read.error);
        return std::nullopt;
    }
    generation_ = link().generation();
    recordReadBack(read);
    return read;
}

void TMainForm::showPendingProof()
{
    // Bound to the controller written to: another one hears nothing of it,
    // and the proof waits for the first one to come back. One that cannot
    // be named on the port written to may be that one: the proof waits, but
    // the operator hears why it is not shown.
    const auto cannotTell = [this](const QString &what) {
        reportError(QStringLiteral("COM%1のQUVOの%2を読み込めないため,前回の書き込みが反映されたか確認できません.\n"
                                   "書き込み先: QUVO%3\n接続し直して下さい.")
                        .arg(QString::number(identity_.portNumber), what, pendingProof_->writtenTo.describe()));
    };
    if (pendingProof_ && !identity_.known() && identity_.portNumber == pendingProof_->writtenTo.portNumber) {
        cannotTell(QStringLiteral("識別文字またはバージョン"));
        return;
    }
    if (!pendingProof_ || !WriteProof::concerns(pendingProof_->writtenTo, pendingProof_->sent, identity_))
        return;
    // Texts alike are not enough: a controller whose figures do not go on
    // from those of the one written to is another, and the proof waits.
    switch (proofVerdict()) {
    case FigureContinuity::Verdict::Unknown:
        cannotTell(QStringLiteral("販売枚数か総売上"));
        return;
    case FigureContinuity::Verdict::Another:
        notify(anotherControllerText(pendingProof_->writtenTo, true)
               + QStringLiteral("\n前のQUVOへの書き込みは,このQUVOの設定とは比べません."));
        return;
    default:
        break;
    }
    const auto options = optionBoxes();
    const std::optional<QString> text = WriteProof::settingsNotTaken(
        pendingProof_->sent, origins_, [&options](int k, int value) { return options[k]->itemText(value); },
        pendingProof_->writtenTo.describe());
    // Compared once: a write the controller took fully shows nothing.
    pendingProof_.reset();
    if (text)
        reportError(*text);
}

FigureContinuity::Verdict TMainForm::proofVerdict() const
{
    if (!pendingProof_ || !WriteProof::concerns(pendingProof_->writtenTo, pendingProof_->sent, identity_))
        return FigureContinuity::Verdict::Another;
    return FigureContinuity::judge(pendingProof_->figures, figuresShown());
}

bool TMainForm::confirm(const QString &text)
{
    generationAtBox_ = link().generation();
    return askOkCancel(this, text, QStringLiteral("Information"));
}

bool TMainForm::stillSameController()
{
    if (!deviceLost_ && link().generation() == generationAtBox_ && generationAtBox_ == generation_)
        return true;
    reportError(QStringLiteral("COM%1との通信が途切れたため,送信しませんでした.\n"
                               "QUVOを確認してから読み込み直します.")
                    .arg(identity_.portNumber));
    loseDevice();
    return false;
}

void TMainForm::loseController()
{
    loseDevice();
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
    const FullRead::Result read = FullRead();
    if (read.silent || read.identityChanged) {
        if (read.silent)
            reportNoAnswer();
        loseDevice();
        return std::nullopt;
    }
    generation_ = link().generation();
    return read.completed ? std::nullopt : std::optional<QString>(read.error);
}

void TMainForm::reportNoAnswer()
{
    // One box: what write mode may have been left in goes with it.
    QString text = QStringLiteral("COM%1のQUVOから応答がありません.\n送信と読み込みを中止しました.\n"
                                  "ケーブルとQUVOの電源を確かめて下さい.")
                       .arg(identity_.portNumber);
    if (!writeModeNote_.isEmpty())
        text += QStringLiteral("\n") + std::exchange(writeModeNote_, QString());
    reportError(text);
}

void TMainForm::showConversionError(const QString &message)
{
    showApplicationError(message);
}

void TMainForm::setWindowEnabled(bool enabled)
{
    setEnabled(enabled);
}
