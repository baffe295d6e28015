#pragma once

#include "logbook/LogbookEntry.h"

#include <QMainWindow>
#include <memory>

namespace Ui {
class LogbookWindow;
}
class LogbookModel;
class PilotLogbook;
class HoursChart;
class QUndoStack;

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

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void initActionsConnections();
    void chooseReportsToImport();
    void chooseExportFile();
    void filterChanged();
    void refreshChoices();
    void refreshSummaries();
    void refreshProblem();
    void onRecorded(const LogbookEntry &entry);
    void fitProblemArea();
    void setStatus(const QString &text);

    std::unique_ptr<Ui::LogbookWindow> ui;
    PilotLogbook *m_logbook;
    LogbookModel *m_model;
    QUndoStack *m_undo;
    HoursChart *m_chart = nullptr;
    bool m_cancelImport = false;
    bool m_importing = false;
};
