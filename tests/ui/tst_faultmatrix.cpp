// Every instrument operation against every fault the simulated instrument can
// play, each aimed at one command inside the operation. Every cell runs on a
// fresh instrument and window and checks: the operation returns (a watchdog
// thread ends the program if it does not), the status lines are exactly the
// ones the operation writes for that failure, no display box or file changes
// except as the operation says (an earlier report is never lost), and after
// Reset every operation control is enabled and a plain "Get pilot name" works.
// Throughout, "Ports and Folder..." follows the Port list: it must not reopen
// the port while unasked data waits.
//
// The cells print a table of their outcomes as they run.

#include "tests/support/FaultGrid.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/OpenerStandIn.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

enum Operation { Info, ReadName, WriteName, ShowFlight, ExportText, ExportWorkbook };
enum Files {
    FilesUntouched, // every file on drive C keeps its bytes
    ReportRewritten, // the text report is replaced by this run's report
    NewWorkbook, // one new workbook beside the untouched earlier files
};

const QString kPortNotOpen = QStringLiteral("COM port not open");
const QString kConnectError
    = QStringLiteral("Error connecting to the Orvin, please check cable and settings");
const QString kVersionError = QStringLiteral("Error processing version");
const QString kNameError = QStringLiteral("Error processing pilot name");
const QString kSetError = QStringLiteral("Error setting pilot name");
const QString kNameSet = QStringLiteral("Pilot name is set");
const QString kDataError = QStringLiteral("Error processing data, please check Orvin settings and try again");
const QString kFlight2Error = QStringLiteral("Error processing: Flight 2");
const QString kTextReady = QStringLiteral("Txt file ready");
const QString kWorkbookReady = QStringLiteral("Excel file ready");

const QByteArray kStoredName = "KESTREL ";
const QString kTypedName = QStringLiteral("matrix");
const QString kWrittenName = QStringLiteral("MATRIX  ");
const QString kReportName = QStringLiteral("flightlog.txt");
const QByteArray kEarlierReport = "\"earlier report\"\r\n";
const QString kEarlierWorkbook = QStringLiteral("Flight log.xlsx");
const QString kNextWorkbook = QStringLiteral("Flight log (2).xlsx");

const char *const kFlightBoxes[] = { "txtFlight", "txtDate", "txtStime", "txtDtime", "txtAltMin", "txtAltMax",
    "txtHeightdiffmax", "txtGain", "txtVarioMax", "txtVarioMin", "txtSpeedMin", "txtSpeedMax" };

// Each operation's name and the button that starts it.
const char *const kOperations[][2] = { { "information", "btnVersie" }, { "read name", "cmdGetPilotName" },
    { "write name", "savepilot" }, { "show flight 3", "cmdGetFlight" }, { "export 1-2 to text", "cmdExport" },
    { "export 1-2 to workbook", "cmdExport" } };
const char *operationName(int op)
{
    return kOperations[op][0];
}
const char *buttonOf(int op)
{
    return kOperations[op][1];
}

// Ends the whole test program when a cell does not come back in time: a hung
// operation never returns to the event loop, so only another thread can tell.
class Watchdog
{
public:
    Watchdog(int seconds, QByteArray what)
        : m_thread([this, seconds, what] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_disarmed; })) {
                std::fprintf(stderr, "FAIL: %s did not end within %d s\n", what.constData(), seconds);
                std::fflush(stderr);
                std::_Exit(3);
            }
        })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_disarmed = true;
        }
        m_done.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    std::thread m_thread; // last: starts once the rest is ready
};

QMap<QString, QByteArray> filesIn(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        QFile file(dir.filePath(name));
        files.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return files;
}

QString shown(const QStringList &lines)
{
    return lines.isEmpty() ? QStringLiteral("(none)") : lines.join(QStringLiteral(" / "));
}

} // namespace

class tst_FaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cell_data();
    void cell();

private:
    using Rig = InstrumentRig;

    static SimInstrument::Options instrumentOptions();
    static QStringList controlProblems(const Rig &rig, bool mustBeEnabled);
    QStringList checkNextOperationWorks(Rig &rig, SimInstrument &instrument);

    std::optional<OpenerStandIn> m_opener;
    QElapsedTimer m_clock;
    int m_cells = 0;
};

void tst_FaultMatrix::initTestCase()
{
    // The workbook export hands its file to xdg-open; a stand-in that
    // succeeds at once keeps the desktop out of the test.
    QVERIFY(m_opener.emplace().isReady());

    m_clock.start();
    qInfo("| operation | fault (aimed at) | status lines | boxes and files | controls after | after Reset | "
          "s | outcome |");
    qInfo("|---|---|---|---|---|---|---|---|");
}

void tst_FaultMatrix::cleanupTestCase()
{
    qInfo("fault matrix: %d cells in %.1f s", m_cells, m_clock.elapsed() / 1000.0);
}

SimInstrument::Options tst_FaultMatrix::instrumentOptions()
{
    SimInstrument::Options options;
    options.memory = MemoryImage::sample();
    options.memory.setPilotName(kStoredName);
    return options;
}

void tst_FaultMatrix::cell_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("fault"); // empty: unasked data before the operation
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("version"); // null: the box keeps its text
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("pilotBox");
    QTest::addColumn<int>("files");

    const QString kept; // null
    const QString stored = QString::fromLatin1(kStoredName);

    using namespace FaultGrid;
    const Aim aims[] = { kInformation, kReadName, kWriteName, kShowFlight3, kExport1To2, kExport1To2 };

    const auto row = [&](int op, const QString &kind, const QStringList &lines, const QString &version,
                         const QString &serial, const QString &pilotBox, Files files) {
        const QString fault = kind.isEmpty() ? QString() : FaultGrid::fault(aims[op], kind);
        const QString name = QStringLiteral("%1 / %2").arg(
            QLatin1String(operationName(op)), kind.isEmpty() ? QStringLiteral("unasked") : kind);
        QTest::newRow(qPrintable(name))
            << op << fault << lines << version << serial << pilotBox << int(files);
    };

    const QStringList &answerFaults = kAnswerFaults;

    // Information: any answer of 10 characters or more is cut up as it is.
    row(Info, QStringLiteral("silent"), { kVersionError }, kept, kept, stored, FilesUntouched);
    row(Info, QStringLiteral("extra"), {}, QStringLiteral("V2.10"), QStringLiteral("04711"), stored,
        FilesUntouched);
    row(Info, QStringLiteral("short"), {}, QStringLiteral("V2.10"), QStringLiteral("0471"), stored,
        FilesUntouched);
    row(Info, QStringLiteral("long"), {}, QStringLiteral("V2.10"), QStringLiteral("04711"), stored,
        FilesUntouched);
    row(Info, QStringLiteral("garble"), {}, QStringLiteral("V2.10"), QStringLiteral("042x5"), stored,
        FilesUntouched);
    row(Info, QStringLiteral("highbit"), {}, QStringLiteral("V2.10"), QString::fromLatin1("04\xB2\xB5\xB5"),
        stored, FilesUntouched);
    // The late "V" answer lands in the name read's connection test.
    row(Info, QStringLiteral("late:80"), { kVersionError, kConnectError }, kept, kept, stored,
        FilesUntouched);
    row(Info, QStringLiteral("hangup"), { kPortNotOpen, kVersionError, kPortNotOpen }, kept, kept, stored,
        FilesUntouched);

    for (const QString &kind : answerFaults)
        row(ReadName, kind, { kNameError }, kept, kept, stored, FilesUntouched);
    row(ReadName, QStringLiteral("late:80"), { kNameError }, kept, kept, stored, FilesUntouched);
    row(ReadName, QStringLiteral("hangup"), { kPortNotOpen, kNameError }, kept, kept, stored, FilesUntouched);

    // The content of a write answer is never looked at, only its length.
    for (const QString &kind : answerFaults) {
        const bool lengthKept = kind == QLatin1String("garble") || kind == QLatin1String("highbit");
        row(WriteName, kind, { lengthKept ? kNameSet : kSetError }, kept, kept,
            lengthKept ? kWrittenName : stored, FilesUntouched);
    }
    row(WriteName, QStringLiteral("late:80"), { kSetError }, kept, kept, stored, FilesUntouched);
    row(WriteName, QStringLiteral("hangup"), { kPortNotOpen, kSetError }, kept, kept, stored, FilesUntouched);

    for (const QString &kind : answerFaults)
        row(ShowFlight, kind, { kDataError }, kept, kept, stored, FilesUntouched);
    // The late answer lands in the pilot refresh's connection test.
    row(ShowFlight, QStringLiteral("late:80"), { kDataError, kConnectError }, kept, kept, stored,
        FilesUntouched);
    row(ShowFlight, QStringLiteral("hangup"), { kPortNotOpen, kDataError, kPortNotOpen }, kept, kept, stored,
        FilesUntouched);

    // An unreadable flight is marked "*" and the report is still written; a
    // run cut off by a hang-up writes nothing and leaves the earlier report.
    for (const int op : { int(ExportText), int(ExportWorkbook) }) {
        const QString ready = op == ExportText ? kTextReady : kWorkbookReady;
        const Files written = op == ExportText ? ReportRewritten : NewWorkbook;
        for (const QString &kind : answerFaults)
            row(op, kind, { kFlight2Error, ready }, kept, kept, stored, written);
        row(op, QStringLiteral("late:80"), { kFlight2Error, kConnectError, ready }, kept, kept, stored,
            written);
        row(op, QStringLiteral("hangup"), { kPortNotOpen, kFlight2Error }, kept, kept, stored,
            FilesUntouched);
    }

    // A late answer inside a run arrives before the run is judged, in order:
    // the run goes through as if nothing had happened.
    QTest::newRow("read name / late:80 inside the run")
        << int(ReadName) << QStringLiteral("late:80 R000210 1") << QStringList() << kept << kept << stored
        << int(FilesUntouched);
    QTest::newRow("show flight 3 / late:80 inside the run")
        << int(ShowFlight) << QStringLiteral("late:80 R000448 1") << QStringList() << kept << kept << stored
        << int(FilesUntouched);

    // Unasked data before the operation: the controls are disabled, so it
    // cannot start; after Reset it runs as it would without a fault.
    row(Info, {}, {}, QStringLiteral("V2.10"), QStringLiteral("04711"), stored, FilesUntouched);
    row(ReadName, {}, {}, kept, kept, stored, FilesUntouched);
    row(WriteName, {}, { kNameSet }, kept, kept, kWrittenName, FilesUntouched);
    row(ShowFlight, {}, {}, kept, kept, stored, FilesUntouched);
    row(ExportText, {}, { kTextReady }, kept, kept, stored, ReportRewritten);
    row(ExportWorkbook, {}, { kWorkbookReady }, kept, kept, stored, NewWorkbook);
}

QStringList tst_FaultMatrix::controlProblems(const Rig &rig, bool mustBeEnabled)
{
    // All thirteen follow the receive buffer, the file name controls too:
    // emptying the buffer enables them even with the workbook chosen.
    QStringList problems;
    for (const QWidget *control : rig.window->operationControls()) {
        if (control->isEnabled() != mustBeEnabled)
            problems << QStringLiteral("%1 %2").arg(control->objectName(),
                mustBeEnabled ? QStringLiteral("disabled") : QStringLiteral("enabled"));
    }
    if (rig.child<QAction>("PortsFolder")->isEnabled() != mustBeEnabled)
        problems << QStringLiteral("PortsFolder %1")
                        .arg(mustBeEnabled ? QStringLiteral("disabled") : QStringLiteral("enabled"));
    return problems;
}

// Reset, then a plain "Get pilot name": no status line, the name the
// instrument holds now, and the exact commands of a name read.
QStringList tst_FaultMatrix::checkNextOperationWorks(Rig &rig, SimInstrument &instrument)
{
    QStringList problems;
    rig.child<QPushButton>("Command3")->click();
    if (!rig.window->receiveBufferText().isEmpty())
        problems << QStringLiteral("Reset left the receive buffer filled");
    if (const QStringList off = controlProblems(rig, true); !off.isEmpty())
        problems << QStringLiteral("after Reset: ") + off.join(QStringLiteral(", "));

    const auto memory = instrument.memoryNow();
    if (!memory)
        return problems << QStringLiteral("no memory from the instrument");
    instrument.clearTranscript();
    rig.child<QPushButton>("cmdGetPilotName")->click();
    const QStringList expectedCommands = QStringList { QStringLiteral("T") } + Wire::pilotRefresh();
    if (!rig.log().isEmpty())
        problems << QStringLiteral("next read name logged: ") + shown(rig.log());
    if (rig.box("txtPilotName")->text() != QString::fromLatin1(memory->pilotName()))
        problems << QStringLiteral("next read name shows \"%1\", the instrument holds \"%2\"")
                        .arg(rig.box("txtPilotName")->text(), QString::fromLatin1(memory->pilotName()));
    if (instrument.receivedCommands() != expectedCommands)
        problems << QStringLiteral("next read name sent ")
                + instrument.receivedCommands().join(QLatin1Char(' '));
    if (const QStringList off = controlProblems(rig, true); !off.isEmpty())
        problems << QStringLiteral("after the next read: ") + off.join(QStringLiteral(", "));
    return problems;
}

void tst_FaultMatrix::cell()
{
    QFETCH(int, operation);
    QFETCH(QString, fault);
    QFETCH(QStringList, lines);
    QFETCH(QString, version);
    QFETCH(QString, serial);
    QFETCH(QString, pilotBox);
    QFETCH(int, files);
    const bool unasked = fault.isEmpty();
    const bool hangUp = fault.startsWith(QLatin1String("hangup"));
    const bool workbook = operation == ExportWorkbook;
    ++m_cells;

    Rig rig;
    QVERIFY(rig.startInstrument(instrumentOptions()));
    const QString driveC = rig.sim->driveC();
    {
        QFile report(QDir(driveC).filePath(kReportName));
        QVERIFY(report.open(QIODevice::WriteOnly) && report.write(kEarlierReport) == kEarlierReport.size());
        QFile earlierWorkbook(QDir(driveC).filePath(kEarlierWorkbook));
        QVERIFY(earlierWorkbook.open(QIODevice::WriteOnly) && earlierWorkbook.write("earlier workbook") > 0);
    }
    QVERIFY(rig.openWindow());
    QVERIFY(rig.window->serialPort().isOpen());

    // The window as a user left it: the name read once, boxes holding an
    // earlier flight, the entries for this cell's operation.
    rig.child<QPushButton>("cmdGetPilotName")->click();
    QCOMPARE(rig.box("txtPilotName")->text(), QString::fromLatin1(kStoredName));
    for (const char *name : kFlightBoxes)
        rig.box(name)->setText(QStringLiteral("was ") + QLatin1String(name));
    rig.box("txtVersion")->setText(QStringLiteral("was V"));
    rig.box("txtSerial")->setText(QStringLiteral("was S"));
    rig.box("txtVluchtNummer")->setText(QStringLiteral("3"));
    rig.box("txtFromFlight")->setText(QStringLiteral("1"));
    rig.box("txtUntilFlight")->setText(QStringLiteral("2"));
    rig.box("txtPilot")->setText(kTypedName);
    auto *exportType = rig.child<QComboBox>("cmbExportSettings");
    exportType->setCurrentIndex(workbook ? 1 : 0);
    emit exportType->activated(exportType->currentIndex());
    rig.child<QPushButton>("Command3")->click();
    QVERIFY(rig.log().isEmpty());

    QMap<QString, QString> boxesBefore;
    for (const char *name : kFlightBoxes)
        boxesBefore.insert(QLatin1String(name), rig.box(name)->text());
    const QMap<QString, QByteArray> filesBefore = filesIn(driveC);
    rig.sim->clearTranscript();

    QStringList problems;
    if (unasked) {
        QVERIFY(rig.sim->sendUnasked("R000047025"));
        QVERIFY(waitFor([&] { return !rig.window->receiveBufferText().isEmpty(); }, 3000));
    } else {
        QVERIFY(rig.sim->setFault(fault));
    }

    QElapsedTimer took;
    took.start();
    {
        const Watchdog watchdog(60, QTest::currentDataTag());
        rig.child<QPushButton>(buttonOf(operation))->click();
    }
    const double seconds = took.elapsed() / 1000.0;
    // A late answer still on its way lands now, as it would for the user.
    QTest::qWait(150);

    const QString bufferAfter = rig.window->receiveBufferText();
    QString controlsAfter = bufferAfter.isEmpty()
        ? QStringLiteral("enabled")
        : QStringLiteral("disabled (%1 characters left)").arg(bufferAfter.size());
    if (rig.window->isOperationRunning())
        problems << QStringLiteral("the operation still runs");
    // The controls follow the receive buffer once the operation is over.
    if (const QStringList off = controlProblems(rig, bufferAfter.isEmpty()); !off.isEmpty())
        problems << QStringLiteral("controls after: ") + off.join(QStringLiteral(", "));

    if (unasked) {
        // The operation could not start: nothing sent, nothing logged.
        if (!rig.sim->receivedCommands().isEmpty())
            problems << QStringLiteral("sent ") + rig.sim->receivedCommands().join(QLatin1Char(' '));
        if (!rig.log().isEmpty())
            problems << QStringLiteral("logged ") + shown(rig.log());
        if (filesIn(driveC) != filesBefore)
            problems << QStringLiteral("files changed");
        controlsAfter = QStringLiteral("disabled: cannot start");
        // After Reset the same operation runs through.
        rig.child<QPushButton>("Command3")->click();
        rig.child<QPushButton>(buttonOf(operation))->click();
    }

    const QStringList logged = rig.log();
    if (logged != lines)
        problems << QStringLiteral("logged ") + shown(logged);

    // Boxes: the flight boxes change only when a flight is shown.
    const bool flightShown = operation == ShowFlight && lines.isEmpty();
    for (const char *name : kFlightBoxes) {
        if (!flightShown && rig.box(name)->text() != boxesBefore.value(QLatin1String(name)))
            problems << QStringLiteral("%1 became \"%2\"").arg(QLatin1String(name), rig.box(name)->text());
    }
    if (flightShown) {
        // Flight 3 of the sample logbook.
        const QStringList expected = { "3", "2004-06-12", "11:15", "03:06", "588", "2410", "1822", "6120",
            "5.2", "4.1", "12", "56" };
        for (int i = 0; i < 12; ++i) {
            if (rig.box(kFlightBoxes[i])->text() != expected.at(i))
                problems << QStringLiteral("%1 shows \"%2\"")
                                .arg(QLatin1String(kFlightBoxes[i]), rig.box(kFlightBoxes[i])->text());
        }
    }
    const auto checkBox = [&](const char *name, const QString &expected, const QString &before) {
        const QString want = expected.isNull() ? before : expected;
        if (rig.box(name)->text() != want)
            problems << QStringLiteral("%1 shows \"%2\", not \"%3\"")
                            .arg(QLatin1String(name), rig.box(name)->text(), want);
    };
    checkBox("txtVersion", version, QStringLiteral("was V"));
    checkBox("txtSerial", serial, QStringLiteral("was S"));
    checkBox("txtPilotName", pilotBox, QString());

    // Files: the earlier report and workbook keep their bytes unless the run
    // finished its report.
    const QMap<QString, QByteArray> filesAfter = filesIn(driveC);
    QString filesOutcome;
    switch (Files(files)) {
    case FilesUntouched:
        filesOutcome = QStringLiteral("files untouched");
        if (filesAfter != filesBefore)
            problems << QStringLiteral("files changed: ")
                    + QStringList(filesAfter.keys()).join(QStringLiteral(", "));
        break;
    case ReportRewritten: {
        const QByteArray report = filesAfter.value(kReportName);
        const bool flight2Read = unasked;
        filesOutcome = flight2Read ? QStringLiteral("report of flights 1-2")
                                   : QStringLiteral("report: flight 1, flight 2 \"*\"");
        QMap<QString, QByteArray> others = filesAfter;
        others.remove(kReportName);
        QMap<QString, QByteArray> othersBefore = filesBefore;
        othersBefore.remove(kReportName);
        if (others != othersBefore)
            problems << QStringLiteral("other files changed");
        if (!report.startsWith("\" Pilot: KESTREL \"\r\n") || !report.contains("\" 1\t2004-04-18\t12:05\t")
            || report.contains("\" 3\t"))
            problems << QStringLiteral("report lacks flight 1: ") + QString::fromLatin1(report.left(60));
        if (flight2Read != report.contains("\" 2\t2004-05-02\t13:40\t")
            || flight2Read == report.contains("\" 2\t*\t\t*\t*\t"))
            problems << QStringLiteral("report has the wrong flight 2");
        break;
    }
    case NewWorkbook: {
        filesOutcome = QStringLiteral("new workbook, earlier files untouched");
        QMap<QString, QByteArray> others = filesAfter;
        const QByteArray added = others.take(kNextWorkbook);
        if (others != filesBefore)
            problems << QStringLiteral("earlier files changed: ")
                    + QStringList(filesAfter.keys()).join(QStringLiteral(", "));
        if (!added.startsWith("PK"))
            problems << QStringLiteral("no new workbook");
        break;
    }
    }
    const QString boxesOutcome
        = (flightShown ? QStringLiteral("flight 3 shown") : QStringLiteral("flight boxes kept"))
        + (version.isNull() ? QString() : QStringLiteral(", version/serial %1/%2").arg(version, serial))
        + (pilotBox == kWrittenName ? QStringLiteral(", name %1").arg(pilotBox.trimmed()) : QString());

    // A hang-up takes the instrument away: plug in another one and choose
    // COM1 again before Reset.
    SimInstrument *next = rig.sim.get();
    QString afterReset = QStringLiteral("enabled, read name works");
    if (hangUp) {
        if (!waitFor([&] { return !rig.sim->isRunning(); }, 3000))
            problems << QStringLiteral("the instrument did not hang up");
        if (rig.window->serialPort().isOpen())
            problems << QStringLiteral("the port is still open after the hang-up");
        QVERIFY(rig.replug(instrumentOptions()));
        auto *port = rig.child<QComboBox>("cmbCommPort");
        port->setCurrentIndex(0);
        emit port->activated(0);
        next = rig.replugged.get();
        afterReset = QStringLiteral("replugged, COM1 chosen again; ") + afterReset;
    }
    const QStringList nextProblems = checkNextOperationWorks(rig, *next);
    problems += nextProblems;

    qInfo("| %s | %s | %s | %s; %s | %s | %s | %.1f | %s |", operationName(operation),
        qPrintable(unasked ? QStringLiteral("unasked \"R000047025\" before it") : fault),
        qPrintable((unasked ? QStringLiteral("after Reset: ") : QString()) + shown(lines)),
        qPrintable(boxesOutcome), qPrintable(filesOutcome), qPrintable(controlsAfter),
        qPrintable(nextProblems.isEmpty() ? afterReset : QStringLiteral("FAILED")), seconds,
        problems.isEmpty() ? "pass" : "FAIL");
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
}

QTEST_MAIN(tst_FaultMatrix)
#include "tst_faultmatrix.moc"
