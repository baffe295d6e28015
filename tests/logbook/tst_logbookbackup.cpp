// Backups of the logbook over real files: a copy and its restore give back
// every flight, note and deleted mark; a damaged, foreign or newer file is
// refused and leaves the logbook as it was; the daily copies keep five.

#include "LogbookSamples.h"

#include "logbook/LogbookBackup.h"
#include "logbook/LogbookSchema.h"
#include "logbook/PilotLogbook.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

mode_t modeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
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

// A logbook of n flights, every third with a note and every fifth deleted.
void fill(PilotLogbook &logbook, int n)
{
    QList<LogbookEntry> entries;
    for (int i = 0; i < n; ++i)
        entries.append(sampleEntry(i, QDate(2020, 1, 1).addDays(i).toString(Qt::ISODate)));
    QVERIFY(logbook.store().recordAll(entries));
    const auto stored = logbook.entries();
    QVERIFY(stored);
    QList<qint64> gone;
    for (qsizetype i = 0; i < stored->size(); ++i) {
        if (i % 3 == 0)
            QVERIFY(logbook.setNote(stored->at(i).id, NoteField::Notes, QStringLiteral("note %1").arg(i)));
        if (i % 5 == 0)
            gone.append(stored->at(i).id);
    }
    QVERIFY(logbook.remove(gone));
}

QStringList names(const QString &folder, const QString &filter)
{
    return QDir(folder).entryList(
        { filter }, QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestLogbookBackup : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void backUpAndRestore();
    void refused_data();
    void refused();
    void olderVersionUpgraded();
    void whileAnotherConnectionWrites();
    void dailyCopiesKeepFive();
    void dailyCopyInTheBackground();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestLogbookBackup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("logbook/logbook.sqlite"));
}

void TestLogbookBackup::backUpAndRestore()
{
    PilotLogbook logbook(m_path);
    fill(logbook, 40);
    const auto flights = logbook.entries();
    const auto deleted = logbook.deletedEntries();
    QVERIFY(flights && deleted);
    QCOMPARE(flights->size(), 32);

    const QString backup = m_dir->filePath(QStringLiteral("copy.sqlite"));
    QVERIFY2(logbook.backUpTo(backup), qPrintable(logbook.backupError()));
    QCOMPARE(modeOf(backup), mode_t(0600));
    QCOMPARE(names(m_dir->path(), QStringLiteral(".tolmera-backup-*")), QStringList());
    // Over the logbook itself or its log: refused.
    QVERIFY(!logbook.backUpTo(m_path));
    QVERIFY(!logbook.backUpTo(m_path + QStringLiteral("-wal")));
    QVERIFY(!logbook.backupError().isEmpty());

    const BackupSummary summary = LogbookBackup::inspect(backup);
    QVERIFY2(summary.usable(), qPrintable(summary.refusal));
    QCOMPARE(summary.flights, 32);
    QCOMPARE(summary.minutes, 32 * 90);
    QCOMPARE(summary.first, flights->last().flight.date);
    QCOMPARE(summary.last, flights->first().flight.date);
    QCOMPARE(summary.version, LogbookSchema::version());

    // Changed after the copy: the restore brings the copy's state back and
    // keeps the changed logbook aside, twice over on the same day.
    logbook.record(sampleFlight(900, QStringLiteral("2026-01-01")), QStringLiteral("KESTREL"));
    QVERIFY(logbook.setNote(flights->first().id, NoteField::Site, QStringLiteral("Changed")));
    QVERIFY(logbook.undelete({ deleted->first().id }));
    QSignalSpy reset(&logbook, &PilotLogbook::reset);
    QVERIFY2(logbook.restoreFrom(backup), qPrintable(logbook.backupError()));
    QCOMPARE(reset.size(), 1);
    QCOMPARE(logbook.entries(), flights);
    QCOMPARE(logbook.deletedEntries(), deleted);
    QVERIFY(!logbook.isReadOnly());

    const QString date = QDate::currentDate().toString(Qt::ISODate);
    const QString aside = m_path + QStringLiteral(".before-restore-") + date;
    QVERIFY(QFileInfo::exists(aside));
    QVERIFY2(logbook.restoreFrom(backup), qPrintable(logbook.backupError()));
    QVERIFY(QFileInfo::exists(aside + QStringLiteral("-2")));
    QCOMPARE(LogbookBackup::inspect(aside).flights, 34);
    QCOMPARE(LogbookBackup::inspect(aside + QStringLiteral("-2")).flights, 32);
    // The restored logbook is written as any other.
    logbook.record(sampleFlight(901, QStringLiteral("2026-01-02")), QStringLiteral("KESTREL"));
    QCOMPARE(logbook.entries()->size(), 33);
}

void TestLogbookBackup::refused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("told");
    QTest::newRow("truncated") << "truncate"
                               << "damaged";
    QTest::newRow("page overwritten") << "overwrite"
                                      << "damaged";
    QTest::newRow("row changed") << "row"
                                 << "damaged";
    QTest::newRow("other program's database") << "foreign"
                                              << "not a logbook";
    QTest::newRow("empty database") << "emptydb"
                                    << "not a logbook";
    QTest::newRow("text file") << "text"
                               << "not a logbook";
    QTest::newRow("empty file") << "empty"
                                << "not a logbook";
    QTest::newRow("newer version") << "newer"
                                   << "newer version";
}

void TestLogbookBackup::refused()
{
    QFETCH(QString, damage);
    QFETCH(QString, told);
    PilotLogbook logbook(m_path);
    fill(logbook, 300);
    const QString backup = m_dir->filePath(QStringLiteral("copy.sqlite"));
    QVERIFY(logbook.backUpTo(backup));
    QByteArray bytes = readAll(backup);
    QVERIFY(bytes.size() > 8 * 4096);
    if (damage == QLatin1String("truncate")) {
        bytes.truncate(bytes.size() / 2);
    } else if (damage == QLatin1String("overwrite")) {
        bytes.replace(2 * 4096, 3000, QByteArray(3000, '\x5a'));
    } else if (damage == QLatin1String("row")) {
        // A flight's date changed where the table holds it but not in its
        // indexes: every page is still well formed.
        const qsizetype at = bytes.indexOf("2020-03-15");
        QVERIFY(at > 0);
        bytes.replace(at, 10, "2019-03-15");
    } else if (damage == QLatin1String("foreign")) {
        QVERIFY(runSql(m_dir->filePath(QStringLiteral("other.sqlite")),
            { QStringLiteral("CREATE TABLE flights (id INTEGER PRIMARY KEY, date TEXT, pilot TEXT)"),
                QStringLiteral("INSERT INTO flights VALUES (1, '2020-01-01', 'X')") }));
        bytes = readAll(m_dir->filePath(QStringLiteral("other.sqlite")));
    } else if (damage == QLatin1String("emptydb")) {
        QVERIFY(runSql(m_dir->filePath(QStringLiteral("other.sqlite")), { QStringLiteral("VACUUM") }));
        bytes = readAll(m_dir->filePath(QStringLiteral("other.sqlite")));
    } else if (damage == QLatin1String("text")) {
        bytes = "Date;Start;Duration\n2020-01-01;10:00;01:30\n";
    } else if (damage == QLatin1String("empty")) {
        bytes.clear();
    } else {
        QVERIFY(
            runSql(backup, { QStringLiteral("PRAGMA user_version = %1").arg(LogbookSchema::version() + 1) }));
        bytes = readAll(backup);
    }
    QVERIFY(writeAll(backup, bytes));

    const BackupSummary summary = LogbookBackup::inspect(backup);
    QVERIFY2(summary.refusal.contains(told), qPrintable(summary.refusal));
    QVERIFY2(summary.refusal.contains(backup), qPrintable(summary.refusal));

    // Restore judges the file again: the logbook stays in use, untouched,
    // nothing is put aside, and the backup is not touched either.
    const auto before = logbook.entries();
    const QByteArray logbookBytes = readAll(m_path);
    QVERIFY(!logbook.restoreFrom(backup));
    QVERIFY2(logbook.backupError().contains(told), qPrintable(logbook.backupError()));
    QCOMPARE(logbook.entries(), before);
    QCOMPARE(readAll(m_path), logbookBytes);
    QCOMPARE(readAll(backup), bytes);
    QCOMPARE(
        names(m_dir->filePath(QStringLiteral("logbook")), QStringLiteral("*before-restore*")), QStringList());
    QCOMPARE(names(m_dir->filePath(QStringLiteral("logbook")), QStringLiteral(".tolmera-backup-*")),
        QStringList());
}

// A backup the first version wrote, with the times as texts: summed up
// and restored as the upgrade reads it.
void TestLogbookBackup::olderVersionUpgraded()
{
    const QString backup = m_dir->filePath(QStringLiteral("first.sqlite"));
    QVERIFY(runSql(backup,
        { "CREATE TABLE flights (id INTEGER PRIMARY KEY, date TEXT NOT NULL, start_time TEXT NOT NULL, "
          "duration TEXT NOT NULL, qne_min TEXT NOT NULL, qne_max TEXT NOT NULL, height_diff_max TEXT NOT "
          "NULL, "
          "total_gain TEXT NOT NULL, lift_max TEXT NOT NULL, sink_max TEXT NOT NULL, speed_min TEXT NOT "
          "NULL, "
          "speed_max TEXT NOT NULL, pilot TEXT NOT NULL DEFAULT '')",
            "INSERT INTO flights VALUES (7, '2005-07-14', '10:01', '01:30', '850', '2130', '1280', '3400', "
            "'4.5', '3.2', '18', '52', 'KESTREL')",
            "INSERT INTO flights VALUES (9, '2006-05-01', '09:05', '100:00', '-20', '1500', '1520', '99', "
            "'3', '0.5', '7', '255', '')",
            "PRAGMA application_id = 1414483021", "PRAGMA user_version = 1" }));
    const QByteArray bytes = readAll(backup);
    const BackupSummary summary = LogbookBackup::inspect(backup);
    QVERIFY2(summary.usable(), qPrintable(summary.refusal));
    QCOMPARE(summary.version, 1);
    QCOMPARE(summary.flights, 2);
    QCOMPARE(summary.minutes, 90 + 6000);
    QCOMPARE(summary.first, QDate(2005, 7, 14));
    QCOMPARE(summary.last, QDate(2006, 5, 1));
    QCOMPARE(LogbookBackup::describe(summary),
        QStringLiteral("2 flights, 101:30 hours, from 2005-07-14 to 2006-05-01"));

    PilotLogbook logbook(m_path);
    fill(logbook, 3);
    QVERIFY2(logbook.restoreFrom(backup), qPrintable(logbook.backupError()));
    const auto flights = logbook.entries();
    QVERIFY(flights);
    QCOMPARE(flights->size(), 2);
    QCOMPARE(flights->last().id, 7);
    QCOMPARE(flights->last().pilot, QStringLiteral("KESTREL"));
    // The backup itself is only read.
    QCOMPARE(readAll(backup), bytes);
}

void TestLogbookBackup::whileAnotherConnectionWrites()
{
    PilotLogbook logbook(m_path);
    fill(logbook, 20);
    // Another program: one flight committed into the write-ahead log (its
    // open connection keeps it from being checked into the file), a second
    // one in a transaction still open.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        db.setDatabaseName(m_path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        const QString insert = QStringLiteral(
            "INSERT INTO flights (date, start_minutes, duration_minutes, qne_min, qne_max, height_diff_max, "
            "total_gain, lift_max, sink_max, speed_min, speed_max) VALUES ('%1', 600, 45, 0, 0, 0, 0, 0, 0, "
            "0, 0)");
        QVERIFY(q.exec(insert.arg(QStringLiteral("2024-05-01"))));
        QVERIFY(q.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(q.exec(insert.arg(QStringLiteral("2024-05-02"))));

        const QString backup = m_dir->filePath(QStringLiteral("copy.sqlite"));
        QVERIFY2(logbook.backUpTo(backup), qPrintable(logbook.backupError()));
        const BackupSummary summary = LogbookBackup::inspect(backup);
        QVERIFY2(summary.usable(), qPrintable(summary.refusal));
        QCOMPARE(summary.flights, 16 + 1);
        QCOMPARE(summary.last, QDate(2024, 5, 1));

        // A restore now would lose what the other program writes: refused.
        QVERIFY(!logbook.restoreFrom(backup));
        QVERIFY2(logbook.backupError().contains(QStringLiteral("in use")), qPrintable(logbook.backupError()));
        QVERIFY(q.exec(QStringLiteral("COMMIT")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    QCOMPARE(logbook.entries()->size(), 18);
}

void TestLogbookBackup::dailyCopiesKeepFive()
{
    {
        PilotLogbook logbook(m_path);
        fill(logbook, 10);
    }
    const QString folder = LogbookBackup::dailyFolder(m_path);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    // Older copies made by hand, and files the rotation must leave alone.
    for (int day = 1; day <= 6; ++day)
        QVERIFY(writeAll(QDir(folder).filePath(LogbookBackup::dailyName(QDate(2026, 11, day))), "old"));
    const QStringList others { QStringLiteral("logbook-2026-13-45.sqlite"),
        QStringLiteral("logbook-notes.txt"), QStringLiteral("mine.sqlite"),
        QStringLiteral("logbook-2026-11-07.sqlite.keep") };
    for (const QString &name : others)
        QVERIFY(writeAll(QDir(folder).filePath(name), "mine"));
    // What a killed copy left: removed once it is old; a copy under way is not.
    const QString killed = QDir(folder).filePath(QStringLiteral(".tolmera-backup-killed"));
    const QString underWay = QDir(folder).filePath(QStringLiteral(".tolmera-backup-now"));
    QVERIFY(QDir().mkpath(killed) && QDir().mkpath(underWay));
    QVERIFY(writeAll(killed + QStringLiteral("/logbook.sqlite"), "half"));
    const time_t dayAgo = time_t(QDateTime::currentSecsSinceEpoch() - 86400);
    const struct utimbuf old
    {
        dayAgo, dayAgo
    };
    QVERIFY(::utime(QFile::encodeName(killed).constData(), &old) == 0);

    const LogbookBackup::DailyResult result = LogbookBackup::makeDaily(m_path, QDate(2026, 12, 8));
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.made, QDir(folder).filePath(QStringLiteral("logbook-2026-12-08.sqlite")));
    QCOMPARE(result.removed, QStringList({ "logbook-2026-11-01.sqlite", "logbook-2026-11-02.sqlite" }));
    QCOMPARE(modeOf(folder), mode_t(0700));
    QCOMPARE(modeOf(result.made), mode_t(0600));
    QCOMPARE(LogbookBackup::inspect(result.made).flights, 8);
    QStringList expected = others;
    for (int day = 3; day <= 6; ++day)
        expected.append(LogbookBackup::dailyName(QDate(2026, 11, day)));
    expected.append(QStringLiteral("logbook-2026-12-08.sqlite"));
    expected.sort();
    expected.prepend(QStringLiteral(".tolmera-backup-now"));
    QCOMPARE(names(folder, QStringLiteral("*")), expected);

    // The day's copy is made once: a second run leaves it as it is.
    const QByteArray made = readAll(result.made);
    QVERIFY(runSql(m_path, { QStringLiteral("UPDATE flights SET notes = 'later'") }));
    QVERIFY(LogbookBackup::makeDaily(m_path, QDate(2026, 12, 8)).made.isEmpty());
    QCOMPARE(readAll(result.made), made);
}

void TestLogbookBackup::dailyCopyInTheBackground()
{
    const QString today
        = QDir(LogbookBackup::dailyFolder(m_path)).filePath(LogbookBackup::dailyName(QDate::currentDate()));
    {
        PilotLogbook logbook(m_path);
        fill(logbook, 10);
    }
    {
        // Ended while the copy may still be under way: no crash, no hang,
        // and no part of a copy under the final name.
        PilotLogbook logbook(m_path);
        logbook.setDailyBackups(true);
        QVERIFY(logbook.ensureOpen());
    }
    if (QFileInfo::exists(today)) {
        QCOMPARE(LogbookBackup::inspect(today).flights, 8);
        QVERIFY(QFile::remove(today));
    }
    QCOMPARE(names(LogbookBackup::dailyFolder(m_path), QStringLiteral(".*")), QStringList());

    PilotLogbook logbook(m_path);
    logbook.setDailyBackups(true);
    QSignalSpy finished(&logbook.dailyBackup(), &DailyBackup::finished);
    QVERIFY(logbook.ensureOpen());
    // The window thread goes on meanwhile; the copy arrives by itself.
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().value<LogbookBackup::DailyResult>().made, today);
    QCOMPARE(LogbookBackup::inspect(today).flights, 8);
}

QTEST_GUILESS_MAIN(TestLogbookBackup)
#include "tst_logbookbackup.moc"
