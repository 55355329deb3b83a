#pragma once
// The journal's history: the controllers it knows and, for one, its events
// with their items, the sales per column between two chosen readings, the
// sales total across its readings, and the export to CSV.
#include "device/ControllerIdentity.h"
#include "journal/JournalEvent.h"
#include "journal/SalesHistory.h"

#include <QWidget>
#include <optional>

class Journal;
class QBarSet;
class QChartView;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineSeries;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class JournalWindow : public QWidget {
    Q_OBJECT
public:
    explicit JournalWindow(Journal &journal, QWidget *parent = nullptr);

    // Reads the journal afresh; `select` is the controller to show first
    // (the connected one), otherwise the first known.
    void reload(const std::optional<ControllerIdentity> &select = std::nullopt);
    // Shows controller `row` of the list.
    void showController(int row);
    // The two readings compared, as indexes into the controller's points.
    void chooseReadings(int from, int to);

    const QList<JournalController> &controllers() const { return controllers_; }
    const QList<SalesHistory::CountPoint> &points() const { return points_; }
    // The sales between the two chosen readings, as the chart shows them.
    const SalesHistory::Sales &shownSales() const { return shown_; }

    // The CSV of the shown controller, or of all, to `file`; false with a box.
    bool exportTo(const QString &file, bool all);
    // The dialog that asks where to export, made on first use.
    QFileDialog *exportDialog();

    // Summary text of the comparison, with what fell and what is missing.
    static QString salesText(const SalesHistory::Sales &sales);

private:
    void ExportBtnClick(bool all);
    void EventTreeExpand(QTreeWidgetItem *item);
    void updateSales();
    void updateTotalChart();

    Journal &journal_;
    QList<JournalController> controllers_;
    QList<SalesHistory::CountPoint> points_;
    SalesHistory::Sales shown_;
    QListWidget *controllerList_;
    QTreeWidget *eventTree_;
    QComboBox *fromReading_;
    QComboBox *toReading_;
    QLabel *salesLabel_;
    QChartView *salesChart_;
    QChartView *totalChart_;
    QBarSet *salesBars_ = nullptr;
    QLineSeries *totalLine_ = nullptr;
    QPushButton *exportOne_;
    QPushButton *exportAll_;
    QFileDialog *exportDialog_ = nullptr;
};
