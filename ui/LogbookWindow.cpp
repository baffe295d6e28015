#include "ui/LogbookWindow.h"
#include "ui_LogbookWindow.h"

#include "link/Waiter.h"
#include "logbook/LogbookExport.h"
#include "logbook/LogbookText.h"
#include "logbook/PilotLogbook.h"
#include "ui/LogbookModel.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QSet>
#include <QUndoStack>
#include <QValueAxis>

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

    buildChart();
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
    connect(ui->btnImport, &QPushButton::clicked, this, &LogbookWindow::btnImport_Click);
    connect(ui->actionImport, &QAction::triggered, this, &LogbookWindow::btnImport_Click);
    connect(ui->btnExport, &QPushButton::clicked, this, &LogbookWindow::btnExport_Click);
    connect(ui->actionExport, &QAction::triggered, this, &LogbookWindow::btnExport_Click);
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

void LogbookWindow::buildChart()
{
    m_hours = new QBarSet(tr("Hours"));
    auto *series = new QBarSeries;
    series->append(m_hours);
    series->setLabelsVisible(true);
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    series->setLabelsFormat(QStringLiteral("@value"));

    m_chart = new QChart;
    m_chart->addSeries(series);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(4, 4, 4, 4));

    // The window's own font, so the chart grows with it on a scaled screen
    // and prints legibly; the title a step larger.
    const QFont font = this->font();
    QFont titleFont = font;
    titleFont.setBold(true);
    titleFont.setPointSizeF(font.pointSizeF() * 1.15);
    m_chart->setTitleFont(titleFont);
    series->setLabelsVisible(true);
    m_hours->setLabelFont(font);
    m_hours->setLabelColor(Qt::black);
    m_hours->setColor(QColor(0x2b, 0x6c, 0xb0));
    m_hours->setBorderColor(QColor(0x1a, 0x43, 0x6e));

    m_months = new QBarCategoryAxis;
    QStringList months;
    for (int m = 1; m <= 12; ++m)
        months << QLocale().standaloneMonthName(m, QLocale::ShortFormat);
    m_months->append(months);
    m_months->setLabelsFont(font);
    m_chart->addAxis(m_months, Qt::AlignBottom);
    series->attachAxis(m_months);

    m_hoursAxis = new QValueAxis;
    m_hoursAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_hoursAxis->setLabelsFont(font);
    m_hoursAxis->setTitleText(tr("Hours"));
    m_hoursAxis->setTitleFont(font);
    m_chart->addAxis(m_hoursAxis, Qt::AlignLeft);
    series->attachAxis(m_hoursAxis);

    m_chartView = new QChartView(m_chart, ui->chartHolder);
    m_chartView->setObjectName(QStringLiteral("chartHours"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumSize(360, 220);
    m_chartView->setAccessibleName(tr("Hours per month"));
    m_chartView->setAccessibleDescription(tr(
        "Bar chart of the hours flown in each month of the chosen year; the table of years beside it gives "
        "the figures as text."));
    ui->chartHolder->layout()->addWidget(m_chartView);
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

    const int year = ui->cmbYear->currentData().toInt();
    const QList<qint64> minutes = LogbookText::minutesPerMonth(ofGlider, year);
    double highest = 0;
    for (int m = 0; m < 12; ++m) {
        const double hours = std::round(double(minutes.at(m)) / 6.0) / 10.0;
        if (m_hours->count() <= m)
            m_hours->append(hours);
        else
            m_hours->replace(m, hours);
        highest = qMax(highest, hours);
    }
    // Room above the tallest bar for its label; whole hours on the axis.
    m_hoursAxis->setRange(0, qMax(1.0, std::ceil(highest * 1.15)));
    m_hoursAxis->applyNiceNumbers();
    m_chart->setTitle(year ? tr("Hours per month, %1").arg(year) : tr("Hours per month, all years"));
}

void LogbookWindow::refreshProblem()
{
    const QString problem = m_logbook->problemText();
    ui->frameProblem->setVisible(!problem.isEmpty());
    ui->lblProblem->setText(problem);
    ui->btnStartNew->setVisible(m_logbook->fileUnusable());
    const bool usable = problem.isEmpty() || !m_logbook->fileUnusable();
    ui->btnImport->setEnabled(usable && !m_importing);
    ui->actionImport->setEnabled(usable && !m_importing);
}

void LogbookWindow::setStatus(const QString &text)
{
    ui->lblStatus->setText(text);
}

QString LogbookWindow::totalsText() const
{
    return ui->lblTotals->text();
}

QString LogbookWindow::statusText() const
{
    return ui->lblStatus->text();
}

QList<double> LogbookWindow::chartHours() const
{
    QList<double> out;
    for (int m = 0; m < m_hours->count(); ++m)
        out.append(m_hours->at(m));
    return out;
}

void LogbookWindow::btnImport_Click()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Import reports"), QDir::homePath(), tr("Text reports (*.txt);;All files (*)"));
    if (!files.isEmpty())
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

void LogbookWindow::btnExport_Click()
{
    const QString workbook = tr("Workbook (*.xlsx)");
    const QString csv = tr("CSV (*.csv)");
    QString filter = workbook;
    QString path = QFileDialog::getSaveFileName(this, tr("Export logbook"),
        QDir::home().filePath(QStringLiteral("logbook.xlsx")), workbook + QStringLiteral(";;") + csv,
        &filter);
    if (path.isEmpty())
        return;
    const QString suffix = filter == csv ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
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
