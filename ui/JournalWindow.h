#pragma once
// The journal's history: the machines it knows (named by the technician,
// or as the controller reports itself), and for one its events, the sales
// between two readings (by default its last visit against the visit
// before, or from one counter clear, where the cash was taken, to the
// next) as a table and a chart, the sales total across its readings,
// naming and assigning machines, and the export to CSV.
#include "device/ControllerIdentity.h"
#include "journal/JournalEvent.h"
#include "journal/SalesHistory.h"
#include "ui/JournalDisplay.h"

#include <QWidget>
#include <optional>

class Journal;
class QBarSet;
class QChartView;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QLineSeries;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

class JournalWindow : public QWidget {
    Q_OBJECT
public:
    explicit JournalWindow(Journal &journal, QWidget *parent = nullptr);

    // The option labels and item texts as the main window shows them.
    void setOptions(const JournalDisplay::Options &options) { options_ = options; }

    // Reads the journal afresh; `select` is the controller to show first
    // (the connected one: the history of its latest event), otherwise the
    // first known.
    void reload(const std::optional<ControllerIdentity> &select = std::nullopt);
    // Shows history `row` of the list.
    void showController(int row);
    // The two readings compared, as indexes into the history's points.
    void chooseReadings(int from, int to);
    // Compares the collection at clear point `clear` with the one before
    // it (the first reading when there is none).
    void chooseCollection(int clear);
    std::pair<int, int> chosenReadings() const;

    const QList<JournalController> &controllers() const { return controllers_; }
    const QList<SalesHistory::CountPoint> &points() const { return points_; }
    // The sales between the two chosen readings, as the table and chart show them.
    const SalesHistory::Sales &shownSales() const { return shown_; }

    // The CSV of the shown history, of all, or of the visit of the later
    // reading compared, to `file`; false with a box.
    enum class ExportScope { History, All, Visit };
    bool exportTo(const QString &file, ExportScope scope);
    // The audit file (EVA-DTS) of the shown machine's last reading.
    bool exportAuditTo(const QString &file);
    // The visit report (PDF) of the shown machine, of the two readings
    // compared; false with a box.
    bool writeReportTo(const QString &file);
    // The dialog that asks where to export, made on first use.
    QFileDialog *exportDialog();

    // Names the shown history's machine (or renames it); puts the shown
    // history with machine `machine`.
    // A named history's visit (the later reading compared) is moved to
    // `machine`, 0: out to a history of its own.
    bool nameShown(const QString &asset, const QString &location);
    bool assignShown(qint64 machine);
    // The visit a move takes: an apart history's own, else the later
    // reading's; 0 when none.
    qint64 shownVisit() const;
    // The shown machine shares its identification text with another named
    // one: after the box that says what it changes, asks the main window to
    // write `text` as its identification. False when refused or cancelled.
    bool bindShown(const QString &text);
    // The named machines other than the shown one that report its identity.
    QStringList twinsOfShown() const;

signals:
    void bindRequested(qint64 machine, const QByteArray &identification);

public:

    // Summary text of the comparison, with what fell and what is missing.
    static QString salesText(const SalesHistory::Sales &sales);

private:
    // After naming or assigning: the box when it was not written, else the
    // histories anew with the machine's selected.
    bool showMachine(bool written, qint64 machine);
    void ExportBtnClick(ExportScope scope);
    void DexBtnClick();
    void ReportBtnClick();
    // The export dialog for one kind of file, and back to the CSV after.
    bool askFile(const QString &title, const QString &filter, const QString &suffix, const QString &name,
                 QString *file);
    void NameBtnClick();
    void AssignBtnClick();
    void EventTreeExpand(QTreeWidgetItem *item);
    void updateSales();
    void updateTotalChart();
    QString historyText(const JournalController &c) const;

    Journal &journal_;
    JournalDisplay::Options options_;
    QList<JournalController> controllers_;
    QList<SalesHistory::CountPoint> points_;
    SalesHistory::Sales shown_;
    QListWidget *controllerList_;
    QTreeWidget *eventTree_;
    QComboBox *fromReading_;
    QComboBox *toReading_;
    QComboBox *collectionChoice_;
    QLabel *salesLabel_;
    QTableWidget *salesTable_;
    QChartView *salesChart_;
    QChartView *totalChart_;
    QBarSet *salesBars_ = nullptr;
    QLineSeries *totalLine_ = nullptr;
    QLineEdit *assetEdit_;
    QLineEdit *locationEdit_;
    QPushButton *nameButton_;
    QComboBox *machineChoice_;
    QPushButton *assignButton_;
    QPushButton *bindButton_;
    void BindBtnClick();
    QPushButton *exportVisit_;
    QPushButton *exportOne_;
    QPushButton *exportAll_;
    QPushButton *exportDex_;
    QPushButton *report_;
    QFileDialog *exportDialog_ = nullptr;
};
