#include "logbook/LogbookStore.h"

#include "logbook/LogbookSchema.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr int kValueFields = 11; // date .. speed max

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tolmera-logbook-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString columnList()
{
    return LogbookSchema::columns().join(QStringLiteral(", "));
}

// The flight's identity: the same values read again are the same flight.
QString sameFlight()
{
    QStringList parts;
    for (qsizetype i = 1; i <= kValueFields; ++i)
        parts.append(LogbookSchema::columns().at(i) + QStringLiteral(" = ?"));
    return parts.join(QStringLiteral(" AND "));
}

// A null QString binds as SQL NULL, which the NOT NULL columns refuse.
void bindText(QSqlQuery &q, const QString &text)
{
    q.addBindValue(text.isNull() ? QStringLiteral("") : text);
}

void bindFlight(QSqlQuery &q, const LogbookFlight &f)
{
    for (int field = 1; field <= kValueFields; ++field) {
        const QVariant value = f.value(field);
        if (field == 1)
            q.addBindValue(f.date.toString(Qt::ISODate));
        else
            q.addBindValue(value);
    }
}

LogbookEntry entryFrom(const QSqlQuery &q)
{
    LogbookEntry e;
    e.id = q.value(0).toLongLong();
    LogbookFlight &f = e.flight;
    f.date = QDate::fromString(q.value(1).toString(), Qt::ISODate);
    f.startMinutes = q.value(2).toInt();
    f.durationMinutes = q.value(3).toInt();
    f.qneMin = q.value(4).toInt();
    f.qneMax = q.value(5).toInt();
    f.heightDiffMax = q.value(6).toInt();
    f.totalGain = q.value(7).toInt();
    f.liftMax = q.value(8).toDouble();
    f.sinkMax = q.value(9).toDouble();
    f.speedMin = q.value(10).toInt();
    f.speedMax = q.value(11).toInt();
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

QString placeholders(qsizetype n)
{
    QStringList marks;
    for (qsizetype i = 0; i < n; ++i)
        marks.append(QStringLiteral("?"));
    return marks.join(QStringLiteral(", "));
}

} // namespace

LogbookStore::LogbookStore(const QString &path)
    : m_path(path)
    , m_connection(nextConnectionName())
    , m_file(path)
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
    m_file.release();
    m_open = false;
    m_readOnly = false;
    m_readOnlyReason.clear();
}

bool LogbookStore::fail(Problem problem, const QString &detail)
{
    m_problem = problem;
    m_message = SqliteMessages::message(problem, m_path, detail);
    return problem == Problem::None;
}

bool LogbookStore::failError(const QSqlError &error, const QString &what)
{
    return fail(SqliteMessages::problemOf(error), what + QStringLiteral(": ") + error.text());
}

bool LogbookStore::failQuery(const QSqlQuery &query, const QString &what)
{
    return failError(query.lastError(), what);
}

bool LogbookStore::openConnection(bool readOnly)
{
    if (readOnly) {
        if (LogbookSchema::openReadOnly(m_connection, m_path, m_busyTimeoutMs))
            return true;
        return failError(QSqlDatabase::database(m_connection, false).lastError(), QStringLiteral("open"));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
    if (!db.open())
        return failError(db.lastError(), QStringLiteral("open"));
    return true;
}

bool LogbookStore::open()
{
    close();
    fail(Problem::None, QString());

    QString detail;
    const Problem prepared = m_file.prepare(true, &detail);
    if (prepared != Problem::None)
        return fail(prepared, detail);
    int version = 0;
    switch (m_file.content()) {
    case LogbookFile::Content::Other:
        m_file.release();
        return fail(Problem::NotALogbook, QString());
    case LogbookFile::Content::Sqlite: {
        // Judged before anything may write to it. The shared-memory index
        // SQLite makes beside a file in WAL mode to read it goes again when
        // the file is not ours.
        const QString shm = m_path + QStringLiteral("-shm");
        const bool hadShm = QFileInfo::exists(shm);
        const LogbookSchema::Verdict verdict = LogbookSchema::judge(m_path);
        if (verdict.problem != Problem::None) {
            m_file.release();
            if (!hadShm)
                QFile::remove(shm);
            return fail(verdict.problem, verdict.detail);
        }
        version = verdict.version;
        break;
    }
    case LogbookFile::Content::Empty:
        break;
    }
    const bool current = version == LogbookSchema::version();
    m_file.closeToOthers();

    if (!m_file.writable()) {
        // The flights can still be shown.
        if (!current) {
            m_file.release();
            return fail(Problem::ReadOnly, QString());
        }
        if (!openConnection(true)) {
            close();
            return false;
        }
        m_open = true;
        m_readOnly = true;
        m_readOnlyReason = SqliteMessages::message(Problem::ReadOnly, m_path, QString());
        return true;
    }

    if (!openConnection(false)) {
        close();
        return false;
    }
    // SQLite follows links: had one been put in the file's place since it
    // was checked, the file opened is not the one checked.
    if (!m_file.stillTheSame()) {
        close();
        return fail(Problem::UnsafeFolder, QStringLiteral("the file was replaced while it was being opened"));
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    // IMMEDIATE: a second copy of the program making the same new file
    // waits here and then finds the schema already made.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (SqliteMessages::problemOf(q.lastError()) == Problem::InUse && current) {
            // Another program is writing: the flights can be shown, and
            // writes are tried again later.
            m_open = true;
            m_readOnly = true;
            m_readOnlyReason = SqliteMessages::message(Problem::InUse, m_path, QString());
            return true;
        }
        failQuery(q, QStringLiteral("begin"));
        close();
        return false;
    }
    const auto rollback = [&](const QString &what) {
        failQuery(q, what);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        close();
        return false;
    };
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return rollback(QStringLiteral("user_version"));
    version = q.value(0).toInt();
    q.finish();
    QString what;
    if (version != LogbookSchema::version() && !LogbookSchema::migrate(db, version, &what))
        return rollback(what);
    if (!q.exec(QStringLiteral("COMMIT")))
        return rollback(QStringLiteral("commit"));

    // The write-ahead log lets a second copy of the program read while this
    // one writes, and keeps every committed flight through a kill.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !q.next()) {
        failQuery(q, QStringLiteral("journal_mode"));
        close();
        return false;
    }
    if (q.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0) {
        close();
        return fail(Problem::Failed, QStringLiteral("the write-ahead log is not available"));
    }
    // A commit reaches the operating system before record() returns, so a
    // killed program loses nothing; the disk itself is synced at each
    // checkpoint. Syncing every commit as well would cost each flight of an
    // export several milliseconds, and a power cut can only take the last
    // flights, which the instrument still holds and the next read records.
    if (!q.exec(QStringLiteral("PRAGMA synchronous = NORMAL"))) {
        failQuery(q, QStringLiteral("synchronous"));
        close();
        return false;
    }
    m_open = true;
    return true;
}

bool LogbookStore::inTransaction(const std::function<bool()> &body, const QString &what)
{
    if (!m_open && !open())
        return false;
    if (m_readOnly && !m_file.writable())
        return fail(Problem::ReadOnly, QString());
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
    // The program that held the file has let go.
    m_readOnly = false;
    m_readOnlyReason.clear();
    return fail(Problem::None, QString());
}

LogbookStore::Recorded LogbookStore::record(const LogbookEntry &entry, qint64 *id)
{
    const auto added = recordAll({ entry });
    if (!added)
        return Recorded::Failed;
    if (added->added == 1) {
        if (id)
            *id = added->addedEntries.first().id;
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
            QSqlQuery find(db);
            find.prepare(QStringLiteral("SELECT id, pilot, deleted FROM flights WHERE ") + sameFlight()
                + QStringLiteral(" LIMIT 1"));
            QSqlQuery insert(db);
            QStringList columns = LogbookSchema::columns();
            columns.removeFirst();
            insert.prepare(QStringLiteral("INSERT INTO flights (%1) VALUES (%2)")
                               .arg(columns.join(QStringLiteral(", ")), placeholders(columns.size())));
            QSqlQuery namePilot(db);
            namePilot.prepare(QStringLiteral("UPDATE flights SET pilot = ? WHERE id = ?"));
            for (const LogbookEntry &e : entries) {
                bindFlight(find, e.flight);
                if (!find.exec())
                    return failQuery(find, QStringLiteral("record"));
                if (find.next()) {
                    // There already, perhaps deleted by the pilot: it stays
                    // as it is and only gains a pilot name it lacked.
                    const qint64 id = find.value(0).toLongLong();
                    const bool nameless = find.value(1).toString().isEmpty() && find.value(2).toInt() == 0;
                    find.finish();
                    ++result.alreadyThere;
                    if (!nameless || e.pilot.isEmpty())
                        continue;
                    bindText(namePilot, e.pilot);
                    namePilot.addBindValue(id);
                    if (!namePilot.exec())
                        return failQuery(namePilot, QStringLiteral("record"));
                    result.named.append(id);
                    continue;
                }
                bindFlight(insert, e.flight);
                for (const QString *text : { &e.pilot, &e.site, &e.glider, &e.notes })
                    bindText(insert, *text);
                if (!insert.exec())
                    return failQuery(insert, QStringLiteral("record"));
                LogbookEntry stored = e;
                stored.id = insert.lastInsertId().toLongLong();
                result.addedEntries.append(stored);
                ++result.added;
            }
            return true;
        },
        QStringLiteral("record"));
    return ok ? std::optional<Added>(result) : std::nullopt;
}

std::optional<QList<LogbookEntry>> LogbookStore::select(const QString &where, const QList<qint64> &ids)
{
    const bool byId = where.contains(QLatin1Char('?'));
    if (byId && ids.isEmpty())
        return QList<LogbookEntry>();
    if (!m_open && !open())
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT ") + columnList() + QStringLiteral(" FROM flights WHERE ") + where
            + QStringLiteral(" ORDER BY date DESC, start_minutes DESC, id DESC"))) {
        failQuery(q, QStringLiteral("read"));
        return std::nullopt;
    }
    QList<LogbookEntry> out;
    for (qsizetype i = 0; i < qMax<qsizetype>(1, ids.size()); ++i) {
        if (byId)
            q.addBindValue(ids.at(i));
        if (!q.exec()) {
            failQuery(q, QStringLiteral("read"));
            return std::nullopt;
        }
        while (q.next())
            out.append(entryFrom(q));
        if (q.lastError().isValid()) {
            failQuery(q, QStringLiteral("read"));
            return std::nullopt;
        }
    }
    return out;
}

std::optional<QList<LogbookEntry>> LogbookStore::entries()
{
    return select(QStringLiteral("deleted = 0"), {});
}

std::optional<QList<LogbookEntry>> LogbookStore::deletedEntries()
{
    return select(QStringLiteral("deleted <> 0"), {});
}

std::optional<LogbookEntry> LogbookStore::entry(qint64 id)
{
    const auto found = select(QStringLiteral("id = ?"), { id });
    if (!found || found->isEmpty())
        return std::nullopt;
    return found->first();
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

std::optional<QList<LogbookEntry>> LogbookStore::setDeleted(const QList<qint64> &ids, bool deleted)
{
    QList<qint64> changed;
    const bool ok = inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            q.prepare(QStringLiteral("UPDATE flights SET deleted = ? WHERE id = ? AND deleted = ?"));
            for (const qint64 id : ids) {
                q.addBindValue(deleted ? 1 : 0);
                q.addBindValue(id);
                q.addBindValue(deleted ? 0 : 1);
                if (!q.exec())
                    return failQuery(q, QStringLiteral("delete"));
                if (q.numRowsAffected() > 0)
                    changed.append(id);
            }
            return true;
        },
        QStringLiteral("delete"));
    if (!ok)
        return std::nullopt;
    return select(QStringLiteral("id = ?"), changed);
}

QString LogbookStore::putAside(const QString &isoDate)
{
    close();
    const QString aside = m_file.putAside(isoDate);
    if (aside.isEmpty())
        fail(Problem::ReadOnly, QStringLiteral("cannot rename it"));
    else
        fail(Problem::None, QString());
    return aside;
}
