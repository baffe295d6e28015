// The export run with the workbook against the simulated instrument: where
// the workbook goes, that the opener is run on it, and what its failure means.
// A recording stand-in for xdg-open comes first on PATH.

#include "tests/export/WorkbookReader.h"
#include "tests/support/Files.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/OpenerStandIn.h"

#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

const QByteArray kPilot = "KLAASEN ";

} // namespace

class TestExportXlsx : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void workbookWrittenAndOpened();
    void openerFails_data();
    void openerFails();

private:
    void chooseExcel()
    {
        auto *type = m_rig.child<QComboBox>("cmbExportSettings");
        type->setFocus();
        QTest::keyClick(type, Qt::Key_Down);
    }
    void exportRange(const QString &from, const QString &until)
    {
        m_rig.box("txtFromFlight")->setText(from);
        m_rig.box("txtUntilFlight")->setText(until);
        m_rig.button("cmdExport")->click();
    }
    QStringList driveCEntries() const
    {
        return QDir(m_rig.sim->driveC()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }

    InstrumentRig m_rig;
    std::optional<OpenerStandIn> m_opener;
    QTemporaryDir m_tools;
    QByteArray m_savedPath;
};

void TestExportXlsx::initTestCase()
{
    m_savedPath = qgetenv("PATH");
    // Found once, with the PATH the tests started with.
    WorkbookReader::python();
}

void TestExportXlsx::init()
{
    QVERIFY(m_tools.isValid());
    SimInstrument::Options options;
    options.memory = MemoryFlights::image({ MemoryFlights::kFlightD, MemoryFlights::kFlightA }, kPilot);
    QVERIFY(m_rig.start(options));
}

void TestExportXlsx::cleanup()
{
    m_opener.reset();
    qputenv("PATH", m_savedPath);
    m_rig.reset();
}

void TestExportXlsx::workbookWrittenAndOpened()
{
    QVERIFY(m_opener.emplace().isReady());
    chooseExcel();
    QCOMPARE(m_rig.child<QComboBox>("cmbExportSettings")->currentIndex(), 1);
    QVERIFY(!m_rig.box("txtFileName")->isEnabled());
    QVERIFY(!m_rig.button("cmdSaveFileName")->isEnabled());
    QVERIFY(!m_rig.child<QLabel>("Label1")->isEnabled());

    exportRange(QStringLiteral("1"), QStringLiteral("2"));

    const QString first = m_rig.sim->driveC() + QStringLiteral("/Flight log.xlsx");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Excel file ready") });
    QCOMPARE(driveCEntries(), QStringList { QStringLiteral("Flight log.xlsx") });
    QCOMPARE(m_opener->opened(), QStringList { first });

    {
        READ_WORKBOOK(book, first);
        QCOMPARE(book.value("sheets").toArray(), QJsonArray { QStringLiteral("Flight log") });
        const QJsonObject cells = book.value("cells").toObject();
        const auto value = [&cells](const char *cell) {
            return cells.value(QLatin1String(cell)).toObject().value("value");
        };
        // What the spreadsheet shows: dates and numbers are typed values.
        const auto shown = [&cells](const char *cell) {
            return cells.value(QLatin1String(cell)).toObject().value("shown").toString();
        };
        QCOMPARE(value("A2").toString(), QStringLiteral("Pilot: KLAASEN "));
        QCOMPARE(cells.value("A6").toObject().value("type").toString(), QStringLiteral("n"));
        QCOMPARE(value("A6").toInt(), 1);
        QCOMPARE(shown("B6"), QStringLiteral("2005-07-14"));
        QCOMPARE(shown("G6"), QStringLiteral("1280"));
        QCOMPARE(value("A7").toInt(), 2);
        QCOMPARE(shown("E7"), QStringLiteral("-20"));
        QCOMPARE(book.value("max_row").toInt(), 7);
    }

    // A second export never overwrites the first workbook.
    const QByteArray firstBytes = Files::read(first);
    m_rig.mark();
    exportRange(QStringLiteral("2"), QStringLiteral("2"));

    const QString second = m_rig.sim->driveC() + QStringLiteral("/Flight log (2).xlsx");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Excel file ready") });
    QCOMPARE(driveCEntries(),
        (QStringList { QStringLiteral("Flight log (2).xlsx"), QStringLiteral("Flight log.xlsx") }));
    QCOMPARE(m_opener->opened(), (QStringList { first, second }));
    QCOMPARE(Files::read(first), firstBytes);
    READ_WORKBOOK(book, second);
    QCOMPARE(book.value("cells").toObject().value("A6").toObject().value("value").toInt(), 2);
    QCOMPARE(book.value("max_row").toInt(), 6);
}

void TestExportXlsx::openerFails_data()
{
    QTest::addColumn<int>("exitCode"); // -1: no xdg-open on PATH at all
    QTest::newRow("opener exits 1") << 1;
    QTest::newRow("no opener on PATH") << -1;
}

void TestExportXlsx::openerFails()
{
    QFETCH(int, exitCode);
    if (exitCode >= 0) {
        QVERIFY(m_opener.emplace(exitCode).isReady());
    } else {
        const QString empty = m_tools.filePath(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(empty));
        qputenv("PATH", empty.toLocal8Bit());
    }
    chooseExcel();

    exportRange(QStringLiteral("3"), QStringLiteral("3"));

    // The failure is the run's last word: no ready line after it.
    QCOMPARE(m_rig.newLog(),
        (QStringList {
            QStringLiteral("Only 2 flights in memory"), QStringLiteral("Error exporting file to excel!") }));
    QCOMPARE(m_opener ? m_opener->opened().size() : 0, exitCode >= 0 ? 1 : 0);
    QVERIFY(m_rig.button("cmdExport")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

QTEST_MAIN(TestExportXlsx)
#include "tst_exportxlsx.moc"
