// The Logbook window with the main window against the simulated instrument:
// the reads fill the logbook once, the window follows them, and nothing of
// the logbook, not even a file it cannot use, reaches the main window.

#include "tests/support/InstrumentRig.h"

#include "logbook/PilotLogbook.h"
#include "ui/FlightDialog.h"
#include "ui/GlidersDialog.h"
#include "ui/HoursChart.h"
#include "ui/LogbookFilter.h"
#include "ui/LogbookModel.h"
#include "ui/LogbookWindow.h"
#include "ui/OpeningBalanceDialog.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsSimpleTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <QValueAxis>

namespace {

const QByteArray kPilot = "KESTREL ";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What the chart shows now: its title, each bar's label by month (empty
// months left out), the hours axis' labels; or the text in its place.
struct ChartShown
{
    QString title;
    QStringList barLabels;
    QStringList axisLabels;
    QString emptyText;
};

ChartShown chartShown(const LogbookWindow &window)
{
    ChartShown shown;
    const auto *empty = window.findChild<QLabel *>(QStringLiteral("lblNoFlights"));
    if (empty && empty->isVisible()) {
        shown.emptyText = empty->text();
        return shown;
    }
    QChart *chart = window.findChild<QChartView *>(QStringLiteral("chartHours"))->chart();
    shown.title = chart->title();
    // The bar labels from left to right, beside the months that have hours.
    const QBarSet *hours = qobject_cast<QBarSeries *>(chart->series().constFirst())->barSets().constFirst();
    QList<int> months;
    for (int m = 0; m < hours->count(); ++m) {
        if (hours->at(m) > 0)
            months << m + 1;
    }
    QList<const QGraphicsSimpleTextItem *> labels;
    for (const QGraphicsItem *item : chart->childItems()) {
        const auto *label = dynamic_cast<const QGraphicsSimpleTextItem *>(item);
        if (label && label->isVisible() && !label->text().isEmpty())
            labels << label;
    }
    std::sort(labels.begin(), labels.end(), [](auto *a, auto *b) { return a->pos().x() < b->pos().x(); });
    for (int i = 0; i < labels.size(); ++i)
        shown.barLabels << QStringLiteral("%1 %2").arg(months.value(i)).arg(labels.at(i)->text());
    const auto *axis = qobject_cast<QValueAxis *>(chart->axes(Qt::Vertical).constFirst());
    for (int i = 0; i < axis->tickCount(); ++i) {
        const double value = axis->min() + i * (axis->max() - axis->min()) / (axis->tickCount() - 1);
        shown.axisLabels << QString::asprintf(qPrintable(axis->labelFormat()), value);
    }
    return shown;
}

// A flight entered by hand.
LogbookEntry handFlight(const QDate &date, int minutes, const QString &site, const QString &glider,
    const QString &notes = QString(), PilotRole role = PilotRole::PilotInCommand, int launches = 1)
{
    LogbookEntry e;
    e.flight.date = date;
    e.flight.startMinutes = 11 * 60;
    e.flight.durationMinutes = minutes;
    e.flight.unknownFields = 0xfff0;
    e.site = site;
    e.glider = glider;
    e.notes = notes;
    e.role = role;
    e.launches = launches;
    e.byHand = true;
    return e;
}

void choose(LogbookWindow &window, const char *comboName, const QString &text)
{
    auto *combo = window.findChild<QComboBox *>(QLatin1String(comboName));
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

} // namespace

class TestLogbookWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exportsFillItOnce();
    void notesDeleteAndUndo();
    void unusableFileNeverReachesTheMainWindow();
    void everyControlNamed();
    void chartAxis_data();
    void chartAxis();
    void chartFollowsTheList();
    void keyboardAndFileDialogs();
    void longProblemStaysInItsArea();
    void everyViewFollowsUndoAndRedo_data();
    void everyViewFollowsUndoAndRedo();
    void troublesShownAndHeeded();
    void searchAndDatesNarrowTheTotals_data();
    void searchAndDatesNarrowTheTotals();
    void recencyAsOfToday();
    void pdfHoldsTheFlightsShown();
    void backupRestoredInTheWindow();
    void balanceHours_data();
    void balanceHours();
    void flightAddedAndCorrectedByKeyboard();
    void flightDialogRefuses_data();
    void flightDialogRefuses();
    void glidersAndSeveralFlightsAtOnce();
    void dateCellMarks_data();
    void dateCellMarks();

private:
    void start()
    {
        SimInstrument::Options options;
        options.memory = MemoryFlights::image(
            { MemoryFlights::kFlightD, MemoryFlights::kFlightA, MemoryFlights::kFlightB }, kPilot);
        QVERIFY(m_rig.start(options));
    }
    void exportRange(const char *from, const char *until)
    {
        m_rig.box("txtFromFlight")->setText(QString::fromLatin1(from));
        m_rig.box("txtUntilFlight")->setText(QString::fromLatin1(until));
        m_rig.mark();
        m_rig.button("cmdExport")->click();
    }
    LogbookWindow *openLogbook()
    {
        m_rig.window->findChild<QAction *>(QStringLiteral("Logbook"))->trigger();
        return m_rig.window->logbookWindow();
    }
    QString logbookPath() const { return m_data->filePath(QStringLiteral("tolmera-reader/logbook.sqlite")); }

    std::unique_ptr<QTemporaryDir> m_data;
    InstrumentRig m_rig;
};

void TestLogbookWindow::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    QVERIFY(m_data->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
}

void TestLogbookWindow::cleanup()
{
    m_rig.window.reset();
    m_rig.sim.reset();
}

void TestLogbookWindow::exportsFillItOnce()
{
    start();
    QCOMPARE(m_rig.window->logbook().path(), logbookPath());
    // Nothing is made before the first flight is read.
    QVERIFY(!QFileInfo::exists(logbookPath()));
    LogbookWindow *window = openLogbook();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Logbook"));
    QCOMPARE(window->totalsText(), QStringLiteral("0 flights, 00:00 hours"));

    // While the export runs, the Logbook window opens no dialog.
    QStringList duringExport;
    connect(m_rig.window.get(), &MainWindow::operationRunningChanged, window, [&](bool running) {
        for (const char *name : { "btnImport", "btnExport" })
            duringExport << QStringLiteral("%1 %2").arg(running).arg(
                window->findChild<QPushButton *>(QLatin1String(name))->isEnabled());
    });
    exportRange("1", "3");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Txt file ready") });
    QCOMPARE(duringExport, (QStringList { "1 0", "1 0", "0 1", "0 1" }));
    // 01:30 + 04:46 + 00:05, and the window followed without being asked.
    QCOMPARE(window->model()->rowCount(), 3);
    QCOMPARE(window->totalsText(), QStringLiteral("3 flights, 06:21 hours"));
    // Newest first; the pilot is the one read before the run.
    QCOMPARE(window->model()->entryAt(0).flight.date, QDate(2005, 7, 14));
    QCOMPARE(window->model()->entryAt(0).flight.startMinutes, 12 * 60 + 5);
    QCOMPARE(window->model()->entryAt(2).flight.date, QDate(2000, 11, 3));

    // Named with the pilot name the run reads after its flights.
    QCOMPARE(window->model()->entryAt(0).pilot, QStringLiteral("KESTREL"));

    // The same flights again, by export and by Show flight log: no new row;
    // they gain the pilot name read meanwhile.
    exportRange("1", "3");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Txt file ready") });
    m_rig.box("txtVluchtNummer")->setText(QStringLiteral("2"));
    m_rig.button("cmdGetFlight")->click();
    QCOMPARE(m_rig.box("txtDtime")->text(), QStringLiteral("04:46"));
    QCOMPARE(window->model()->rowCount(), 3);
    QCOMPARE(window->totalsText(), QStringLiteral("3 flights, 06:21 hours"));
    QCOMPARE(window->model()->entryAt(0).pilot, QStringLiteral("KESTREL"));

    // What is on disk is what the window shows, with the pilot.
    PilotLogbook reread(logbookPath());
    const auto stored = reread.entries();
    QVERIFY(stored);
    QCOMPARE(stored->size(), 3);
    for (const LogbookEntry &e : *stored)
        QCOMPARE(e.pilot, QStringLiteral("KESTREL"));

    // One window: the menu brings the same one forward.
    window->close();
    QCOMPARE(openLogbook(), window);
    QVERIFY(window->isVisible());
}

void TestLogbookWindow::notesDeleteAndUndo()
{
    start();
    exportRange("1", "3");
    LogbookWindow *window = openLogbook();
    LogbookFilter *model = window->model();
    QCOMPARE(model->rowCount(), 3);

    QVERIFY(model->setData(model->index(0, LogbookModel::Glider), QStringLiteral("Mentor 7")));
    QVERIFY(model->setData(model->index(0, LogbookModel::Notes), QStringLiteral("first climb, 4.5 m/s")));
    QVERIFY(!model->setData(model->index(0, LogbookModel::Duration), QStringLiteral("09:99")));

    // Filtered to the glider: the totals follow what is shown.
    auto *gliders = window->findChild<QComboBox *>(QStringLiteral("cmbGlider"));
    const int mentor = gliders->findText(QStringLiteral("Mentor 7"));
    QVERIFY(mentor > 0);
    gliders->setCurrentIndex(mentor);
    emit gliders->activated(mentor);
    QCOMPARE(window->totalsText(), QStringLiteral("1 flight, 01:30 hours"));
    gliders->setCurrentIndex(0);
    emit gliders->activated(0);

    auto *table = window->findChild<QTableView *>(QStringLiteral("tblFlights"));
    table->selectRow(0);
    window->deleteSelected();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(window->totalsText(), QStringLiteral("2 flights, 04:51 hours"));
    QCOMPARE(PilotLogbook(logbookPath()).entries()->size(), 2);

    window->undoStack()->undo();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->entryAt(0).glider, QStringLiteral("Mentor 7"));
    QCOMPARE(model->entryAt(0).notes, QStringLiteral("first climb, 4.5 m/s"));
    const auto stored = PilotLogbook(logbookPath()).entries();
    QCOMPARE(stored->size(), 3);
    QCOMPARE(stored->at(0).notes, QStringLiteral("first climb, 4.5 m/s"));

    // The shown flights as CSV, with the pilot's columns.
    const QString csv = m_data->filePath(QStringLiteral("logbook.csv"));
    QVERIFY(window->exportTo(csv));
    const QList<QByteArray> lines = readFile(csv).split('\n');
    QCOMPARE(lines.size(), 5); // header, three flights, the end after the last CR LF
    // The pilot name is read after an export's flights, and they take it.
    QCOMPARE(lines.at(1),
        QByteArray("2005-07-14,12:05,01:30,850,2130,1280,3400,4.5,3.2,18,52,KESTREL,,Mentor 7,"
                   "\"first climb, 4.5 m/s\",,no,,1,Pilot in command,no\r"));

    // A workbook the pilot chose to replace is replaced, not set beside.
    const QString workbook = m_data->filePath(QStringLiteral("logbook.xlsx"));
    {
        QFile earlier(workbook);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("an earlier workbook");
    }
    QVERIFY(window->exportTo(workbook));
    QVERIFY(readFile(workbook).startsWith("PK"));
    QCOMPARE(QDir(m_data->path()).entryList({ QStringLiteral("logbook*.xlsx") }, QDir::Files),
        QStringList { "logbook.xlsx" });
}

// A file at the logbook's place that is no logbook: the reads go on exactly
// as without a logbook, the Logbook window says what is wrong, and only its
// button puts the file aside for a new logbook.
void TestLogbookWindow::unusableFileNeverReachesTheMainWindow()
{
    QVERIFY(QDir().mkpath(QFileInfo(logbookPath()).path()));
    const QByteArray notes = "my own notes, not a database\n";
    {
        QFile file(logbookPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(notes);
    }
    start();
    exportRange("1", "3");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Txt file ready") });
    QCOMPARE(readFile(logbookPath()), notes);

    LogbookWindow *window = openLogbook();
    auto *problem = window->findChild<QLabel *>(QStringLiteral("lblProblem"));
    auto *startNew = window->findChild<QPushButton *>(QStringLiteral("btnStartNew"));
    QVERIFY(problem->isVisible());
    QVERIFY(problem->text().contains(QStringLiteral("is not a logbook")));
    QVERIFY(startNew->isVisible());
    QCOMPARE(window->model()->rowCount(), 0);

    startNew->click();
    const QStringList aside = QDir(QFileInfo(logbookPath()).path())
                                  .entryList({ QStringLiteral("logbook.sqlite.damaged-*") }, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readFile(QFileInfo(logbookPath()).dir().filePath(aside.first())), notes);
    QVERIFY(!problem->isVisible());
    // The flights read while the file was unusable waited, and are in the
    // new logbook.
    QCOMPARE(window->model()->rowCount(), 3);
    exportRange("1", "2");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Txt file ready") });
    QCOMPARE(window->model()->rowCount(), 3);
}

// A screen reader names every control, every column and the chart, whose
// figures the per-year table gives as text, and reads every line of
// figures or news as it stands.
void TestLogbookWindow::everyControlNamed()
{
    PilotLogbook logbook(logbookPath());
    logbook.record(MemoryFlights::textsD(1), QStringLiteral("KESTREL"));
    LogbookWindow window(&logbook);
    QVERIFY(window.exportTo(m_data->filePath(QStringLiteral("shown.csv"))));
    QStringList read;
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(label);
        QVERIFY(reader);
        QCOMPARE(reader->text(QAccessible::Name), QString(label->text()).remove(QLatin1Char('&')));
        read << label->objectName();
    }
    read.sort();
    QCOMPARE(read, (QStringList { "lblGlider", "lblSearch", "lblStatus", "lblTotals", "lblYear" }));
    QStringList unnamed;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w)
            || qobject_cast<QAbstractItemView *>(w) || w->objectName() == QStringLiteral("chartHours");
        if (!control || w->objectName().isEmpty() || w->objectName().startsWith(QStringLiteral("qt_")))
            continue;
        const auto *buddy = [&]() -> QLabel * {
            for (QLabel *label : window.findChildren<QLabel *>()) {
                if (label->buddy() == w)
                    return label;
            }
            return nullptr;
        }();
        if (w->accessibleName().isEmpty() && !buddy)
            unnamed << w->objectName();
    }
    QCOMPARE(unnamed, QStringList());
    QStringList columns;
    for (int c = 0; c < LogbookModel::ColumnCount; ++c)
        columns << window.model()->headerData(c, Qt::Horizontal, Qt::AccessibleTextRole).toString();
    QCOMPARE(columns.at(LogbookModel::QneMax), QStringLiteral("QNE max (m)"));
    QCOMPARE(columns.at(LogbookModel::Notes), QStringLiteral("Notes"));
    QCOMPARE(columns.removeDuplicates(), 0);
    QVERIFY(!columns.contains(QString()));
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("chartHours"))
                ->accessibleDescription()
                .contains(QStringLiteral("table")));
}

void TestLogbookWindow::chartAxis_data()
{
    QTest::addColumn<int>("highestMinutes");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("step");
    // Whole hours, never a label twice, room above the tallest bar.
    QTest::newRow("empty") << 0 << 1 << 1;
    QTest::newRow("a few minutes") << 5 << 1 << 1;
    QTest::newRow("1:30") << 90 << 2 << 1;
    QTest::newRow("just under the top") << 327 << 6 << 1;
    QTest::newRow("6 h: steps of 2") << 360 << 8 << 2;
    QTest::newRow("37 h: steps of 10") << 37 * 60 << 50 << 10;
    QTest::newRow("401:15") << 24075 << 500 << 100;
}

void TestLogbookWindow::chartAxis()
{
    QFETCH(int, highestMinutes);
    QFETCH(int, top);
    QFETCH(int, step);
    const HoursChart::Axis axis = HoursChart::axisFor(highestMinutes);
    QCOMPARE(axis, (HoursChart::Axis { top, step }));
    QVERIFY(axis.top % axis.step == 0 && axis.top / axis.step <= 6);
    QVERIFY(axis.top * 60 > highestMinutes);
}

// The chart counts what the list shows, labels its bars as the window
// writes hours, names both filters, and gives way to a short text when the
// list is empty.
void TestLogbookWindow::chartFollowsTheList()
{
    PilotLogbook logbook(logbookPath());
    LogbookWindow window(&logbook);
    window.show();
    QCOMPARE(chartShown(window).emptyText, QStringLiteral("No flights in the logbook yet."));

    logbook.record(MemoryFlights::textsD(1), QStringLiteral("KESTREL"));
    logbook.record(MemoryFlights::textsA(2), QStringLiteral("KESTREL"));
    logbook.record(MemoryFlights::textsB(3), QStringLiteral("KESTREL"));
    ChartShown shown = chartShown(window);
    QCOMPARE(shown.title, QStringLiteral("Hours per month, All years, All gliders"));
    QCOMPARE(shown.barLabels, (QStringList { "7 06:16", "11 00:05" }));
    QCOMPARE(shown.axisLabels, (QStringList { "0", "2", "4", "6", "8" }));

    choose(window, "cmbYear", QStringLiteral("2000"));
    shown = chartShown(window);
    QCOMPARE(shown.title, QStringLiteral("Hours per month, 2000, All gliders"));
    QCOMPARE(shown.barLabels, QStringList { "11 00:05" });
    QCOMPARE(shown.axisLabels, (QStringList { "0", "1" }));

    // A glider named on the 2005 flight of 01:30.
    LogbookFilter *model = window.model();
    choose(window, "cmbYear", QStringLiteral("2005"));
    const int d = model->entryAt(0).flight.durationMinutes == 90 ? 0 : 1;
    QVERIFY(model->setData(model->index(d, LogbookModel::Glider), QStringLiteral("Mentor 7")));
    choose(window, "cmbGlider", QStringLiteral("Mentor 7"));
    shown = chartShown(window);
    QCOMPARE(shown.title, QStringLiteral("Hours per month, 2005, Mentor 7"));
    QCOMPARE(shown.barLabels, QStringList { "7 01:30" });
    QCOMPARE(shown.axisLabels, (QStringList { "0", "1", "2" }));

    choose(window, "cmbYear", QStringLiteral("All years"));
    choose(window, "cmbGlider", QStringLiteral("(no glider)"));
    QCOMPARE(chartShown(window).title, QStringLiteral("Hours per month, All years, (no glider)"));
    choose(window, "cmbYear", QStringLiteral("2000"));
    choose(window, "cmbGlider", QStringLiteral("Mentor 7"));
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(chartShown(window).emptyText, QStringLiteral("No flights of this year and glider."));
}

// Tab leaves the flights list; the file dialogs open in the reports folder,
// then where the pilot last went; Yes to "replace?" replaces the file.
void TestLogbookWindow::keyboardAndFileDialogs()
{
    QTemporaryDir config;
    const QString reports = config.filePath(QStringLiteral("reports"));
    const QString elsewhere = config.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(config.filePath(QStringLiteral("tolmera-reader/dosdevices"))));
    QVERIFY(QDir().mkpath(reports) && QDir().mkpath(elsewhere));
    QVERIFY(QFile::link(reports, config.filePath(QStringLiteral("tolmera-reader/dosdevices/c:"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    PilotLogbook logbook(logbookPath());
    logbook.record(MemoryFlights::textsD(1), QStringLiteral("KESTREL"));
    LogbookWindow window(&logbook);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *flights = window.findChild<QTableView *>(QStringLiteral("tblFlights"));
    flights->setFocus();
    flights->setCurrentIndex(window.model()->index(0, 0));
    QTest::keyClick(flights, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("tblRecency"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget()->objectName() != QStringLiteral("tblRecency"));

    const QString earlier = elsewhere + QStringLiteral("/mine.csv");
    {
        QFile file(earlier);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("an earlier export\n");
    }
    // Each time: where the dialog opened; the first time the earlier file
    // is chosen and replacing it confirmed.
    QStringList openedIn;
    QString asked;
    const auto answerDialog = [&](bool chooseEarlier) {
        QTimer::singleShot(0, this, [&, chooseEarlier] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            openedIn << dialog->directory().absolutePath();
            if (!chooseEarlier) {
                dialog->reject();
                return;
            }
            QTimer::singleShot(0, this, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box)
                    return;
                asked = box->text();
                box->button(QMessageBox::Yes)->click();
            });
            dialog->selectNameFilter(QStringLiteral("CSV (*.csv)"));
            dialog->selectFile(earlier);
            static_cast<QDialog *>(dialog)->accept(); // the file dialog's own checks run
        });
    };
    answerDialog(true);
    window.findChild<QPushButton *>(QStringLiteral("btnExport"))->click();
    QVERIFY2(asked.contains(QStringLiteral("mine.csv")), qPrintable(asked));
    QVERIFY(readFile(earlier).startsWith("\xEF\xBB\xBF"
                                         "Date,"));
    QCOMPARE(QDir(elsewhere).entryList(QDir::Files), QStringList { "mine.csv" });
    answerDialog(false);
    window.findChild<QPushButton *>(QStringLiteral("btnImport"))->click();
    QCOMPARE(openedIn, (QStringList { QFileInfo(reports).canonicalFilePath(), elsewhere }));
    qunsetenv("XDG_CONFIG_HOME");
}

// However long the message about the file, it stays inside a few lines of
// its own area and never makes the window taller.
void TestLogbookWindow::longProblemStaysInItsArea()
{
    QString folder = m_data->path();
    for (int i = 0; i < 20; ++i)
        folder += QStringLiteral("/a folder with a long name to make the message wrap %1").arg(i);
    const QString path = folder + QStringLiteral("/logbook.sqlite");
    QVERIFY(QDir().mkpath(folder));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("my own notes, not a database\n");
    }
    PilotLogbook logbook(path);
    LogbookWindow window(&logbook);
    window.resize(900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *problem = window.findChild<QLabel *>(QStringLiteral("lblProblem"));
    QVERIFY(problem->text().contains(path));
    QVERIFY(problem->heightForWidth(problem->width()) > 8 * problem->fontMetrics().lineSpacing());
    const auto *area = window.findChild<QScrollArea *>(QStringLiteral("scrollProblem"));
    QVERIFY(area->height() <= 6 * problem->fontMetrics().lineSpacing());
    QVERIFY(window.minimumSizeHint().height() < 600);
    QCOMPARE(window.height(), 600);
}

// Everything the window shows of the flights, but their order.
QString everythingShown(const LogbookWindow &window)
{
    QStringList out { window.totalsText() };
    const auto *years = window.findChild<QTableWidget *>(QStringLiteral("tblYears"));
    for (int r = 0; r < years->rowCount(); ++r) {
        for (int c = 0; c < years->columnCount(); ++c)
            out << years->item(r, c)->text();
    }
    const ChartShown chart = chartShown(window);
    out << chart.barLabels << chart.axisLabels << chart.emptyText;
    const auto *gliders = window.findChild<QComboBox *>(QStringLiteral("cmbGlider"));
    for (int i = 0; i < gliders->count(); ++i)
        out << gliders->itemText(i);
    QStringList notes;
    for (const LogbookEntry &e : window.model()->shownEntries())
        notes << e.site + e.glider + e.notes;
    notes.sort();
    return (out + notes).join(QLatin1Char('|'));
}

void TestLogbookWindow::everyViewFollowsUndoAndRedo_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("delete") << "delete";
    QTest::newRow("restore a deleted flight") << "restore";
    QTest::newRow("glider") << "glider";
    QTest::newRow("notes") << "notes";
}

// Each change, its Undo and its Redo reach the list, the totals, the years,
// the chart and the glider choices alike, and the file; the models stay
// sound throughout, sorted by every column.
void TestLogbookWindow::everyViewFollowsUndoAndRedo()
{
    QFETCH(QString, change);
    PilotLogbook logbook(logbookPath());
    logbook.record(MemoryFlights::textsD(1), QStringLiteral("KESTREL"));
    logbook.record(MemoryFlights::textsA(2), QStringLiteral("KESTREL"));
    logbook.record(MemoryFlights::textsB(3), QStringLiteral("KESTREL"));
    LogbookWindow window(&logbook);
    LogbookFilter *shown = window.model();
    QAbstractItemModelTester flightsTester(
        shown->sourceModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester shownTester(shown, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto *table = window.findChild<QTableView *>(QStringLiteral("tblFlights"));

    // The 04:46 flight is the one changed.
    const auto rowOfLongest = [&] {
        for (int r = 0; r < shown->rowCount(); ++r) {
            if (shown->entryAt(r).flight.durationMinutes == 286)
                return r;
        }
        return -1;
    };
    const qint64 id = shown->entryAt(rowOfLongest()).id;
    if (change == QStringLiteral("restore")) {
        QVERIFY(logbook.remove({ id }));
        window.undoStack()->clear();
    }
    const QString before = everythingShown(window);
    const auto stored = [&] {
        const auto entries = PilotLogbook(logbookPath()).entries();
        return entries ? entries->size() : -1;
    };
    const qsizetype storedBefore = stored();

    if (change == QStringLiteral("delete")) {
        table->selectRow(rowOfLongest());
        window.deleteSelected();
    } else if (change == QStringLiteral("restore")) {
        // Edit, Deleted flights...: the one deleted flight, chosen and restored.
        int listed = -1;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            auto *deleted
                = dialog ? dialog->findChild<QTableWidget *>(QStringLiteral("tblDeleted")) : nullptr;
            if (!deleted)
                return;
            listed = deleted->rowCount();
            deleted->selectRow(0);
            for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
                if (button->text() == QStringLiteral("&Restore"))
                    button->click();
            }
        });
        window.findChild<QAction *>(QStringLiteral("actionDeleted"))->trigger();
        QCOMPARE(listed, 1);
    } else {
        const int column = change == QStringLiteral("glider") ? LogbookModel::Glider : LogbookModel::Notes;
        QVERIFY(shown->setData(shown->index(rowOfLongest(), column), QStringLiteral("Rush 6")));
    }
    const QString after = everythingShown(window);
    QVERIFY2(after != before, qPrintable(after));
    const qsizetype storedAfter = stored();
    QCOMPARE(window.undoStack()->count(), 1);

    for (int round = 0; round < 2; ++round) {
        window.undoStack()->undo();
        QCOMPARE(everythingShown(window), before);
        QCOMPARE(stored(), storedBefore);
        window.undoStack()->redo();
        QCOMPARE(everythingShown(window), after);
        QCOMPARE(stored(), storedAfter);
    }

    // Sorted by each column, the keys the model gives run in order.
    for (int column = 0; column < LogbookModel::ColumnCount; ++column) {
        table->sortByColumn(column, Qt::AscendingOrder);
        for (int r = 1; r < shown->rowCount(); ++r) {
            const QVariant a = shown->index(r - 1, column).data(LogbookModel::SortKeyRole);
            const QVariant b = shown->index(r, column).data(LogbookModel::SortKeyRole);
            QVERIFY2(
                QVariant::compare(a, b) != QPartialOrdering::Greater, qPrintable(QString::number(column)));
        }
    }
}

// A logbook another program holds: the window shows it read-only and says
// why; flights recorded meanwhile wait, and the main window's menu entry
// says how many until they are stored. While the instrument is busy, no
// action opens a dialog.
void TestLogbookWindow::troublesShownAndHeeded()
{
    {
        PilotLogbook first(logbookPath());
        first.record(MemoryFlights::textsD(1), QStringLiteral("KESTREL"));
    }
    QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    holder.setDatabaseName(logbookPath());
    QVERIFY(holder.open());
    QSqlQuery hold(holder);
    QVERIFY(hold.exec(QStringLiteral("BEGIN IMMEDIATE")));

    PilotLogbook logbook(logbookPath());
    QMenu menu;
    QAction *entry = menu.addAction(QStringLiteral("Logbook..."));
    LogbookWindow::followInMenu(entry, &logbook);
    LogbookWindow window(&logbook);
    window.show();
    QVERIFY(logbook.isReadOnly());
    const auto enabled = [&window](const char *name) {
        return window.findChild<QAbstractButton *>(QLatin1String(name))->isEnabled();
    };
    QVERIFY(!enabled("btnImport") && !enabled("btnDelete") && enabled("btnExport"));
    const auto actionOn = [&window](const char *name) {
        return window.findChild<QAction *>(QLatin1String(name))->isEnabled();
    };
    // Pages, PDF files and backups only read; a restore and a balance write.
    QVERIFY(actionOn("actionPrint") && actionOn("actionSavePdf") && actionOn("actionBackUp"));
    QVERIFY(!actionOn("actionRestore") && !actionOn("actionOpeningBalance"));
    QVERIFY(!(window.model()->flags(window.model()->index(0, LogbookModel::Notes)) & Qt::ItemIsEditable));
    auto *problem = window.findChild<QLabel *>(QStringLiteral("lblProblem"));
    QVERIFY(problem->isVisible());
    QVERIFY2(problem->text().contains(logbook.readOnlyReason()), qPrintable(problem->text()));

    logbook.record(MemoryFlights::textsA(2), QStringLiteral("KESTREL"));
    logbook.record(MemoryFlights::textsB(3), QStringLiteral("KESTREL"));
    QCOMPARE(logbook.waitingCount(), 2);
    QCOMPARE(entry->text(), QStringLiteral("Logbook... (2 flights not kept)"));
    QCOMPARE(entry->toolTip(), logbook.problemText());
    QVERIFY(entry->isEnabled() && !entry->icon().isNull());
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("lblStatus"))
                ->text()
                .startsWith(QStringLiteral("2 flights")));

    QVERIFY(hold.exec(QStringLiteral("ROLLBACK")));
    QVERIFY(logbook.storeWaiting());
    QCOMPARE(entry->text(), QStringLiteral("Logbook..."));
    QVERIFY(entry->icon().isNull());
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblStatus"))->text(),
        QStringLiteral("The flights that waited are stored in the logbook now."));
    QCOMPARE(window.model()->rowCount(), 3);
    hold = QSqlQuery();
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));

    // The instrument busy: import and export wait; deleting does not.
    window.setInstrumentBusy(true);
    QVERIFY(!enabled("btnImport") && !enabled("btnExport"));
    for (const char *action :
        { "actionPrint", "actionSavePdf", "actionBackUp", "actionRestore", "actionOpeningBalance" })
        QVERIFY2(!actionOn(action), action);
    window.setInstrumentBusy(false);
    QVERIFY(enabled("btnExport") && actionOn("actionRestore") && actionOn("actionOpeningBalance"));
}

void TestLogbookWindow::searchAndDatesNarrowTheTotals_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("totals");
    QTest::addColumn<QString>("lastYearRow");
    const QDate none;
    // The paper logbook counts only while no search picks flights.
    QTest::newRow("everything")
        << "" << none << none
        << "3 flights, 03:00 hours; 103 flights, 53:00 hours including the opening balance"
        << "before 2024-01-01";
    QTest::newRow("take-off site, any case") << "KAMBER" << none << none << "2 flights, 01:30 hours"
                                             << "2024";
    QTest::newRow("landing site") << "river" << none << none << "1 flight, 01:30 hours"
                                  << "2025";
    QTest::newRow("glider") << "mentor" << none << none << "1 flight, 01:30 hours"
                            << "2025";
    QTest::newRow("notes") << " WINDY " << none << none << "1 flight, 00:30 hours"
                           << "2025";
    QTest::newRow("no flight holds it") << "xyz" << none << none << "0 flights, 00:00 hours"
                                        << "";
    QTest::newRow("from a day on") << "" << QDate(2025, 1, 1) << none << "2 flights, 02:00 hours"
                                   << "before 2024-01-01";
    QTest::newRow("until a day, that day included")
        << "" << none << QDate(2024, 12, 31) << "1 flight, 01:00 hours"
        << "before 2024-01-01";
    QTest::newRow("over the year's end")
        << "" << QDate(2024, 12, 31) << QDate(2025, 1, 1) << "2 flights, 02:30 hours"
        << "before 2024-01-01";
    QTest::newRow("search and dates") << "ridge" << QDate(2025, 1, 1) << none << "1 flight, 00:30 hours"
                                      << "2025";
}

// The search and the date range narrow the list, its totals line, the
// chart and the tables of totals alike; the opening balance is added only
// to the whole logbook.
void TestLogbookWindow::searchAndDatesNarrowTheTotals()
{
    QFETCH(QString, search);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, totals);
    QFETCH(QString, lastYearRow);
    PilotLogbook logbook(logbookPath());
    QVERIFY(logbook.addFlight(handFlight(QDate(2024, 12, 31), 60, QStringLiteral("Kamber Ridge"), "Rush 6")));
    LogbookEntry river = handFlight(
        QDate(2025, 1, 1), 90, QStringLiteral("Hohe Wand"), "Mentor 7", QStringLiteral("first of the year"));
    river.landingSite = QStringLiteral("Field by the River");
    QVERIFY(logbook.addFlight(river));
    QVERIFY(logbook.addFlight(handFlight(
        QDate(2025, 6, 15), 30, QStringLiteral("kamber ridge"), "Rush 6", QStringLiteral("windy"))));
    OpeningBalance balance;
    balance.asOf = QDate(2024, 1, 1);
    balance.byRole[0] = { 100, 120, 50 * 60 };
    QVERIFY(logbook.setOpeningBalance(balance));
    LogbookWindow window(&logbook);

    window.findChild<QLineEdit *>(QStringLiteral("txtSearch"))->setText(search);
    const auto limit = [&](const char *check, const char *edit, const QDate &date) {
        if (!date.isValid())
            return;
        window.findChild<QDateEdit *>(QLatin1String(edit))->setDate(date);
        window.findChild<QCheckBox *>(QLatin1String(check))->setChecked(true);
    };
    limit("chkFrom", "dateFrom", from);
    limit("chkTo", "dateTo", to);
    QCOMPARE(window.totalsText(), totals);
    // The chart adds up the same flights as the line.
    const qint64 shownMinutes = window.model()->shownMinutes();
    qint64 charted = 0;
    if (shownMinutes) {
        const QBarSet *hours = qobject_cast<QBarSeries *>(
            window.findChild<QChartView *>(QStringLiteral("chartHours"))->chart()->series().constFirst())
                                   ->barSets()
                                   .constFirst();
        for (int m = 0; m < hours->count(); ++m)
            charted += qRound(hours->at(m) * 60);
    }
    QCOMPARE(charted, shownMinutes);
    auto *years = window.findChild<QTableWidget *>(QStringLiteral("tblYears"));
    QCOMPARE(years->rowCount() ? years->item(years->rowCount() - 1, 0)->text() : QString(), lastYearRow);
    // Per glider, the shown flights again.
    auto *gliders = window.findChild<QTableWidget *>(QStringLiteral("tblGliders"));
    int perGlider = 0;
    for (int r = 0; r < gliders->rowCount(); ++r)
        perGlider += gliders->item(r, 2)->text().toInt();
    QCOMPARE(perGlider, window.model()->rowCount());
}

// Each cell of the recency table: flights, launches and hours of a role in
// the last 90 days, 12 and 24 months up to today, readable as words; a
// flight ahead of today and the opening balance do not count.
void TestLogbookWindow::recencyAsOfToday()
{
    const QDate today = QDate::currentDate();
    PilotLogbook logbook(logbookPath());
    LogbookWindow window(&logbook);
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tblRecency"));
    QCOMPARE(table->accessibleName(), QStringLiteral("Recency as of %1").arg(today.toString(Qt::ISODate)));
    QCOMPARE(table->item(0, kRoleCount)->text(), QStringLiteral("0 / 0 / 00:00"));

    const QString site = QStringLiteral("Kamber");
    for (const LogbookEntry &e : {
             handFlight(today, 60, site, "", "", PilotRole::PilotInCommand, 1),
             handFlight(today.addDays(-89), 30, site, "", "", PilotRole::Dual, 3),
             handFlight(today.addDays(-90), 45, site, "", "", PilotRole::PilotInCommand, 2),
             handFlight(today.addMonths(-12).addDays(1), 15, site, "", "", PilotRole::Instructor, 1),
             handFlight(today.addMonths(-12), 20, site, "", "", PilotRole::PilotInCommand, 1),
             handFlight(today.addMonths(-24).addDays(1), 10, site, "", "", PilotRole::Passenger, 1),
             handFlight(today.addMonths(-24), 600, site, "", "", PilotRole::PilotInCommand, 1),
             handFlight(today.addDays(1), 600, site, "", "", PilotRole::PilotInCommand, 1),
         })
        QVERIFY(logbook.addFlight(e));
    OpeningBalance balance;
    balance.asOf = today.addYears(-30);
    balance.byRole[0] = { 500, 500, 500 * 60 };
    window.setOpeningBalance(balance);

    const auto cell = [&](int row, int column) { return table->item(row, column)->text(); };
    QCOMPARE(table->verticalHeaderItem(0)->text(), QStringLiteral("Last 90 days"));
    QCOMPARE(cell(0, kRoleCount), QStringLiteral("2 / 4 / 01:30"));
    QCOMPARE(cell(0, int(PilotRole::PilotInCommand)), QStringLiteral("1 / 1 / 01:00"));
    QCOMPARE(cell(0, int(PilotRole::Dual)), QStringLiteral("1 / 3 / 00:30"));
    QCOMPARE(cell(1, kRoleCount), QStringLiteral("4 / 7 / 02:30"));
    QCOMPARE(cell(1, int(PilotRole::Instructor)), QStringLiteral("1 / 1 / 00:15"));
    QCOMPARE(cell(2, kRoleCount), QStringLiteral("6 / 9 / 03:00"));
    QCOMPARE(cell(2, int(PilotRole::Passenger)), QStringLiteral("1 / 1 / 00:10"));
    QCOMPARE(table->item(1, kRoleCount)->data(Qt::AccessibleTextRole).toString(),
        QStringLiteral("4 flights, 7 launches, 02:30 hours"));
    QCOMPARE(table->horizontalHeaderItem(kRoleCount)->text(), QStringLiteral("All"));
}

// Save as PDF writes the flights shown, oldest first; a folder that cannot
// be written is said so and leaves nothing behind.
void TestLogbookWindow::pdfHoldsTheFlightsShown()
{
    PilotLogbook logbook(logbookPath());
    QVERIFY(logbook.addFlight(handFlight(QDate(2025, 5, 2), 60, QStringLiteral("Kamber"), "Rush 6")));
    QVERIFY(logbook.addFlight(handFlight(QDate(2025, 5, 1), 50, QStringLiteral("Hohe Wand"), "Rush 6")));
    QVERIFY(logbook.addFlight(handFlight(QDate(2025, 5, 3), 40, QStringLiteral("Lusen"), "Mentor 7")));
    LogbookWindow window(&logbook);
    choose(window, "cmbGlider", QStringLiteral("Rush 6"));

    const QString pdf = m_data->filePath(QStringLiteral("pages.pdf"));
    QVERIFY(window.savePdfTo(pdf));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") });
    QVERIFY(text.waitForFinished(20000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(printed.contains(QStringLiteral("Hohe Wand")) && printed.contains(QStringLiteral("Kamber")),
        qPrintable(printed));
    QVERIFY(printed.indexOf(QStringLiteral("Hohe Wand")) < printed.indexOf(QStringLiteral("Kamber")));
    QVERIFY(!printed.contains(QStringLiteral("Lusen")));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblStatus"))->text(),
        QStringLiteral("2 flights on 1 page written to %1").arg(pdf));

    // Print... previews the same pages (with 19 flights shown: two).
    for (int i = 0; i < 17; ++i)
        QVERIFY(logbook.addFlight(
            handFlight(QDate(2024, 1, 1).addDays(i), 10, QStringLiteral("Lusen"), "Rush 6")));
    int previewed = -1;
    QTimer::singleShot(0, this, [&] {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        if (!preview)
            return;
        previewed = preview->findChild<QPrintPreviewWidget *>()->pageCount();
        preview->reject();
    });
    window.findChild<QAction *>(QStringLiteral("actionPrint"))->trigger();
    QCOMPARE(previewed, 2);

    // With a year chosen, the first page brings forward the paper logbook
    // and every flight before that year.
    OpeningBalance balance;
    balance.asOf = QDate(2020, 1, 1);
    balance.byRole[0] = { 40, 50, 600 };
    window.setOpeningBalance(balance);
    choose(window, "cmbGlider", QStringLiteral("All gliders"));
    choose(window, "cmbYear", QStringLiteral("2025"));
    QVERIFY(window.savePdfTo(m_data->filePath(QStringLiteral("2025.pdf"))));
    text.start(QStringLiteral("pdftotext"),
        { QStringLiteral("-layout"), m_data->filePath(QStringLiteral("2025.pdf")), QStringLiteral("-") });
    QVERIFY(text.waitForFinished(20000));
    const QString year = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    QVERIFY2(year.contains(QStringLiteral("Brought forward 57 flights 12:50 67")), qPrintable(year));
    QVERIFY(year.contains(QStringLiteral("Totals to date 60 flights 15:20 70")));

    const QString nowhere = m_data->filePath(QStringLiteral("no such folder/pages.pdf"));
    QVERIFY(!window.savePdfTo(nowhere));
    QVERIFY(!QFileInfo::exists(nowhere));
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("lblStatus"))
                ->text()
                .startsWith(QStringLiteral("Could not write")));
}

// A backup put back: the list, the totals with its opening balance and
// the undo history follow the logbook now in use.
void TestLogbookWindow::backupRestoredInTheWindow()
{
    PilotLogbook logbook(logbookPath());
    QVERIFY(logbook.addFlight(handFlight(QDate(2025, 5, 1), 60, QStringLiteral("Kamber"), "Rush 6")));
    OpeningBalance balance;
    balance.asOf = QDate(2025, 1, 1);
    balance.byRole[1] = { 10, 10, 300 };
    QVERIFY(logbook.setOpeningBalance(balance));
    LogbookWindow window(&logbook);
    const QString before = window.totalsText();
    QCOMPARE(before,
        QStringLiteral("1 flight, 01:00 hours; 11 flights, 06:00 hours including the opening balance"));
    const QString backup = m_data->filePath(QStringLiteral("copy.sqlite"));
    QVERIFY(window.backUpTo(backup));

    QVERIFY(logbook.addFlight(handFlight(QDate(2025, 5, 2), 30, QStringLiteral("Lusen"), "Rush 6")));
    window.setOpeningBalance(OpeningBalance());
    QCOMPARE(window.undoStack()->count(), 1);
    QCOMPARE(window.totalsText(), QStringLiteral("2 flights, 01:30 hours"));

    QVERIFY(window.restoreFrom(backup));
    QCOMPARE(window.totalsText(), before);
    QCOMPARE(window.undoStack()->count(), 0);
    QVERIFY(!window.restoreFrom(m_data->filePath(QStringLiteral("no such backup.sqlite"))));
    QCOMPARE(window.totalsText(), before);
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("lblStatus"))
                ->text()
                .startsWith(QStringLiteral("Nothing restored: ")));
}

void TestLogbookWindow::balanceHours_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("minutes"); // -1: not read
    QTest::newRow("H:MM") << "401:15" << qint64(24075);
    QTest::newRow("minutes only") << "0:05" << qint64(5);
    QTest::newRow("whole hours") << "12" << qint64(720);
    QTest::newRow("nothing") << " " << qint64(0);
    QTest::newRow("60 minutes") << "3:60" << qint64(-1);
    QTest::newRow("one minute digit") << "3:5" << qint64(-1);
    QTest::newRow("half typed") << "3:" << qint64(-1);
    QTest::newRow("decimal hours") << "3.5" << qint64(-1);
    QTest::newRow("negative") << "-2:00" << qint64(-1);
}

void TestLogbookWindow::balanceHours()
{
    QFETCH(QString, typed);
    QFETCH(qint64, minutes);
    QCOMPARE(OpeningBalanceDialog::minutesOf(typed).value_or(-1), minutes);
}

// Runs `steps` in the next modal dialog to open (the one opened by what the
// caller does next), typing into whichever widget has the focus.
template <typename Steps> void inNextDialog(QObject *context, Steps steps)
{
    QTimer::singleShot(0, context, [steps] {
        auto *dialog = qobject_cast<FlightDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        steps(dialog);
        // Whatever the steps left, the dialog does not stay open.
        if (dialog->isVisible())
            dialog->reject();
    });
}

QWidget *focused()
{
    return QApplication::focusWidget();
}

void typeOver(const QString &text)
{
    QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focused(), text);
}

void tabTo(const char *name)
{
    QTest::keyClick(focused(), Qt::Key_Tab);
    QCOMPARE(focused()->objectName(), QLatin1String(name));
}

// A flight entered by hand and an instrument flight's date corrected, with
// nothing but the keyboard; both undone and redone.
void TestLogbookWindow::flightAddedAndCorrectedByKeyboard()
{
    PilotLogbook logbook(logbookPath());
    logbook.record(MemoryFlights::textsD(1), QStringLiteral("KESTREL"));
    LogbookWindow window(&logbook);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *table = window.findChild<QTableView *>(QStringLiteral("tblFlights"));
    table->setFocus();
    LogbookFilter *shown = window.model();
    const auto cell = [&](qint64 id, int column, int role = Qt::DisplayRole) {
        for (int r = 0; r < shown->rowCount(); ++r) {
            if (shown->entryAt(r).id == id)
                return shown->index(r, column).data(role).toString();
        }
        return QStringLiteral("<no row>");
    };
    const auto stored = [&]() {
        const auto entries = PilotLogbook(logbookPath()).entries();
        return entries ? *entries : QList<LogbookEntry>();
    };
    const qint64 instrumentId = shown->entryAt(0).id;

    QString refused;
    inNextDialog(this, [&](FlightDialog *dialog) {
        QTRY_COMPARE(focused()->objectName(), QStringLiteral("edtDate"));
        typeOver(QStringLiteral("2026-11-30"));
        tabTo("edtStart");
        QTest::keyClicks(focused(), QStringLiteral("13:15"));
        tabTo("edtDuration");
        QTest::keyClicks(focused(), QStringLiteral("2:75"));
        tabTo("edtSite");
        QTest::keyClicks(focused(), QStringLiteral("Ridge East"));
        tabTo("edtLandingSite");
        QTest::keyClicks(focused(), QStringLiteral("Farm"));
        tabTo("chkOutlanding");
        QTest::keyClick(focused(), Qt::Key_Space);
        tabTo("edtGlider");
        QTest::keyClicks(focused(), QStringLiteral("Mentor 7"));
        tabTo("cmbLaunch");
        QTest::keyClick(focused(), Qt::Key_Down);
        QTest::keyClick(focused(), Qt::Key_Down);
        tabTo("spnLaunches");
        typeOver(QStringLiteral("3"));
        tabTo("cmbRole");
        QTest::keyClick(focused(), Qt::Key_Down);
        tabTo("edtNotes");
        QTest::keyClicks(focused(), QStringLiteral("ridge soaring"));
        tabTo("edtQneMin");
        QTest::keyClicks(focused(), QStringLiteral("420"));
        tabTo("edtQneMax");
        QTest::keyClicks(focused(), QStringLiteral("1510"));
        // A duration of 2:75 is refused with the field to fix in focus.
        QTest::keyClick(focused(), Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        refused = dialog->findChild<QLabel *>(QStringLiteral("lblProblem"))->text();
        QCOMPARE(focused()->objectName(), QStringLiteral("edtDuration"));
        typeOver(QStringLiteral("02:05"));
        QTest::keyClick(focused(), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    });
    QTest::keyClick(table, Qt::Key_N, Qt::ControlModifier);
    QVERIFY2(refused.contains(QStringLiteral("duration")), qPrintable(refused));
    QCOMPARE(shown->rowCount(), 2);
    QList<LogbookEntry> entries = stored();
    QCOMPARE(entries.size(), 2);
    const LogbookEntry added = entries.first().byHand ? entries.first() : entries.last();
    QVERIFY(added.byHand);
    QCOMPARE(added.flight.date, QDate(2026, 11, 30));
    QCOMPARE(added.flight.startMinutes, 13 * 60 + 15);
    QCOMPARE(added.flight.durationMinutes, 125);
    QCOMPARE(added.landingSite, QStringLiteral("Farm"));
    QVERIFY(added.outlanding);
    QCOMPARE(added.launch, LaunchMethod::Winch);
    QCOMPARE(added.launches, 3);
    QCOMPARE(added.role, PilotRole::Dual);
    QCOMPARE(added.flight.value(4), QVariant(420));
    QVERIFY(!added.flight.has(6) && !added.flight.has(8));
    QStringList row;
    for (const int c : { LogbookModel::Date, LogbookModel::HeightDiffMax, LogbookModel::LandingSite,
             LogbookModel::Glider, LogbookModel::Launch, LogbookModel::Launches, LogbookModel::Role })
        row << cell(added.id, c);
    QCOMPARE(row, (QStringList { "2026-11-30", "", "Farm (outlanding)", "Mentor 7", "Winch", "3", "Dual" }));

    // The instrument's flight, opened with Enter: its date corrected; the
    // instrument's value shown beside it and restorable.
    QString recorded;
    bool summaryReadOnly = false;
    inNextDialog(this, [&](FlightDialog *dialog) {
        summaryReadOnly = dialog->findChild<QLineEdit *>(QStringLiteral("edtQneMax"))->isReadOnly();
        typeOver(QStringLiteral("2004-04-18"));
        recorded = dialog->findChild<QLabel *>(QStringLiteral("lblDateRecorded"))->text();
        QTest::keyClick(focused(), Qt::Key_Return);
    });
    for (int r = 0; r < shown->rowCount(); ++r) {
        if (shown->entryAt(r).id == instrumentId)
            table->setCurrentIndex(shown->index(r, LogbookModel::Duration));
    }
    QTest::keyClick(table, Qt::Key_Return);
    QVERIFY(summaryReadOnly);
    QCOMPARE(recorded, QStringLiteral("Instrument recorded 2005-07-14"));
    QCOMPARE(cell(instrumentId, LogbookModel::Date), QStringLiteral("2004-04-18 *"));
    QCOMPARE(cell(instrumentId, LogbookModel::Date, Qt::AccessibleTextRole),
        QStringLiteral("2004-04-18, corrected"));
    QVERIFY(cell(instrumentId, LogbookModel::Date, Qt::ToolTipRole).contains(QStringLiteral("2005-07-14")));
    entries = stored();
    const auto instrumentEntry = [&] {
        for (const LogbookEntry &e : std::as_const(entries)) {
            if (!e.byHand)
                return e;
        }
        return LogbookEntry();
    };
    QCOMPARE(instrumentEntry().flight.date, QDate(2004, 4, 18));
    QCOMPARE(instrumentEntry().instrumentDate, std::optional<QDate>(QDate(2005, 7, 14)));
    QCOMPARE(instrumentEntry().flight.qneMax, 2130);

    // The restore button, reached with Tab, puts the instrument's date
    // back in the field; Escape keeps the logbook as it was.
    QString restored;
    inNextDialog(this, [&](FlightDialog *) {
        tabTo("btnRestoreDate");
        QTest::keyClick(focused(), Qt::Key_Space);
        restored = qobject_cast<QLineEdit *>(focused())->text();
        QTest::keyClick(focused(), Qt::Key_Escape);
    });
    QTest::keyClick(table, Qt::Key_Return);
    QCOMPARE(restored, QStringLiteral("2005-07-14"));
    QCOMPARE(cell(instrumentId, LogbookModel::Date), QStringLiteral("2004-04-18 *"));

    // Undone: the correction, then the flight by hand.
    QCOMPARE(window.undoStack()->count(), 2);
    window.undoStack()->undo();
    QCOMPARE(cell(instrumentId, LogbookModel::Date), QStringLiteral("2005-07-14"));
    entries = stored();
    QVERIFY(!instrumentEntry().isCorrected());
    window.undoStack()->undo();
    QCOMPARE(shown->rowCount(), 1);
    QCOMPARE(stored().size(), 1);

    // Redone, and a step taken on the flight by hand afterwards; all undone
    // while a flight read meanwhile takes the id it had: redone, the flight
    // is stored under another id, which the later step follows.
    window.undoStack()->redo();
    window.undoStack()->redo();
    entries = stored();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(instrumentEntry().flight.date, QDate(2004, 4, 18));
    const LogbookEntry again = entries.first().byHand ? entries.first() : entries.last();
    QCOMPARE(again.landingSite, QStringLiteral("Farm"));
    LogbookEntry renamed = again;
    renamed.site = QStringLiteral("Ridge West");
    QVERIFY(window.editFlight(again, renamed));
    window.undoStack()->setIndex(0);
    QCOMPARE(stored().size(), 1);
    logbook.record(MemoryFlights::textsA(2), QStringLiteral("KESTREL"));
    window.undoStack()->setIndex(3);
    QCOMPARE(window.undoStack()->count(), 3);
    entries = stored();
    QCOMPARE(entries.size(), 3);
    QStringList sites;
    for (const LogbookEntry &e : std::as_const(entries)) {
        if (e.byHand) {
            QVERIFY(e.id != again.id);
            sites << e.site;
        }
    }
    QCOMPARE(sites, QStringList { "Ridge West" });
}

// What the flight dialog refuses, each with a sentence that names the
// field; a flight by hand may leave every summary value empty.
void TestLogbookWindow::flightDialogRefuses_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem"); // empty: accepted

    QTest::newRow("no such day") << "edtDate"
                                 << "2005-02-29"
                                 << "date";
    QTest::newRow("date in another form") << "edtDate"
                                          << "14.07.2005"
                                          << "date";
    QTest::newRow("leap day") << "edtDate"
                              << "2004-02-29"
                              << "";
    QTest::newRow("clock past 23:59") << "edtStart"
                                      << "24:00"
                                      << "take-off time";
    QTest::newRow("clock without minutes") << "edtStart"
                                           << "12"
                                           << "take-off time";
    QTest::newRow("one hour digit") << "edtStart"
                                    << "9:05"
                                    << "";
    QTest::newRow("over 24 hours") << "edtDuration"
                                   << "24:01"
                                   << "duration";
    QTest::newRow("24 hours") << "edtDuration"
                              << "24:00"
                              << "";
    QTest::newRow("rate with two decimals") << "edtLift"
                                            << "2.55"
                                            << "Lift max";
    QTest::newRow("rate with a comma") << "edtLift"
                                       << "2,5"
                                       << "";
    QTest::newRow("negative speed") << "edtSpeedMin"
                                    << "-3"
                                    << "Speed min";
    QTest::newRow("height with a decimal") << "edtQneMax"
                                           << "1500.5"
                                           << "QNE max";
    QTest::newRow("QNE min above max") << "edtQneMin"
                                       << "2000"
                                       << "QNE min cannot be above";
    QTest::newRow("negative QNE") << "edtQneMin"
                                  << "-20"
                                  << "";
}

void TestLogbookWindow::flightDialogRefuses()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, problem);
    LogbookEntry entry;
    entry.flight.date = QDate(2005, 7, 14);
    FlightDialog dialog(entry, {});
    const auto set = [&](const char *name, const QString &value) {
        dialog.findChild<QLineEdit *>(QLatin1String(name))->setText(value);
    };
    set("edtStart", QStringLiteral("12:05"));
    set("edtDuration", QStringLiteral("01:30"));
    set("edtQneMax", QStringLiteral("1500"));
    set(qPrintable(field), text);
    if (problem.isEmpty()) {
        QCOMPARE(dialog.problem(), QString());
        return;
    }
    QVERIFY2(dialog.problem().contains(problem), qPrintable(dialog.problem()));
    dialog.show();
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : field, field);
}

// The gliders list kept through the window's steps, and one glider given to
// several flights in one step that gives each its own text back on undo.
void TestLogbookWindow::glidersAndSeveralFlightsAtOnce()
{
    PilotLogbook logbook(logbookPath());
    logbook.record(MemoryFlights::textsD(1), QStringLiteral("KESTREL"));
    logbook.record(MemoryFlights::textsA(2), QStringLiteral("KESTREL"));
    LogbookWindow window(&logbook);
    const auto names = [&] {
        QStringList out;
        for (const Glider &g : logbook.gliders().value_or(QList<Glider>()))
            out << QStringLiteral("%1/%2/%3").arg(g.name, g.type, g.registration);
        return out;
    };
    QVERIFY(window.applyGliders({}, { { 0, "Mentor 7", "Mentor", "D-1234" }, { 0, "Rush 6", "Rush", "" } }));
    QCOMPARE(names(), (QStringList { "Mentor 7/Mentor/D-1234", "Rush 6/Rush/" }));
    QList<Glider> before = *logbook.gliders();
    QList<Glider> after = before;
    after[0].registration = QStringLiteral("D-4321");
    after.removeAt(1);
    after.append({ 0, "Rush 6", "Rush 6", "R6-77" }); // removed and added again under its name
    const GlidersDialog::Changes changes = GlidersDialog::changesBetween(before, after);
    QCOMPARE(changes.removed, QList<qint64> { before.at(1).id });
    QCOMPARE(changes.changed.size(), 1);
    QCOMPARE(changes.added.size(), 1);
    QVERIFY(window.applyGliders(before, after));
    QCOMPARE(names(), (QStringList { "Mentor 7/Mentor/D-4321", "Rush 6/Rush 6/R6-77" }));
    // A second glider of the same name is refused before it reaches the logbook.
    GlidersDialog dialog(*logbook.gliders());
    QCOMPARE(dialog.problem(), QString());
    GlidersDialog twice(*logbook.gliders() + QList<Glider> { { 0, "mentor 7", "", "" } });
    QVERIFY(twice.problem().contains(QStringLiteral("mentor 7")));

    LogbookFilter *shown = window.model();
    QVERIFY(shown->setData(shown->index(0, LogbookModel::Glider), QStringLiteral("Old one")));
    window.undoStack()->clear();
    auto *table = window.findChild<QTableView *>(QStringLiteral("tblFlights"));
    table->selectAll();
    QVERIFY(window.setForSelected(NoteField::Glider, QStringLiteral("Rush 6")));
    const auto gliders = [&] {
        QStringList out;
        for (const LogbookEntry &e : PilotLogbook(logbookPath()).entries().value_or(QList<LogbookEntry>()))
            out << e.glider;
        return out;
    };
    QCOMPARE(gliders(), (QStringList { "Rush 6", "Rush 6" }));
    QCOMPARE(window.undoStack()->count(), 1);
    window.undoStack()->undo();
    QCOMPARE(gliders(), (QStringList { "Old one", "" }));
    window.undoStack()->redo();
    QCOMPARE(gliders(), (QStringList { "Rush 6", "Rush 6" }));
}

// The Date cell marks a flight to check, as text a screen reader reads too.
void TestLogbookWindow::dateCellMarks_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("duration");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("why"); // in the tool tip

    QTest::newRow("ordinary") << "2005-07-14"
                              << "12:05"
                              << "01:30"
                              << "2005-07-14"
                              << "";
    QTest::newRow("clock not set") << "2000-01-01"
                                   << "12:05"
                                   << "01:30"
                                   << "2000-01-01 !"
                                   << "2000-01-02";
    QTest::newRow("first day that counts") << "2000-01-02"
                                           << "12:05"
                                           << "01:30"
                                           << "2000-01-02"
                                           << "";
    QTest::newRow("start at midnight") << "2005-07-14"
                                       << "00:09"
                                       << "01:30"
                                       << "2005-07-14 !"
                                       << "00:10";
    QTest::newRow("start at 00:10") << "2005-07-14"
                                    << "00:10"
                                    << "01:30"
                                    << "2005-07-14"
                                    << "";
    QTest::newRow("not ended") << "2005-07-14"
                               << "12:05"
                               << "11:01"
                               << "2005-07-14 !"
                               << "11 hours";
    QTest::newRow("eleven hours") << "2005-07-14"
                                  << "12:05"
                                  << "11:00"
                                  << "2005-07-14"
                                  << "";
}

void TestLogbookWindow::dateCellMarks()
{
    QFETCH(QString, date);
    QFETCH(QString, start);
    QFETCH(QString, duration);
    QFETCH(QString, shown);
    QFETCH(QString, why);
    PilotLogbook logbook(logbookPath());
    FlightSummary flight = MemoryFlights::textsD(1);
    flight.date = date;
    flight.startTime = start;
    flight.duration = duration;
    logbook.record(flight, QStringLiteral("KESTREL"));
    LogbookWindow window(&logbook);
    const QModelIndex cell = window.model()->index(0, LogbookModel::Date);
    QCOMPARE(cell.data().toString(), shown);
    QCOMPARE(cell.data(Qt::AccessibleTextRole).toString(),
        why.isEmpty() ? date : date + QStringLiteral(", doubtful"));
    QCOMPARE(cell.data(Qt::ToolTipRole).toString().contains(why), true);
    QCOMPARE(cell.data(Qt::ToolTipRole).toString().isEmpty(), why.isEmpty());
}

QTEST_MAIN(TestLogbookWindow)
#include "tst_logbookwindow.moc"
