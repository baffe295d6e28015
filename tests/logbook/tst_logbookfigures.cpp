// The figures of a pilot logbook: doubtful flights, totals with the opening
// balance, the year table's "before" row, the recency windows around year
// and month ends, and the totals carried from page to page.

#include "logbook/LogbookFigures.h"

#include <QTest>

Q_DECLARE_METATYPE(FlightTotals)
Q_DECLARE_METATYPE(OpeningBalance)
Q_DECLARE_METATYPE(PilotRole)

namespace {

using LogbookText::FlightFigures;

FlightFigures figures(const char *date, int minutes, int launches = 1,
    PilotRole role = PilotRole::PilotInCommand, const char *glider = "")
{
    LogbookEntry e;
    e.flight.date = QDate::fromString(QString::fromLatin1(date), Qt::ISODate);
    e.flight.startMinutes = 12 * 60;
    e.flight.durationMinutes = minutes;
    e.launches = launches;
    e.role = role;
    e.glider = QString::fromLatin1(glider);
    return LogbookText::figuresOf(e);
}

OpeningBalance balance(const char *asOf)
{
    OpeningBalance b;
    b.asOf = QDate::fromString(QString::fromLatin1(asOf), Qt::ISODate);
    b.byRole[size_t(PilotRole::PilotInCommand)] = { 100, 130, 6000 };
    b.byRole[size_t(PilotRole::Dual)] = { 20, 40, 600 };
    return b;
}

// A season of five flights: two dual at the school, three alone.
QList<FlightFigures> season()
{
    return { figures("2024-04-02", 6, 3, PilotRole::Dual, "School 1"),
        figures("2024-04-03", 8, 4, PilotRole::Dual, "School 1"),
        figures("2024-06-10", 95, 1, PilotRole::PilotInCommand, "Mentor 7"),
        figures("2025-07-01", 180, 1, PilotRole::PilotInCommand, "Rush 6"),
        figures("2025-07-02", 30, 2, PilotRole::Passenger, "Rush 6") };
}

} // namespace

class TestLogbookFigures : public QObject
{
    Q_OBJECT

private slots:
    void doubtful_data();
    void doubtful();
    void totals_data();
    void totals();
    void perGliderAndType();
    void yearRowsWithBalance();
    void recency_data();
    void recency();
    void pages_data();
    void pages();
};

void TestLogbookFigures::doubtful_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("duration");
    QTest::addColumn<bool>("doubtful");
    QTest::newRow("ordinary") << QDate(2024, 6, 1) << 11 * 60 << 90 << false;
    QTest::newRow("clock never set") << QDate(2000, 1, 1) << 11 * 60 << 90 << true;
    QTest::newRow("first trusted day") << QDate(2000, 1, 2) << 11 * 60 << 90 << false;
    QTest::newRow("start 00:09") << QDate(2024, 6, 1) << 9 << 90 << true;
    QTest::newRow("start 00:10") << QDate(2024, 6, 1) << 10 << 90 << false;
    QTest::newRow("11 hours") << QDate(2024, 6, 1) << 6 * 60 << 11 * 60 << false;
    QTest::newRow("11 hours 1 minute") << QDate(2024, 6, 1) << 6 * 60 << 11 * 60 + 1 << true;
}

void TestLogbookFigures::doubtful()
{
    QFETCH(QDate, date);
    QFETCH(int, start);
    QFETCH(int, duration);
    QFETCH(bool, doubtful);
    LogbookFlight f;
    f.date = date;
    f.startMinutes = start;
    f.durationMinutes = duration;
    QCOMPARE(LogbookFigures::isDoubtful(f), doubtful);
    // The table marks what the figures say.
    QCOMPARE(LogbookText::figuresOf(f).doubtful, doubtful);
}

void TestLogbookFigures::totals_data()
{
    QTest::addColumn<QList<FlightFigures>>("flights");
    QTest::addColumn<OpeningBalance>("opening");
    QTest::addColumn<FlightTotals>("all");
    QTest::addColumn<FlightTotals>("inCommand");
    QTest::addColumn<FlightTotals>("dual");
    QTest::addColumn<FlightTotals>("passenger");

    const QList<FlightFigures> all = season();
    QTest::newRow("nothing") << QList<FlightFigures>() << OpeningBalance() << FlightTotals() << FlightTotals()
                             << FlightTotals() << FlightTotals();
    QTest::newRow("balance alone") << QList<FlightFigures>() << balance("2024-01-01")
                                   << FlightTotals { 120, 170, 6600 } << FlightTotals { 100, 130, 6000 }
                                   << FlightTotals { 20, 40, 600 } << FlightTotals();
    QTest::newRow("season") << all << OpeningBalance() << FlightTotals { 5, 11, 319 }
                            << FlightTotals { 2, 2, 275 } << FlightTotals { 2, 7, 14 }
                            << FlightTotals { 1, 2, 30 };
    QTest::newRow("season and balance")
        << all << balance("2024-01-01") << FlightTotals { 125, 181, 6919 } << FlightTotals { 102, 132, 6275 }
        << FlightTotals { 22, 47, 614 } << FlightTotals { 1, 2, 30 };
    // A filter passes fewer flights: the year 2025 shown, without the
    // paper logbook's flights of earlier years.
    QTest::newRow("one year") << all.mid(3) << OpeningBalance() << FlightTotals { 2, 3, 210 }
                              << FlightTotals { 1, 1, 180 } << FlightTotals() << FlightTotals { 1, 2, 30 };
}

void TestLogbookFigures::totals()
{
    QFETCH(QList<FlightFigures>, flights);
    QFETCH(OpeningBalance, opening);
    QFETCH(FlightTotals, all);
    QFETCH(FlightTotals, inCommand);
    QFETCH(FlightTotals, dual);
    QFETCH(FlightTotals, passenger);

    QCOMPARE(LogbookFigures::totalsOf(flights, opening), all);
    const auto perRole = LogbookFigures::totalsPerRole(flights, opening);
    QCOMPARE(perRole[size_t(PilotRole::PilotInCommand)], inCommand);
    QCOMPARE(perRole[size_t(PilotRole::Dual)], dual);
    QCOMPARE(perRole[size_t(PilotRole::Instructor)], FlightTotals());
    QCOMPARE(perRole[size_t(PilotRole::Passenger)], passenger);
}

void TestLogbookFigures::perGliderAndType()
{
    QList<FlightFigures> flights = season();
    flights.append(figures("2025-08-01", 40)); // no glider written down
    flights.append(figures("2025-08-02", 50, 1, PilotRole::PilotInCommand, "Borrowed"));

    const auto perGlider = LogbookFigures::totalsPerGlider(flights);
    QCOMPARE(perGlider.keys(), (QStringList { "", "Borrowed", "Mentor 7", "Rush 6", "School 1" }));
    QCOMPARE(perGlider.value("Rush 6"), (FlightTotals { 2, 3, 210 }));
    QCOMPARE(perGlider.value(""), (FlightTotals { 1, 1, 40 }));

    // Two gliders of one type add up; one the list does not know, and the
    // flight without a glider, go under no type.
    const QList<Glider> gliders { { 1, "Mentor 7", "B class", "" }, { 2, "Rush 6", "B class", "R6-1" },
        { 3, "School 1", "A class", "" } };
    const auto perType
        = LogbookFigures::totalsPerGliderType(flights, LogbookFigures::typesOfGliders(gliders));
    QCOMPARE(perType.keys(), (QStringList { "", "A class", "B class" }));
    QCOMPARE(perType.value("B class"), (FlightTotals { 3, 4, 305 }));
    QCOMPARE(perType.value("A class"), (FlightTotals { 2, 7, 14 }));
    QCOMPARE(perType.value(""), (FlightTotals { 2, 2, 90 }));
}

void TestLogbookFigures::yearRowsWithBalance()
{
    const QList<LogbookText::YearTotals> rows = LogbookFigures::yearRows(season(), balance("2024-03-15"));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).year, 2025);
    QCOMPARE(rows.at(0).launches, qint64(3));
    QVERIFY(rows.at(0).label.isEmpty());
    QCOMPARE(rows.at(1).year, 2024);
    QCOMPARE(rows.at(1).flights, 3);
    QCOMPARE(rows.at(1).launches, qint64(8));
    QCOMPARE(rows.at(1).minutes, qint64(109));
    // The paper logbook's flights come last, under the day it was closed.
    QCOMPARE(rows.at(2).label, QStringLiteral("before 2024-03-15"));
    QCOMPARE(rows.at(2).flights, 120);
    QCOMPARE(rows.at(2).launches, qint64(170));
    QCOMPARE(rows.at(2).minutes, qint64(6600));

    QCOMPARE(LogbookFigures::yearRows(season(), OpeningBalance()).size(), 2);
}

void TestLogbookFigures::recency_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("flown");
    QTest::addColumn<PilotRole>("role");
    QTest::addColumn<QList<bool>>("counted"); // in 90 days, 12 months, 24 months

    const QDate today(2027, 1, 5);
    const PilotRole pic = PilotRole::PilotInCommand;
    QTest::newRow("today") << today << today << pic << QList<bool> { true, true, true };
    QTest::newRow("tomorrow") << today << today.addDays(1) << pic << QList<bool> { false, false, false };
    QTest::newRow("89 days ago, last year")
        << today << QDate(2026, 10, 8) << PilotRole::Instructor << QList<bool> { true, true, true };
    QTest::newRow("90 days ago") << today << QDate(2026, 10, 7) << pic << QList<bool> { false, true, true };
    QTest::newRow("12 months less a day")
        << today << QDate(2026, 1, 6) << PilotRole::Dual << QList<bool> { false, true, true };
    QTest::newRow("12 months") << today << QDate(2026, 1, 5) << pic << QList<bool> { false, false, true };
    QTest::newRow("24 months less a day")
        << today << QDate(2025, 1, 6) << pic << QList<bool> { false, false, true };
    QTest::newRow("24 months") << today << QDate(2025, 1, 5) << pic << QList<bool> { false, false, false };
    // A month end: 12 months before March 31st is March 31st.
    QTest::newRow("month end, in") << QDate(2027, 3, 31) << QDate(2026, 4, 1) << PilotRole::Passenger
                                   << QList<bool> { false, true, true };
    QTest::newRow("month end, out") << QDate(2027, 3, 31) << QDate(2026, 3, 31) << pic
                                    << QList<bool> { false, false, true };
    // A leap day: 90 days reach back into December; 12 months before it is
    // the last day of February of a year without one.
    QTest::newRow("leap day, 89 days")
        << QDate(2028, 2, 29) << QDate(2027, 12, 2) << pic << QList<bool> { true, true, true };
    QTest::newRow("leap day, 90 days")
        << QDate(2028, 2, 29) << QDate(2027, 12, 1) << pic << QList<bool> { false, true, true };
    QTest::newRow("leap day, a year before")
        << QDate(2028, 2, 29) << QDate(2027, 2, 28) << pic << QList<bool> { false, false, true };
    QTest::newRow("leap day, next day a year before")
        << QDate(2028, 2, 29) << QDate(2027, 3, 1) << pic << QList<bool> { false, true, true };
    QTest::newRow("no date") << today << QDate() << pic << QList<bool> { false, false, false };
}

void TestLogbookFigures::recency()
{
    QFETCH(QDate, today);
    QFETCH(QDate, flown);
    QFETCH(PilotRole, role);
    QFETCH(QList<bool>, counted);

    // The flight in question among flights long ago that never count.
    LogbookEntry e;
    e.flight.date = flown;
    e.flight.durationMinutes = 75;
    e.launches = 2;
    e.role = role;
    const QList<FlightFigures> flights { figures("2001-05-01", 60), LogbookText::figuresOf(e),
        figures("1999-12-31", 60) };

    const QList<LogbookFigures::RecencyWindow> windows = LogbookFigures::recency(flights, today);
    QCOMPARE(windows.size(), 3);
    QCOMPARE(windows.at(0).label, QStringLiteral("Last 90 days"));
    QCOMPARE(windows.at(1).label, QStringLiteral("Last 12 months"));
    QCOMPARE(windows.at(2).label, QStringLiteral("Last 24 months"));
    for (int w = 0; w < 3; ++w) {
        const FlightTotals expected = counted.at(w) ? FlightTotals { 1, 2, 75 } : FlightTotals {};
        QCOMPARE(windows.at(w).all, expected);
        for (int r = 0; r < kRoleCount; ++r)
            QCOMPARE(windows.at(w).byRole[size_t(r)], r == int(role) ? expected : FlightTotals {});
    }
}

void TestLogbookFigures::pages_data()
{
    QTest::addColumn<int>("flights");
    QTest::addColumn<int>("perPage");
    QTest::addColumn<OpeningBalance>("opening");
    QTest::addColumn<QList<int>>("flightsPerPage");
    QTest::addColumn<FlightTotals>("secondBroughtForward");
    QTest::addColumn<FlightTotals>("lastToDate");

    // Flight k (from 1, oldest first) lasts 10 k minutes with 1 + k % 2 launches.
    QTest::newRow("7 in pages of 3, balance")
        << 7 << 3 << balance("2020-01-01") << QList<int> { 3, 3, 1 }
        << FlightTotals { 123, 170 + 5, 6600 + 60 } << FlightTotals { 127, 170 + 11, 6600 + 280 };
    QTest::newRow("pages just full") << 6 << 3 << OpeningBalance() << QList<int> { 3, 3 }
                                     << FlightTotals { 3, 5, 60 } << FlightTotals { 6, 9, 210 };
    QTest::newRow("40 in pages of 18")
        << 40 << LogbookFigures::kFlightsPerPage << balance("2020-01-01") << QList<int> { 18, 18, 4 }
        << FlightTotals { 138, 170 + 27, 6600 + 1710 } << FlightTotals { 160, 170 + 60, 6600 + 8200 };
    QTest::newRow("none, balance") << 0 << 3 << balance("2020-01-01") << QList<int> { 0 } << FlightTotals()
                                   << FlightTotals { 120, 170, 6600 };
}

void TestLogbookFigures::pages()
{
    QFETCH(int, flights);
    QFETCH(int, perPage);
    QFETCH(OpeningBalance, opening);
    QFETCH(QList<int>, flightsPerPage);
    QFETCH(FlightTotals, secondBroughtForward);
    QFETCH(FlightTotals, lastToDate);

    // Given newest first, as the table shows them.
    QList<LogbookEntry> entries;
    for (int k = flights; k >= 1; --k) {
        LogbookEntry e;
        e.id = k;
        e.flight.date = QDate(2021, 1, 1).addDays(k / 2);
        e.flight.startMinutes = 600 + 60 * (k % 2);
        e.flight.durationMinutes = 10 * k;
        e.launches = 1 + k % 2;
        entries.append(e);
    }
    const QList<LogbookFigures::LogbookPage> pages = LogbookFigures::pages(entries, perPage, opening);
    QCOMPARE(pages.size(), flightsPerPage.size());
    qint64 nextId = 1;
    for (int p = 0; p < pages.size(); ++p) {
        const LogbookFigures::LogbookPage &page = pages.at(p);
        QCOMPARE(page.number, p + 1);
        QCOMPARE(page.flights.size(), flightsPerPage.at(p));
        for (const LogbookEntry &e : page.flights)
            QCOMPARE(e.id, nextId++); // oldest first, across the pages
        QCOMPARE(page.broughtForward,
            p == 0 ? (opening.isEmpty() ? FlightTotals() : opening.all()) : pages.at(p - 1).toDate);
        FlightTotals toDate = page.broughtForward;
        toDate += page.pageTotals;
        QCOMPARE(page.toDate, toDate);
    }
    if (pages.size() > 1)
        QCOMPARE(pages.at(1).broughtForward, secondBroughtForward);
    QCOMPARE(pages.last().toDate, lastToDate);
}

QTEST_APPLESS_MAIN(TestLogbookFigures)
#include "tst_logbookfigures.moc"
