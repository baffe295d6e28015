// The logbook store over real database files in temporary folders: one row
// per flight however often it is read, the upgrade of a first-version file,
// a kill in the middle of recording, and files it must never write to.

#include "LogbookSamples.h"

#include "export/TextReport.h"
#include "link/OperationEnvironment.h"
#include "logbook/LogbookStore.h"
#include "logbook/PilotLogbook.h"

#include <QDir>
#include <QFile>
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
    void upgradeFromFirstVersion();
    void killedWhileRecording();
    void neverWritesForeignFiles_data();
    void neverWritesForeignFiles();
    void damagedPutAside();
    void readOnlyFolder();
    void secondCopy();
    void importReports();

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
    LogbookEntry again = sampleEntry(1);
    again.flight.flightNumber = 40;
    again.flight.liftMax = QStringLiteral("4,5");
    QCOMPARE(store.record(again), LogbookStore::Recorded::Named);
    LogbookEntry other = sampleEntry(1);
    other.pilot = QStringLiteral("OTHER");
    QCOMPARE(store.record(other), LogbookStore::Recorded::AlreadyThere);

    // Any value that differs makes another flight.
    LogbookEntry longer = sampleEntry(1);
    longer.flight.duration = QStringLiteral("01:31");
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
    const auto first = std::find_if(all->cbegin(), all->cend(), [](const LogbookEntry &e) {
        return e.flight.startTime == sampleFlight(1).startTime
            && e.flight.duration == QStringLiteral("01:30");
    });
    QVERIFY(first != all->cend());
    QCOMPARE(first->pilot, QStringLiteral("KESTREL"));
}

void TestLogbookStore::notesAndUndoOfDelete()
{
    LogbookStore store(m_path);
    qint64 id1 = 0, id2 = 0;
    QCOMPARE(store.record(sampleEntry(1), &id1), LogbookStore::Recorded::Added);
    QCOMPARE(store.record(sampleEntry(2), &id2), LogbookStore::Recorded::Added);
    QVERIFY(store.setNote(id1, NoteField::Site, QStringLiteral("Kössen")));
    QVERIFY(store.setNote(id1, NoteField::Glider, QStringLiteral("Mentor 7")));
    QVERIFY(store.setNote(id1, NoteField::Notes, QStringLiteral("first \"thermal\"\nday")));

    const auto removed = store.remove({ id1, id2 });
    QVERIFY(removed);
    QCOMPARE(removed->size(), 2);
    QCOMPARE(rowCount(store), 0);
    QVERIFY(store.restore(*removed));
    const auto back = store.entries();
    QVERIFY(back);
    QCOMPARE(back->size(), 2);
    // Newest first: same date, later start time first.
    QCOMPARE(back->at(1).id, id1);
    QCOMPARE(back->at(1).site, QStringLiteral("Kössen"));
    QCOMPARE(back->at(1).glider, QStringLiteral("Mentor 7"));
    QCOMPARE(back->at(1).notes, QStringLiteral("first \"thermal\"\nday"));
    QCOMPARE(*removed, (QList<LogbookEntry> { back->at(1), back->at(0) }));
}

void TestLogbookStore::upgradeFromFirstVersion()
{
    QVERIFY(QDir().mkpath(QFileInfo(m_path).path()));
    // A logbook as the first version wrote it: no columns for notes yet.
    QVERIFY(runSql(m_path,
        { "CREATE TABLE flights (id INTEGER PRIMARY KEY, date TEXT NOT NULL, start_time TEXT NOT NULL, "
          "duration TEXT NOT NULL, qne_min TEXT NOT NULL, qne_max TEXT NOT NULL, height_diff_max TEXT NOT "
          "NULL, "
          "total_gain TEXT NOT NULL, lift_max TEXT NOT NULL, sink_max TEXT NOT NULL, speed_min TEXT NOT "
          "NULL, "
          "speed_max TEXT NOT NULL, pilot TEXT NOT NULL DEFAULT '')",
            "CREATE UNIQUE INDEX flights_identity ON flights (date, start_time, duration, qne_min, qne_max, "
            "height_diff_max, total_gain, lift_max, sink_max, speed_min, speed_max)",
            "INSERT INTO flights VALUES (7, '2005-07-14', '10:01', '01:30', '850', '2130', '1280', '3400', "
            "'4.5', '3.2', '18', '52', 'KESTREL')",
            "PRAGMA application_id = 1414483021", "PRAGMA user_version = 1" }));

    LogbookStore store(m_path);
    QVERIFY2(store.open(), qPrintable(store.message()));
    QCOMPARE(store.record(sampleEntry(1)), LogbookStore::Recorded::AlreadyThere);
    const auto all = store.entries();
    QVERIFY(all);
    QCOMPARE(all->size(), 1);
    QCOMPARE(all->at(0).id, 7);
    QCOMPARE(all->at(0).flight, [] {
        FlightSummary f = sampleFlight(1);
        f.flightNumber = 0; // the slot it was read from is not kept
        return f;
    }());
    QVERIFY(store.setNote(7, NoteField::Glider, QStringLiteral("Mentor 7")));
    store.close();
    QVERIFY(runSql(m_path, { "PRAGMA user_version" }));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
    db.setDatabaseName(m_path);
    QVERIFY(db.open());
    QSqlQuery q(db);
    QVERIFY(q.exec("PRAGMA user_version") && q.next());
    QCOMPARE(q.value(0).toInt(), LogbookStore::kSchemaVersion);
    QVERIFY(q.exec("PRAGMA journal_mode") && q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
    q.finish();
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

void TestLogbookStore::neverWritesForeignFiles_data()
{
    QTest::addColumn<QStringList>("sql"); // empty: the file holds text
    QTest::addColumn<int>("problem");
    QTest::newRow("text file") << QStringList() << int(LogbookStore::Problem::NotALogbook);
    QTest::newRow("another program's database") << QStringList { "CREATE TABLE contacts (name TEXT)",
        "INSERT INTO contacts VALUES ('x')" } << int(LogbookStore::Problem::NotALogbook);
    QTest::newRow("newer logbook") << QStringList { "CREATE TABLE flights (id INTEGER PRIMARY KEY)",
        "PRAGMA application_id = 1414483021", "PRAGMA user_version = 99" }
                                   << int(LogbookStore::Problem::NewerVersion);
}

void TestLogbookStore::neverWritesForeignFiles()
{
    QFETCH(QStringList, sql);
    QFETCH(int, problem);
    QVERIFY(QDir().mkpath(QFileInfo(m_path).path()));
    if (sql.isEmpty())
        QVERIFY(writeAll(m_path, "Flight notes\nnot a database at all\n"));
    else
        QVERIFY(runSql(m_path, sql));
    const QByteArray before = readAll(m_path);
    const QStringList filesBefore = QDir(QFileInfo(m_path).path()).entryList(QDir::Files);

    LogbookStore store(m_path);
    QVERIFY(!store.open());
    QCOMPARE(int(store.problem()), problem);
    QVERIFY(!store.message().isEmpty());
    QCOMPARE(store.record(sampleEntry(1)), LogbookStore::Recorded::Failed);
    store.close();
    QCOMPARE(readAll(m_path), before);
    QCOMPARE(QDir(QFileInfo(m_path).path()).entryList(QDir::Files), filesBefore);
}

// A logbook with a page overwritten: reported and left as it is, until it
// is put aside; then a new one starts, and the old one keeps every byte.
void TestLogbookStore::damagedPutAside()
{
    {
        LogbookStore store(m_path);
        QList<LogbookEntry> many;
        for (int n = 1; n <= 2000; ++n)
            many.append(
                sampleEntry(n, QStringLiteral("2008-02-%1").arg(n % 28 + 1, 2, 10, QLatin1Char('0'))));
        QVERIFY(store.recordAll(many));
    }
    QVERIFY(!QFileInfo::exists(m_path + "-wal") || QFileInfo(m_path + "-wal").size() == 0);
    QByteArray bytes = readAll(m_path);
    QVERIFY(bytes.size() > 8 * 4096);
    bytes.replace(3 * 4096, 4096, QByteArray(4096, '\x5a'));
    QVERIFY(writeAll(m_path, bytes));

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

void TestLogbookStore::readOnlyFolder()
{
    const QString folder = QFileInfo(m_path).path();
    QVERIFY(QDir().mkpath(folder));
    // Traversable for the unprivileged user, writable for nobody.
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    const bool refused = asUnprivileged([this] {
        LogbookStore store(m_path);
        return !store.open() && store.problem() == LogbookStore::Problem::ReadOnly
            && store.record(sampleEntry(1)) == LogbookStore::Recorded::Failed && !store.message().isEmpty();
    });
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    QVERIFY(refused);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// Two copies of the program: both record while the other has the file open;
// one that holds a write for longer than the wait is reported as in use.
void TestLogbookStore::secondCopy()
{
    LogbookStore first(m_path);
    LogbookStore second(m_path);
    QCOMPARE(first.record(sampleEntry(1)), LogbookStore::Recorded::Added);
    QCOMPARE(second.record(sampleEntry(2)), LogbookStore::Recorded::Added);
    QCOMPARE(first.record(sampleEntry(2)), LogbookStore::Recorded::AlreadyThere);
    QCOMPARE(rowCount(first), 2);

    QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    holder.setDatabaseName(m_path);
    QVERIFY(holder.open());
    QSqlQuery hold(holder);
    QVERIFY(hold.exec("BEGIN IMMEDIATE"));
    QCOMPARE(second.record(sampleEntry(3)), LogbookStore::Recorded::Failed);
    QCOMPARE(second.problem(), LogbookStore::Problem::InUse);
    QCOMPARE(rowCount(second), 2); // reading goes on meanwhile
    QVERIFY(hold.exec("ROLLBACK"));
    QCOMPARE(second.record(sampleEntry(3)), LogbookStore::Recorded::Added);
    hold = QSqlQuery();
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
}

namespace {

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

} // namespace

// Reports of the program's own writer, one with lines damaged by hand and
// one that is no file at all: every whole flight once, the rest counted.
void TestLogbookStore::importReports()
{
    FlightTable table;
    for (int n = 1; n <= 30; ++n)
        table.store(sampleFlight(n));
    table.markFailed(4);
    const QByteArray report = *TextReport::build(ExportData { QStringLiteral("ANNA    "), 1, 30, &table });
    QByteArray damaged = report;
    damaged.replace("\t01:30\t", "\t01:3\t"); // every line but the failed one's
    damaged += report.mid(report.lastIndexOf("\" 30\t")).left(25); // cut off at the end

    QVERIFY(writeAll(m_dir->filePath("a.txt"), report));
    QVERIFY(writeAll(m_dir->filePath("b.txt"), damaged));
    PilotLogbook logbook(m_path);
    CountingEnvironment env;
    const auto first
        = logbook.importReports({ m_dir->filePath("b.txt"), m_dir->filePath("a.txt"), m_dir->path() }, env);
    QCOMPARE(PilotLogbook::importSummary(first),
        QStringLiteral(
            "29 added, 0 already in the logbook, 30 lines not understood; 1 file could not be read"));
    QCOMPARE(env.texts.size(), 3);
    QCOMPARE(logbook.entries()->first().pilot, QStringLiteral("ANNA"));

    const auto again = logbook.importReports({ m_dir->filePath("a.txt"), m_dir->filePath("a.txt") }, env);
    QCOMPARE(PilotLogbook::importSummary(again),
        QStringLiteral("0 added, 58 already in the logbook, 0 lines not understood"));

    CountingEnvironment stopAfterOne(1);
    const auto stopped
        = logbook.importReports({ m_dir->filePath("a.txt"), m_dir->filePath("b.txt") }, stopAfterOne);
    QVERIFY(stopped.cancelled);
    QCOMPARE(stopped.linesNotUnderstood, 0); // b.txt was never read
    QCOMPARE(rowCount(logbook.store()), 29);
}

QTEST_GUILESS_MAIN(TestLogbookStore)
#include "tst_logbookstore.moc"
