// The pilot name and the instrument information against the simulated
// instrument: writing with its read-back, and the answers that must not
// change what the window holds. A plain name read (untrimmed, its exact
// commands) and a failed write (no read-back) are columns of every fault
// matrix cell; the cutting of the answers is a unit table of
// tst_instrumentinfo, every faulty answer a row of the fault matrix.

#include "tests/support/InstrumentRig.h"

#include <QLabel>
#include <QTest>

namespace {

const QByteArray kStoredPilot = "OLDNAME ";

QStringList writes(const QList<int> &codes)
{
    QStringList out;
    for (int k = 0; k < codes.size(); ++k)
        out << QStringLiteral("W%1%2")
                   .arg(208 + k, 6, 10, QLatin1Char('0'))
                   .arg(codes.at(k), 3, 10, QLatin1Char('0'));
    return out;
}

} // namespace

class TestPilotName : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void save_data();
    void save();
    void enterInPilotBoxSaves();
    void readRunRefused();
    void informationRefusedStillReadsName();

private:
    void startWith(const QByteArray &pilot, const QString &info = QString())
    {
        SimInstrument::Options options;
        options.memory = MemoryFlights::image({ MemoryFlights::kFlightA }, pilot);
        options.info = info;
        QVERIFY(m_rig.start(options));
    }

    InstrumentRig m_rig;
};

void TestPilotName::cleanup()
{
    m_rig.reset();
}

void TestPilotName::save_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("boxAfter");

    QTest::newRow("lower case") << "abc" << QList<int> { 65, 66, 67, 32, 32, 32, 32, 32 } << "ABC     "
                                << "abc";
    QTest::newRow("empty box") << "" << QList<int> { 32, 32, 32, 32, 32, 32, 32, 32 } << "        "
                               << " ";
    // Ł and ź have no code in the code page (nor their capitals); ó becomes Ó (211).
    QTest::newRow("no code page code")
        << QStringLiteral("Łódź") << QList<int> { 63, 211, 68, 63, 32, 32, 32, 32 }
        << QStringLiteral("?ÓD?    ") << QStringLiteral("Łódź");
}

void TestPilotName::save()
{
    QFETCH(QString, typed);
    QFETCH(QList<int>, codes);
    QFETCH(QString, readBack);
    QFETCH(QString, boxAfter);
    startWith(kStoredPilot);
    m_rig.box("txtPilot")->setText(typed);

    m_rig.button("savepilot")->click();

    QStringList sent { QStringLiteral("T") };
    sent << writes(codes) << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Pilot name is set") });
    QCOMPARE(m_rig.window->pilotName(), readBack);
    QCOMPARE(m_rig.box("txtPilotName")->text(), readBack);
    QCOMPARE(m_rig.box("txtPilot")->text(), boxAfter);

    const auto memory = m_rig.sim->memoryNow();
    QVERIFY(memory);
    QByteArray stored;
    for (int code : codes)
        stored += char(code);
    QCOMPARE(memory->pilotName(), stored);
}

void TestPilotName::enterInPilotBoxSaves()
{
    startWith(kStoredPilot);
    QLineEdit *pilot = m_rig.box("txtPilot");
    pilot->setFocus();
    QTest::keyClicks(pilot, QStringLiteral("xy"));
    QTest::keyClick(pilot, Qt::Key_Return);

    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Pilot name is set") });
    QCOMPARE(m_rig.window->pilotName(), QStringLiteral("XY      "));
    QTRY_COMPARE(m_rig.commands().mid(1, 8), writes({ 88, 89, 32, 32, 32, 32, 32, 32 }));
}

void TestPilotName::readRunRefused()
{
    startWith(kStoredPilot);
    m_rig.button("cmdGetPilotName")->click();
    QCOMPARE(m_rig.window->pilotName(), QString::fromLatin1(kStoredPilot));

    // The instrument now holds another name, but its answer is refused.
    QVERIFY(m_rig.sim->control(QStringLiteral("poke 208 88")));
    QVERIFY(m_rig.sim->setFault(QStringLiteral("short R000211"))); // 79 characters
    m_rig.box("txtPilotName")->clear();
    m_rig.mark();
    m_rig.button("cmdGetPilotName")->click();

    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Error processing pilot name") });
    QCOMPARE(m_rig.window->pilotName(), QString::fromLatin1(kStoredPilot));
    QCOMPARE(m_rig.box("txtPilotName")->text(), QString::fromLatin1(kStoredPilot));
    // What arrived stays in the buffer and keeps the controls off until Reset.
    QVERIFY(!m_rig.window->receiveBufferText().isEmpty());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("Pilot Name"));
    QVERIFY(!m_rig.button("cmdGetPilotName")->isEnabled());
    m_rig.button("Command3")->click();
    QVERIFY(m_rig.button("cmdGetPilotName")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

void TestPilotName::informationRefusedStillReadsName()
{
    startWith(kStoredPilot, QStringLiteral("ORVINV2.1")); // 9 characters
    m_rig.box("txtVersion")->setText(QStringLiteral("keep"));
    m_rig.box("txtSerial")->setText(QStringLiteral("keep"));

    m_rig.button("btnVersie")->click();

    QTRY_COMPARE(m_rig.commands(), QStringList({ "T", "V" }) + Wire::pilotRefresh());
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Error processing version") });
    QCOMPARE(m_rig.box("txtVersion")->text(), QStringLiteral("keep"));
    QCOMPARE(m_rig.box("txtSerial")->text(), QStringLiteral("keep"));
    // The pilot name is read whatever the information answer was.
    QCOMPARE(m_rig.box("txtPilotName")->text(), QString::fromLatin1(kStoredPilot));
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
    QVERIFY(m_rig.button("btnVersie")->isEnabled());
}

QTEST_MAIN(TestPilotName)
#include "tst_pilotname.moc"
