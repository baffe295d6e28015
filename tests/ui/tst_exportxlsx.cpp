// The export run with the workbook against the simulated instrument: where
// the workbook goes, that the opener is run on it, and what its failure means.
// A recording stand-in for xdg-open comes first on PATH.

#include "InstrumentRig.h"
#include "tests/export/WorkbookReader.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kPilot = "KLAASEN ";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// READ_WORKBOOK with the reader script of the export tests.
#define READ_WORKBOOK_UI(var, path)                                                                          \
    QJsonObject var;                                                                                         \
    do {                                                                                                     \
        const QString script_ = QFINDTESTDATA("../export/read_workbook.py");                                 \
        QVERIFY2(!script_.isEmpty(), "read_workbook.py not found");                                          \
        QString error_;                                                                                      \
        var = WorkbookReader::read(script_, path, &error_);                                                  \
        QVERIFY2(error_.isEmpty(), qPrintable(error_));                                                      \
    } while (false)

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
    // Puts an xdg-open that records its argument and exits with exitCode
    // in a folder of its own, first on PATH.
    bool installOpener(int exitCode)
    {
        const QString bin = m_tools.filePath(QStringLiteral("bin"));
        if (!QDir().mkpath(bin))
            return false;
        QFile script(bin + QStringLiteral("/xdg-open"));
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + openedLog().toLocal8Bit() + "'\nexit "
            + QByteArray::number(exitCode) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.toLocal8Bit() + ':' + m_savedPath);
        return true;
    }
    QString openedLog() const { return m_tools.filePath(QStringLiteral("opened.txt")); }
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
    QFile::remove(openedLog());
    SimInstrument::Options options;
    options.memory = Logbook::image({ Logbook::kFlightD, Logbook::kFlightA }, kPilot);
    QVERIFY(m_rig.start(options));
}

void TestExportXlsx::cleanup()
{
    qputenv("PATH", m_savedPath);
    m_rig.window.reset();
    m_rig.sim.reset();
}

void TestExportXlsx::workbookWrittenAndOpened()
{
    QVERIFY(installOpener(0));
    chooseExcel();
    QCOMPARE(m_rig.child<QComboBox>("cmbExportSettings")->currentIndex(), 1);
    QVERIFY(!m_rig.box("txtFileName")->isEnabled());
    QVERIFY(!m_rig.button("cmdSaveFileName")->isEnabled());
    QVERIFY(!m_rig.child<QLabel>("Label1")->isEnabled());

    exportRange(QStringLiteral("1"), QStringLiteral("2"));

    const QString first = m_rig.sim->driveC() + QStringLiteral("/Flight log.xlsx");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Excel file ready") });
    QCOMPARE(driveCEntries(), QStringList { QStringLiteral("Flight log.xlsx") });
    QCOMPARE(readFile(openedLog()), first.toLocal8Bit() + '\n');

    {
        READ_WORKBOOK_UI(book, first);
        QCOMPARE(book.value("sheets").toArray(), QJsonArray { QStringLiteral("Flight log") });
        const QJsonObject cells = book.value("cells").toObject();
        const auto value = [&cells](const char *cell) {
            return cells.value(QLatin1String(cell)).toObject().value("value");
        };
        QCOMPARE(value("A2").toString(), QStringLiteral("Pilot: KLAASEN "));
        QCOMPARE(cells.value("A6").toObject().value("type").toString(), QStringLiteral("n"));
        QCOMPARE(value("A6").toInt(), 1);
        QCOMPARE(value("B6").toString(), QStringLiteral("2005-07-14"));
        QCOMPARE(value("G6").toString(), QStringLiteral("1280"));
        QCOMPARE(value("A7").toInt(), 2);
        QCOMPARE(value("E7").toString(), QStringLiteral("-20"));
        QCOMPARE(book.value("max_row").toInt(), 7);
    }

    // A second export never overwrites the first workbook.
    const QByteArray firstBytes = readFile(first);
    m_rig.mark();
    exportRange(QStringLiteral("2"), QStringLiteral("2"));

    const QString second = m_rig.sim->driveC() + QStringLiteral("/Flight log (2).xlsx");
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Excel file ready") });
    QCOMPARE(driveCEntries(),
        (QStringList { QStringLiteral("Flight log (2).xlsx"), QStringLiteral("Flight log.xlsx") }));
    QCOMPARE(readFile(openedLog()), first.toLocal8Bit() + '\n' + second.toLocal8Bit() + '\n');
    QCOMPARE(readFile(first), firstBytes);
    READ_WORKBOOK_UI(book, second);
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
        QVERIFY(installOpener(exitCode));
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
    QCOMPARE(QFile::exists(openedLog()), exitCode >= 0);
    QVERIFY(m_rig.button("cmdExport")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

QTEST_MAIN(TestExportXlsx)
#include "tst_exportxlsx.moc"
