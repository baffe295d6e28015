#include "logbook/LogbookSchema.h"

#include "export/FlightFields.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace LogbookSchema {

namespace {

// "hh:mm" text of the first versions as minutes.
QString minutesOf(const QString &column)
{
    return QStringLiteral("(CAST(substr(%1, 1, instr(%1, ':') - 1) AS INTEGER) * 60 "
                          "+ CAST(substr(%1, instr(%1, ':') + 1) AS INTEGER))")
        .arg(column);
}

const QList<QStringList> &migrations()
{
    static const QList<QStringList> steps {
        // 1: the flights as read, and the pilot who flew them.
        { QStringLiteral("CREATE TABLE flights (id INTEGER PRIMARY KEY, date TEXT NOT NULL, "
                         "start_time TEXT NOT NULL, duration TEXT NOT NULL, qne_min TEXT NOT NULL, "
                         "qne_max TEXT NOT NULL, height_diff_max TEXT NOT NULL, total_gain TEXT NOT NULL, "
                         "lift_max TEXT NOT NULL, sink_max TEXT NOT NULL, speed_min TEXT NOT NULL, "
                         "speed_max TEXT NOT NULL, pilot TEXT NOT NULL DEFAULT '')"),
            QStringLiteral(
                "CREATE UNIQUE INDEX flights_identity ON flights (date, start_time, duration, qne_min, "
                "qne_max, height_diff_max, total_gain, lift_max, sink_max, speed_min, speed_max)") },
        // 2: what the pilot writes beside each flight.
        { QStringLiteral("ALTER TABLE flights ADD COLUMN site TEXT NOT NULL DEFAULT ''"),
            QStringLiteral("ALTER TABLE flights ADD COLUMN glider TEXT NOT NULL DEFAULT ''"),
            QStringLiteral("ALTER TABLE flights ADD COLUMN notes TEXT NOT NULL DEFAULT ''") },
        // 3: the values as numbers (minutes, meters, m/s, km/h) instead of
        // the texts they were shown as, and flights the pilot deleted kept
        // aside, so that reading them again does not bring them back. Every
        // row is kept; the identity index no longer refuses a second row,
        // since two texts of a garbled first-version row may now be one
        // number (the store looks a flight up before adding it).
        { QStringLiteral("CREATE TABLE flights3 (id INTEGER PRIMARY KEY, date TEXT NOT NULL, "
                         "start_minutes INTEGER NOT NULL, duration_minutes INTEGER NOT NULL, "
                         "qne_min INTEGER NOT NULL, qne_max INTEGER NOT NULL, "
                         "height_diff_max INTEGER NOT NULL, total_gain INTEGER NOT NULL, "
                         "lift_max REAL NOT NULL, sink_max REAL NOT NULL, speed_min INTEGER NOT NULL, "
                         "speed_max INTEGER NOT NULL, pilot TEXT NOT NULL DEFAULT '', "
                         "site TEXT NOT NULL DEFAULT '', glider TEXT NOT NULL DEFAULT '', "
                         "notes TEXT NOT NULL DEFAULT '', deleted INTEGER NOT NULL DEFAULT 0)"),
            QStringLiteral("INSERT INTO flights3 SELECT id, date, %1, %2, CAST(qne_min AS INTEGER), "
                           "CAST(qne_max AS INTEGER), CAST(height_diff_max AS INTEGER), "
                           "CAST(total_gain AS INTEGER), CAST(replace(lift_max, ',', '.') AS REAL), "
                           "CAST(replace(sink_max, ',', '.') AS REAL), CAST(speed_min AS INTEGER), "
                           "CAST(speed_max AS INTEGER), pilot, site, glider, notes, 0 FROM flights")
                .arg(minutesOf(QStringLiteral("start_time")), minutesOf(QStringLiteral("duration"))),
            QStringLiteral("DROP TABLE flights"), QStringLiteral("ALTER TABLE flights3 RENAME TO flights"),
            QStringLiteral("CREATE INDEX flights_identity ON flights (date, start_minutes, "
                           "duration_minutes, qne_min, qne_max, height_diff_max, total_gain, lift_max, "
                           "sink_max, speed_min, speed_max)"),
            QStringLiteral("CREATE INDEX flights_by_time ON flights (deleted, date, start_minutes)") },
        // 4: a pilot logbook's columns: landing site, launch, role, flights
        // entered by hand (whose summary values may be missing, hence the
        // columns that may be NULL now) and the pilot's corrections of a
        // flight read from the instrument, kept beside the instrument's
        // values, which stay the flight's identity. The pilot's gliders and
        // the paper logbook carried over.
        { QStringLiteral("CREATE TABLE flights4 (id INTEGER PRIMARY KEY, date TEXT NOT NULL, "
                         "start_minutes INTEGER NOT NULL, duration_minutes INTEGER NOT NULL, "
                         "qne_min INTEGER, qne_max INTEGER, height_diff_max INTEGER, total_gain INTEGER, "
                         "lift_max REAL, sink_max REAL, speed_min INTEGER, speed_max INTEGER, "
                         "pilot TEXT NOT NULL DEFAULT '', site TEXT NOT NULL DEFAULT '', "
                         "glider TEXT NOT NULL DEFAULT '', notes TEXT NOT NULL DEFAULT '', "
                         "deleted INTEGER NOT NULL DEFAULT 0, landing_site TEXT NOT NULL DEFAULT '', "
                         "outlanding INTEGER NOT NULL DEFAULT 0, launch_method INTEGER NOT NULL DEFAULT 0, "
                         "launches INTEGER NOT NULL DEFAULT 1, role INTEGER NOT NULL DEFAULT 0, "
                         "by_hand INTEGER NOT NULL DEFAULT 0, corrected_date TEXT NULL, "
                         "corrected_start_minutes INTEGER NULL, corrected_duration_minutes INTEGER NULL)"),
            QStringLiteral(
                "INSERT INTO flights4 (id, date, start_minutes, duration_minutes, qne_min, qne_max, "
                "height_diff_max, total_gain, lift_max, sink_max, speed_min, speed_max, pilot, "
                "site, glider, notes, deleted) SELECT id, date, start_minutes, duration_minutes, "
                "qne_min, qne_max, height_diff_max, total_gain, lift_max, sink_max, speed_min, "
                "speed_max, pilot, site, glider, notes, deleted FROM flights"),
            QStringLiteral("DROP TABLE flights"), QStringLiteral("ALTER TABLE flights4 RENAME TO flights"),
            QStringLiteral("CREATE INDEX flights_identity ON flights (date, start_minutes, "
                           "duration_minutes, qne_min, qne_max, height_diff_max, total_gain, lift_max, "
                           "sink_max, speed_min, speed_max)"),
            // The list's order: the flights as the pilot has them, corrected.
            QStringLiteral(
                "CREATE INDEX flights_by_time ON flights (deleted, coalesce(corrected_date, date), "
                "coalesce(corrected_start_minutes, start_minutes))"),
            QStringLiteral("CREATE TABLE gliders (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE "
                           "NOCASE, type TEXT NOT NULL DEFAULT '', registration TEXT NOT NULL DEFAULT '')"),
            QStringLiteral(
                "CREATE TABLE opening_balance (role INTEGER PRIMARY KEY, as_of TEXT NOT NULL, "
                "flights INTEGER NOT NULL, launches INTEGER NOT NULL, minutes INTEGER NOT NULL)") },
    };
    return steps;
}

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tolmera-logbook-judge-%1").arg(counter.fetchAndAddRelaxed(1));
}

Verdict judgeOn(QSqlDatabase &db)
{
    Verdict v;
    QSqlQuery q(db);
    const auto fail = [&](const QSqlQuery &query) {
        v.problem = SqliteMessages::problemOf(query.lastError());
        v.detail = query.lastError().text();
        return v;
    };
    if (!q.exec(QStringLiteral("PRAGMA application_id")) || !q.next())
        return fail(q);
    const qint64 mark = q.value(0).toLongLong();
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return fail(q);
    v.version = q.value(0).toInt();
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_schema")) || !q.next())
        return fail(q);
    const int objects = q.value(0).toInt();
    // An SQLite file without the mark: only an empty one may become the
    // logbook.
    if (mark != kApplicationId && (mark != 0 || v.version != 0 || objects != 0)) {
        v.problem = LogbookProblem::NotALogbook;
        return v;
    }
    if (v.version > version()) {
        v.problem = LogbookProblem::NewerVersion;
        return v;
    }
    QStringList found;
    if (!q.exec(QStringLiteral("PRAGMA quick_check")))
        return fail(q);
    while (q.next())
        found.append(q.value(0).toString());
    if (q.lastError().isValid())
        return fail(q);
    if (found != QStringList { QStringLiteral("ok") }) {
        v.problem = LogbookProblem::Damaged;
        v.detail = SqliteMessages::findings(found);
        return v;
    }
    // A logbook that lost its table, or the columns its version has, is as
    // unusable as one with damaged pages.
    if (v.version >= 1) {
        const QString select = v.version == version()
            ? QStringLiteral("SELECT %1 FROM flights LIMIT 0").arg(columns().join(QStringLiteral(", ")))
            : QStringLiteral("SELECT id, date, pilot FROM flights LIMIT 0");
        if (!q.exec(select)) {
            v.problem = LogbookProblem::Damaged;
            v.detail = QStringLiteral("its table of flights is missing or incomplete");
        } else if (v.version >= 4
            && (!q.exec(QStringLiteral("SELECT id, name, type, registration FROM gliders LIMIT 0"))
                || !q.exec(QStringLiteral(
                    "SELECT role, as_of, flights, launches, minutes FROM opening_balance LIMIT 0")))) {
            v.problem = LogbookProblem::Damaged;
            v.detail = QStringLiteral("its table of gliders or of the opening balance is missing");
        }
    }
    return v;
}

} // namespace

int version()
{
    return int(migrations().size());
}

QStringList columns()
{
    QStringList out { QStringLiteral("id") };
    for (const FlightField &field : FlightFields::kAll) {
        if (field.logbookColumn)
            out.append(QString::fromLatin1(field.logbookColumn));
    }
    return out
        + QStringList { QStringLiteral("pilot"), QStringLiteral("site"), QStringLiteral("glider"),
              QStringLiteral("notes"), QStringLiteral("landing_site"), QStringLiteral("outlanding"),
              QStringLiteral("launch_method"), QStringLiteral("launches"), QStringLiteral("role"),
              QStringLiteral("by_hand"), QStringLiteral("corrected_date"),
              QStringLiteral("corrected_start_minutes"), QStringLiteral("corrected_duration_minutes") };
}

Verdict judge(const QString &path)
{
    const QString name = nextConnectionName();
    Verdict v;
    {
        QSqlDatabase db;
        if (!openReadOnly(name, path, 0)) {
            db = QSqlDatabase::database(name, false);
            v.problem = SqliteMessages::problemOf(db.lastError());
            v.detail = db.lastError().text();
        } else {
            db = QSqlDatabase::database(name, false);
            v = judgeOn(db);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return v;
}

bool openReadOnly(const QString &name, const QString &path, int busyTimeoutMs)
{
    const QString options
        = QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setConnectOptions(options);
    if (db.open() && QSqlQuery(db).exec(QStringLiteral("SELECT count(*) FROM sqlite_schema")))
        return true;
    const QFileInfo wal(path + QStringLiteral("-wal"));
    if (QFileInfo(QFileInfo(path).absolutePath()).isWritable() || (wal.exists() && wal.size() > 0))
        return false;
    db.close();
    db.setDatabaseName(
        QStringLiteral("file:%1?immutable=1").arg(QString::fromUtf8(QUrl::toPercentEncoding(path, "/"))));
    db.setConnectOptions(options + QStringLiteral(";QSQLITE_OPEN_URI"));
    return db.open();
}

bool migrate(QSqlDatabase &db, int from, QString *what)
{
    QSqlQuery q(db);
    for (int step = from; step < version(); ++step) {
        for (const QString &statement : migrations().at(step)) {
            if (!q.exec(statement)) {
                *what = QStringLiteral("upgrade to version %1").arg(step + 1);
                return false;
            }
        }
    }
    if (!q.exec(QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId))
        || !q.exec(QStringLiteral("PRAGMA user_version = %1").arg(version()))) {
        *what = QStringLiteral("version");
        return false;
    }
    return true;
}

} // namespace LogbookSchema
