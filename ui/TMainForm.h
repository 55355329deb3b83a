#pragma once
// The main window. It owns everything kept at run time: the link to the
// controller, the device data table, the lamp bitmaps and signal states of
// the I/O panel, the poll timer and every control of the pages. Handlers
// keep the names of the component and event they serve.
#include "device/ControllerIdentity.h"
#include "device/DeviceData.h"
#include "device/FigureContinuity.h"
#include "device/FullRead.h"
#include "device/FullReadView.h"
#include "device/LivePoll.h"
#include "device/OperationHost.h"
#include "device/ValueOrigins.h"
#include "device/WriteProof.h"
#include "device/OnWindow.h"
#include "journal/Journal.h"
#include "link/DeviceLink.h"
#include "link/LineThread.h"

#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <array>
#include <bitset>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class JournalWindow;
class QComboBox;
class QLabel;
class QPushButton;
class QLineEdit;

class QPainter;
class QTimer;
class StringGrid;
class ReceiptPreview;
class TDataSetDialog;
namespace Ui { class TMainForm; }

class TMainForm : public QWidget, public FullReadView, public OperationHost {
    Q_OBJECT
public:
    // Without a port the window talks to the real serial ports.
    explicit TMainForm(std::unique_ptr<PortIo> port = nullptr, QWidget *parent = nullptr);
    ~TMainForm() override;

    // The value-entry dialog, created at start by the program entry.
    void setDataSetDialog(TDataSetDialog *dialog) { dataSetDialog_ = dialog; }
    // The machine journal the window records into; none: nothing is kept.
    void setJournal(Journal *journal);
    Journal *journal() const { return journal_; }
    // The journal's history window (履歴 button).
    void JournalBtnClick();
    JournalWindow *journalWindow() const { return journalWindow_; }

    // Connection (connect button).
    void ConBtnClick();
    // The connect button's action while connected; operations that restart
    // the controller end with it.
    void disconnectController() override;
    int Connected = 0; // 0 not connected, 1 connected

    // Writes to the controller: a price cell, the options write, the counter clear.
    void OptGrid1SelectCell(int ACol, int ARow);
    void SendSalesBtnClick();
    void CntClrBtnClick();
    // Write mode as the window last knew it was left (tests, the journal).
    // A write that could not leave it: the controller it concerned, kept
    // until a connection to that controller closes it.
    // The journal's record of it, the texts null where the connection did
    // not read them, and whether manual mode keeps it open on purpose.
    struct OpenWrite : Journal::OpenWriteMode {
        bool manual = false;
    };
    const std::optional<OpenWrite> &writeModeLeftOpen() const { return leftOpen_; }
    // The window's side of a write operation.
    bool confirm(const QString &text) override;
    void notify(const QString &text) override;
    void rejectInput() override;
    void reportError(const QString &text) override;
    void reportNoAnswer() override;
    bool manualMode() const override;
    std::optional<QString> runFullRead() override;
    void showConversionError(const QString &message) override;
    void setWindowEnabled(bool enabled) override;
    bool stillSameController() override;
    void loseController() override;
    void writeModeOpening() override;
    void writeModeEnded(WriteModeEnd end, const QStringList &sent) override;

    // Device data: the full read and the poll (TMainFormData.cpp).
    // FullRead leaves the conversion error that ended it unshown: one error
    // is shown once, by the operation that started the read.
    // `since`: the link's generation before a write whose read-back this is.
    FullRead::Result FullRead(std::optional<quint64> since = std::nullopt);
    void TimerTimer();
    void requestStatus();

    // Receipt preview and its editing (ui/TMainFormReceipt.cpp).
    void Edit1Change();
    void Edit2Change();
    void Edit3Change();
    void ComboBox1Change(); // all six magnification boxes
    void xxxxxxxxChange();
    void ScrImgResize();
    // The connect relayout, after the full read. Shows a conversion error
    // with the application's error display and then returns false.
    bool RefreshReceiptPreview();
    // Comment line colours: black once the full read has read line 1..3,
    // grey again when the connection closes.
    void setReceiptLineRead(int line);
    void setReceiptLinesUnread();

    // Device link, data and where the settings came from, reachable by the
    // tests as by the handlers. The link is read here only while no
    // sequence runs on the line.
    DeviceLink &link() { return line_.link(); }
    LineThread &line() { return line_; }
    DeviceData &data() { return data_; }
    ValueOrigins &origins() { return origins_; }
    // The controller of the current (or last) connection.
    const ControllerIdentity &identity() const { return identity_; }
    // The device went away under the connection, the line went dead, or
    // it had a gap after which another controller may answer; the window
    // waits for an answer under the same number and then connects to it
    // afresh (version, full read), telling the operator when it is another.
    bool deviceLost() const { return deviceLost_; }
    // The column's price was read from a usable reply (an unread one shows
    // as an empty cell).
    bool priceRead(int column) const { return priceRead_[std::size_t(column)]; }
    // How often the window looks for the device again while it is lost.
    static constexpr int ReconnectIntervalMs = 1000;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormClose();
    // Every handler that talks to the controller runs its body through
    // here. While the window waits on the wire for one sequence, a request
    // from outside it (`again`) is carried out after that sequence ends, as
    // the blocked window once did with the events queued meanwhile; a
    // sequence the operator ended (切断, closing the window) unwinds to the
    // outermost handler, which closes the connection.
    void lineEntry(const std::function<void()> &body, std::function<void()> again = {});
    void sequenceCancelled();
    void runDeferred();
    // The body of a click on 接続/切断 once the line is free.
    void connectOrDisconnect();
    // While an operation, the search or the connection's read runs: the
    // status line says what, and the cursor shows busy over the window.
    class WorkShown {
    public:
        WorkShown(TMainForm &form, const QString &text);
        ~WorkShown();
        WorkShown(const WorkShown &) = delete;
        WorkShown &operator=(const WorkShown &) = delete;
    private:
        TMainForm &form_;
        QString text_;
    };
    // Steps of the disconnection; nothing is sent.
    void closeConnection();
    // The connection's steps once the probe has answered on the link's
    // port: version, full read, views, poll. `before` is the controller
    // this one replaces without the operator's doing (a device that came
    // back under the same number), to be told apart from it.
    void startConnection(const ControllerIdentity *before = nullptr);
    // The device is gone, the line dead, or a gap left it unknown who
    // answers: say so, keep the values shown, forget where they came from,
    // and look for the controller again.
    void loseDevice();
    void lookForDevice();
    // "COMn接続断" and why in the status line.
    void showLost();
    // An operation runs, or a box or the value dialog waits for the
    // operator: the poll holds its ticks, so that nothing reconnects under
    // an open box or between an operation's box and its commands.
    bool pollHeld() const;
    // Something runs: a handler that talks to the controller, an operation,
    // a wait on the line, or a box. A request that waited for the line is
    // carried out only once nothing does.
    bool lineBusy() const;
    // While one runs, the controls that would start a second operation
    // are off; they come back as they were unless the connection ended or
    // was lost meanwhile (which set them itself).
    class OperationRunning {
    public:
        explicit OperationRunning(TMainForm &form);
        ~OperationRunning();
        OperationRunning(const OperationRunning &) = delete;
        OperationRunning &operator=(const OperationRunning &) = delete;
    private:
        TMainForm &form_;
    };
    int operations_ = 0;
    // Raised whenever the connection the window stands for changes (made,
    // ended, lost): a click queued under one is dropped under the next.
    quint64 connectionEpoch_ = 0;
    // The change page's two buttons, once a full read of this connection
    // found automatic change in use.
    bool autoChangeButtons_ = false;
    // After a poll step: false (and the controller lost) when the device
    // went, or the line had a gap since the controller was last identified.
    bool lineStillOurs();
    void PageControlDrawTab(QPainter &canvas, int TabIndex, const QRect &Rect, bool Active);
    // Each control's enabled state from the connection's state: connected
    // and not lost, and whether an operation runs.
    void applyControlState();
    void showConnectButton(bool connected);

    // The full read's and the poll's views (TMainFormData.cpp).
    std::optional<QString> setReceiptText(int line, const QString &text) override;
    void setMagnificationIndex(int box, int index) override;
    void setCommentBlack(int line) override;
    void setIdentificationText(const QString &text) override;
    void fillViewsFromData();
    bool RefreshLiveValues();
    void copyToSettingsGrids();
    // The controls of the options group, in the order of the screen.
    std::array<QComboBox *, 6> optionBoxes() const;
    std::array<QLineEdit *, 3> receiptEdits() const;
    // X then Y of line 1, of line 2, of line 3.
    std::array<QComboBox *, 6> magnificationBoxes() const;

    // Cell drawing of the sales and settings grids.
    void SalesGridDrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool fixed);
    void TotalGrid1DrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool fixed);
    void OptGrid1DrawCell(StringGrid *Sender, QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool fixed);

    // Constructor steps that fill the grids with headings and row labels.
    void prepareSalesPage();
    void prepareChangePage();
    void prepareSettingsPage();
    void prepareReceiptPreview();
    // The operator's own choices and typing in the options group and the
    // change page, noted in origins_.
    void noteOperatorEdits();
    // At a connection after a restarting write: one box for what the
    // controller did not take.
    void showPendingProof();
    // Whether the controller connected now is the one the pending proof's
    // write went to: its texts, and figures that go on from those then.
    FigureContinuity::Verdict proofVerdict() const;
    // The box that another controller answers than `before`; `sameTexts`:
    // it reports the same texts, and only its figures tell it apart.
    QString anotherControllerText(const ControllerIdentity &before, bool sameTexts) const;
    // The read-back after a write that keeps the connection; a conversion
    // error or a silent line that ended it is shown once. The result when
    // it completed, so the views and the table show what the controller
    // reports.
    std::optional<FullRead::Result> readBack(quint64 since);
    // The counter clear; `unrecordedAgreed`: the operator already chose to
    // clear counts the journal cannot keep (it starts afresh after that
    // answer, with its checks, but without asking twice).
    void runCounterClear(bool unrecordedAgreed);
    // A price the controller may or may not hold: shown unknown.
    void showPriceUnknown(int row);
    // Write mode: kept before "QVU1" (the journal, and this run's own
    // record), and how it ended. A write that may have left it open is
    // kept in leftOpen_, and the operator is told with the next box.
    void openingWriteMode(const QString &operation, const QString &detail, int column, bool manual);
    void endingWriteMode(WriteModeEnd end, const QStringList &sent = {});
    void showWriteModeNote();
    // At a connection, before the full read: a write left in write mode on
    // this controller (this run, or one that ended before closing it) is
    // closed with "QVU0"; the write, to be told once the read is done.
    std::optional<OpenWrite> closeLeftWriteMode(const TransactResult &version);
    QString leftWriteModeText(const OpenWrite &w) const;

    // Recording into the journal (TMainFormJournal.cpp). Each does nothing
    // without a journal; a journal that fails is reported once.
    void prepareJournal();
    // `sameVisit`: a check after a gap found the same controller.
    void recordConnectionReading(const FullRead::Result &read, bool sameVisit = false);
    // A controller that may be more than one named machine: the technician
    // says which (0: none of them, or not asked).
    qint64 askWhichMachine(const FullRead::Result &read);
    // The history window's request to write `identification` into the
    // controller of named machine `machine`, through the options write.
    void bindIdentification(qint64 machine, const QByteArray &identification);
    void recordReadBack(const FullRead::Result &read);
    void recordDisconnectReading();
    // Whether to clear counts the journal cannot keep; the controller is
    // checked again after the answer.
    bool askClearUnrecorded();
    // The counts read in write mode just before "QVZ0"; false when they
    // could not be kept (the clear then stops, leaves write mode and asks).
    bool recordBeforeClear(const std::optional<LivePoll::Counters> &counts);
    // The counts read at once after "QVZ0".
    void recordClearOutcome(const std::optional<LivePoll::Counters> &after);
    // A price write kept before it is sent, then completed by its read-back.
    qint64 recordPriceIntent(int row, std::int32_t before, std::int32_t sent);
    void recordPriceWrite(qint64 intent, int row, const std::optional<FullRead::Result> &readBack);
    // The journal's event id of the write, 0 when nothing was kept.
    qint64 recordRestartingWrite(const QString &kind, const WriteProof::SentSettings &sent);
    void showJournalNotice();

    Ui::TMainForm *ui;
    ReceiptPreview *receipt_ = nullptr;
    // The serial line on its own thread; the views and the host as a
    // sequence on it reaches them.
    LineThread line_;
    FullReadViewOnWindow viewOnWindow_{line_, *this};
    OperationHostOnWindow hostOnWindow_{line_, *this};
    std::deque<std::function<void()>> afterLine_;   // requests waiting for the line
    QTimer *afterLineTimer_ = nullptr;
    int entries_ = 0;               // handlers running that talk to the controller
    bool closeAfterLine_ = false;   // closed while a sequence ran
    DeviceData data_;
    // The counts and total as the grids show them last: the end of a visit
    // keeps these, not the table, which a refresh or read that the window
    // then doubts may have moved without showing it.
    DeviceData shownFigures_;
    qint64 shownAt_ = 0;   // when they were read, seconds since the epoch
    void showFigures();
    // The figures shown last, with the prices read, for telling whether a
    // controller that answers later goes on from them.
    FigureContinuity::Figures figuresShown() const;
    // Where the settings values in the controls came from since connecting.
    ValueOrigins origins_;
    // What the last write that restarted the controller sent, and to which
    // controller, until a connection to that controller has compared it
    // with what it reports. Kept for this run of the program only.
    struct PendingProof {
        WriteProof::SentSettings sent;
        ControllerIdentity writtenTo;
        qint64 journalEvent = 0;   // the journal's record of the write, 0: none
        FigureContinuity::Figures figures;   // the controller's when written to
    };
    std::optional<PendingProof> pendingProof_;
    // After a restarting write of this journal kind: the proof to come, and
    // the write in the journal.
    void keepProof(const QString &kind, const WriteProof::SentSettings &sent);
    // The journal's record of a restarting write, made before it was sent.
    void aboutToWrite(const WriteProof::SentSettings &sent) override;
    std::optional<OpenWrite> writeMode_;   // the write running, from its "QVU1"
    std::optional<OpenWrite> leftOpen_;
    QString writeModeNote_;                // for the next box
    QString intentDetail_;     // what the restarting write running writes
    QString intentKind_;       // the journal kind of the write running
    qint64 intentEvent_ = 0;   // its record, 0: none
    ControllerIdentity identity_;
    bool deviceLost_ = false;
    QTimer *reconnect_ = nullptr;
    TDataSetDialog *dataSetDialog_ = nullptr;

    std::array<QPixmap, 7> LampBitmap;
    std::array<int, 20> OutputSignalState{};
    int HoverLampRow = -1;

    // Change page and I/O port panel: hidden, yet built and handled.
    void connectChangePage();
    void CoinGridDrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool fixed);
    void TotalGrid2DrawCell(QPainter &canvas, int ACol, int ARow, const QRect &Rect, bool fixed);
    void CoinGridSelectCell(int ACol, int ARow);
    void SendCoinBtnClick();
    void EarnBtnClick();
    void drawIoPanel();
    void resetIoPanelMode();
    void drawInputLamp(int row, bool hovered);
    void PanelModeChange();
    void Image1MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void Image1MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

    QTimer *Timer = nullptr;
    int PollTickCount = 0;
    // The link's generation when the controller was last identified and
    // read in full, and when the last box or the value dialog opened.
    quint64 generation_ = 0;
    quint64 generationAtBox_ = 0;
    std::bitset<16> priceRead_;

    // While the full read sets a receipt text, the relayout its handler runs
    // leaves a conversion error here instead of showing it.
    std::optional<QString> *relayoutError_ = nullptr;
    Journal *journal_ = nullptr;
    JournalWindow *journalWindow_ = nullptr;
    QPushButton *journalButton_ = nullptr;
    QLabel *journalState_ = nullptr;
    bool journalConnected_ = false;  // a connection's reading was recorded
    qint64 clearEvent_ = 0;          // the counter clear awaiting its read-back
    bool searching_ = false; // a search is running inside ConBtnClick
};
