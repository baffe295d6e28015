// The range run of an export through the instrument session, without a
// window, against the simulated instrument: what it reads, what it leaves in
// the flight table, what it tells the status log and its listener, and where
// it stops.

#include "export/ExportRun.h"
#include "instrument/InstrumentSession.h"
#include "link/Waiter.h"
#include "tests/support/MemoryFlights.h"
#include "tests/support/SessionRig.h"
#include "tests/support/Wire.h"

#include <QTest>

using End = ExportRun::End;
Q_DECLARE_METATYPE(ExportRun::End)

namespace {

// What the table holds for a flight after the run.
enum Row { Read, Failed, Empty };

// A row an earlier run left behind: it must never pass for this run's flight.
FlightSummary stale(int n)
{
    FlightSummary s = MemoryFlights::textsC(n);
    s.date = QStringLiteral("1999-01-01");
    return s;
}

} // namespace

class TestExportRun : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void cancelledRunSendsNothingMore();
};

void TestExportRun::run_data()
{
    QTest::addColumn<QStringList>("control"); // simulator lines before the run
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("until");
    QTest::addColumn<End>("end");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("last"); // the range end the writers get
    QTest::addColumn<QList<int>>("reads"); // flights whose record was read
    QTest::addColumn<QList<int>>("rows"); // Row of each flight from..until
    const auto row
        = [](const char *tag, const QStringList &control, int from, int until, End end,
              const QStringList &lines, int last, const QList<int> &reads, const QList<int> &rows) {
              QTest::newRow(tag) << control << from << until << end << lines << last << reads << rows;
          };

    const QString countError = QStringLiteral("Error while receiving the number of flights in memory");
    // The logbook holds flights 1 to 3 (D, A, B).
    row("whole range", {}, 1, 3, End::Finished, {}, 3, { 1, 2, 3 }, { Read, Read, Read });
    row("one flight", {}, 2, 2, End::Finished, {}, 2, { 2 }, { Read });
    row("fewer flights than until", {}, 2, 5, End::Finished, { "Only 3 flights in memory" }, 3, { 2, 3 },
        { Read, Read, Empty, Empty });
    row("range above the count", {}, 4, 5, End::Finished, { "Only 3 flights in memory" }, 3, {},
        { Empty, Empty });
    row("count garbled: the range as entered", { "fault garble R000047" }, 2, 3, End::Finished,
        { countError }, 3, { 2, 3 }, { Read, Read });
    row("record short: marked, run goes on", { "fault short R000430" }, 1, 3, End::Finished,
        { "Error processing: Flight 2" }, 3, { 1, 2, 3 }, { Read, Failed, Read });
    row("record value garbled", { "fault garble R000431" }, 1, 3, End::Finished,
        { "Error processing: Flight 2" }, 3, { 1, 2, 3 }, { Read, Failed, Read });
    row("erased flight stops the run", { "poke 430 255", "poke 431 255" }, 1, 3, End::Finished,
        { "Stopped at flight 2" }, 3, { 1, 2 }, { Read, Empty, Empty });
    row("hang-up during flight 2", { "fault hangup R000430 1" }, 1, 3, End::ConnectionLost,
        { "Error processing: Flight 2" }, 3, { 1, 2 }, { Read, Failed, Empty });
}

void TestExportRun::run()
{
    QFETCH(QStringList, control);
    QFETCH(int, from);
    QFETCH(int, until);
    QFETCH(End, end);
    QFETCH(QStringList, lines);
    QFETCH(int, last);
    QFETCH(QList<int>, reads);
    QFETCH(QList<int>, rows);

    SessionRig rig;
    SimInstrument::Options options;
    options.memory = MemoryFlights::image(
        { MemoryFlights::kFlightD, MemoryFlights::kFlightA, MemoryFlights::kFlightB }, "RUN     ");
    QVERIFY(rig.start(options));
    for (const QString &line : control)
        QVERIFY(rig.sim->control(line));

    FlightTable table;
    for (int n = 1; n <= 6; ++n)
        table.store(stale(n));
    ExportRun exportRun(*rig.session, table);
    QStringList logged;
    QList<int> heard;
    exportRun.setStatusListener([&](const QString &line) { logged << line; });
    exportRun.setFlightListener([&](const FlightSummary &f) {
        QCOMPARE(table.entry(f.flightNumber), f);
        heard << f.flightNumber;
    });
    WaiterEnvironment env;

    QCOMPARE(exportRun.run(env, qint16(from), qint16(until)), end);

    QCOMPARE(logged, lines);
    QCOMPARE(int(exportRun.firstFlight()), from);
    QCOMPARE(int(exportRun.lastFlight()), last);
    QStringList sent { QStringLiteral("R000047") };
    for (int n : reads)
        sent << Wire::recordReads(n);
    // A hang-up at the 3rd read of flight 2 hears nothing after it.
    QTRY_COMPARE(rig.sim->receivedCommands(), end == End::ConnectionLost ? sent.mid(0, 1 + 19 + 3) : sent);

    const FlightSummary expected[]
        = { {}, MemoryFlights::textsD(1), MemoryFlights::textsA(2), MemoryFlights::textsB(3) };
    QList<int> heardExpected;
    for (int i = 0; i < rows.size(); ++i) {
        const int n = from + i;
        const FlightSummary &got = table.entry(n);
        QCOMPARE(got.flightNumber, qint16(n));
        switch (Row(rows[i])) {
        case Read:
            QCOMPARE(got, expected[n]);
            heardExpected << n;
            break;
        case Failed:
            QCOMPARE(got.date, FlightTable::kFailedMark);
            QCOMPARE(got.speedMax, FlightTable::kFailedMark);
            break;
        case Empty: {
            FlightSummary empty;
            empty.flightNumber = qint16(n);
            QCOMPARE(got, empty);
            break;
        }
        }
    }
    QCOMPARE(heard, heardExpected);
    // Rows outside the range keep what they held.
    QCOMPARE(table.entry(from - 1), from > 1 ? stale(from - 1) : FlightSummary {});
    QCOMPARE(table.entry(until + 1), stale(until + 1));
}

void TestExportRun::cancelledRunSendsNothingMore()
{
    // Cancelled once flight 1 is read: the run ends with Cancelled and the
    // read of flight 2 never starts.
    SessionRig rig;
    QVERIFY(rig.start());
    FlightTable table;
    ExportRun exportRun(*rig.session, table);
    WaiterEnvironment env;
    exportRun.setFlightListener([&](const FlightSummary &) { env.waiter().cancel(); });

    QCOMPARE(exportRun.run(env, 1, 5), End::Cancelled);
    QCOMPARE(env.progressText(), QStringLiteral("2"));
    QTest::qWait(100);
    QCOMPARE(rig.sim->receivedCommands(), QStringList { QStringLiteral("R000047") } + Wire::recordReads(1));
}

QTEST_MAIN(TestExportRun)
#include "tst_exportrun.moc"
