#include "logbook/LogbookStore.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Marks the file as this program's logbook (PRAGMA application_id): "TOLM".
constexpr qint64 kApplicationId = 0x544F4C4D;
// Another copy of the program writing at the same moment holds the file
// for a few milliseconds; one that holds it longer than this is reported.
constexpr int kBusyTimeoutMs = 3000;

// SQLite's primary result codes, as the driver reports them.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADb = 26;
constexpr int kSqlitePerm = 3;

const QString kColumns = QStringLiteral("id, date, start_time, duration, qne_min, qne_max, height_diff_max, "
                                        "total_gain, lift_max, sink_max, speed_min, speed_max, pilot, site, "
                                        "glider, notes");

// The flight's identity: the same values read again are the same flight.
const QString kSameFlight = QStringLiteral(
    "date = ? AND start_time = ? AND duration = ? AND qne_min = ? AND qne_max = ? AND height_diff_max = ? "
    "AND total_gain = ? AND lift_max = ? AND sink_max = ? AND speed_min = ? AND speed_max = ?");

// Each step brings the schema from version i to i + 1; a new file runs
// them all, so the upgrade path is the path every logbook takes.
const QList<QStringList> kMigrations {
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
};
static_assert(LogbookStore::kSchemaVersion == 2);

enum class Renamed { Done, NameTaken, Failed };

// Gives a file a new name in the same folder without ever replacing what
// holds that name already.
Renamed renameWithoutReplacing(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray dest = QFile::encodeName(to);
#ifdef Q_OS_LINUX
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, dest.constData(), RENAME_NOREPLACE) == 0)
        return Renamed::Done;
    if (errno == EEXIST)
        return Renamed::NameTaken;
    // Some file systems refuse the flag; a hard link gives the same promise.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Renamed::Failed;
#endif
    if (::link(source.constData(), dest.constData()) != 0)
        return errno == EEXIST ? Renamed::NameTaken : Renamed::Failed;
    ::unlink(source.constData());
    return Renamed::Done;
}

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tolmera-logbook-%1").arg(counter.fetchAndAddRelaxed(1));
}

// The rates are kept with a decimal point whatever locale they were read
// under, so that a flight read under two locales is still one flight.
QString plainRate(QString rate)
{
    for (QChar &c : rate) {
        if (!c.isDigit())
            c = QLatin1Char('.');
    }
    return rate;
}

// A null QString binds as SQL NULL, which the NOT NULL columns refuse (and
// INSERT OR IGNORE would then skip the row without a word).
void bindText(QSqlQuery &q, const QString &text)
{
    q.addBindValue(text.isNull() ? QStringLiteral("") : text);
}

void bindFlight(QSqlQuery &q, const FlightSummary &f)
{
    for (const QString &value : { f.date, f.startTime, f.duration, f.qneMin, f.qneMax, f.heightDiffMax,
             f.totalGain, plainRate(f.liftMax), plainRate(f.sinkMax), f.speedMin, f.speedMax })
        bindText(q, value);
}

LogbookEntry entryFrom(const QSqlQuery &q)
{
    LogbookEntry e;
    e.id = q.value(0).toLongLong();
    FlightSummary &f = e.flight;
    f.date = q.value(1).toString();
    f.startTime = q.value(2).toString();
    f.duration = q.value(3).toString();
    f.qneMin = q.value(4).toString();
    f.qneMax = q.value(5).toString();
    f.heightDiffMax = q.value(6).toString();
    f.totalGain = q.value(7).toString();
    f.liftMax = q.value(8).toString();
    f.sinkMax = q.value(9).toString();
    f.speedMin = q.value(10).toString();
    f.speedMax = q.value(11).toString();
    e.pilot = q.value(12).toString();
    e.site = q.value(13).toString();
    e.glider = q.value(14).toString();
    e.notes = q.value(15).toString();
    return e;
}

QString noteColumn(NoteField field)
{
    switch (field) {
    case NoteField::Site:
        return QStringLiteral("site");
    case NoteField::Glider:
        return QStringLiteral("glider");
    case NoteField::Notes:
        break;
    }
    return QStringLiteral("notes");
}

} // namespace

LogbookStore::LogbookStore(const QString &path)
    : m_path(path)
    , m_connection(nextConnectionName())
{
}

LogbookStore::~LogbookStore()
{
    close();
}

void LogbookStore::close()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
}

bool LogbookStore::fail(Problem problem, const QString &detail)
{
    m_problem = problem;
    const QString file = QDir::toNativeSeparators(m_path);
    switch (problem) {
    case Problem::None:
        m_message.clear();
        return true;
    case Problem::NotALogbook:
        m_message = QStringLiteral("%1 is not a logbook of this program. It has not been changed.").arg(file);
        break;
    case Problem::Damaged:
        m_message = QStringLiteral("The logbook %1 is damaged. It has not been changed.").arg(file);
        break;
    case Problem::NewerVersion:
        m_message
            = QStringLiteral("The logbook %1 was written by a newer version of this program; this version "
                             "leaves it as it is.")
                  .arg(file);
        break;
    case Problem::InUse:
        m_message = QStringLiteral("The logbook is in use by another copy of the program. Try again when it "
                                   "has finished.");
        break;
    case Problem::ReadOnly:
        m_message = QStringLiteral("The logbook %1 cannot be written: the file or its folder is read-only. "
                                   "Nothing was changed.")
                        .arg(file);
        break;
    case Problem::DiskFull:
        m_message = QStringLiteral("The disk that holds the logbook is full. Nothing was changed; make room "
                                   "and try again.");
        break;
    case Problem::Failed:
        m_message = QStringLiteral("The logbook %1 could not be used: %2").arg(file, detail);
        return false;
    }
    if (!detail.isEmpty() && problem != Problem::InUse && problem != Problem::DiskFull)
        m_message += QStringLiteral(" (%1)").arg(detail);
    return false;
}

bool LogbookStore::failError(const QSqlError &error, const QString &what)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    const QString detail = what + QStringLiteral(": ") + error.text();
    switch (code) {
    case kSqliteBusy:
    case kSqliteLocked:
        return fail(Problem::InUse, detail);
    case kSqliteReadOnly:
    case kSqlitePerm:
    case kSqliteCantOpen:
        return fail(Problem::ReadOnly, detail);
    case kSqliteFull:
        return fail(Problem::DiskFull, detail);
    case kSqliteCorrupt:
        return fail(Problem::Damaged, detail);
    case kSqliteNotADb:
        return fail(Problem::NotALogbook, detail);
    default:
        return fail(Problem::Failed, detail);
    }
}

bool LogbookStore::failQuery(const QSqlQuery &query, const QString &what)
{
    return failError(query.lastError(), what);
}

bool LogbookStore::checkHeader()
{
    // Before SQLite sees the file: anything that is not an SQLite database
    // is left alone, whatever SQLite would make of it.
    const QFileInfo info(m_path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        return fail(Problem::NotALogbook, QStringLiteral("not a plain file"));
    if (!info.exists() || info.size() == 0)
        return true;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Problem::ReadOnly, file.errorString());
    static const QByteArray magic("SQLite format 3\0", 16);
    if (file.read(magic.size()) != magic)
        return fail(Problem::NotALogbook, QString());
    return true;
}

bool LogbookStore::open()
{
    close();
    m_problem = Problem::None;
    m_message.clear();

    // The folder is the user's own: nobody else reads the logbook.
    const QFileInfo info(m_path);
    const QDir folder = info.absoluteDir();
    if (!folder.exists()) {
        QDir().mkpath(QFileInfo(folder.absolutePath()).absolutePath());
        if (!QDir().mkdir(folder.absolutePath(),
                QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)
            && !folder.exists())
            return fail(
                Problem::ReadOnly, QStringLiteral("cannot make the folder %1").arg(folder.absolutePath()));
    }
    if (!checkHeader())
        return false;
    const bool existed = info.exists() && info.size() > 0;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        return failError(db.lastError(), QStringLiteral("open"));

    QSqlQuery q(db);
    const auto pragma = [&](const QString &name) -> std::optional<QVariant> {
        if (!q.exec(QStringLiteral("PRAGMA ") + name) || !q.next()) {
            failQuery(q, name);
            return std::nullopt;
        }
        return q.value(0);
    };
    const auto appId = pragma(QStringLiteral("application_id"));
    const auto version = appId ? pragma(QStringLiteral("user_version")) : std::nullopt;
    if (!version)
        return false;
    if (existed) {
        const bool ours = appId->toLongLong() == kApplicationId;
        if (!ours) {
            // An SQLite file without our mark: only an empty one may become
            // the logbook.
            if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_schema")) || !q.next())
                return failQuery(q, QStringLiteral("schema"));
            if (appId->toLongLong() != 0 || version->toInt() != 0 || q.value(0).toInt() != 0)
                return fail(Problem::NotALogbook, QString());
        }
        if (version->toInt() > kSchemaVersion)
            return fail(Problem::NewerVersion, QString());
        const auto check = pragma(QStringLiteral("quick_check"));
        if (!check)
            return false;
        if (check->toString() != QStringLiteral("ok"))
            return fail(Problem::Damaged, check->toString());
    }

    // The write-ahead log lets a second copy of the program read while this
    // one writes, and keeps every committed flight through a kill.
    const auto mode = pragma(QStringLiteral("journal_mode = WAL"));
    if (!mode)
        return false;
    if (mode->toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        return fail(Problem::Failed, QStringLiteral("the write-ahead log is not available"));
    // A commit reaches the operating system before record() returns, so a
    // killed program loses nothing; the disk itself is synced at each
    // checkpoint. Syncing every commit as well would cost each flight of an
    // export several milliseconds, and a power cut can only take the last
    // flights, which the instrument still holds and the next read records.
    if (!q.exec(QStringLiteral("PRAGMA synchronous = NORMAL")))
        return failQuery(q, QStringLiteral("synchronous"));
    q.finish();

    if (!migrate())
        return false;
    m_open = true;
    return true;
}

bool LogbookStore::migrate()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    // IMMEDIATE: a second copy of the program making the same new file
    // waits here and then finds the schema already made.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failQuery(q, QStringLiteral("begin"));
    const auto rollback = [&](const QString &what) {
        const bool failed = failQuery(q, what);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return failed;
    };
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return rollback(QStringLiteral("user_version"));
    const int version = q.value(0).toInt();
    if (version > kSchemaVersion) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return fail(Problem::NewerVersion, QString());
    }
    for (int step = version; step < kSchemaVersion; ++step) {
        for (const QString &statement : kMigrations.at(step)) {
            if (!q.exec(statement))
                return rollback(QStringLiteral("upgrade to version %1").arg(step + 1));
        }
    }
    if (version != kSchemaVersion) {
        if (!q.exec(QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId))
            || !q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
            return rollback(QStringLiteral("version"));
    }
    if (!q.exec(QStringLiteral("COMMIT")))
        return rollback(QStringLiteral("commit"));
    return true;
}

bool LogbookStore::inTransaction(const std::function<bool()> &body, const QString &what)
{
    if (!m_open && !open())
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failQuery(q, what);
    if (!body()) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        failQuery(q, what);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    m_problem = Problem::None;
    m_message.clear();
    return true;
}

LogbookStore::Recorded LogbookStore::record(const LogbookEntry &entry, qint64 *id)
{
    const auto added = recordAll({ entry });
    if (!added)
        return Recorded::Failed;
    if (added->added == 1) {
        if (id)
            *id = added->lastId;
        return Recorded::Added;
    }
    if (!added->named.isEmpty()) {
        if (id)
            *id = added->named.first();
        return Recorded::Named;
    }
    return Recorded::AlreadyThere;
}

std::optional<LogbookStore::Added> LogbookStore::recordAll(const QList<LogbookEntry> &entries)
{
    Added result;
    const bool ok = inTransaction(
        [&] {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            QSqlQuery insert(db);
            insert.prepare(
                QStringLiteral("INSERT OR IGNORE INTO flights (date, start_time, duration, qne_min, "
                               "qne_max, height_diff_max, total_gain, lift_max, sink_max, speed_min, "
                               "speed_max, pilot, site, glider, notes) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
            QSqlQuery namePilot(db);
            namePilot.prepare(QStringLiteral("UPDATE flights SET pilot = ? WHERE pilot = '' AND ")
                + kSameFlight + QStringLiteral(" RETURNING id"));
            for (const LogbookEntry &e : entries) {
                bindFlight(insert, e.flight);
                for (const QString &value : { e.pilot, e.site, e.glider, e.notes })
                    bindText(insert, value);
                if (!insert.exec())
                    return failQuery(insert, QStringLiteral("record"));
                // A row comes back only when the flight was new.
                if (insert.next()) {
                    ++result.added;
                    result.lastId = insert.value(0).toLongLong();
                    insert.finish();
                    continue;
                }
                ++result.alreadyThere;
                if (e.pilot.isEmpty())
                    continue;
                bindText(namePilot, e.pilot);
                bindFlight(namePilot, e.flight);
                if (!namePilot.exec())
                    return failQuery(namePilot, QStringLiteral("record"));
                if (namePilot.next())
                    result.named.append(namePilot.value(0).toLongLong());
                namePilot.finish();
            }
            return true;
        },
        QStringLiteral("record"));
    return ok ? std::optional<Added>(result) : std::nullopt;
}

std::optional<QList<LogbookEntry>> LogbookStore::entries()
{
    if (!m_open && !open())
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ") + kColumns
            + QStringLiteral(" FROM flights ORDER BY date DESC, start_time DESC, id DESC"))) {
        failQuery(q, QStringLiteral("read"));
        return std::nullopt;
    }
    QList<LogbookEntry> out;
    while (q.next())
        out.append(entryFrom(q));
    if (q.lastError().isValid()) {
        failQuery(q, QStringLiteral("read"));
        return std::nullopt;
    }
    return out;
}

bool LogbookStore::setNote(qint64 id, NoteField field, const QString &text)
{
    return inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            q.prepare(QStringLiteral("UPDATE flights SET %1 = ? WHERE id = ?").arg(noteColumn(field)));
            bindText(q, text);
            q.addBindValue(id);
            return q.exec() || failQuery(q, QStringLiteral("note"));
        },
        QStringLiteral("note"));
}

std::optional<QList<LogbookEntry>> LogbookStore::remove(const QList<qint64> &ids)
{
    QList<LogbookEntry> removed;
    const bool ok = inTransaction(
        [&] {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            QSqlQuery select(db);
            select.prepare(
                QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM flights WHERE id = ?"));
            QSqlQuery del(db);
            del.prepare(QStringLiteral("DELETE FROM flights WHERE id = ?"));
            for (const qint64 id : ids) {
                select.addBindValue(id);
                if (!select.exec())
                    return failQuery(select, QStringLiteral("delete"));
                if (!select.next())
                    continue;
                removed.append(entryFrom(select));
                select.finish();
                del.addBindValue(id);
                if (!del.exec())
                    return failQuery(del, QStringLiteral("delete"));
            }
            return true;
        },
        QStringLiteral("delete"));
    return ok ? std::optional<QList<LogbookEntry>>(removed) : std::nullopt;
}

bool LogbookStore::restore(const QList<LogbookEntry> &entries)
{
    return inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            // A flight read again since it was removed keeps the row it got
            // then; the removed row does not come back beside it.
            q.prepare(QStringLiteral("INSERT OR IGNORE INTO flights (") + kColumns
                + QStringLiteral(") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
            for (const LogbookEntry &e : entries) {
                q.addBindValue(e.id);
                bindFlight(q, e.flight);
                for (const QString &value : { e.pilot, e.site, e.glider, e.notes })
                    bindText(q, value);
                if (!q.exec())
                    return failQuery(q, QStringLiteral("undo"));
            }
            return true;
        },
        QStringLiteral("undo"));
}

QString LogbookStore::putAside(const QString &isoDate)
{
    close();
    const QString base = m_path + QStringLiteral(".damaged-") + isoDate;
    for (int n = 1; n < 1000; ++n) {
        const QString aside = n == 1 ? base : base + QStringLiteral("-%1").arg(n);
        switch (renameWithoutReplacing(m_path, aside)) {
        case Renamed::NameTaken:
            continue;
        case Renamed::Failed:
            fail(Problem::ReadOnly, QStringLiteral("cannot rename it"));
            return QString();
        case Renamed::Done:
            break;
        }
        // Its log goes with it: a new logbook must not take up the pages of
        // the old one. The shared-memory index is rebuilt from the log.
        for (const QString &suffix : { QStringLiteral("-wal"), QStringLiteral("-journal") }) {
            if (QFileInfo::exists(m_path + suffix))
                renameWithoutReplacing(m_path + suffix, aside + suffix);
        }
        QFile::remove(m_path + QStringLiteral("-shm"));
        m_problem = Problem::None;
        m_message.clear();
        return aside;
    }
    fail(Problem::Failed, QStringLiteral("no free name to rename it to"));
    return QString();
}
