#include "ui/LogbookWindow.h"
#include "ui_LogbookWindow.h"

#include "link/DeviceMap.h"
#include "link/Waiter.h"
#include "logbook/LogbookExport.h"
#include "logbook/LogbookText.h"
#include "logbook/PilotLogbook.h"
#include "ui/HoursChart.h"
#include "ui/LogbookModel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QSet>
#include <QUndoStack>

namespace {

// Deleting flights: redo marks them deleted in the logbook, undo brings
// them back with their notes; the list follows the logbook's signals.
class DeleteFlights : public QUndoCommand
{
public:
    DeleteFlights(PilotLogbook *logbook, const QList<qint64> &ids)
        : m_logbook(logbook)
        , m_ids(ids)
    {
        setText(ids.size() == 1 ? QStringLiteral("Delete flight")
                                : QStringLiteral("Delete %1 flights").arg(ids.size()));
    }
    void redo() override
    {
        // The logbook refused (the window says why): nothing to undo.
        if (!m_logbook->remove(m_ids))
            setObsolete(true);
    }
    void undo() override
    {
        if (!m_logbook->undelete(m_ids))
            setObsolete(true);
    }

private:
    PilotLogbook *m_logbook;
    QList<qint64> m_ids;
};

// The import's progress goes to the status line; closing the window stops
// it before the next file.
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
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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

enum YearColumn { YearCol, FlightsCol, HoursCol, LongestCol, QneCol, YearColumns };

} // namespace

LogbookWindow::LogbookWindow(PilotLogbook *logbook, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::LogbookWindow>())
    , m_logbook(logbook)
    , m_model(new LogbookModel([logbook](qint64 id, NoteField field,
                                   const QString &text) { return logbook->setNote(id, field, text); },
          this))
    , m_undo(new QUndoStack(this))
{
    ui->setupUi(this);
    setWindowFlag(Qt::Window);

    ui->tblFlights->setModel(m_model);
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
        for (const QString &line : m_model->headerData(c, Qt::Horizontal).toString().split(QLatin1Char('\n')))
            headerWidth = qMax(headerWidth, fm.horizontalAdvance(line) + pad + pad / 2);
        ui->tblFlights->setColumnWidth(c, qMax(fm.horizontalAdvance(widest) + pad, headerWidth));
    }
    ui->tblFlights->verticalHeader()->setDefaultSectionSize(fm.height() + fm.height() / 2);
    ui->tblFlights->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->tblFlights->verticalHeader()->hide();

    ui->tblYears->setColumnCount(YearColumns);
    ui->tblYears->setHorizontalHeaderLabels(
        { tr("Year"), tr("Flights"), tr("Hours"), tr("Longest flight"), tr("Highest QNE max (m)") });
    ui->tblYears->verticalHeader()->hide();
    ui->tblYears->verticalHeader()->setDefaultSectionSize(fm.height() + fm.height() / 2);
    ui->tblYears->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    QAction *undo = m_undo->createUndoAction(this, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction *redo = m_undo->createRedoAction(this, tr("&Redo"));
    redo->setShortcut(QKeySequence::Redo);
    ui->menuEdit->insertActions(ui->actionDelete, { undo, redo });
    ui->menuEdit->insertSeparator(ui->actionDelete);
    // Del deletes flights only from the list: in a cell being edited it
    // deletes a character.
    ui->actionDelete->setShortcutContext(Qt::WidgetShortcut);
    ui->tblFlights->addAction(ui->actionDelete);

    m_chart = new HoursChart(ui->chartHolder);
    ui->chartHolder->layout()->addWidget(m_chart);
    initActionsConnections();
    // Room for every column on a common screen; never larger than the
    // screen itself (a scaled one included).
    QSize size(1180, 720);
    if (const QScreen *screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
    reload();
}

LogbookWindow::~LogbookWindow() = default;

void LogbookWindow::initActionsConnections()
{
    connect(ui->btnImport, &QPushButton::clicked, this, &LogbookWindow::chooseReportsToImport);
    connect(ui->actionImport, &QAction::triggered, this, &LogbookWindow::chooseReportsToImport);
    connect(ui->btnExport, &QPushButton::clicked, this, &LogbookWindow::chooseExportFile);
    connect(ui->actionExport, &QAction::triggered, this, &LogbookWindow::chooseExportFile);
    connect(ui->btnDelete, &QPushButton::clicked, this, &LogbookWindow::deleteSelected);
    connect(ui->actionDelete, &QAction::triggered, this, &LogbookWindow::deleteSelected);
    connect(ui->actionClose, &QAction::triggered, this, &QWidget::close);
    connect(ui->btnStartNew, &QPushButton::clicked, this, &LogbookWindow::startNewLogbook);
    connect(ui->cmbYear, &QComboBox::activated, this, &LogbookWindow::filterChanged);
    connect(ui->cmbGlider, &QComboBox::activated, this, &LogbookWindow::filterChanged);

    connect(m_logbook, &PilotLogbook::recorded, this, &LogbookWindow::onRecorded);
    connect(m_logbook, &PilotLogbook::reset, this, &LogbookWindow::reload);
    connect(m_logbook, &PilotLogbook::updated, m_model, &LogbookModel::updateEntry);
    connect(m_logbook, &PilotLogbook::removed, this, [this](const QList<qint64> &ids) {
        m_model->removeIds(ids);
        refreshChoices();
        refreshSummaries();
    });
    connect(m_logbook, &PilotLogbook::problemChanged, this, &LogbookWindow::refreshProblem);
    connect(m_model, &LogbookModel::notesEdited, this, [this] {
        refreshChoices();
        refreshSummaries();
    });
}

void LogbookWindow::reload()
{
    const auto entries = m_logbook->entries();
    m_model->setEntries(entries.value_or(QList<LogbookEntry>()));
    refreshChoices();
    filterChanged();
    refreshProblem();
}

void LogbookWindow::onRecorded(const LogbookEntry &entry)
{
    m_model->addEntry(entry);
    refreshChoices();
    refreshSummaries();
}

void LogbookWindow::refreshChoices()
{
    QSet<int> yearSet;
    QSet<QString> gliderSet;
    for (int r = 0; r < m_model->totalCount(); ++r) {
        yearSet.insert(m_model->figuresAt(r).year);
        gliderSet.insert(m_model->gliderAt(r));
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
    ui->cmbYear->setCurrentIndex(qMax(0, ui->cmbYear->findData(year)));
    const int g = glider.isValid() ? ui->cmbGlider->findData(glider) : 0;
    ui->cmbGlider->setCurrentIndex(qMax(0, g));
}

void LogbookWindow::filterChanged()
{
    const QVariant glider = ui->cmbGlider->currentData();
    m_model->setFilter(ui->cmbYear->currentData().toInt(),
        glider.isValid() ? std::optional<QString>(glider.toString()) : std::nullopt);
    refreshSummaries();
}

void LogbookWindow::refreshSummaries()
{
    ui->lblTotals->setText(LogbookText::totalsLine(m_model->rowCount(), m_model->shownMinutes()));

    const QList<LogbookText::FlightFigures> ofGlider = m_model->figuresOfGlider();
    const QList<LogbookText::YearTotals> years = LogbookText::totalsPerYear(ofGlider);
    ui->tblYears->setRowCount(int(years.size()));
    for (int r = 0; r < int(years.size()); ++r) {
        const LogbookText::YearTotals &t = years.at(r);
        const QStringList cells { t.year ? QString::number(t.year) : tr("(no date)"),
            QString::number(t.flights), LogbookText::hoursText(t.minutes),
            LogbookText::hoursText(t.longestMinutes),
            t.highestQneMax ? QString::number(*t.highestQneMax) : QString() };
        for (int c = 0; c < YearColumns; ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            ui->tblYears->setItem(r, c, item);
        }
    }

    // The chart counts what the list shows: the year and the glider chosen.
    if (m_model->rowCount() == 0) {
        m_chart->showEmpty(m_model->totalCount() == 0 ? tr("No flights in the logbook yet.")
                                                      : tr("No flights of this year and glider."));
    } else {
        const int year = ui->cmbYear->currentData().toInt();
        m_chart->showMonths(LogbookText::minutesPerMonth(ofGlider, year),
            tr("Hours per month, %1, %2").arg(ui->cmbYear->currentText(), ui->cmbGlider->currentText()));
    }
}

void LogbookWindow::refreshProblem()
{
    const QString problem = m_logbook->problemText();
    ui->frameProblem->setVisible(!problem.isEmpty());
    ui->lblProblem->setText(problem);
    fitProblemArea();
    ui->btnStartNew->setVisible(m_logbook->fileUnusable());
    const bool usable = problem.isEmpty() || !m_logbook->fileUnusable();
    ui->btnImport->setEnabled(usable && !m_importing);
    ui->actionImport->setEnabled(usable && !m_importing);
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
    refreshProblem();
    WindowEnvironment env(m_cancelImport, [this](const QString &text) { setStatus(text); });
    const PilotLogbook::ImportResult result = m_logbook->importReports(files, env);
    m_importing = false;
    refreshProblem();
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
    const QList<LogbookEntry> shown = m_model->shownEntries();
    QString placedAt = path;
    // A list that could not be read would replace an earlier file with an
    // empty one.
    const bool ok = !m_logbook->lastReadFailed() && path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)
        ? LogbookExport::writeCsv(path, shown)
        : LogbookExport::writeWorkbook(path, shown, &placedAt);
    setStatus(ok
            ? tr("%1 %2 written to %3")
                  .arg(shown.size())
                  .arg(shown.size() == 1 ? tr("flight") : tr("flights"), QDir::toNativeSeparators(placedAt))
            : tr("Could not write %1: check that the folder exists, is writable and has room; nothing was "
                 "changed.")
                  .arg(QDir::toNativeSeparators(path)));
    return ok;
}

void LogbookWindow::deleteSelected()
{
    QList<qint64> ids;
    for (const QModelIndex &index : ui->tblFlights->selectionModel()->selectedRows())
        ids.append(m_model->entryAt(index.row()).id);
    if (ids.isEmpty())
        return;
    m_undo->push(new DeleteFlights(m_logbook, ids));
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
