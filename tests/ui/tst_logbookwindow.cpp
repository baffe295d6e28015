// The Logbook window with the main window against the simulated instrument:
// the reads fill the logbook once, the window follows them, and nothing of
// the logbook, not even a file it cannot use, reaches the main window.

#include "tests/support/InstrumentRig.h"

#include "logbook/PilotLogbook.h"
#include "ui/LogbookModel.h"
#include "ui/LogbookWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

namespace {

const QByteArray kPilot = "KESTREL ";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
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

private:
    void start()
    {
        SimInstrument::Options options;
        options.memory = Logbook::image({ Logbook::kFlightD, Logbook::kFlightA, Logbook::kFlightB }, kPilot);
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

    exportRange("1", "3");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Txt file ready") });
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
    LogbookModel *model = window->model();
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
                   "\"first climb, 4.5 m/s\"\r"));
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
// figures the per-year table gives as text.
void TestLogbookWindow::everyControlNamed()
{
    PilotLogbook logbook(logbookPath());
    LogbookWindow window(&logbook);
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

QTEST_MAIN(TestLogbookWindow)
#include "tst_logbookwindow.moc"
