#pragma once
// The machine journal: every reading of a controller and every write to
// it, kept between runs in one SQLite database. Recording never stops the
// utility: a journal that cannot be opened or written is "not kept", the
// window says so once, and the utility goes on without it.
#include "device/ControllerIdentity.h"
#include "device/DeviceData.h"
#include "device/FigureContinuity.h"
#include "device/LivePoll.h"
#include "device/ValueOrigins.h"
#include "device/WriteProof.h"
#include "journal/JournalEvent.h"
#include "journal/JournalLock.h"
#include "journal/SalesHistory.h"

#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <algorithm>
#include <bitset>
#include <functional>
#include <optional>

class Journal {
public:
    // The schema this build writes; older journals are migrated up to it.
    static constexpr int SchemaVersion = 4;
    // How long a write waits for another instance's write to finish.
    static constexpr int BusyTimeoutMs = 1500;

    Journal();
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // $XDG_DATA_HOME/quvo-utility/journal.sqlite as QStandardPaths finds it.
    static QString defaultPath();

    // Opens `path`, creating it and its directory (0700, file 0600) when
    // missing. A damaged file is moved aside under a name carrying the
    // time, a new journal started in its place and every row that can
    // still be read copied into it. False: not kept.
    bool open(const QString &path);
    void close();

    bool ok() const { return ok_; }
    // Open for reading only (read-only media): shown and exported, not kept.
    bool readOnly() const { return readOnly_; }
    QString path() const { return path_; }
    // The network file system the journal is on ("NFS", "CIFS"...), where
    // it is read but never recorded into; empty on a local one.
    QString networkFileSystem() const { return networkFileSystem_; }
    // The name of a file system statfs reports as `type` when it is one
    // whose locks SQLite cannot trust, else empty.
    static QString networkFileSystemName(qint64 type);
    static QString networkFileSystemOf(const QString &dir);
    // Why the journal is not kept, for the status line.
    QString problem() const { return problem_; }
    // Where a damaged journal was moved, when one was, and what of it was
    // copied into the new journal.
    QString setAsidePath() const { return setAside_; }
    struct Salvage {
        int events = 0;             // events copied, with their ids, visits and machines
        int items = 0;              // their values
        int machines = 0;           // named machines copied with their names
        int unnamedMachines = 0;    // machines whose events were copied but not their names
        int unreachedEvents = 0;    // events of the damaged file that could not be read
        bool unreachedExact = true; // false: estimated from the ids handed out
        bool failed = false;        // the copy failed: the new journal holds none of it
        QString failure;            // why, in SQLite's words
    };
    const Salvage &salvaged() const { return salvage_; }
    // The box that says what became of a damaged journal; empty when none was.
    QString salvageNotice() const;
    // The status-line text that the journal is not kept: once per run, at
    // the first time it is asked after the journal failed.
    std::optional<QString> takeNotKeptNotice();

    // Where the times of events come from: the system's clock unless set
    // (tests move it on by days between visits).
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // The technician whose events this journal records: kept in the
    // journal, asked once in the window, changeable.
    QString technician();
    bool setTechnician(const QString &name);

    // Adds every event of the journal at `other` (opened read-only, never
    // changed) that this one lacks, in one transaction; machines are
    // matched by asset number. What happened, for the box and the command.
    struct MergeReport {
        int added = 0;          // events
        int alreadyHere = 0;    // events this journal had
        int machinesAdded = 0;
        QStringList conflicts;  // for the office to decide
        QString error;          // set when nothing was merged
    };
    MergeReport mergeFrom(const QString &other);

    // One event in one transaction; the time is filled in when empty.
    // Returns the event's id, 0 when it could not be kept. The first event
    // kept after some were not is preceded by a gap event that counts them.
    qint64 record(JournalEvent event);
    // Sets `reported` of the event's items by name, in one transaction.
    bool recordOutcome(qint64 eventId, const QList<JournalItem> &reported);

    // What the window hands over, as plain values.
    // A full read: the values of `data` that `read` marks as read from a
    // usable reply (all when it is null), the settings texts as `settings`
    // noted them read; a value not read is recorded as not recorded.
    // `countsOnly`: the counts and total the poll last refreshed.
    qint64 recordReading(const ControllerIdentity &identity, const DeviceData &data,
                         const ValueOrigins *settings, bool countsOnly = false,
                         const std::bitset<Slot::Count> *read = nullptr);
    // Just before the clear is sent: the counts read afresh.
    qint64 recordCounterClear(const ControllerIdentity &identity, const LivePoll::Counters &before);
    // The clear's read-back.
    bool recordClearOutcome(qint64 eventId, const DeviceData &readBack,
                            const std::bitset<Slot::Count> *read = nullptr);
    // A price write: the price before it, sent, and reported by the
    // read-back (nothing when the read-back did not complete).
    qint64 recordPrice(const ControllerIdentity &identity, int column, qint64 before, qint64 sent,
                       std::optional<qint64> reported);
    // A restarting write (settings or standard counts): what each setting
    // was read as before and what was sent; the controller reports back at
    // the next connection (recordSettingsOutcome).
    qint64 recordSettingsWrite(const QString &kind, const ControllerIdentity &identity,
                               const WriteProof::SentSettings &sent, const ValueOrigins &before);
    bool recordSettingsOutcome(qint64 eventId, const WriteProof::SentSettings &sent, const ValueOrigins &now);

    // Write mode about to be opened by the write of journal kind `operation`
    // (`detail`: what it writes, in the window's words); `manual`: the I/O
    // panel keeps it open on purpose, and nothing closes it later.
    // `column`: the price's column 0-15, -1 for other writes.
    qint64 recordWriteModeOpened(const ControllerIdentity &identity, const QString &operation,
                                 const QString &detail, int column, bool manual);
    // How it ended (WriteMode::endName), and what the write had sent by then.
    bool recordWriteModeEnded(qint64 eventId, const QString &how, const QString &sent = QString());
    struct OpenWriteMode {
        qint64 event = 0;
        QString time;
        QByteArray identification;
        QByteArray version;
        QString operation;
        QString detail;
        int column = -1;
        QString sent;
        // The figures last read in its visit before it: the controller
        // found in write mode later must go on from them.
        std::optional<FigureContinuity::Figures> figures;
    };
    // Write modes opened and never known closed, the latest first: a write
    // cut off by a dead line, a vanished device or the program's end.
    QList<OpenWriteMode> openWriteModes();

    // Visits: the connection's reading starts one (`sameMachineAs`: an
    // event of the same controller before this utility changed its
    // identification), the disconnection ends it. The visit's events go
    // with a named machine when its identity is that of exactly one and its
    // total goes on from that machine's; otherwise, when its total fell
    // with no clear recorded or two machines claim it, it is kept apart.
    // `machine`: the named machine the technician said it is.
    void startVisit(qint64 sameMachineAs = 0, qint64 machine = 0);
    void endVisit();
    // A check after a gap found the same controller: the next reading goes
    // on in the visit that ended at the gap. False when none had.
    bool resumeVisit();
    // The named machine of the visit under way, 0 for none.
    qint64 currentMachine() const { return visit_ != 0 ? visitMachine_ : 0; }

    // Machines the technician names, and the histories put with them.
    qint64 nameMachine(const QString &asset, const QString &location);
    bool renameMachine(qint64 machine, const QString &asset, const QString &location);
    QList<JournalController> machines();
    bool assign(const JournalController &history, qint64 machine);
    // Moves one visit's events to `machine` (0: out to a history of its
    // own), and records the move with the visit. Other visits stay.
    bool moveVisit(qint64 visit, qint64 machine);

    // A named machine a connection may be: how the figures read now go on
    // from its last, and what those were.
    struct Candidate {
        qint64 machine = 0;
        QString asset;
        QString location;
        FigureContinuity::Verdict verdict = FigureContinuity::Verdict::Unknown;
        QString lastTime;                 // of its last reading
        std::optional<qint64> lastTotal;
    };
    // The named machines that report this identity and whose figures do
    // not rule the reading out: more than one, and the technician is asked.
    QList<Candidate> candidates(const ControllerIdentity &identity, const DeviceData &data,
                                const std::bitset<Slot::Count> *read = nullptr);

    // Reading back. The histories: named machines first, then controllers
    // by identity, then visits kept apart.
    QList<JournalController> controllers();
    // The events of one controller, or of all when `only` is null, in the
    // order recorded; with their items when asked.
    QList<JournalEvent> events(const JournalController *only, bool withItems = false);
    QList<JournalItem> items(qint64 eventId);
    // The events of one controller that carry counts, with only their
    // counts, total and prices.
    QList<JournalEvent> countEvents(const JournalController &only);
    // Who made the history's last reading (empty: not recorded).
    QString lastTechnician(const JournalController &history);
    // Its writes never confirmed: a write mode that may be open, a price
    // whose read-back never reported it.
    QList<qint64> unconfirmedWrites(const JournalController &history);
    // The same as the sales arithmetic takes them, read at once.
    QList<SalesHistory::CountPoint> countPoints(const JournalController &only);
    // CSV of one history or of all to `out`, of one visit only when
    // `visit` is not 0; false with `error` set.
    bool exportCsv(QIODevice &out, const JournalController *only, QString *error = nullptr, qint64 visit = 0);
    // The same to `file` (OutputFile: "-" standard output, a device or FIFO
    // written through, a file replaced only by a complete export), readable
    // by its owner alone (it holds the same sales as the journal); with a
    // UTF-8 byte-order mark first when `bom`, for spreadsheets that look for
    // one. Refused over the journal or beside it under its name.
    bool exportCsvTo(const QString &file, const JournalController *only, bool bom, QString *error = nullptr,
                     qint64 visit = 0);
    // A consistent copy of the whole journal in one file, while other
    // instances go on writing; owner-only like the journal. A file is
    // replaced only by a complete copy; standard output ("-"), a device or
    // a FIFO gets the copy's bytes.
    bool backupTo(const QString &file, QString *error = nullptr);
    // True when writing `file` would replace the journal at `journalPath`
    // or one of the files SQLite and the instances keep beside it.
    static bool isJournalFile(const QString &journalPath, const QString &file);

    // Item names of the settings fields ("option1", "line2", "identification",
    // "standard-count3").
    static QString settingName(ValueOrigins::Field f);

private:
    bool openAt(const QString &path);
    bool prepare();
    void failWith(const QSqlError &error);
    bool checkSound(bool *damaged);
    bool moveAside();
    bool migrate();
    bool fillControllerBytes();
    bool fillEventUids();
    qint64 insert(const JournalEvent &event);
    qint64 insertRows(const JournalEvent &event);
    void salvageAside();
    bool openReadOnly(const QString &reason = QString());
    void placeVisit(JournalEvent &e);
    struct Placing {
        qint64 machine = 0;
        FigureContinuity::Verdict verdict = FigureContinuity::Verdict::Unknown;
    };
    QList<Placing> namedPlacings(const JournalEvent &e);
    std::optional<FigureContinuity::Figures> lastFigures(const QString &where, const QVariantList &bind);
    FigureContinuity::Verdict judgeAgainst(const QString &where, const QVariantList &bind, const JournalEvent &reading);
    static void noteClearedElsewhere(JournalEvent &e);
    bool noteMachineIdentity(qint64 machine, const JournalEvent &e);
    bool noteLastIdentity(qint64 machine);
    JournalEvent readingEvent(const ControllerIdentity &identity, const DeviceData &data,
                              const ValueOrigins *settings, bool countsOnly, const std::bitset<Slot::Count> *read);
    static QString historyWhere(const JournalController &c, QVariantList *bind);
    bool exec(const QString &sql);
    void fail(const QString &why);
    bool begin();
    bool commit();
    void rollback();

    QString connection_;
    QString technician_;
    QString networkFileSystem_;
    QString path_;
    QString problem_;
    QString setAside_;
    bool ok_ = false;
    bool noticeGiven_ = false;
    bool busy_ = false;   // the last failure was another instance holding the file
    JournalLock lock_;
    int missed_ = 0;          // events not kept since the last one kept
    QString missedSince_;
    bool salvageDone_ = false;
    Salvage salvage_;
    bool readOnly_ = false;
    bool startingVisit_ = false;
    qint64 sameMachineAs_ = 0;
    qint64 visit_ = 0;            // the visit under way
    qint64 visitMachine_ = 0;
    bool visitApart_ = false;
    QByteArray visitIdentification_;
    QByteArray visitVersion_;
    qint64 chosenMachine_ = 0;
    std::function<QDateTime()> clock_;
    struct Visit {
        qint64 id = 0;
        qint64 machine = 0;
        bool apart = false;
        QByteArray identification;
        QByteArray version;
    };
    std::optional<Visit> endedVisit_;   // the visit a gap ended, until the next starts
    bool resumed_ = false;
};
