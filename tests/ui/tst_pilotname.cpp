// The pilot name and the instrument information against the simulated
// instrument: reading, writing with its read-back, and the answers that
// must not change what the window holds.

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

    void getShowsUntrimmedName();
    void save_data();
    void save();
    void enterInPilotBoxSaves();
    void writeAnsweredShort();
    void readRunRefused_data();
    void readRunRefused();
    void information_data();
    void information();

private:
    void startWith(const QByteArray &pilot, const QString &info = QString())
    {
        SimInstrument::Options options;
        options.memory = Logbook::image({ Logbook::kFlightA }, pilot);
        options.info = info;
        QVERIFY(m_rig.start(options));
    }

    InstrumentRig m_rig;
};

void TestPilotName::cleanup()
{
    m_rig.reset();
}

void TestPilotName::getShowsUntrimmedName()
{
    startWith("AB C    ");
    m_rig.button("cmdGetPilotName")->click();

    QStringList sent { QStringLiteral("T") };
    sent << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.window->pilotName(), QStringLiteral("AB C    "));
    QCOMPARE(m_rig.box("txtPilotName")->text(), QStringLiteral("AB C    "));
    QCOMPARE(m_rig.newLog(), QStringList());
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
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

void TestPilotName::writeAnsweredShort()
{
    startWith(kStoredPilot);
    QVERIFY(m_rig.sim->setFault(QStringLiteral("short W000215")));
    m_rig.box("txtPilotName")->setText(QStringLiteral("keep"));
    m_rig.box("txtPilot")->setText(QStringLiteral("abc"));

    m_rig.button("savepilot")->click();

    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Error setting pilot name") });
    QStringList sent { QStringLiteral("T") };
    sent << writes({ 65, 66, 67, 32, 32, 32, 32, 32 });
    QTRY_COMPARE(m_rig.commands(), sent);
    QTest::qWait(100); // a read-back sent by mistake would show by now
    QCOMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.box("txtPilotName")->text(), QStringLiteral("keep"));
    QCOMPARE(m_rig.window->pilotName(), QString());
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
    QVERIFY(m_rig.button("savepilot")->isEnabled());
}

// The cutting of the answers is a unit table of tst_instrumentinfo, every
// faulty name answer a row of the fault matrix.
void TestPilotName::readRunRefused_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("79 characters") << "short R000211";
}

void TestPilotName::readRunRefused()
{
    QFETCH(QString, fault);
    startWith(kStoredPilot);
    m_rig.button("cmdGetPilotName")->click();
    QCOMPARE(m_rig.window->pilotName(), QString::fromLatin1(kStoredPilot));

    // The instrument now holds another name, but its answer is refused.
    QVERIFY(m_rig.sim->control(QStringLiteral("poke 208 88")));
    QVERIFY(m_rig.sim->setFault(fault));
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

void TestPilotName::information_data()
{
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QStringList>("log");

    const QString keep = QStringLiteral("keep");
    QTest::newRow("default answer") << ""
                                    << "V2.10"
                                    << "04711" << QStringList();
    QTest::newRow("9 characters") << "ORVINV2.1" << keep << keep
                                  << QStringList { "Error processing version" };
    QTest::newRow("partial version") << "TOLMERAORVINV2.1"
                                     << "V2.1"
                                     << "" << QStringList();
}

void TestPilotName::information()
{
    QFETCH(QString, info);
    QFETCH(QString, version);
    QFETCH(QString, serial);
    QFETCH(QStringList, log);
    startWith(kStoredPilot, info);
    m_rig.box("txtVersion")->setText(QStringLiteral("keep"));
    m_rig.box("txtSerial")->setText(QStringLiteral("keep"));

    m_rig.button("btnVersie")->click();

    QStringList sent { QStringLiteral("T"), QStringLiteral("V") };
    sent << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.newLog(), log);
    QCOMPARE(m_rig.box("txtVersion")->text(), version);
    QCOMPARE(m_rig.box("txtSerial")->text(), serial);
    // The pilot name is read whatever the information answer was.
    QCOMPARE(m_rig.box("txtPilotName")->text(), QString::fromLatin1(kStoredPilot));
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
    QVERIFY(m_rig.button("btnVersie")->isEnabled());
}

QTEST_MAIN(TestPilotName)
#include "tst_pilotname.moc"
