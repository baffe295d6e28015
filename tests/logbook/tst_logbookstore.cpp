// The logbook store over real database files in temporary folders: one row
// per flight however often it is read, the upgrade of a first-version file,
// a kill in the middle of recording, and files it must never write to.

#include "LogbookSamples.h"

#include "export/TextReport.h"
#include "link/OperationEnvironment.h"
#include "logbook/LogbookStore.h"
#include "logbook/PilotLogbook.h"

#include "instrument/FlightRecord.h"
#include "logbook/LogbookSchema.h"
#include "logbook/LogbookText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs SQL on a plain connection of its own, as another program would.
bool runSql(const QString &path, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString &s : statements)
            ok = ok && q.exec(s);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return ok;
}

class CountingEnvironment : public OperationEnvironment
{
public:
    explicit CountingEnvironment(int cancelAfter = -1)
        : m_cancelAfter(cancelAfter)
    {
    }
    bool isCancelled() const override { return m_cancelAfter >= 0 && texts.size() >= m_cancelAfter; }
    bool wait(int) override { return !isCancelled(); }
    void setProgressText(const QString &text) override { texts.append(text); }
    QStringList texts;

private:
    int m_cancelAfter;
};

// A report of the program's own writer with the sample flights numbered.
QByteArray reportOf(const QList<int> &flights, const QString &pilot = QStringLiteral("ANNA    "))
{
    FlightTable table;
    for (const int n : flights)
        table.store(sampleFlight(n));
    return *TextReport::build(ExportData { pilot, qint16(flights.first()), qint16(flights.last()), &table });
}

int rowCount(LogbookStore &store)
{
    const auto all = store.entries();
    return all ? int(all->size()) : -1;
}

// Runs check as a user who cannot write to folders that are not its own:
// root writes anywhere, so it drops to "nobody" in a child for the check.
bool asUnprivileged(const std::function<bool()> &check)
{
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
}

} // namespace

class TestLogbookStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameFlightOnce();
    void notesAndUndoOfDelete();
    void correctedFlightReadAgain();
    void flightsByHand();
    void notesOfSeveralFlights();
    void glidersAndOpeningBalance();
    void upgrade_data();
    void upgrade();
    void killedWhileRecording();
    void neverWritesForeignFiles_data();
    void neverWritesForeignFiles();
    void damagedPutAside();
    void readOnlyFolder_data();
    void readOnlyFolder();
    void secondCopy();
    void namedByTheirOperation();
    void decimalComma();
    void importReports_data();
    void importReports();
    void largeImportInSteps();
    void privateFolder_data();
    void privateFolder();
    void swappedForALink();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestLogbookStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("tolmera-reader/logbook.sqlite"));
}

void TestLogbookStore::sameFlightOnce()
{
    LogbookStore store(m_path);
    QVERIFY2(store.open(), qPrintable(store.message()));
    // The folder is made for the user alone.
    QCOMPARE(QFileInfo(QFileInfo(m_path).path()).permissions() & 0x0077, QFileDevice::Permissions());

    LogbookEntry nameless = sampleEntry(1);
    nameless.pilot.clear();
    QCOMPARE(store.record(nameless), LogbookStore::Recorded::Added);
    // Read again, with the pilot name now known and the rates under a
    // decimal comma: still the same flight, which gains the name.
    FlightSummary comma = sampleFlight(1);
    comma.flightNumber = 40;
    comma.liftMax = QStringLiteral("4,5");
    LogbookEntry again = sampleEntry(1);
    again.flight = typedFlight(comma);
    QCOMPARE(store.record(again), LogbookStore::Recorded::Named);
    LogbookEntry other = sampleEntry(1);
    other.pilot = QStringLiteral("OTHER");
    QCOMPARE(store.record(other), LogbookStore::Recorded::AlreadyThere);

    // Any value that differs makes another flight.
    LogbookEntry longer = sampleEntry(1);
    longer.flight.durationMinutes = 91;
    QCOMPARE(store.record(longer), LogbookStore::Recorded::Added);
    const auto batch = store.recordAll({ sampleEntry(1), sampleEntry(2), sampleEntry(3), sampleEntry(3) });
    QVERIFY(batch);
    QCOMPARE(batch->added, 2);
    QCOMPARE(batch->alreadyThere, 2);

    store.close();
    LogbookStore reopened(m_path);
    const auto all = reopened.entries();
    QVERIFY(all);
    QCOMPARE(all->size(), 4);
    const auto first = std::find_if(
        all->cbegin(), all->cend(), [](const LogbookEntry &e) { return e.flight == sampleEntry(1).flight; });
    QVERIFY(first != all->cend());
    QCOMPARE(first->pilot, QStringLiteral("KESTREL"));
}

// Deleted means deleted: read again or imported again, a deleted flight
// stays out of the list; it is listed apart and comes back with its notes.
void TestLogbookStore::notesAndUndoOfDelete()
{
    PilotLogbook logbook(m_path);
    logbook.record(sampleFlight(1), QStringLiteral("KESTREL"));
    logbook.record(sampleFlight(2), QStringLiteral("KESTREL"));
    const auto stored = logbook.entries();
    QVERIFY(stored && stored->size() == 2);
    const qint64 id1 = stored->at(1).id, id2 = stored->at(0).id;
    QVERIFY(logbook.setNote(id1, NoteField::Site, QStringLiteral("Kössen")));
    QVERIFY(logbook.setNote(id1, NoteField::Glider, QStringLiteral("Mentor 7")));
    QVERIFY(logbook.setNote(id1, NoteField::Notes, QStringLiteral("first \"thermal\"\nday")));
    // A note far longer than any export can hold is cut on entry.
    QVERIFY(logbook.setNote(id2, NoteField::Notes, QString(32768, QLatin1Char('n'))));

    QSignalSpy removed(&logbook, &PilotLogbook::removed);
    QVERIFY(logbook.remove({ id1, id2 }));
    QCOMPARE(removed.size(), 1);
    QCOMPARE(logbook.entries()->size(), 0);
    logbook.record(sampleFlight(1), QStringLiteral("KESTREL"));
    QVERIFY(writeAll(m_dir->filePath("r.txt"), reportOf({ 1, 2 })));
    CountingEnvironment env;
    QCOMPARE(PilotLogbook::importSummary(logbook.importReports({ m_dir->filePath("r.txt") }, env)),
        QStringLiteral("0 added, 2 already in the logbook, 0 lines not understood"));
    QCOMPARE(logbook.entries()->size(), 0);
    QCOMPARE(logbook.deletedEntries()->size(), 2);

    QSignalSpy recorded(&logbook, &PilotLogbook::recorded);
    QVERIFY(logbook.undelete({ id1, id2 }));
    QCOMPARE(recorded.size(), 2);
    const auto back = logbook.entries();
    QVERIFY(back);
    QCOMPARE(back->size(), 2);
    // Newest first: same date, later start time first.
    QCOMPARE(back->at(1).id, id1);
    QCOMPARE(back->at(1).site, QStringLiteral("Kössen"));
    QCOMPARE(back->at(1).glider, QStringLiteral("Mentor 7"));
    QCOMPARE(back->at(1).notes, QStringLiteral("first \"thermal\"\nday"));
    QCOMPARE(back->at(0).notes.size(), PilotLogbook::kMaxNoteLength);
    QCOMPARE(logbook.deletedEntries()->size(), 0);
}

// A flight read from an instrument whose clock was wrong, corrected by the
// pilot: the instrument's values stay its identity, so reading it again
// adds nothing, and putting a value back clears its correction.
void TestLogbookStore::correctedFlightReadAgain()
{
    PilotLogbook logbook(m_path);
    logbook.record(sampleFlight(1, QStringLiteral("2000-01-01")), QStringLiteral("KESTREL"));
    logbook.record(sampleFlight(2, QStringLiteral("2005-07-10")), QStringLiteral("KESTREL"));
    auto stored = logbook.entries();
    QVERIFY(stored && stored->size() == 2);
    const LogbookEntry read = stored->at(1);
    QCOMPARE(read.flight.date, QDate(2000, 1, 1));

    QSignalSpy updated(&logbook, &PilotLogbook::updated);
    LogbookEntry corrected = read;
    corrected.flight.date = QDate(2005, 7, 14);
    corrected.flight.durationMinutes = 95;
    corrected.flight.qneMax = 9999; // summary values of a read flight are not the pilot's
    corrected.landingSite = QStringLiteral("Kirchberg");
    corrected.launch = LaunchMethod::Foot;
    corrected.role = PilotRole::Passenger;
    QVERIFY(logbook.updateFlight(corrected));
    QCOMPARE(updated.size(), 1);
    const LogbookEntry shown = updated.at(0).at(0).value<LogbookEntry>();
    QCOMPARE(shown.flight.date, QDate(2005, 7, 14));
    QCOMPARE(shown.flight.durationMinutes, 95);
    QCOMPARE(shown.flight.qneMax, read.flight.qneMax);
    QCOMPARE(shown.instrumentDate, std::optional<QDate>(QDate(2000, 1, 1)));
    QCOMPARE(shown.instrumentDurationMinutes, std::optional<int>(90));
    QVERIFY(!shown.instrumentStartMinutes);
    QCOMPARE(shown.recordedFlight(), read.flight);
    QCOMPARE(shown.landingSite, QStringLiteral("Kirchberg"));
    QCOMPARE(shown.launch, LaunchMethod::Foot);
    QCOMPARE(shown.role, PilotRole::Passenger);
    // Newest first by the corrected date.
    stored = logbook.entries();
    QVERIFY(stored);
    QCOMPARE(stored->at(0), shown);

    QSignalSpy recorded(&logbook, &PilotLogbook::recorded);
    logbook.record(sampleFlight(1, QStringLiteral("2000-01-01")), QStringLiteral("KESTREL"));
    LogbookStore direct(m_path);
    QCOMPARE(
        direct.record(sampleEntry(1, QStringLiteral("2000-01-01"))), LogbookStore::Recorded::AlreadyThere);
    direct.close();
    QCOMPARE(recorded.size(), 0);
    QCOMPARE(logbook.entries()->size(), 2);

    // The instrument's date back: that correction goes, the other stays.
    LogbookEntry restored = shown;
    restored.flight.date = *shown.instrumentDate;
    QVERIFY(logbook.updateFlight(restored));
    auto back = logbook.store().entry(read.id);
    QVERIFY(back);
    QVERIFY(!back->instrumentDate);
    QCOMPARE(back->instrumentDurationMinutes, std::optional<int>(90));
    back->flight = back->recordedFlight();
    QVERIFY(logbook.updateFlight(*back));
    QVERIFY(!logbook.store().entry(read.id)->isCorrected());
    // Only what the pilot entered is erased; a read flight is only deleted.
    QSignalSpy removed(&logbook, &PilotLogbook::removed);
    QVERIFY(!logbook.eraseFlight(read.id));
    QVERIFY(logbook.problemText().isEmpty());
    QCOMPARE(removed.size(), 0);
    QCOMPARE(logbook.entries()->size(), 2);
}

// A flight without the instrument: every value the pilot's, summary values
// missing rather than 0, never taken for a flight read; and erased for good
// when its adding is undone.
void TestLogbookStore::flightsByHand()
{
    PilotLogbook logbook(m_path);
    QSignalSpy recorded(&logbook, &PilotLogbook::recorded);
    LogbookEntry paper;
    paper.flight.date = QDate(1998, 6, 3);
    paper.flight.startMinutes = 13 * 60 + 20;
    paper.flight.durationMinutes = 42;
    paper.flight.unknownFields = 0xFF0;
    paper.site = QStringLiteral("Emberger Alm");
    paper.notes = QString(3000, QLatin1Char('x'));
    paper.launch = LaunchMethod::Winch;
    paper.launches = 3;
    paper.role = PilotRole::Dual;
    paper.instrumentDate = QDate(1990, 1, 1); // no correction in a flight by hand
    const auto id = logbook.addFlight(paper);
    QVERIFY(id);
    QCOMPARE(recorded.size(), 1);
    auto stored = logbook.store().entry(*id);
    QVERIFY(stored);
    QVERIFY(stored->byHand && !stored->isCorrected());
    QCOMPARE(stored->flight, paper.flight);
    QVERIFY(!stored->flight.value(4).isValid());
    QCOMPARE(stored->notes.size(), PilotLogbook::kMaxNoteLength);
    QCOMPARE(stored->launches, 3);
    QCOMPARE(recorded.at(0).at(0).value<LogbookEntry>(), *stored);

    // A flight by hand with every value of one read later stays apart from it.
    LogbookEntry copied = sampleEntry(1);
    const auto copiedId = logbook.addFlight(copied);
    QVERIFY(copiedId);
    logbook.record(sampleFlight(1), QStringLiteral("KESTREL"));
    QCOMPARE(logbook.entries()->size(), 3);

    // Changed by the pilot: everything, summary values included.
    stored->flight.date = QDate(1998, 6, 4);
    stored->flight.unknownFields = 0;
    stored->flight.qneMax = 1200;
    QVERIFY(logbook.updateFlight(*stored));
    const auto changed = logbook.store().entry(*id);
    QVERIFY(changed && !changed->isCorrected());
    QCOMPARE(changed->flight.date, QDate(1998, 6, 4));
    QCOMPARE(changed->flight.qneMax, 1200);
    QVERIFY(changed->flight.has(11));

    // Values no flight has are refused.
    LogbookEntry impossible = paper;
    impossible.flight.startMinutes = 24 * 60;
    QVERIFY(!logbook.addFlight(impossible));
    impossible = paper;
    impossible.flight.date = QDate();
    QVERIFY(!logbook.addFlight(impossible));

    QSignalSpy removed(&logbook, &PilotLogbook::removed);
    QVERIFY(logbook.eraseFlight(*id));
    QCOMPARE(removed.size(), 1);
    QVERIFY(!logbook.store().entry(*id));
    QCOMPARE(logbook.deletedEntries()->size(), 0);
    QVERIFY(!logbook.eraseFlight(*id));
}

// Several flights given a glider at once, and the undo giving each its old
// text back: all in one transaction, so a failure changes none.
void TestLogbookStore::notesOfSeveralFlights()
{
    PilotLogbook logbook(m_path);
    for (int n = 1; n <= 3; ++n)
        logbook.record(sampleFlight(n), QStringLiteral("KESTREL"));
    const auto stored = logbook.entries();
    QVERIFY(stored && stored->size() == 3);
    const QList<qint64> ids { stored->at(0).id, stored->at(1).id, stored->at(2).id };
    QVERIFY(logbook.setNote(ids[1], NoteField::Glider, QStringLiteral("Mentor 7")));

    QSignalSpy updated(&logbook, &PilotLogbook::updated);
    QVERIFY(logbook.setNotes(ids, NoteField::Glider, { QStringLiteral("Sigma 10") }));
    QCOMPARE(updated.size(), 3);
    QVERIFY(logbook.setNotes(ids, NoteField::LandingSite, { "Kössen", "Walchsee", "Kössen" }));
    QVERIFY(!logbook.setNotes(ids, NoteField::Glider, { "a", "b" }));
    QVERIFY(logbook.setNotes(ids, NoteField::Glider, { "", "Mentor 7", "" }));
    auto after = logbook.entries();
    QCOMPARE(after->at(1).glider, QStringLiteral("Mentor 7"));
    QCOMPARE(after->at(0).glider, QString());
    QCOMPARE(after->at(1).landingSite, QStringLiteral("Walchsee"));

    // The second of three updates fails: the first is undone with it.
    QVERIFY(runSql(m_path,
        { "CREATE TRIGGER refuse BEFORE UPDATE OF site ON flights WHEN NEW.site = 'refused' "
          "BEGIN SELECT RAISE(ABORT, 'refused'); END" }));
    updated.clear();
    QVERIFY(!logbook.setNotes(ids, NoteField::Site, { "Greifenburg", "refused", "Greifenburg" }));
    QVERIFY(!logbook.problemText().isEmpty());
    QCOMPARE(updated.size(), 0);
    after = logbook.entries();
    for (const LogbookEntry &e : *after)
        QCOMPARE(e.site, QString());
}

// The pilot's gliders and the paper logbook carried over, kept in the file.
void TestLogbookStore::glidersAndOpeningBalance()
{
    PilotLogbook logbook(m_path);
    QSignalSpy glidersChanged(&logbook, &PilotLogbook::glidersChanged);
    const auto mentor = logbook.addGlider(Glider { 0, QStringLiteral(" Mentor 7 "), "EN B", "12345" });
    QVERIFY(mentor);
    const auto sigma = logbook.addGlider(Glider { 0, QStringLiteral("Sigma 10"), "EN D", "" });
    QVERIFY(sigma);
    // Names are unique, case aside; nothing empty.
    QVERIFY(!logbook.addGlider(Glider { 0, QStringLiteral("mentor 7"), "", "" }));
    QVERIFY(!logbook.addGlider(Glider { 0, QStringLiteral("  "), "", "" }));
    QVERIFY(!logbook.updateGlider(Glider { *sigma, QStringLiteral("MENTOR 7"), "", "" }));
    QVERIFY(logbook.problemText().isEmpty());
    QCOMPARE(glidersChanged.size(), 2);

    // A renamed glider takes its flights along.
    logbook.record(sampleFlight(1), QStringLiteral("KESTREL"));
    logbook.record(sampleFlight(2), QStringLiteral("KESTREL"));
    const auto stored = logbook.entries();
    QVERIFY(logbook.setNotes({ stored->at(0).id }, NoteField::Glider, { QStringLiteral("Mentor 7") }));
    QSignalSpy reset(&logbook, &PilotLogbook::reset);
    QVERIFY(logbook.updateGlider(Glider { *mentor, QStringLiteral("Mentor 7 light"), "EN B", "12345" }));
    QCOMPARE(reset.size(), 1);
    QCOMPARE(logbook.entries()->at(0).glider, QStringLiteral("Mentor 7 light"));
    QCOMPARE(logbook.entries()->at(1).glider, QString());
    QVERIFY(logbook.removeGlider(*sigma));
    QCOMPARE(glidersChanged.size(), 4);

    QSignalSpy balanceChanged(&logbook, &PilotLogbook::openingBalanceChanged);
    OpeningBalance balance;
    balance.asOf = QDate(2005, 1, 1);
    balance.byRole[0] = FlightTotals { 212, 230, 9140 };
    balance.byRole[1] = FlightTotals { 35, 35, 410 };
    QVERIFY(logbook.setOpeningBalance(balance));

    PilotLogbook reopened(m_path);
    QCOMPARE(reopened.gliders(),
        std::optional<QList<Glider>>(
            { Glider { *mentor, QStringLiteral("Mentor 7 light"), "EN B", "12345" } }));
    QCOMPARE(reopened.openingBalance(), std::optional<OpeningBalance>(balance));
    QVERIFY(reopened.setOpeningBalance(OpeningBalance()));
    QCOMPARE(logbook.openingBalance(), std::optional<OpeningBalance>(OpeningBalance()));
    QCOMPARE(balanceChanged.size(), 1);
}

void TestLogbookStore::upgrade_data()
{
    QTest::addColumn<QStringList>("sql");
    // A logbook as the first version wrote it: no columns for notes yet.
    const QStringList first {
        "CREATE TABLE flights (id INTEGER PRIMARY KEY, date TEXT NOT NULL, "
        "start_time TEXT NOT NULL, duration TEXT NOT NULL, qne_min TEXT NOT NULL, "
        "qne_max TEXT NOT NULL, height_diff_max TEXT NOT NULL, total_gain TEXT NOT NULL, "
        "lift_max TEXT NOT NULL, sink_max TEXT NOT NULL, speed_min TEXT NOT NULL, "
        "speed_max TEXT NOT NULL, pilot TEXT NOT NULL DEFAULT '')",
        "CREATE UNIQUE INDEX flights_identity ON flights (date, start_time, duration, qne_min, qne_max, "
        "height_diff_max, total_gain, lift_max, sink_max, speed_min, speed_max)",
        "INSERT INTO flights VALUES (7, '2005-07-14', '10:01', '01:30', '850', '2130', '1280', '3400', "
        "'4.5', '3.2', '18', '52', 'KESTREL')",
        "INSERT INTO flights VALUES (9, '2006-05-01', '09:05', '100:00', '-20', '1500', '1520', '16777215', "
        "'3', '0.5', '7', '255', '')",
        "PRAGMA application_id = 1414483021", "PRAGMA user_version = 1"
    };
    QTest::newRow("first version") << first;
    QStringList second = first;
    second.replace(second.size() - 1, "PRAGMA user_version = 2");
    second << "ALTER TABLE flights ADD COLUMN site TEXT NOT NULL DEFAULT ''"
           << "ALTER TABLE flights ADD COLUMN glider TEXT NOT NULL DEFAULT ''"
           << "ALTER TABLE flights ADD COLUMN notes TEXT NOT NULL DEFAULT ''"
           << "UPDATE flights SET site = 'Kössen', glider = 'Mentor 7', notes = 'line\nbreak' WHERE id = 9";
    QTest::newRow("second version, with notes") << second;
    // The third kept numbers and flights the pilot deleted.
    const QStringList third { "CREATE TABLE flights (id INTEGER PRIMARY KEY, date TEXT NOT NULL, "
                              "start_minutes INTEGER NOT NULL, duration_minutes INTEGER NOT NULL, "
                              "qne_min INTEGER NOT NULL, qne_max INTEGER NOT NULL, "
                              "height_diff_max INTEGER NOT NULL, total_gain INTEGER NOT NULL, "
                              "lift_max REAL NOT NULL, sink_max REAL NOT NULL, speed_min INTEGER NOT NULL, "
                              "speed_max INTEGER NOT NULL, pilot TEXT NOT NULL DEFAULT '', "
                              "site TEXT NOT NULL DEFAULT '', glider TEXT NOT NULL DEFAULT '', "
                              "notes TEXT NOT NULL DEFAULT '', deleted INTEGER NOT NULL DEFAULT 0)",
        "CREATE INDEX flights_identity ON flights (date, start_minutes, duration_minutes, qne_min, qne_max, "
        "height_diff_max, total_gain, lift_max, sink_max, speed_min, speed_max)",
        "CREATE INDEX flights_by_time ON flights (deleted, date, start_minutes)",
        "INSERT INTO flights VALUES (7, '2005-07-14', 601, 90, 850, 2130, 1280, 3400, 4.5, 3.2, 18, 52, "
        "'KESTREL', '', '', '', 0)",
        "INSERT INTO flights VALUES (9, '2006-05-01', 545, 6000, -20, 1500, 1520, 16777215, 3, 0.5, 7, 255, "
        "'', 'Kössen', 'Mentor 7', 'line\nbreak', 0)",
        "INSERT INTO flights VALUES (12, '2005-07-14', 602, 90, 850, 2130, 1280, 3400, 4.5, 3.2, 18, 52, "
        "'KESTREL', 'Greifenburg', '', 'deleted on purpose', 1)",
        "PRAGMA application_id = 1414483021", "PRAGMA user_version = 3" };
    QTest::newRow("third version, with a deleted flight") << third;
}

// Real files of the earlier versions, made with their own statements:
// every flight and note is kept, the values become numbers.
void TestLogbookStore::upgrade()
{
    QFETCH(QStringList, sql);
    QVERIFY(QDir().mkpath(QFileInfo(m_path).path()));
    QVERIFY(runSql(m_path, sql));
    const bool withNotes = QTest::currentDataTag() != QByteArray("first version");

    LogbookStore store(m_path);
    QVERIFY2(store.open(), qPrintable(store.message()));
    QCOMPARE(store.record(sampleEntry(1)), LogbookStore::Recorded::AlreadyThere);
    const bool withDeleted = QTest::currentDataTag() == QByteArray("third version, with a deleted flight");
    // Deleted stays deleted: read again, it does not come back.
    QCOMPARE(store.record(sampleEntry(2)),
        withDeleted ? LogbookStore::Recorded::AlreadyThere : LogbookStore::Recorded::Added);
    const auto deleted = store.deletedEntries();
    QVERIFY(deleted);
    QCOMPARE(deleted->size(), withDeleted ? 1 : 0);
    if (withDeleted) {
        QCOMPARE(deleted->first().id, 12);
        QCOMPARE(deleted->first().flight, sampleEntry(2).flight);
        QCOMPARE(deleted->first().site, QStringLiteral("Greifenburg"));
        QCOMPARE(deleted->first().notes, QStringLiteral("deleted on purpose"));
    }
    auto all = store.entries();
    if (!withDeleted) {
        QVERIFY(all && all->size() == 3);
        all->removeIf([](const LogbookEntry &e) { return e.flight == sampleEntry(2).flight; });
    }
    QVERIFY(all);
    QCOMPARE(all->size(), 2);
    QCOMPARE(all->at(1).id, 7);
    QCOMPARE(all->at(1).flight, sampleEntry(1).flight);
    QCOMPARE(all->at(1).pilot, QStringLiteral("KESTREL"));
    const LogbookEntry &long9 = all->at(0);
    QCOMPARE(long9.id, 9);
    QCOMPARE(long9.flight.date, QDate(2006, 5, 1));
    QCOMPARE(long9.flight.startMinutes, 9 * 60 + 5);
    QCOMPARE(long9.flight.durationMinutes, 6000);
    QCOMPARE(long9.flight.qneMin, -20);
    QCOMPARE(long9.flight.totalGain, 16777215);
    QCOMPARE(long9.flight.liftMax, 3.0);
    QCOMPARE(long9.flight.sinkMax, 0.5);
    QCOMPARE(long9.site, withNotes ? QStringLiteral("Kössen") : QString());
    QCOMPARE(long9.notes, withNotes ? QStringLiteral("line\nbreak") : QString());
    // The new columns start as a flight read from the instrument has them.
    QCOMPARE(long9.launches, 1);
    QCOMPARE(long9.launch, LaunchMethod::Unset);
    QCOMPARE(long9.role, PilotRole::PilotInCommand);
    QVERIFY(!long9.byHand && !long9.isCorrected() && long9.flight.unknownFields == 0);
    QCOMPARE(store.gliders(), std::optional<QList<Glider>>(QList<Glider>()));
    QVERIFY(store.openingBalance() && store.openingBalance()->isEmpty());
    store.close();

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
    db.setDatabaseName(m_path);
    QVERIFY(db.open());
    {
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA user_version") && q.next());
        QCOMPARE(q.value(0).toInt(), LogbookSchema::version());
        QVERIFY(q.exec("PRAGMA journal_mode") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
        // Stored as numbers, so that sums need no parsing.
        QVERIFY(
            q.exec("SELECT typeof(duration_minutes), typeof(lift_max), sum(duration_minutes) FROM flights "
                   "WHERE id IN (7, 9)")
            && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("integer"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("real"));
        QCOMPARE(q.value(2).toInt(), 6090);
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

// A child records flight after flight and says so after each; it is killed
// at once after the twentieth. Every flight it reported is there, and the
// file opens as a logbook.
void TestLogbookStore::killedWhileRecording()
{
    { // made first, so that the child only records
        LogbookStore store(m_path);
        QVERIFY(store.open());
    }
    int pipeFds[2];
    QVERIFY(::pipe(pipeFds) == 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        LogbookStore store(m_path);
        for (int n = 1; n < 100000; ++n) {
            if (store.record(sampleEntry(
                    n, QStringLiteral("2007-01-%1").arg(n / 1000 % 28 + 1, 2, 10, QLatin1Char('0'))))
                    != LogbookStore::Recorded::Added
                || ::write(pipeFds[1], "+", 1) != 1)
                ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int reported = 0;
    char c;
    while (reported < 20 && ::read(pipeFds[0], &c, 1) == 1)
        ++reported;
    ::kill(child, SIGKILL);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    while (::read(pipeFds[0], &c, 1) == 1)
        ++reported;
    ::close(pipeFds[0]);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(reported >= 20, true);

    LogbookStore store(m_path);
    QVERIFY2(store.open(), qPrintable(store.message()));
    QVERIFY(rowCount(store) >= reported);
    QCOMPARE(store.record(sampleEntry(200000)), LogbookStore::Recorded::Added);
}

// A logbook of 2000 flights, closed, with page 3 overwritten.
QByteArray damagedLogbook(const QString &path)
{
    {
        LogbookStore store(path);
        QList<LogbookEntry> many;
        for (int n = 1; n <= 2000; ++n)
            many.append(
                sampleEntry(n, QStringLiteral("2008-02-%1").arg(n % 28 + 1, 2, 10, QLatin1Char('0'))));
        if (!store.recordAll(many))
            return QByteArray();
    }
    QByteArray bytes = readAll(path);
    bytes.replace(3 * 4096, 4096, QByteArray(4096, '\x5a'));
    return writeAll(path, bytes) ? bytes : QByteArray();
}

// Leaves statements committed in a write-ahead log beside the file, as a
// program that ended without closing the database does.
bool leaveWal(const QString &path, const QStringList &statements)
{
    const QString copy = path + QStringLiteral(".copy");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("wal"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        ok = ok && q.exec("PRAGMA journal_mode = WAL") && q.exec("PRAGMA wal_autocheckpoint = 0");
        for (const QString &s : statements)
            ok = ok && q.exec(s);
        // The files as they are now, before closing checks the log in.
        ok = ok && QFile::copy(path, copy) && QFile::copy(path + "-wal", copy + "-wal");
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("wal"));
    QFile::remove(path);
    QFile::remove(path + "-shm");
    return ok && QFile::rename(copy, path) && QFile::rename(copy + "-wal", path + "-wal");
}

void TestLogbookStore::neverWritesForeignFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("problem");
    QTest::newRow("text file") << "text" << int(LogbookStore::Problem::NotALogbook);
    QTest::newRow("another program's database") << "foreign" << int(LogbookStore::Problem::NotALogbook);
    QTest::newRow("another program's database plus WAL")
        << "foreign+wal" << int(LogbookStore::Problem::NotALogbook);
    QTest::newRow("newer logbook") << "newer" << int(LogbookStore::Problem::NewerVersion);
    QTest::newRow("damaged logbook plus WAL") << "damaged+wal" << int(LogbookStore::Problem::Damaged);
    QTest::newRow("our mark, no flights table") << "no table" << int(LogbookStore::Problem::Damaged);
}

// The file and its log keep every byte, also after the program that looked
// at them ended normally.
void TestLogbookStore::neverWritesForeignFiles()
{
    QFETCH(QString, kind);
    QFETCH(int, problem);
    QVERIFY(QDir().mkpath(QFileInfo(m_path).path()));
    const QStringList foreign { "CREATE TABLE contacts (name TEXT)", "INSERT INTO contacts VALUES ('x')" };
    if (kind == "text")
        QVERIFY(writeAll(m_path, "Flight notes\nnot a database at all\n"));
    else if (kind == "foreign")
        QVERIFY(runSql(m_path, foreign));
    else if (kind == "foreign+wal")
        QVERIFY(runSql(m_path, foreign) && leaveWal(m_path, { "INSERT INTO contacts VALUES ('y')" }));
    else if (kind == "newer")
        QVERIFY(runSql(m_path,
            { "CREATE TABLE flights (id INTEGER PRIMARY KEY)", "PRAGMA application_id = 1414483021",
                "PRAGMA user_version = 99" }));
    else if (kind == "damaged+wal")
        QVERIFY(!damagedLogbook(m_path).isEmpty() && leaveWal(m_path, { "CREATE TABLE later (x)" }));
    else if (kind == "no table")
        QVERIFY(runSql(m_path,
            { "CREATE TABLE other (x)", "PRAGMA application_id = 1414483021",
                QStringLiteral("PRAGMA user_version = %1").arg(LogbookSchema::version()) }));
    const QByteArray before = readAll(m_path);
    const QByteArray walBefore = readAll(m_path + "-wal");
    const QFileDevice::Permissions permissionsBefore = QFileInfo(m_path).permissions();
    QCOMPARE(walBefore != "<missing>", kind.endsWith("+wal"));

    {
        PilotLogbook logbook(m_path);
        QVERIFY(!logbook.entries());
        QVERIFY(logbook.lastReadFailed());
        QCOMPARE(int(logbook.problem()), problem);
        QVERIFY(logbook.fileUnusable());
        logbook.record(sampleFlight(1), QStringLiteral("ANNA"));
        logbook.record(sampleFlight(1), QStringLiteral("ANNA"));
        QCOMPARE(logbook.waitingCount(), 1);
        // SQLite's findings, however many, take at most three lines.
        QVERIFY2(logbook.problemText().count(QLatin1Char('\n')) <= 3, qPrintable(logbook.problemText()));
        QVERIFY(!logbook.problemText().contains("Parameter count"));
    }
    QCOMPARE(readAll(m_path), before);
    QCOMPARE(readAll(m_path + "-wal"), kind.endsWith("+wal") ? walBefore : QByteArray("<missing>"));
    QCOMPARE(QDir(QFileInfo(m_path).path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { "logbook.sqlite" }
            + (kind.endsWith("+wal") ? QStringList { "logbook.sqlite-wal" } : QStringList()));
    // Not even its mode is touched.
    QCOMPARE(QFileInfo(m_path).permissions(), permissionsBefore);
}

// A logbook with a page overwritten: reported and left as it is, until it
// is put aside; then a new one starts, and the old one keeps every byte.
void TestLogbookStore::damagedPutAside()
{
    const QByteArray bytes = damagedLogbook(m_path);
    QVERIFY(bytes.size() > 8 * 4096);
    QVERIFY(!QFileInfo::exists(m_path + "-wal"));

    LogbookStore store(m_path);
    QVERIFY(!store.open());
    QCOMPARE(store.problem(), LogbookStore::Problem::Damaged);
    QCOMPARE(readAll(m_path), bytes);

    // The name it would take is taken already: that file stays too.
    const QString aside = m_path + ".damaged-2026-05-01";
    QVERIFY(writeAll(aside, "earlier"));
    QCOMPARE(store.putAside("2026-05-01"), aside + "-2");
    QCOMPARE(readAll(aside), QByteArray("earlier"));
    QCOMPARE(readAll(aside + "-2"), bytes);
    QVERIFY2(store.open(), qPrintable(store.message()));
    QCOMPARE(rowCount(store), 0);
}

void TestLogbookStore::readOnlyFolder_data()
{
    QTest::addColumn<bool>("withLogbook");
    QTest::newRow("no logbook yet") << false;
    QTest::newRow("a logbook in it") << true;
}

// A folder nobody may write: a new logbook cannot be made there, an
// existing one is shown read-only, and flights wait to be stored.
void TestLogbookStore::readOnlyFolder()
{
    QFETCH(bool, withLogbook);
    const QString folder = QFileInfo(m_path).path();
    if (withLogbook) {
        LogbookStore store(m_path);
        QCOMPARE(store.record(sampleEntry(1)), LogbookStore::Recorded::Added);
    }
    QVERIFY(QDir().mkpath(folder));
    // Traversable for the unprivileged user, writable for nobody, and the
    // user's own.
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755) == 0);
    if (::geteuid() == 0) {
        for (const QString &own : { folder, m_path, m_path + "-shm" })
            ::chown(QFile::encodeName(own).constData(), 65534, 65534);
    }
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    const bool asExpected = asUnprivileged([&] {
        PilotLogbook logbook(m_path);
        const auto shown = logbook.entries();
        logbook.record(sampleFlight(2), QStringLiteral("ANNA"));
        if (!withLogbook)
            return !shown && logbook.problem() == LogbookStore::Problem::ReadOnly
                && logbook.waitingCount() == 1;
        LogbookEntry byHand = sampleEntry(3);
        byHand.byHand = true;
        OpeningBalance balance;
        balance.asOf = QDate(2004, 1, 1);
        // Nothing the pilot enters is taken either, and the lists still read.
        return shown && shown->size() == 1 && logbook.isReadOnly() && !logbook.readOnlyReason().isEmpty()
            && logbook.waitingCount() == 1 && logbook.problemText().contains("1 flight waits")
            && !logbook.addFlight(byHand) && !logbook.setOpeningBalance(balance)
            && !logbook.addGlider(Glider { 0, "Mentor 7", "", "" }) && logbook.gliders()
            && logbook.gliders()->isEmpty() && logbook.openingBalance()
            && logbook.openingBalance()->isEmpty();
    });
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    QVERIFY(asExpected);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
        withLogbook ? QStringList { "logbook.sqlite" } : QStringList());
}

// Two copies of the program: both record while the other has the file open.
// One that holds a write keeps no recording waiting: the flight waits in
// memory, the pilot is told so, the list can still be read, and the flight
// is stored once the file is free.
void TestLogbookStore::secondCopy()
{
    LogbookStore first(m_path);
    PilotLogbook second(m_path);
    QCOMPARE(first.record(sampleEntry(1)), LogbookStore::Recorded::Added);
    second.record(sampleFlight(2), QStringLiteral("KESTREL"));
    QCOMPARE(first.record(sampleEntry(2)), LogbookStore::Recorded::AlreadyThere);
    QCOMPARE(rowCount(first), 2);

    QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    holder.setDatabaseName(m_path);
    QVERIFY(holder.open());
    QSqlQuery hold(holder);
    QVERIFY(hold.exec("BEGIN IMMEDIATE"));
    QElapsedTimer timer;
    timer.start();
    second.record(sampleFlight(3), QStringLiteral("KESTREL"));
    second.record(sampleFlight(4), QStringLiteral("KESTREL"));
    QVERIFY2(timer.elapsed() < 500, "recording waited for the other program");
    QCOMPARE(second.waitingCount(), 2);
    QCOMPARE(second.problem(), LogbookStore::Problem::InUse);
    // Reading goes on meanwhile, and does not wipe what the pilot was told.
    QCOMPARE(second.entries()->size(), 2);
    QVERIFY(second.problemText().contains("2 flights wait"));
    // A fresh copy opened meanwhile shows the flights read-only.
    PilotLogbook third(m_path);
    QCOMPARE(third.entries()->size(), 2);
    QVERIFY(third.isReadOnly());

    QVERIFY(hold.exec("ROLLBACK"));
    QSignalSpy thirdTold(&third, &PilotLogbook::problemChanged);
    third.record(sampleFlight(5), QStringLiteral("KESTREL"));
    QVERIFY(!third.isReadOnly());
    QVERIFY(!thirdTold.isEmpty()); // no longer read-only: the window hears it
    QVERIFY(second.storeWaiting());
    QCOMPARE(second.waitingCount(), 0);
    QCOMPARE(second.problemText(), QString());
    QCOMPARE(second.entries()->size(), 5);
    hold = QSqlQuery();
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
}

// The flights of an operation take the pilot name it reads after them;
// those of an operation that read none keep none.
void TestLogbookStore::namedByTheirOperation()
{
    PilotLogbook logbook(m_path);
    QSignalSpy updated(&logbook, &PilotLogbook::updated);
    logbook.record(sampleFlight(1));
    logbook.record(sampleFlight(2));
    logbook.pilotNameRead(QStringLiteral("ANNA    "));
    logbook.operationEnded();
    logbook.record(sampleFlight(3));
    logbook.operationEnded();
    logbook.pilotNameRead(QStringLiteral("OTTO    "));
    const auto all = logbook.entries();
    QVERIFY(all);
    QStringList pilots;
    for (const LogbookEntry &e : *all)
        pilots.append(e.pilot);
    QCOMPARE(pilots, (QStringList { "", "ANNA", "ANNA" }));
    QCOMPARE(updated.size(), 2);
}

// Under a decimal comma the flight just recorded and the same flight read
// back after a restart are one flight, written out alike.
void TestLogbookStore::decimalComma()
{
    if (QLocale::system().decimalPoint() != QStringLiteral(","))
        QSKIP("runs under de_DE.UTF-8 (the logbook_tst_logbookstore_de test)");
    // The record the decoder turns into lift 4,5 under this locale.
    QString answer;
    const int bytes[18] = { 32, 45, 3, 82, 8, 82, 18, 52, 1, 30, 14, 7, 5, 10, 1, 0, 13, 72 };
    for (int b : bytes)
        answer += QStringLiteral("R000000%1").arg(b, 3, 10, QLatin1Char('0'));
    answer += QStringLiteral("R000000000");
    const auto decoded
        = FlightRecord::decodeFlightRecord(1, answer, QLocale::system().decimalPoint()).summary;
    QCOMPARE(decoded.liftMax, QStringLiteral("4,5"));

    PilotLogbook logbook(m_path);
    QSignalSpy recorded(&logbook, &PilotLogbook::recorded);
    logbook.record(decoded, QStringLiteral("ANNA"));
    QCOMPARE(recorded.size(), 1);
    const auto shownNow = recorded.at(0).at(0).value<LogbookEntry>();
    const QByteArray csvNow = LogbookText::csv({ shownNow });
    QVERIFY2(csvNow.contains(",4.5,3.2,"), csvNow.constData());
    const auto afterRestart = PilotLogbook(m_path).entries();
    QCOMPARE(afterRestart->size(), 1);
    QCOMPARE(LogbookText::csv(*afterRestart), csvNow);
}

void TestLogbookStore::importReports_data()
{
    QTest::addColumn<QList<QByteArray>>("files"); // "<folder>": the temporary folder itself
    QTest::addColumn<QString>("summary");
    FlightTable table;
    for (int n = 1; n <= 30; ++n)
        table.store(sampleFlight(n));
    table.markFailed(4);
    const QByteArray report = *TextReport::build(ExportData { QStringLiteral("ANNA    "), 1, 30, &table });
    QByteArray damaged = report;
    damaged.replace("\t01:30\t", "\t01:3\t"); // every line but the failed one's
    damaged += report.mid(report.lastIndexOf("\" 30\t")).left(25); // cut off at the end
    QTest::newRow("reports, a damaged one, a folder")
        << QList<QByteArray> { damaged, report, "<folder>" }
        << "29 added, 0 already in the logbook, 30 lines not understood; 1 file could not be read";
    QTest::newRow("the same report twice") << QList<QByteArray> { report, report }
                                           << "29 added, 29 already in the logbook, 0 lines not understood";
    QTest::newRow("not a report") << QList<QByteArray> { "Dear pilot,\r\nsee you at the hill.\r\n" }
                                  << "0 added, 0 already in the logbook, 0 lines not understood; "
                                     "f0.txt is not a report of this program";
    QTest::newRow("empty file") << QList<QByteArray> { "" }
                                << "0 added, 0 already in the logbook, 0 lines not understood; "
                                   "f0.txt is not a report of this program";
    QTest::newRow("impossible values")
        << QList<QByteArray> { QByteArray(report).replace("2005-07-14\t10:05", "2099-13-45\t10:05") }
        << "28 added, 0 already in the logbook, 1 lines not understood";
}

// Reports of the program's own writer, and files that are none: every whole
// flight once, the rest counted, each file that is no report named.
void TestLogbookStore::importReports()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QString, summary);
    QStringList paths;
    for (qsizetype i = 0; i < files.size(); ++i) {
        paths.append(
            files.at(i) == "<folder>" ? m_dir->path() : m_dir->filePath(QStringLiteral("f%1.txt").arg(i)));
        if (files.at(i) != "<folder>")
            QVERIFY(writeAll(paths.last(), files.at(i)));
    }
    PilotLogbook logbook(m_path);
    CountingEnvironment env;
    QCOMPARE(PilotLogbook::importSummary(logbook.importReports(paths, env)), summary);
    QCOMPARE(env.texts.size(), files.size());
    const auto all = logbook.entries();
    QVERIFY(all);
    if (!all->isEmpty())
        QCOMPARE(all->first().pilot, QStringLiteral("ANNA"));
}

// A report of 16 MB is read and stored in steps, with progress, and stops
// when cancelled; what was stored before stays.
void TestLogbookStore::largeImportInSteps()
{
    QFile big(m_dir->filePath("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    FlightTable table;
    for (int n = 1; n <= 100; ++n)
        table.store(sampleFlight(n, QStringLiteral("2010-01-01")));
    int day = 0;
    while (big.size() < 16 * 1024 * 1024) {
        const QDate date = QDate(2010, 1, 1).addDays(day++);
        for (int n = 1; n <= 100; ++n) {
            FlightSummary f = sampleFlight(n, date.toString(Qt::ISODate));
            table.store(f);
        }
        big.write(*TextReport::build(ExportData { QStringLiteral("ANNA"), 1, 100, &table }));
    }
    big.close();
    PilotLogbook logbook(m_path);
    CountingEnvironment stopAfterFour(4);
    const auto stopped = logbook.importReports({ big.fileName() }, stopAfterFour);
    QVERIFY(stopped.cancelled);
    QCOMPARE(stopAfterFour.texts.size(), 4);
    QVERIFY(stopAfterFour.texts.last().endsWith(" %)"));
    QCOMPARE(stopped.added, 3 * 500);
    QCOMPARE(logbook.entries()->size(), 3 * 500);
}

// The logbook's folder and file are the user's alone: an existing folder of
// someone else's or open to others is refused, links are not followed, and
// what is too open is tightened.
void TestLogbookStore::privateFolder_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("problem");
    QTest::addColumn<int>("folderMode"); // afterwards; -1: not looked at
    QTest::newRow("new folder") << "" << int(LogbookProblem::None) << 0700;
    QTest::newRow("folder open to reading") << "folder 0755" << int(LogbookProblem::None) << 0700;
    QTest::newRow("file open to reading") << "file 0644" << int(LogbookProblem::None) << 0700;
    QTest::newRow("folder writable by others") << "folder 0777" << int(LogbookProblem::UnsafeFolder) << 0777;
    QTest::newRow("folder is a link") << "folder link" << int(LogbookProblem::UnsafeFolder) << -1;
    QTest::newRow("file is a link") << "file link" << int(LogbookProblem::NotALogbook) << 0700;
    if (::geteuid() == 0)
        QTest::newRow("someone else's folder")
            << "folder nobody" << int(LogbookProblem::UnsafeFolder) << 0755;
}

void TestLogbookStore::privateFolder()
{
    QFETCH(QString, setup);
    QFETCH(int, problem);
    QFETCH(int, folderMode);
    const QString folder = QFileInfo(m_path).path();
    const QByteArray folderName = QFile::encodeName(folder);
    const QString elsewhere = m_dir->filePath("elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    if (setup.startsWith("folder 0") || setup == "folder nobody") {
        QVERIFY(QDir().mkpath(folder));
        if (setup == "folder nobody")
            QVERIFY(::chown(folderName.constData(), 65534, 65534) == 0
                && ::chmod(folderName.constData(), 0755) == 0);
        else
            QVERIFY(::chmod(folderName.constData(), mode_t(setup.mid(7).toInt(nullptr, 8))) == 0);
    } else if (setup == "folder link") {
        QVERIFY(QFile::link(elsewhere, folder));
    } else if (setup == "file 0644") {
        QVERIFY(LogbookStore(m_path).open());
        QVERIFY(::chmod(QFile::encodeName(m_path).constData(), 0644) == 0);
    } else if (setup == "file link") {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(LogbookStore(elsewhere + "/logbook.sqlite").open());
        QVERIFY(QFile::link(elsewhere + "/logbook.sqlite", m_path));
    }
    LogbookStore store(m_path);
    const bool opened = store.open();
    QCOMPARE(int(store.problem()), problem);
    QCOMPARE(opened, problem == int(LogbookProblem::None));
    if (!opened)
        QVERIFY(!store.message().isEmpty());
    struct stat st
    {
    };
    if (folderMode >= 0) {
        QVERIFY(::lstat(folderName.constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), folderMode);
    }
    if (opened) {
        QVERIFY(::lstat(QFile::encodeName(m_path).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
    }
    // Nothing was made where a link pointed.
    QVERIFY(!QFileInfo::exists(elsewhere + "/logbook.sqlite") || setup == "file link");
    store.close();
}

// A link put in the file's place after it was checked is noticed once SQLite
// has opened the name.
void TestLogbookStore::swappedForALink()
{
    QVERIFY(LogbookStore(m_path).open());
    LogbookFile file(m_path);
    QString detail;
    QCOMPARE(file.prepare(false, &detail), LogbookProblem::None);
    QVERIFY(file.stillTheSame());
    const QString other = m_dir->filePath("other.sqlite");
    QVERIFY(QFile::rename(m_path, other));
    QVERIFY(QFile::link(other, m_path));
    QVERIFY(!file.stillTheSame());
}

QTEST_GUILESS_MAIN(TestLogbookStore)
#include "tst_logbookstore.moc"
