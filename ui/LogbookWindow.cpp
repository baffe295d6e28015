#include "ui/LogbookWindow.h"
#include "ui_LogbookWindow.h"

#include "export/SafeFile.h"
#include "link/DeviceMap.h"
#include "link/Waiter.h"
#include "logbook/LogbookBackup.h"
#include "logbook/LogbookExport.h"
#include "logbook/LogbookFigures.h"
#include "logbook/LogbookText.h"
#include "logbook/PilotLogbook.h"
#include "ui/DeletedFlightsDialog.h"
#include "ui/FlightDialog.h"
#include "ui/GlidersDialog.h"
#include "ui/HoursChart.h"
#include "ui/LogbookFilter.h"
#include "ui/LogbookModel.h"
#include "ui/LogbookPrint.h"
#include "ui/OpeningBalanceDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCompleter>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QSet>
#include <QStringListModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>

namespace {

// A change of the logbook the pilot made, done already when it is pushed:
// undo and redo ask the logbook, and the list follows the logbook's
// signals. A change the logbook refuses leaves the stack (the window shows
// the logbook's problem).
class LogbookChange : public QUndoCommand
{
public:
    LogbookChange(const QString &text, std::function<bool()> forward, std::function<bool()> back)
        : m_forward(std::move(forward))
        , m_back(std::move(back))
    {
        setText(text);
    }
    void redo() override
    {
        if (std::exchange(m_pushed, false))
            return;
        if (!m_forward())
            setObsolete(true);
    }
    void undo() override
    {
        if (!m_back())
            setObsolete(true);
    }

private:
    std::function<bool()> m_forward;
    std::function<bool()> m_back;
    bool m_pushed = true;
};

QString noteOf(const LogbookEntry &entry, NoteField field)
{
    switch (field) {
    case NoteField::Site:
        return entry.site;
    case NoteField::Glider:
        return entry.glider;
    case NoteField::LandingSite:
        return entry.landingSite;
    case NoteField::Notes:
        break;
    }
    return entry.notes;
}

QString flightsText(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 flight") : QStringLiteral("%1 flights").arg(n);
}

// The import's progress goes to the status line; Cancel, or closing the
// window, stops it at its next step.
class WindowEnvironment : public OperationEnvironment
{
public:
    WindowEnvironment(const bool &cancelled, std::function<void(const QString &)> show)
        : m_cancelled(cancelled)
        , m_show(std::move(show))
    {
    }
    bool isCancelled() const override { return m_cancelled || m_waiter.isCancelled(); }
    bool wait(int ms) override { return m_waiter.wait(ms); }
    void setProgressText(const QString &text) override
    {
        m_show(text);
        // Cancel must be clickable; every other action is off meanwhile.
        QCoreApplication::processEvents();
    }

private:
    const bool &m_cancelled;
    std::function<void(const QString &)> m_show;
    Waiter m_waiter;
};

// Where the file dialogs open: the reports folder at first, then the folder
// the pilot last chose a file in, for as long as the program runs.
QString &lastFolder()
{
    static QString folder;
    return folder;
}

QString dialogFolder()
{
    return lastFolder().isEmpty() ? DeviceMap::driveCFolder() : lastFolder();
}

void rememberFolder(const QString &file)
{
    lastFolder() = QFileInfo(file).absolutePath();
}

// The workbook is made in a folder of the program's own (0700), then its
// bytes replace the file chosen as every report is written: complete or
// not at all.
bool writeWorkbookReplacing(const QString &path, const QList<LogbookEntry> &entries)
{
    const QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/tolmera-reader-XXXXXX"));
    const QString built = scratch.filePath(QStringLiteral("logbook.xlsx"));
    QString placedAt;
    if (!scratch.isValid() || !LogbookExport::writeWorkbook(built, entries, &placedAt) || placedAt != built)
        return false;
    QFile file(built);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return bytes.size() == file.size() && SafeFile::write(path, bytes);
}

enum YearColumn { YearCol, FlightsCol, LaunchesCol, HoursCol, LongestCol, QneCol, YearColumns };

} // namespace

LogbookWindow::LogbookWindow(PilotLogbook *logbook, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::LogbookWindow>())
    , m_logbook(logbook)
    , m_flights(new LogbookModel(
          logbook, [this](const LogbookEntry &e, NoteField f, const QString &t) { return editNote(e, f, t); },
          this))
    , m_shown(new LogbookFilter(m_flights, this))
    , m_undo(new QUndoStack(this))
    , m_undoAction(new QAction(tr("&Undo"), this))
    , m_redoAction(new QAction(tr("&Redo"), this))
{
    ui->setupUi(this);
    setWindowFlag(Qt::Window);

    ui->tblFlights->setModel(m_shown);
    ui->tblFlights->sortByColumn(LogbookModel::Date, Qt::DescendingOrder);
    QHeaderView *header = ui->tblFlights->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    // Widths from the texts a column holds, not from measuring every row:
    // ten thousand rows would cost more than the window may take to open.
    const QFontMetrics fm = ui->tblFlights->fontMetrics();
    const int pad = fm.horizontalAdvance(QStringLiteral("MM"));
    for (int c = 0; c < LogbookModel::ColumnCount; ++c) {
        const QString widest = c == LogbookModel::Date ? QStringLiteral("8888-88-88")
            : c >= LogbookModel::Pilot                 ? QStringLiteral("MMMMMMMM")
                                                       : QStringLiteral("888888");
        int headerWidth = 0;
        for (const QString &line :
            m_flights->headerData(c, Qt::Horizontal).toString().split(QLatin1Char('\n')))
            headerWidth = qMax(headerWidth, fm.horizontalAdvance(line) + pad + pad / 2);
        ui->tblFlights->setColumnWidth(c, qMax(fm.horizontalAdvance(widest) + pad, headerWidth));
    }
    ui->tblFlights->verticalHeader()->setDefaultSectionSize(fm.height() + fm.height() / 2);
    ui->tblFlights->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->tblFlights->verticalHeader()->hide();

    ui->tblYears->setColumnCount(YearColumns);
    ui->tblYears->setHorizontalHeaderLabels({ tr("Year"), tr("Flights"), tr("Launches"), tr("Hours"),
        tr("Longest flight"), tr("Highest QNE max (m)") });
    ui->tblYears->verticalHeader()->hide();
    ui->tblYears->verticalHeader()->setDefaultSectionSize(fm.height() + fm.height() / 2);
    ui->tblYears->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    // Undo and Redo of our own: they also go grey while the logbook cannot
    // be written.
    m_undoAction->setShortcut(QKeySequence::Undo);
    m_redoAction->setShortcut(QKeySequence::Redo);
    ui->menuEdit->insertActions(ui->actionDelete, { m_undoAction, m_redoAction });
    ui->menuEdit->insertSeparator(ui->actionDelete);
    // Del deletes flights only from the list: in a cell being edited it
    // deletes a character.
    ui->actionDelete->setShortcutContext(Qt::WidgetShortcut);
    ui->tblFlights->addAction(ui->actionDelete);

    m_chart = new HoursChart(ui->chartHolder);
    ui->chartHolder->layout()->addWidget(m_chart);
    initActionsConnections();
    initPanels();
    initFlightActions();
    // Room for every column on a common screen; never larger than the
    // screen itself (a scaled one included).
    QSize size(1180, 720);
    if (const QScreen *screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
    flightsChanged();
    filterChanged();
    refreshProblem();
}

LogbookWindow::~LogbookWindow()
{
    // The undo stack says it is emptied while the children go; the actions
    // it would update are gone by then.
    m_undo->disconnect(this);
}

void LogbookWindow::initActionsConnections()
{
    connect(ui->btnImport, &QPushButton::clicked, this, &LogbookWindow::chooseReportsToImport);
    connect(ui->actionImport, &QAction::triggered, this, &LogbookWindow::chooseReportsToImport);
    connect(ui->btnExport, &QPushButton::clicked, this, &LogbookWindow::chooseExportFile);
    connect(ui->actionExport, &QAction::triggered, this, &LogbookWindow::chooseExportFile);
    connect(ui->btnDelete, &QPushButton::clicked, this, &LogbookWindow::deleteSelected);
    connect(ui->actionDelete, &QAction::triggered, this, &LogbookWindow::deleteSelected);
    connect(ui->actionDeleted, &QAction::triggered, this, &LogbookWindow::chooseDeletedToRestore);
    connect(ui->btnCancelImport, &QPushButton::clicked, this, [this] { m_cancelImport = true; });
    connect(ui->actionClose, &QAction::triggered, this, &QWidget::close);
    connect(ui->btnStartNew, &QPushButton::clicked, this, &LogbookWindow::startNewLogbook);
    connect(ui->cmbYear, &QComboBox::activated, this, &LogbookWindow::filterChanged);
    connect(ui->cmbGlider, &QComboBox::activated, this, &LogbookWindow::filterChanged);
    connect(m_undoAction, &QAction::triggered, m_undo, &QUndoStack::undo);
    connect(m_redoAction, &QAction::triggered, m_undo, &QUndoStack::redo);
    connect(m_undo, &QUndoStack::indexChanged, this, &LogbookWindow::updateActions);
    connect(m_undo, &QUndoStack::cleanChanged, this, &LogbookWindow::updateActions);

    // The list follows the logbook whoever changed it; the choices, the
    // totals, the years and the chart follow the list. Sorting changes
    // none of them.
    connect(m_flights, &QAbstractItemModel::rowsInserted, this, &LogbookWindow::flightsChanged);
    connect(m_flights, &QAbstractItemModel::rowsRemoved, this, &LogbookWindow::flightsChanged);
    connect(m_flights, &QAbstractItemModel::modelReset, this, &LogbookWindow::flightsChanged);
    connect(m_flights, &QAbstractItemModel::dataChanged, this, &LogbookWindow::flightsChanged);
    connect(m_logbook, &PilotLogbook::problemChanged, this, &LogbookWindow::refreshProblem);
}

void LogbookWindow::flightsChanged()
{
    // A year or a glider no longer in the logbook is no longer chosen.
    if (refreshChoices())
        refreshSummaries();
    else
        filterChanged();
}

bool LogbookWindow::refreshChoices()
{
    QSet<int> yearSet;
    QSet<QString> gliderSet;
    for (int r = 0; r < m_flights->rowCount(); ++r) {
        yearSet.insert(m_flights->figuresAt(r).year);
        gliderSet.insert(m_flights->entryAt(r).glider);
    }
    QList<int> years = yearSet.values();
    std::sort(years.begin(), years.end(), std::greater<int>());
    QStringList gliders = gliderSet.values();
    gliders.sort(Qt::CaseInsensitive);

    const QVariant year = ui->cmbYear->currentData();
    const QVariant glider = ui->cmbGlider->currentData();
    const QSignalBlocker blockYear(ui->cmbYear);
    const QSignalBlocker blockGlider(ui->cmbGlider);
    ui->cmbYear->clear();
    ui->cmbYear->addItem(tr("All years"), 0);
    for (const int y : years) {
        if (y != 0)
            ui->cmbYear->addItem(QString::number(y), y);
    }
    ui->cmbGlider->clear();
    ui->cmbGlider->addItem(tr("All gliders"), QVariant());
    for (const QString &g : gliders)
        ui->cmbGlider->addItem(g.isEmpty() ? tr("(no glider)") : g, g.isEmpty() ? QStringLiteral("") : g);
    // A choice that still exists stays chosen.
    const int y = ui->cmbYear->findData(year);
    const int g = glider.isValid() ? ui->cmbGlider->findData(glider) : 0;
    ui->cmbYear->setCurrentIndex(qMax(0, y));
    ui->cmbGlider->setCurrentIndex(qMax(0, g));
    return y >= 0 && g >= 0;
}

void LogbookWindow::filterChanged()
{
    const QVariant glider = ui->cmbGlider->currentData();
    m_shown->setFilter(ui->cmbYear->currentData().toInt(),
        glider.isValid() ? std::optional<QString>(glider.toString()) : std::nullopt);
    refreshSummaries();
}

void LogbookWindow::refreshSummaries()
{
    ui->lblTotals->setText(totalsLineText());

    const QList<LogbookText::FlightFigures> ofGlider = m_shown->figuresOfGlider();
    const QList<LogbookText::YearTotals> years
        = LogbookFigures::yearRows(ofGlider, balanceApplies() ? m_balance : OpeningBalance());
    ui->tblYears->setRowCount(int(years.size()));
    for (int r = 0; r < int(years.size()); ++r) {
        const LogbookText::YearTotals &t = years.at(r);
        const bool balance = !t.label.isEmpty();
        const QStringList cells { balance ? t.label
                : t.year                  ? QString::number(t.year)
                                          : tr("(no date)"),
            QString::number(t.flights), QString::number(t.launches), LogbookText::hoursText(t.minutes),
            balance ? QString() : LogbookText::hoursText(t.longestMinutes),
            t.highestQneMax ? QString::number(*t.highestQneMax) : QString() };
        for (int c = 0; c < YearColumns; ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            ui->tblYears->setItem(r, c, item);
        }
    }
    refreshFigureTables();

    // The chart counts what the list shows: the year, the glider, the
    // search and the dates chosen.
    if (m_shown->rowCount() == 0) {
        m_chart->showEmpty(m_flights->rowCount() == 0 ? tr("No flights in the logbook yet.")
                : m_shown->isSearching() ? tr("No flights of this year, glider, search and dates.")
                                         : tr("No flights of this year and glider."));
    } else {
        const int year = ui->cmbYear->currentData().toInt();
        QString title
            = tr("Hours per month, %1, %2").arg(ui->cmbYear->currentText(), ui->cmbGlider->currentText());
        const QString search = ui->txtSearch->text().trimmed();
        if (!search.isEmpty())
            title += tr(", \"%1\"").arg(search);
        if (ui->chkFrom->isChecked())
            title += tr(", from %1").arg(LogbookText::dateText(ui->dateFrom->date()));
        if (ui->chkTo->isChecked())
            title += tr(", to %1").arg(LogbookText::dateText(ui->dateTo->date()));
        m_chart->showMonths(LogbookText::minutesPerMonth(m_shown->shownFigures(), year), title);
    }
}

void LogbookWindow::refreshProblem()
{
    // A logbook that can only be read says why; a problem says what it is
    // and how many flights wait to be stored.
    QString problem = m_logbook->problemText();
    if (problem.isEmpty() && m_logbook->isReadOnly())
        problem = tr("This logbook can be read but not changed: %1").arg(m_logbook->readOnlyReason());
    ui->frameProblem->setVisible(!problem.isEmpty());
    ui->lblProblem->setText(problem);
    fitProblemArea();
    ui->btnStartNew->setVisible(!problem.isEmpty() && m_logbook->fileUnusable());
    const int waiting = m_logbook->waitingCount();
    if (waiting)
        setStatus(tr("%1 not kept yet: they wait to be stored until the logbook can be written.")
                      .arg(flightsText(waiting)));
    else if (m_waitingShown)
        setStatus(tr("The flights that waited are stored in the logbook now."));
    m_waitingShown = waiting > 0;
    updateActions();
}

void LogbookWindow::updateActions()
{
    const bool unusable = !m_logbook->problemText().isEmpty() && m_logbook->fileUnusable();
    const bool writable = !unusable && !m_logbook->isReadOnly() && !m_importing;
    // Nothing that opens a dialog while the main window waits for the
    // instrument: the dialog's own loop would hold up those waits.
    const bool dialogs = !m_instrumentBusy && !m_importing;
    for (QWidget *w : { static_cast<QWidget *>(ui->btnImport), static_cast<QWidget *>(ui->btnExport),
             static_cast<QWidget *>(ui->btnStartNew) })
        w->setEnabled(dialogs && (w != ui->btnImport || writable));
    ui->actionImport->setEnabled(dialogs && writable);
    ui->actionExport->setEnabled(dialogs);
    ui->actionDeleted->setEnabled(dialogs && writable);
    ui->btnDelete->setEnabled(writable);
    ui->actionDelete->setEnabled(writable);
    m_flights->setEditable(writable);
    m_undoAction->setEnabled(writable && m_undo->canUndo());
    m_undoAction->setText(m_undo->canUndo() ? tr("&Undo %1").arg(m_undo->undoText()) : tr("&Undo"));
    m_redoAction->setEnabled(writable && m_undo->canRedo());
    m_redoAction->setText(m_undo->canRedo() ? tr("&Redo %1").arg(m_undo->redoText()) : tr("&Redo"));
    ui->btnCancelImport->setVisible(m_importing);
    updatePanelActions(dialogs, writable);
    updateFlightActions();
}

void LogbookWindow::setInstrumentBusy(bool busy)
{
    m_instrumentBusy = busy;
    updateActions();
}

void LogbookWindow::followInMenu(QAction *entry, PilotLogbook *logbook)
{
    const QString caption = entry->text();
    const auto show = [entry, logbook, caption] {
        const int waiting = logbook->waitingCount();
        const QString problem = logbook->problemText();
        entry->setText(waiting ? tr("%1 (%2 not kept)").arg(caption, flightsText(waiting)) : caption);
        entry->setToolTip(problem.isEmpty() ? QString() : problem);
        entry->setStatusTip(entry->toolTip());
        entry->setIcon(
            problem.isEmpty() ? QIcon() : qApp->style()->standardIcon(QStyle::SP_MessageBoxWarning));
    };
    connect(logbook, &PilotLogbook::problemChanged, entry, show);
    for (QObject *menu : entry->associatedObjects()) {
        if (auto *m = qobject_cast<QMenu *>(menu))
            m->setToolTipsVisible(true);
    }
    show();
}

void LogbookWindow::fitProblemArea()
{
    // The message takes the lines it needs up to a few; a longer one
    // scrolls inside its area instead of making the window taller than the
    // screen.
    constexpr int kMostLines = 5;
    const QFontMetrics fm = ui->lblProblem->fontMetrics();
    const int width = ui->scrollProblem->viewport()->width();
    const int needed = ui->lblProblem->heightForWidth(width > 0 ? width : 400);
    ui->scrollProblem->setFixedHeight(qMin(needed, fm.lineSpacing() * kMostLines) + 2);
}

void LogbookWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    fitProblemArea();
}

void LogbookWindow::setStatus(const QString &text)
{
    ui->lblStatus->setText(text);
}

QString LogbookWindow::totalsText() const
{
    return ui->lblTotals->text();
}

void LogbookWindow::chooseReportsToImport()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Import reports"), dialogFolder(), tr("Text reports (*.txt);;All files (*)"));
    if (files.isEmpty())
        return;
    rememberFolder(files.first());
    importFiles(files);
}

void LogbookWindow::importFiles(const QStringList &files)
{
    if (m_importing)
        return;
    m_importing = true;
    m_cancelImport = false;
    updateActions();
    WindowEnvironment env(m_cancelImport, [this](const QString &text) { setStatus(text); });
    const PilotLogbook::ImportResult result = m_logbook->importReports(files, env);
    m_importing = false;
    updateActions();
    if (result.failed && result.added == 0 && result.alreadyThere == 0)
        setStatus(tr("Nothing imported: %1").arg(m_logbook->problemText()));
    else
        setStatus(PilotLogbook::importSummary(result));
}

void LogbookWindow::chooseExportFile()
{
    const QString workbook = tr("Workbook (*.xlsx)");
    const QString csv = tr("CSV (*.csv)");
    QFileDialog dialog(this, tr("Export logbook"), dialogFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({ workbook, csv });
    // The dialog adds the type's ending itself, so that the name it asks
    // about replacing is the name written.
    dialog.setDefaultSuffix(QStringLiteral("xlsx"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csv](const QString &filter) {
        dialog.setDefaultSuffix(filter == csv ? QStringLiteral("csv") : QStringLiteral("xlsx"));
    });
    dialog.selectFile(QStringLiteral("logbook.xlsx"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    rememberFolder(path);
    exportTo(path);
}

bool LogbookWindow::exportTo(const QString &path)
{
    const QList<LogbookEntry> shown = m_shown->shownEntries();
    // The file dialog asked before a file was replaced: the new file takes
    // the name the pilot chose, never "logbook (2).xlsx".
    const bool ok = path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)
        ? LogbookExport::writeCsv(path, shown)
        : writeWorkbookReplacing(path, shown);
    setStatus(ok
            ? tr("%1 written to %2").arg(flightsText(shown.size()), QDir::toNativeSeparators(path))
            : tr("Could not write %1: check that the folder exists, is writable and has room; nothing was "
                 "changed.")
                  .arg(QDir::toNativeSeparators(path)));
    return ok;
}

void LogbookWindow::deleteSelected()
{
    QList<qint64> ids;
    for (const QModelIndex &index : ui->tblFlights->selectionModel()->selectedRows())
        ids.append(m_shown->entryAt(index.row()).id);
    if (ids.isEmpty() || !ui->btnDelete->isEnabled() || !m_logbook->remove(ids))
        return;
    const auto idsNow = [this, ids] {
        QList<qint64> now;
        for (const qint64 id : ids)
            now.append(currentId(id));
        return now;
    };
    m_undo->push(new LogbookChange(
        tr("Delete %1").arg(flightsText(ids.size())), [this, idsNow] { return m_logbook->remove(idsNow()); },
        [this, idsNow] { return m_logbook->undelete(idsNow()); }));
    setStatus(
        tr("%1 deleted: Edit, Undo or Edit, Deleted flights brings them back.").arg(flightsText(ids.size())));
}

void LogbookWindow::restoreDeleted(const QList<qint64> &ids)
{
    if (ids.isEmpty() || !m_logbook->undelete(ids))
        return;
    PilotLogbook *logbook = m_logbook;
    m_undo->push(new LogbookChange(
        tr("Restore %1").arg(flightsText(ids.size())), [logbook, ids] { return logbook->undelete(ids); },
        [logbook, ids] { return logbook->remove(ids); }));
    setStatus(tr("%1 restored.").arg(flightsText(ids.size())));
}

void LogbookWindow::chooseDeletedToRestore()
{
    const auto deleted = m_logbook->deletedEntries();
    if (!deleted)
        return;
    DeletedFlightsDialog dialog(*deleted, this);
    if (dialog.exec() == QDialog::Accepted)
        restoreDeleted(dialog.chosenIds());
}

bool LogbookWindow::editNote(const LogbookEntry &entry, NoteField field, const QString &text)
{
    const qint64 id = entry.id;
    const QString before = noteOf(entry, field);
    if (!m_logbook->setNote(id, field, text))
        return false;
    const QString what = field == NoteField::Site ? tr("site")
        : field == NoteField::LandingSite         ? tr("landing site")
        : field == NoteField::Glider              ? tr("glider")
                                                  : tr("notes");
    m_undo->push(new LogbookChange(
        tr("Edit %1").arg(what),
        [this, id, field, text] { return m_logbook->setNote(currentId(id), field, text); },
        [this, id, field, before] { return m_logbook->setNote(currentId(id), field, before); }));
    return true;
}

void LogbookWindow::startNewLogbook()
{
    const QString aside = m_logbook->startNew();
    // What could be undone belonged to the old file.
    m_undo->clear();
    if (!aside.isEmpty())
        setStatus(tr("The old file is kept as %1; a new logbook has been started.")
                      .arg(QDir::toNativeSeparators(aside)));
    refreshProblem();
}

void LogbookWindow::closeEvent(QCloseEvent *event)
{
    // An import under way stops before its next file; the window stays
    // alive (the main window keeps it) until the import has unwound.
    m_cancelImport = true;
    event->accept();
}

// The pilot logbook's panels and actions: the search and the dates narrow
// the list like the year and the glider; recency follows every flight and
// the day; the tables of totals follow the list.
void LogbookWindow::initPanels()
{
    ui->dateFrom->setDate(QDate::currentDate().addYears(-1));
    ui->dateTo->setDate(QDate::currentDate());
    connect(ui->txtSearch, &QLineEdit::textChanged, this, &LogbookWindow::searchChanged);
    for (QCheckBox *limit : { ui->chkFrom, ui->chkTo })
        connect(limit, &QCheckBox::toggled, this, &LogbookWindow::searchChanged);
    for (QDateEdit *date : { ui->dateFrom, ui->dateTo })
        connect(date, &QDateEdit::dateChanged, this, &LogbookWindow::searchChanged);

    const QFontMetrics fm = fontMetrics();
    QStringList roles;
    for (int r = 0; r < kRoleCount; ++r)
        roles << LogbookText::roleText(PilotRole(r));
    ui->tblRecency->setColumnCount(kRoleCount + 1);
    roles << tr("All");
    for (int c = 0; c < int(roles.size()); ++c) {
        // A long role on two lines ("Passenger/" "tandem"), leaving the
        // chart beside the table its room; read out on one.
        QString shown = roles.at(c);
        const int half = int(shown.size()) / 2;
        int cut = -1;
        for (int i = 0; i < shown.size(); ++i) {
            if ((shown.at(i) == QLatin1Char(' ') || shown.at(i) == QLatin1Char('/'))
                && (cut < 0 || qAbs(i - half) < qAbs(cut - half)))
                cut = i;
        }
        if (shown.size() > 10 && cut > 0)
            shown = shown.at(cut) == QLatin1Char(' ') ? shown.replace(cut, 1, QLatin1Char('\n'))
                                                      : shown.insert(cut + 1, QLatin1Char('\n'));
        auto *head = new QTableWidgetItem(shown);
        head->setData(Qt::AccessibleTextRole, roles.at(c));
        ui->tblRecency->setHorizontalHeaderItem(c, head);
    }
    ui->tblRecency->setRowCount(3);
    ui->tblRecency->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tblRecency->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tblGliders->setColumnCount(5);
    ui->tblGliders->setHorizontalHeaderLabels(
        { tr("Glider"), tr("Type"), tr("Flights"), tr("Launches"), tr("Hours") });
    ui->tblGliderTypes->setColumnCount(4);
    ui->tblGliderTypes->setHorizontalHeaderLabels({ tr("Type"), tr("Flights"), tr("Launches"), tr("Hours") });
    for (QTableWidget *table : { ui->tblGliders, ui->tblGliderTypes }) {
        table->verticalHeader()->hide();
        table->verticalHeader()->setDefaultSectionSize(fm.height() + fm.height() / 2);
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    }

    // The list keeps most of the height; the panels below take what
    // their rows need.
    ui->splitter->setStretchFactor(0, 3);
    ui->splitter->setStretchFactor(1, 2);

    // Opening balance... sits with the other edits of the logbook.
    ui->menuEdit->addSeparator();
    ui->menuEdit->addAction(ui->actionOpeningBalance);
    connect(ui->actionOpeningBalance, &QAction::triggered, this, &LogbookWindow::chooseOpeningBalance);
    connect(ui->actionPrint, &QAction::triggered, this, &LogbookWindow::printShown);
    connect(ui->actionSavePdf, &QAction::triggered, this, &LogbookWindow::chooseSavePdf);
    connect(ui->actionBackUp, &QAction::triggered, this, &LogbookWindow::chooseBackupFile);
    connect(ui->actionRestore, &QAction::triggered, this, &LogbookWindow::chooseRestoreFile);
    for (QMenu *menu : { ui->menuFile, ui->menuEdit })
        menu->setToolTipsVisible(true);

    connect(m_flights, &QAbstractItemModel::rowsInserted, this, &LogbookWindow::refreshRecency);
    connect(m_flights, &QAbstractItemModel::rowsRemoved, this, &LogbookWindow::refreshRecency);
    connect(m_flights, &QAbstractItemModel::modelReset, this, &LogbookWindow::refreshRecency);
    connect(m_flights, &QAbstractItemModel::dataChanged, this, &LogbookWindow::refreshRecency);
    connect(m_logbook, &PilotLogbook::openingBalanceChanged, this, &LogbookWindow::refreshBalance);
    connect(m_logbook, &PilotLogbook::glidersChanged, this, &LogbookWindow::refreshGliderTypes);
    connect(m_logbook, &PilotLogbook::reset, this, [this] {
        refreshBalance();
        refreshGliderTypes();
    });
    // "As of today" turns over at midnight.
    m_midnight = new QTimer(this);
    m_midnight->setSingleShot(true);
    connect(m_midnight, &QTimer::timeout, this, &LogbookWindow::refreshRecency);

    m_balance = m_logbook->openingBalance().value_or(OpeningBalance());
    if (const auto gliders = m_logbook->gliders())
        m_gliderTypes = LogbookFigures::typesOfGliders(*gliders);
    refreshRecency();
}

void LogbookWindow::searchChanged()
{
    ui->dateFrom->setEnabled(ui->chkFrom->isChecked());
    ui->dateTo->setEnabled(ui->chkTo->isChecked());
    m_shown->setSearch(ui->txtSearch->text(), ui->chkFrom->isChecked() ? ui->dateFrom->date() : QDate(),
        ui->chkTo->isChecked() ? ui->dateTo->date() : QDate());
    refreshSummaries();
}

bool LogbookWindow::isFiltered() const
{
    return ui->cmbYear->currentData().toInt() != 0 || !balanceApplies() || m_shown->isSearching();
}

bool LogbookWindow::balanceApplies() const
{
    return !ui->cmbGlider->currentData().isValid() && ui->txtSearch->text().trimmed().isEmpty();
}

QString LogbookWindow::totalsLineText() const
{
    const QString shown = LogbookText::totalsLine(m_shown->rowCount(), m_shown->shownMinutes());
    if (m_balance.isEmpty() || isFiltered())
        return shown;
    const FlightTotals balance = m_balance.all();
    return tr("%1; %2 including the opening balance")
        .arg(shown,
            LogbookText::totalsLine(
                m_shown->rowCount() + balance.flights, m_shown->shownMinutes() + balance.minutes));
}

namespace {

// A row of a totals table: its name cells, then flights, launches and
// hours, the numbers to the right.
void setTotalsRow(QTableWidget *table, int row, const QStringList &names, const FlightTotals &t)
{
    const QStringList cells = names
        + QStringList { QString::number(t.flights), QString::number(t.launches),
              LogbookText::hoursText(t.minutes) };
    for (int c = 0; c < cells.size(); ++c) {
        auto *item = new QTableWidgetItem(cells.at(c));
        if (c >= names.size())
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, c, item);
    }
}

// "12 / 14 / 10:30" in the cell; the words with it for a screen reader and
// the tool tip.
QTableWidgetItem *recencyItem(const FlightTotals &t)
{
    auto *item = new QTableWidgetItem(
        QStringLiteral("%1 / %2 / %3").arg(t.flights).arg(t.launches).arg(LogbookText::hoursText(t.minutes)));
    const QString spoken = LogbookWindow::tr("%1, %2 launches, %3 hours")
                               .arg(flightsText(t.flights))
                               .arg(t.launches)
                               .arg(LogbookText::hoursText(t.minutes));
    item->setData(Qt::AccessibleTextRole, spoken);
    item->setToolTip(spoken);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

void LogbookWindow::refreshFigureTables()
{
    const QList<LogbookText::FlightFigures> shown = m_shown->shownFigures();
    const QMap<QString, FlightTotals> perGlider = LogbookFigures::totalsPerGlider(shown);
    ui->tblGliders->setRowCount(int(perGlider.size()));
    int row = 0;
    for (auto it = perGlider.cbegin(); it != perGlider.cend(); ++it, ++row)
        setTotalsRow(ui->tblGliders, row,
            { it.key().isEmpty() ? tr("(no glider)") : it.key(), m_gliderTypes.value(it.key()) }, it.value());
    const QMap<QString, FlightTotals> perType = LogbookFigures::totalsPerGliderType(shown, m_gliderTypes);
    ui->tblGliderTypes->setRowCount(int(perType.size()));
    row = 0;
    for (auto it = perType.cbegin(); it != perType.cend(); ++it, ++row)
        setTotalsRow(
            ui->tblGliderTypes, row, { it.key().isEmpty() ? tr("(no type)") : it.key() }, it.value());
}

void LogbookWindow::refreshRecency()
{
    const QDate today = QDate::currentDate();
    QList<LogbookText::FlightFigures> every;
    every.reserve(m_flights->rowCount());
    for (int r = 0; r < m_flights->rowCount(); ++r)
        every.append(m_flights->figuresAt(r));
    const QList<LogbookFigures::RecencyWindow> windows = LogbookFigures::recency(every, today);
    ui->tblRecency->setRowCount(int(windows.size()));
    QStringList labels;
    for (int r = 0; r < int(windows.size()); ++r) {
        const LogbookFigures::RecencyWindow &w = windows.at(r);
        labels << w.label;
        for (int c = 0; c < kRoleCount; ++c)
            ui->tblRecency->setItem(r, c, recencyItem(w.byRole.at(c)));
        ui->tblRecency->setItem(r, kRoleCount, recencyItem(w.all));
    }
    ui->tblRecency->setVerticalHeaderLabels(labels);
    const QString asOf = tr("Recency as of %1").arg(LogbookText::dateText(today));
    ui->groupRecency->setTitle(tr("%1 (flights / launches / hours)").arg(asOf));
    ui->tblRecency->setAccessibleName(asOf);
    // The table shows every cell whole, without scroll bars.
    QTableWidget *table = ui->tblRecency;
    table->resizeColumnsToContents();
    int height = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
    for (int r = 0; r < table->rowCount(); ++r)
        height += table->rowHeight(r);
    table->setFixedHeight(height);
    int width = table->verticalHeader()->sizeHint().width() + 2 * table->frameWidth();
    for (int c = 0; c < table->columnCount(); ++c)
        width += table->columnWidth(c);
    table->setMinimumWidth(width);

    m_midnight->start(
        int(qMin<qint64>(QTime::currentTime().msecsTo(QTime(23, 59, 59, 999)) + 1000, 86'400'000)));
}

void LogbookWindow::refreshBalance()
{
    m_balance = m_logbook->openingBalance().value_or(OpeningBalance());
    refreshSummaries();
}

void LogbookWindow::refreshGliderTypes()
{
    const auto gliders = m_logbook->gliders();
    m_gliderTypes = gliders ? LogbookFigures::typesOfGliders(*gliders) : QHash<QString, QString>();
    refreshFigureTables();
}

void LogbookWindow::updatePanelActions(bool dialogs, bool writable)
{
    const bool readable = !(!m_logbook->problemText().isEmpty() && m_logbook->fileUnusable());
    // Pages and PDF files only read the list; a backup reads the file;
    // a restore and a balance write it.
    ui->actionPrint->setEnabled(dialogs);
    ui->actionSavePdf->setEnabled(dialogs);
    ui->actionBackUp->setEnabled(dialogs && readable);
    ui->actionRestore->setEnabled(dialogs && !m_logbook->isReadOnly());
    ui->actionOpeningBalance->setEnabled(dialogs && writable);
}

void LogbookWindow::setOpeningBalance(const OpeningBalance &balance)
{
    const OpeningBalance before = m_balance;
    if (balance == before || !m_logbook->setOpeningBalance(balance))
        return;
    PilotLogbook *logbook = m_logbook;
    m_undo->push(new LogbookChange(
        tr("Opening balance"), [logbook, balance] { return logbook->setOpeningBalance(balance); },
        [logbook, before] { return logbook->setOpeningBalance(before); }));
    setStatus(balance.isEmpty()
            ? tr("No opening balance: the totals count this logbook's flights alone.")
            : tr("Opening balance before %1: %2.")
                  .arg(LogbookText::dateText(balance.asOf),
                      LogbookText::totalsLine(balance.all().flights, balance.all().minutes)));
}

void LogbookWindow::chooseOpeningBalance()
{
    QDate first;
    for (int r = 0; r < m_flights->rowCount(); ++r) {
        const QDate d = m_flights->entryAt(r).flight.date;
        if (d.isValid() && (!first.isValid() || d < first))
            first = d;
    }
    OpeningBalanceDialog dialog(m_balance, first, this);
    if (dialog.exec() == QDialog::Accepted)
        setOpeningBalance(dialog.balance());
}

QList<LogbookFigures::LogbookPage> LogbookWindow::shownPages() const
{
    const QList<LogbookEntry> shown = m_shown->shownEntries();
    OpeningBalance forward;
    if (balanceApplies()) {
        forward = m_balance;
        // With a year or dates chosen, the first page brings forward every
        // flight of the logbook before the first one printed.
        QDate first;
        for (const LogbookEntry &e : shown) {
            if (e.flight.date.isValid() && (!first.isValid() || e.flight.date < first))
                first = e.flight.date;
        }
        if (first.isValid() && isFiltered()) {
            QList<LogbookText::FlightFigures> before;
            for (int r = 0; r < m_flights->rowCount(); ++r) {
                if (m_flights->figuresAt(r).date.isValid() && m_flights->figuresAt(r).date < first)
                    before.append(m_flights->figuresAt(r));
            }
            forward.byRole = LogbookFigures::totalsPerRole(before, m_balance);
            forward.asOf = first;
        }
    }
    return LogbookFigures::pages(shown, LogbookFigures::kFlightsPerPage, forward);
}

QString LogbookWindow::pilotNameShown() const
{
    // The name of the newest flight shown that has one.
    QString name;
    QDate newest;
    for (int r = 0; r < m_shown->rowCount(); ++r) {
        const LogbookEntry &e = m_shown->entryAt(r);
        if (!e.pilot.trimmed().isEmpty() && (name.isEmpty() || e.flight.date > newest)) {
            name = e.pilot.trimmed();
            newest = e.flight.date;
        }
    }
    return name;
}

void LogbookWindow::printShown()
{
    const QList<LogbookFigures::LogbookPage> pages = shownPages();
    const QString pilot = pilotNameShown();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(tr("Pilot logbook"));
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(tr("Print the logbook"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
        [&pages, &pilot](QPrinter *device) { LogbookPrint::paint(*device, pages, pilot); });
    preview.exec();
}

void LogbookWindow::chooseSavePdf()
{
    QFileDialog dialog(this, tr("Save as PDF"), dialogFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({ tr("PDF (*.pdf)") });
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(QStringLiteral("logbook.pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    rememberFolder(path);
    savePdfTo(path);
}

bool LogbookWindow::savePdfTo(const QString &path)
{
    const QList<LogbookFigures::LogbookPage> pages = shownPages();
    const QByteArray bytes = LogbookPrint::pdf(pages, pilotNameShown());
    const bool ok = !bytes.isEmpty() && SafeFile::write(path, bytes);
    setStatus(ok
            ? tr("%1 on %2 written to %3")
                  .arg(flightsText(m_shown->rowCount()),
                      pages.size() == 1 ? tr("1 page") : tr("%1 pages").arg(pages.size()),
                      QDir::toNativeSeparators(path))
            : tr("Could not write %1: check that the folder exists, is writable and has room; nothing was "
                 "changed.")
                  .arg(QDir::toNativeSeparators(path)));
    return ok;
}

void LogbookWindow::chooseBackupFile()
{
    QFileDialog dialog(this, tr("Back up logbook"), dialogFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({ tr("Logbook backup (*.sqlite)"), tr("All files (*)") });
    dialog.setDefaultSuffix(QStringLiteral("sqlite"));
    dialog.selectFile(QStringLiteral("logbook-%1.sqlite").arg(LogbookText::dateText(QDate::currentDate())));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    rememberFolder(path);
    backUpTo(path);
}

bool LogbookWindow::backUpTo(const QString &path)
{
    const bool ok = m_logbook->backUpTo(path);
    setStatus(ok ? tr("Logbook backed up to %1").arg(QDir::toNativeSeparators(path))
                 : tr("Could not back up the logbook to %1: %2")
                       .arg(QDir::toNativeSeparators(path), m_logbook->backupError()));
    return ok;
}

void LogbookWindow::chooseRestoreFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Restore from backup"), dialogFolder(), tr("Logbook backup (*.sqlite);;All files (*)"));
    if (path.isEmpty())
        return;
    rememberFolder(path);
    const BackupSummary backup = LogbookBackup::inspect(path);
    if (!backup.usable()) {
        QMessageBox::warning(this, tr("Restore from backup"), backup.refusal);
        return;
    }
    QMessageBox ask(QMessageBox::Question, tr("Restore from backup"),
        tr("Use this backup as the logbook?\n\n%1\n%2\n\nThe logbook in use now (%3) is kept aside, beside "
           "it, "
           "and is not deleted.")
            .arg(QDir::toNativeSeparators(path), LogbookBackup::describe(backup),
                flightsText(m_flights->rowCount())),
        QMessageBox::Yes | QMessageBox::No, this);
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() == QMessageBox::Yes)
        restoreFrom(path);
}

bool LogbookWindow::restoreFrom(const QString &path)
{
    const bool ok = m_logbook->restoreFrom(path);
    if (ok) {
        // What could be undone belonged to the logbook put aside.
        m_undo->clear();
    }
    setStatus(ok ? tr("The logbook is now the backup %1; the one before is kept aside.")
                       .arg(QDir::toNativeSeparators(path))
                 : tr("Nothing restored: %1").arg(m_logbook->backupError()));
    refreshProblem();
    return ok;
}

// Flights by hand, corrections and gliders.

namespace {

// The Glider cell's editor offers the pilot's glider names as they type.
class GliderDelegate : public QStyledItemDelegate
{
public:
    GliderDelegate(QAbstractItemModel *names, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_names(names)
    {
    }
    QWidget *createEditor(
        QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            auto *completer = new QCompleter(m_names, line);
            completer->setCaseSensitivity(Qt::CaseInsensitive);
            line->setCompleter(completer);
        }
        return editor;
    }

private:
    QAbstractItemModel *m_names;
};

} // namespace

void LogbookWindow::initFlightActions()
{
    m_gliderNames = new QStringListModel(this);
    ui->tblFlights->setItemDelegateForColumn(LogbookModel::Glider, new GliderDelegate(m_gliderNames, this));
    // A double-click opens the flight; F2 or typing still edits a cell the
    // pilot fills in.
    ui->tblFlights->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    ui->tblFlights->setAccessibleDescription(
        tr("Every flight of the logbook, newest first. Enter opens the flight; Site, Landing site, Glider "
           "and Notes "
           "can be edited with F2. A date marked * was corrected, one marked ! looks doubtful."));

    QMenu *menu = new QMenu(tr("F&light"), this);
    menu->setObjectName(QStringLiteral("menuFlight"));
    menuBar()->addMenu(menu);
    const auto action = [this, menu](const char *name, const QString &text, const QString &tip) {
        auto *a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setStatusTip(tip);
        a->setToolTip(tip);
        menu->addAction(a);
        return a;
    };
    m_addFlightAction = action("actionAddFlight", tr("&Add flight..."), tr("Enter a flight by hand"));
    m_addFlightAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_editFlightAction = action("actionEditFlight", tr("&Edit flight..."),
        tr("Every field of the flight chosen; a flight from the instrument can be corrected"));
    menu->addSeparator();
    m_setGliderAction
        = action("actionSetGlider", tr("Set &glider..."), tr("Give the selected flights one glider"));
    m_setSiteAction
        = action("actionSetSite", tr("Set &site..."), tr("Give the selected flights one take-off site"));
    menu->addSeparator();
    m_glidersAction
        = action("actionGliders", tr("G&liders..."), tr("Your gliders: name, type, registration"));

    connect(m_addFlightAction, &QAction::triggered, this, &LogbookWindow::chooseFlightToAdd);
    connect(m_editFlightAction, &QAction::triggered, this,
        [this] { chooseFlightToEdit(ui->tblFlights->currentIndex()); });
    // Enter or a double-click on a row.
    connect(ui->tblFlights, &QAbstractItemView::activated, this, &LogbookWindow::chooseFlightToEdit);
    connect(m_setGliderAction, &QAction::triggered, this, &LogbookWindow::chooseGliderForSelected);
    connect(m_setSiteAction, &QAction::triggered, this, &LogbookWindow::chooseSiteForSelected);
    connect(m_glidersAction, &QAction::triggered, this, &LogbookWindow::editGliders);
    connect(m_logbook, &PilotLogbook::glidersChanged, this, &LogbookWindow::refreshGliderNames);
    connect(ui->tblFlights->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &LogbookWindow::updateFlightActions);
    connect(m_shown, &QAbstractItemModel::modelReset, this, &LogbookWindow::updateFlightActions);
    connect(m_shown, &QAbstractItemModel::rowsRemoved, this, &LogbookWindow::updateFlightActions);
    refreshGliderNames();
    updateFlightActions();
}

void LogbookWindow::updateFlightActions()
{
    if (!m_addFlightAction)
        return;
    const bool unusable = !m_logbook->problemText().isEmpty() && m_logbook->fileUnusable();
    const bool writable = !unusable && !m_logbook->isReadOnly() && !m_importing;
    const bool dialogs = writable && !m_instrumentBusy;
    const bool chosen = ui->tblFlights->selectionModel()->hasSelection();
    m_addFlightAction->setEnabled(dialogs);
    m_editFlightAction->setEnabled(dialogs && ui->tblFlights->currentIndex().isValid());
    m_setGliderAction->setEnabled(dialogs && chosen);
    m_setSiteAction->setEnabled(dialogs && chosen);
    m_glidersAction->setEnabled(dialogs);
}

void LogbookWindow::refreshGliderNames()
{
    // The pilot's gliders, and the names flights already carry.
    QSet<QString> names;
    if (const auto gliders = m_logbook->gliders()) {
        for (const Glider &g : *gliders)
            names.insert(g.name);
    }
    for (int r = 0; r < m_flights->rowCount(); ++r)
        names.insert(m_flights->entryAt(r).glider);
    names.remove(QString());
    QStringList sorted = names.values();
    sorted.sort(Qt::CaseInsensitive);
    if (sorted != m_gliderNames->stringList())
        m_gliderNames->setStringList(sorted);
}

qint64 LogbookWindow::currentId(qint64 id) const
{
    return m_storedAgainAs.value(id, id);
}

QList<LogbookEntry> LogbookWindow::selectedEntries() const
{
    QList<LogbookEntry> chosen;
    for (const QModelIndex &index : ui->tblFlights->selectionModel()->selectedRows())
        chosen.append(m_shown->entryAt(index.row()));
    return chosen;
}

void LogbookWindow::chooseFlightToAdd()
{
    if (!m_addFlightAction->isEnabled())
        return;
    LogbookEntry entry;
    entry.byHand = true;
    entry.flight.date = QDate::currentDate();
    // Nothing of the summary is known of a flight entered by hand until
    // the pilot types it.
    for (int field = 4; field <= 11; ++field)
        entry.flight.unknownFields |= quint16(1u << field);
    FlightDialog dialog(entry, m_gliderNames->stringList(), this);
    if (dialog.exec() == QDialog::Accepted)
        addFlight(dialog.entry());
}

void LogbookWindow::chooseFlightToEdit(const QModelIndex &index)
{
    if (!index.isValid() || !m_editFlightAction->isEnabled())
        return;
    const LogbookEntry before = m_shown->entryAt(index.row());
    FlightDialog dialog(before, m_gliderNames->stringList(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const LogbookEntry after = dialog.entry();
    if (after != before)
        editFlight(before, after);
}

bool LogbookWindow::addFlight(const LogbookEntry &entry)
{
    const auto id = m_logbook->addFlight(entry);
    if (!id) {
        setStatus(tr("The flight was not added: %1").arg(m_logbook->problemText()));
        return false;
    }
    // Undo erases the flight; redo stores it again, perhaps under another
    // id. The steps above this one find it by any id it has had, for as
    // long as it is in the logbook.
    auto ids = std::make_shared<QList<qint64>>(QList<qint64> { *id });
    m_undo->push(new LogbookChange(
        tr("Add flight"),
        [this, entry, ids] {
            const auto again = m_logbook->addFlight(entry);
            if (!again)
                return false;
            if (!ids->contains(*again))
                ids->append(*again);
            for (const qint64 had : std::as_const(*ids)) {
                if (had != *again)
                    m_storedAgainAs.insert(had, *again);
            }
            m_storedAgainAs.remove(*again);
            return true;
        },
        [this, ids] {
            const qint64 now = currentId(ids->constFirst());
            for (const qint64 had : std::as_const(*ids))
                m_storedAgainAs.remove(had);
            return m_logbook->eraseFlight(now);
        }));
    setStatus(tr("Flight of %1 added.").arg(LogbookText::dateText(entry.flight.date)));
    return true;
}

bool LogbookWindow::editFlight(const LogbookEntry &before, const LogbookEntry &after)
{
    if (!m_logbook->updateFlight(after)) {
        setStatus(tr("The flight was not changed: %1").arg(m_logbook->problemText()));
        return false;
    }
    const auto as = [this](LogbookEntry e) {
        e.id = currentId(e.id);
        return e;
    };
    m_undo->push(new LogbookChange(
        tr("Edit flight"), [this, after, as] { return m_logbook->updateFlight(as(after)); },
        [this, before, as] { return m_logbook->updateFlight(as(before)); }));
    setStatus(tr("Flight of %1 changed.").arg(LogbookText::dateText(after.flight.date)));
    return true;
}

bool LogbookWindow::setForSelected(NoteField field, const QString &text)
{
    const QList<LogbookEntry> chosen = selectedEntries();
    if (chosen.isEmpty())
        return false;
    QList<qint64> ids;
    QStringList before;
    for (const LogbookEntry &e : chosen) {
        ids.append(e.id);
        before.append(noteOf(e, field));
    }
    const QStringList after(ids.size(), text);
    if (!m_logbook->setNotes(ids, field, after)) {
        setStatus(tr("Nothing was changed: %1").arg(m_logbook->problemText()));
        return false;
    }
    const auto idsNow = [this, ids] {
        QList<qint64> now;
        for (const qint64 id : ids)
            now.append(currentId(id));
        return now;
    };
    const QString what = field == NoteField::Glider ? tr("glider") : tr("site");
    m_undo->push(new LogbookChange(
        tr("Set %1 of %2").arg(what, flightsText(ids.size())),
        [this, idsNow, field, after] { return m_logbook->setNotes(idsNow(), field, after); },
        [this, idsNow, field, before] { return m_logbook->setNotes(idsNow(), field, before); }));
    setStatus(tr("%1 given the %2 \"%3\".").arg(flightsText(ids.size()), what, text));
    return true;
}

void LogbookWindow::chooseGliderForSelected()
{
    if (m_setGliderAction->isEnabled())
        askForSelected(NoteField::Glider, tr("Set glider"), tr("&Glider of the %1 selected:"), tr("Glider"),
            m_gliderNames->stringList());
}

void LogbookWindow::chooseSiteForSelected()
{
    if (!m_setSiteAction->isEnabled())
        return;
    QSet<QString> sites;
    for (int r = 0; r < m_flights->rowCount(); ++r)
        sites.insert(m_flights->entryAt(r).site);
    sites.remove(QString());
    QStringList names = sites.values();
    names.sort(Qt::CaseInsensitive);
    askForSelected(NoteField::Site, tr("Set site"), tr("Take-off &site of the %1 selected:"),
        tr("Take-off site"), names);
}

void LogbookWindow::askForSelected(NoteField field, const QString &title, const QString &label,
    const QString &accessibleName, const QStringList &offered)
{
    const QList<LogbookEntry> chosen = selectedEntries();
    if (chosen.isEmpty())
        return;
    QInputDialog dialog(this);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label.arg(flightsText(chosen.size())));
    dialog.setTextValue(field == NoteField::Glider ? chosen.constFirst().glider : chosen.constFirst().site);
    if (auto *line = dialog.findChild<QLineEdit *>()) {
        line->setAccessibleName(accessibleName);
        line->setMaxLength(PilotLogbook::kMaxNoteLength);
        auto *completer = new QCompleter(offered, line);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        line->setCompleter(completer);
    }
    if (dialog.exec() == QDialog::Accepted)
        setForSelected(field, dialog.textValue().trimmed());
}

void LogbookWindow::editGliders()
{
    if (!m_glidersAction->isEnabled())
        return;
    const auto gliders = m_logbook->gliders();
    if (!gliders) {
        setStatus(tr("The gliders could not be read: %1").arg(m_logbook->problemText()));
        return;
    }
    GlidersDialog dialog(*gliders, this);
    if (dialog.exec() == QDialog::Accepted)
        applyGliders(*gliders, dialog.gliders());
}

bool LogbookWindow::applyGliders(const QList<Glider> &before, const QList<Glider> &after)
{
    // Removed first, so that a name given up can be given to another.
    const GlidersDialog::Changes changes = GlidersDialog::changesBetween(before, after);
    bool ok = true;
    for (const qint64 id : changes.removed)
        ok = m_logbook->removeGlider(id) && ok;
    for (const Glider &g : changes.changed)
        ok = m_logbook->updateGlider(g) && ok;
    for (const Glider &g : changes.added)
        ok = m_logbook->addGlider(g).has_value() && ok;
    setStatus(ok ? tr("Gliders saved.") : tr("Not every glider was saved: %1").arg(m_logbook->problemText()));
    return ok;
}
