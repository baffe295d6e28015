#pragma once

#include "logbook/LogbookEntry.h"

#include <QMainWindow>
#include <memory>

namespace Ui {
class LogbookWindow;
}
class LogbookModel;
class PilotLogbook;
class QBarSet;
class QBarCategoryAxis;
class QChart;
class QChartView;
class QUndoStack;
class QValueAxis;

// The Logbook window: every flight of the pilot's logbook in one list with
// a year and glider filter and its totals, a table per year, the hours per
// month as a bar chart, and import, export and delete (undone with
// Edit, Undo). It stays open beside the main window and follows the flights
// the main window reads. Nothing here ever shows in the main window.
class LogbookWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit LogbookWindow(PilotLogbook *logbook, QWidget *parent = nullptr);
    ~LogbookWindow() override;

    // Reads every flight from the logbook again and shows them.
    void reload();

    // The steps behind the buttons, without their file dialogs.
    void importFiles(const QStringList &files);
    bool exportTo(const QString &path);
    void deleteSelected();
    // Renames an unusable file aside and starts a new logbook.
    void startNewLogbook();

    LogbookModel *model() const { return m_model; }
    QUndoStack *undoStack() const { return m_undo; }
    QString totalsText() const;
    QString statusText() const;
    // The hours per month the chart shows now, January first.
    QList<double> chartHours() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void initActionsConnections();
    void btnImport_Click();
    void btnExport_Click();
    void filterChanged();
    void refreshChoices();
    void refreshSummaries();
    void refreshProblem();
    void onRecorded(const LogbookEntry &entry);
    void setStatus(const QString &text);
    void buildChart();

    std::unique_ptr<Ui::LogbookWindow> ui;
    PilotLogbook *m_logbook;
    LogbookModel *m_model;
    QUndoStack *m_undo;
    QChartView *m_chartView = nullptr;
    QChart *m_chart = nullptr;
    QBarSet *m_hours = nullptr;
    QBarCategoryAxis *m_months = nullptr;
    QValueAxis *m_hoursAxis = nullptr;
    bool m_cancelImport = false;
    bool m_importing = false;
};
