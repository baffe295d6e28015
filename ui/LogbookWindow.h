#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookFigures.h"

#include <QHash>
#include <QMainWindow>
#include <memory>

namespace Ui {
class LogbookWindow;
}
class LogbookFilter;
class LogbookModel;
class QAction;
class PilotLogbook;
class HoursChart;
class QUndoStack;
class QStringListModel;
class QTimer;

// The Logbook window: every flight of the pilot's logbook in one list with
// a year and glider filter and its totals, a table per year, the hours per
// month as a bar chart, and import, export, notes and delete (each undone
// with Edit, Undo; deleted flights can be brought back). It stays open
// beside the main window and follows the flights the main window reads.
// Of the logbook's troubles the main window shows only the note in its
// menu entry (followInMenu()): never a box or a status log line.
class LogbookWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit LogbookWindow(PilotLogbook *logbook, QWidget *parent = nullptr);
    ~LogbookWindow() override;

    // Shows the logbook's trouble in the main window's entry that opens
    // this window: the flights not kept in its text, the problem in its
    // tool tip, a warning icon; the entry stays usable.
    static void followInMenu(QAction *entry, PilotLogbook *logbook);

    // While the main window talks to the instrument, nothing here opens a
    // dialog or starts an import: a modal dialog would stall its waits.
    void setInstrumentBusy(bool busy);

    // The steps behind the buttons, without their file dialogs.
    void importFiles(const QStringList &files);
    bool exportTo(const QString &path);
    void deleteSelected();
    void restoreDeleted(const QList<qint64> &ids);
    // Renames an unusable file aside and starts a new logbook.
    void startNewLogbook();

    // The flights listed, as filtered and sorted.
    LogbookFilter *model() const { return m_shown; }
    QUndoStack *undoStack() const { return m_undo; }
    QString totalsText() const;

    // The steps behind the file and edit actions of the pilot logbook,
    // without their dialogs: the flights shown as pages to a PDF file, a
    // copy of the logbook, a backup put in its place (the pilot agreed),
    // the paper logbook's balance (undoable).
    bool savePdfTo(const QString &path);
    bool backUpTo(const QString &path);
    bool restoreFrom(const QString &path);
    void setOpeningBalance(const OpeningBalance &balance);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void initActionsConnections();
    void chooseReportsToImport();
    void chooseExportFile();
    void chooseDeletedToRestore();
    bool editNote(const LogbookEntry &entry, NoteField field, const QString &text);
    void flightsChanged();
    void filterChanged();
    // false when a year or glider chosen is gone (all are chosen then).
    bool refreshChoices();
    void refreshSummaries();
    void refreshProblem();
    // Sets every action's enabled state from the facts below.
    void updateActions();
    void fitProblemArea();
    void setStatus(const QString &text);

    std::unique_ptr<Ui::LogbookWindow> ui;
    PilotLogbook *m_logbook;
    LogbookModel *m_flights;
    LogbookFilter *m_shown;
    QUndoStack *m_undo;
    QAction *m_undoAction;
    QAction *m_redoAction;
    HoursChart *m_chart = nullptr;
    bool m_cancelImport = false;
    bool m_importing = false;
    bool m_instrumentBusy = false;
    bool m_waitingShown = false; // the status line says flights wait

    // The search and dates beside the filters, the figure panels (recency,
    // totals per year, glider and type) and the pages, PDF and backups.
    void initPanels();
    void searchChanged();
    bool isFiltered() const;
    // Whether the opening balance belongs with the flights shown: not when
    // a glider or a search picks some of them.
    bool balanceApplies() const;
    QString totalsLineText() const;
    void refreshFigureTables();
    void refreshRecency();
    void refreshBalance();
    void refreshGliderTypes();
    void updatePanelActions(bool dialogs, bool writable);
    // The printed pages of the flights shown, oldest first, and what they
    // bring forward: the paper logbook and, with a year or dates chosen,
    // every flight before them.
    QList<LogbookFigures::LogbookPage> shownPages() const;
    QString pilotNameShown() const;
    void chooseOpeningBalance();
    void printShown();
    void chooseSavePdf();
    void chooseBackupFile();
    void chooseRestoreFile();

    OpeningBalance m_balance;
    QHash<QString, QString> m_gliderTypes; // name -> type
    QTimer *m_midnight = nullptr;

    // Flights by hand, corrections and gliders (the Flight menu).
public:
    // The steps behind the Flight menu, without their dialogs; each is one
    // undoable step, false when the logbook refused it.
    bool addFlight(const LogbookEntry &entry);
    bool editFlight(const LogbookEntry &before, const LogbookEntry &after);
    bool setForSelected(NoteField field, const QString &text);
    bool applyGliders(const QList<Glider> &before, const QList<Glider> &after);

private:
    void initFlightActions();
    void updateFlightActions();
    void chooseFlightToAdd();
    void chooseFlightToEdit(const QModelIndex &index);
    void chooseGliderForSelected();
    void chooseSiteForSelected();
    // Asks for one glider or take-off site for the selected flights,
    // offering the names given as the pilot types.
    void askForSelected(NoteField field, const QString &title, const QString &label,
        const QString &accessibleName, const QStringList &offered);
    void editGliders();
    void refreshGliderNames();
    QList<LogbookEntry> selectedEntries() const;
    // The id a flight has now: undoing its adding and redoing it stores it
    // again under a new id, which the steps above it on the stack follow.
    qint64 currentId(qint64 id) const;

    QAction *m_addFlightAction = nullptr;
    QAction *m_editFlightAction = nullptr;
    QAction *m_setGliderAction = nullptr;
    QAction *m_setSiteAction = nullptr;
    QAction *m_glidersAction = nullptr;
    QStringListModel *m_gliderNames = nullptr;
    QHash<qint64, qint64> m_storedAgainAs;
};
