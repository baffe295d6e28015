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
// The columns hold what the instrument recorded, whatever the pilot
// corrected since; a flight entered by hand is never one read.
QString sameFlight()
{
    QStringList parts;
    for (qsizetype i = 1; i <= kValueFields; ++i)
        parts.append(LogbookSchema::columns().at(i) + QStringLiteral(" = ?"));
    return parts.join(QStringLiteral(" AND ")) + QStringLiteral(" AND by_hand = 0");
}

// The list's order: newest first, as the pilot has the flights.
const QString kNewestFirst = QStringLiteral(
    " ORDER BY coalesce(corrected_date, date) DESC, coalesce(corrected_start_minutes, start_minutes) DESC, "
    "id DESC");

// A null QString binds as SQL NULL, which the NOT NULL columns refuse.
void bindText(QSqlQuery &q, const QString &text)
{
    q.addBindValue(text.isNull() ? QStringLiteral("") : text);
}

// A value the flight lacks (an invalid QVariant) binds as NULL.
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

// The pilot's columns after the flight's values, in the order of
// LogbookSchema::columns(), up to by_hand.
void bindPilotColumns(QSqlQuery &q, const LogbookEntry &e)
{
    for (const QString *text : { &e.pilot, &e.site, &e.glider, &e.notes, &e.landingSite })
        bindText(q, *text);
    q.addBindValue(e.outlanding ? 1 : 0);
    q.addBindValue(int(e.launch));
    q.addBindValue(e.launches);
    q.addBindValue(int(e.role));
}

// The corrected values of the entry's date, start and duration: NULL for
// those the pilot did not correct.
void bindCorrections(QSqlQuery &q, const LogbookEntry &e)
{
    q.addBindValue(e.instrumentDate ? QVariant(e.flight.date.toString(Qt::ISODate)) : QVariant());
    q.addBindValue(e.instrumentStartMinutes ? QVariant(e.flight.startMinutes) : QVariant());
    q.addBindValue(e.instrumentDurationMinutes ? QVariant(e.flight.durationMinutes) : QVariant());
}

// The whole row after its id: the identity columns hold the instrument's
// values, the corrected ones beside them.
void bindRow(QSqlQuery &q, const LogbookEntry &e)
{
    bindFlight(q, e.recordedFlight());
    bindPilotColumns(q, e);
    q.addBindValue(e.byHand ? 1 : 0);
    bindCorrections(q, e);
}

template <typename Enum> Enum enumOf(const QVariant &value, Enum last, Enum fallback)
{
    const int n = value.toInt();
    return n >= 0 && n <= int(last) ? Enum(n) : fallback;
}

LogbookEntry entryFrom(const QSqlQuery &q)
{
    LogbookEntry e;
    e.id = q.value(0).toLongLong();
    LogbookFlight &f = e.flight;
    for (int field = 4; field <= kValueFields; ++field) {
        if (q.value(field).isNull())
            f.unknownFields |= quint16(1u << field);
    }
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
    e.landingSite = q.value(16).toString();
    e.outlanding = q.value(17).toInt() != 0;
    e.launch = enumOf(q.value(18), LaunchMethod::Other, LaunchMethod::Unset);
    e.launches = q.value(19).toInt();
    e.role = enumOf(q.value(20), PilotRole::Passenger, PilotRole::PilotInCommand);
    e.byHand = q.value(21).toInt() != 0;
    // A corrected value takes the flight's place; the instrument's is kept
    // beside it.
    if (!q.value(22).isNull()) {
        e.instrumentDate = f.date;
        f.date = QDate::fromString(q.value(22).toString(), Qt::ISODate);
    }
    if (!q.value(23).isNull()) {
        e.instrumentStartMinutes = f.startMinutes;
        f.startMinutes = q.value(23).toInt();
    }
    if (!q.value(24).isNull()) {
        e.instrumentDurationMinutes = f.durationMinutes;
        f.durationMinutes = q.value(24).toInt();
    }
    return e;
}

QString noteColumn(NoteField field)
{
    switch (field) {
    case NoteField::Site:
        return QStringLiteral("site");
    case NoteField::Glider:
        return QStringLiteral("glider");
    case NoteField::LandingSite:
        return QStringLiteral("landing_site");
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
    m_connectionReadOnly = false;
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
        m_connectionReadOnly = true;
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
    if (m_connectionReadOnly) {
        if (!m_file.writable())
            return fail(Problem::ReadOnly, QString());
        // Writable again: opened anew, read-write.
        if (!open())
            return false;
    }
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
                bindFlight(find, e.recordedFlight());
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
                bindRow(insert, e);
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
            + kNewestFirst)) {
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

bool LogbookStore::isPossible(const LogbookEntry &e)
{
    const LogbookFlight &f = e.flight;
    return f.date.isValid() && f.date.year() >= 1900 && f.date.year() <= 9999 && f.startMinutes >= 0
        && f.startMinutes < 24 * 60 && f.durationMinutes >= 0 && f.durationMinutes <= 24 * 60
        && e.launches >= 0 && e.launches <= kMaxLaunches && int(e.launch) >= 0
        && int(e.launch) <= int(LaunchMethod::Other) && int(e.role) >= 0 && int(e.role) < kRoleCount;
}

std::optional<LogbookEntry> LogbookStore::add(const LogbookEntry &entry)
{
    if (!isPossible(entry)) {
        fail(Problem::Failed, QStringLiteral("a flight with impossible values was not added"));
        return std::nullopt;
    }
    // Entered by hand: every value is the pilot's, none a correction.
    LogbookEntry e = entry;
    e.byHand = true;
    e.instrumentDate.reset();
    e.instrumentStartMinutes.reset();
    e.instrumentDurationMinutes.reset();
    qint64 id = 0;
    const bool ok = inTransaction(
        [&] {
            QSqlQuery insert(QSqlDatabase::database(m_connection, false));
            QStringList columns = LogbookSchema::columns();
            columns.removeFirst();
            insert.prepare(QStringLiteral("INSERT INTO flights (%1) VALUES (%2)")
                               .arg(columns.join(QStringLiteral(", ")), placeholders(columns.size())));
            bindRow(insert, e);
            if (!insert.exec())
                return failQuery(insert, QStringLiteral("add"));
            id = insert.lastInsertId().toLongLong();
            return true;
        },
        QStringLiteral("add"));
    return ok ? this->entry(id) : std::nullopt;
}

std::optional<LogbookEntry> LogbookStore::update(const LogbookEntry &entry)
{
    if (!isPossible(entry)) {
        fail(Problem::Failed, QStringLiteral("a flight with impossible values was not changed"));
        return std::nullopt;
    }
    const bool ok = inTransaction(
        [&] {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            QSqlQuery find(db);
            find.prepare(QStringLiteral(
                "SELECT by_hand, date, start_minutes, duration_minutes FROM flights WHERE id = ?"));
            find.addBindValue(entry.id);
            if (!find.exec())
                return failQuery(find, QStringLiteral("change"));
            if (!find.next())
                return fail(Problem::Failed, QStringLiteral("the flight is no longer in the logbook"));
            const bool byHand = find.value(0).toInt() != 0;
            LogbookEntry e = entry;
            e.byHand = byHand;
            e.instrumentDate.reset();
            e.instrumentStartMinutes.reset();
            e.instrumentDurationMinutes.reset();
            QSqlQuery q(db);
            if (byHand) {
                q.prepare(
                    QStringLiteral("UPDATE flights SET date = ?, start_minutes = ?, duration_minutes = ?, "
                                   "qne_min = ?, qne_max = ?, height_diff_max = ?, total_gain = ?, "
                                   "lift_max = ?, sink_max = ?, speed_min = ?, speed_max = ?, pilot = ?, "
                                   "site = ?, glider = ?, notes = ?, landing_site = ?, outlanding = ?, "
                                   "launch_method = ?, launches = ?, role = ?, corrected_date = NULL, "
                                   "corrected_start_minutes = NULL, corrected_duration_minutes = NULL "
                                   "WHERE id = ?"));
                bindFlight(q, e.flight);
                bindPilotColumns(q, e);
            } else {
                // What the instrument recorded stays; a value that differs
                // from it is a correction, one equal to it none.
                const QDate date = QDate::fromString(find.value(1).toString(), Qt::ISODate);
                const int start = find.value(2).toInt();
                const int duration = find.value(3).toInt();
                if (e.flight.date != date)
                    e.instrumentDate = date;
                if (e.flight.startMinutes != start)
                    e.instrumentStartMinutes = start;
                if (e.flight.durationMinutes != duration)
                    e.instrumentDurationMinutes = duration;
                q.prepare(QStringLiteral("UPDATE flights SET pilot = ?, site = ?, glider = ?, notes = ?, "
                                         "landing_site = ?, outlanding = ?, launch_method = ?, launches = ?, "
                                         "role = ?, corrected_date = ?, corrected_start_minutes = ?, "
                                         "corrected_duration_minutes = ? WHERE id = ?"));
                bindPilotColumns(q, e);
                bindCorrections(q, e);
            }
            find.finish();
            q.addBindValue(e.id);
            return q.exec() || failQuery(q, QStringLiteral("change"));
        },
        QStringLiteral("change"));
    return ok ? this->entry(entry.id) : std::nullopt;
}

LogbookStore::Erased LogbookStore::erase(qint64 id)
{
    bool refused = false;
    const bool ok = inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            q.prepare(QStringLiteral("DELETE FROM flights WHERE id = ? AND by_hand <> 0"));
            q.addBindValue(id);
            if (!q.exec())
                return failQuery(q, QStringLiteral("erase"));
            refused = q.numRowsAffected() == 0;
            return true;
        },
        QStringLiteral("erase"));
    return !ok ? Erased::Failed : refused ? Erased::Refused : Erased::Erased;
}

std::optional<QList<LogbookEntry>> LogbookStore::setNotes(
    const QList<qint64> &ids, NoteField field, const QStringList &texts)
{
    if (texts.size() != ids.size() && texts.size() != 1) {
        fail(Problem::Failed, QStringLiteral("a text for each flight"));
        return std::nullopt;
    }
    const bool ok = inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            q.prepare(QStringLiteral("UPDATE flights SET %1 = ? WHERE id = ?").arg(noteColumn(field)));
            for (qsizetype i = 0; i < ids.size(); ++i) {
                bindText(q, texts.size() == 1 ? texts.first() : texts.at(i));
                q.addBindValue(ids.at(i));
                if (!q.exec())
                    return failQuery(q, QStringLiteral("note"));
            }
            return true;
        },
        QStringLiteral("note"));
    if (!ok)
        return std::nullopt;
    return select(QStringLiteral("id = ?"), ids);
}

std::optional<QList<Glider>> LogbookStore::gliders()
{
    if (!m_open && !open())
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, name, type, registration FROM gliders ORDER BY name, id"))) {
        failQuery(q, QStringLiteral("read gliders"));
        return std::nullopt;
    }
    QList<Glider> out;
    while (q.next())
        out.append(Glider {
            q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString() });
    if (q.lastError().isValid()) {
        failQuery(q, QStringLiteral("read gliders"));
        return std::nullopt;
    }
    return out;
}

std::optional<qint64> LogbookStore::addGlider(const Glider &glider)
{
    qint64 id = 0;
    const bool ok = inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            q.prepare(QStringLiteral("INSERT INTO gliders (name, type, registration) VALUES (?, ?, ?)"));
            for (const QString *text : { &glider.name, &glider.type, &glider.registration })
                bindText(q, *text);
            if (!q.exec())
                return failQuery(q, QStringLiteral("add glider"));
            id = q.lastInsertId().toLongLong();
            return true;
        },
        QStringLiteral("add glider"));
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

std::optional<int> LogbookStore::updateGlider(const Glider &glider)
{
    int renamed = 0;
    const bool ok = inTransaction(
        [&] {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            QSqlQuery q(db);
            q.prepare(QStringLiteral("SELECT name FROM gliders WHERE id = ?"));
            q.addBindValue(glider.id);
            if (!q.exec())
                return failQuery(q, QStringLiteral("change glider"));
            if (!q.next())
                return fail(Problem::Failed, QStringLiteral("the glider is no longer in the logbook"));
            const QString old = q.value(0).toString();
            q.finish();
            q.prepare(QStringLiteral("UPDATE gliders SET name = ?, type = ?, registration = ? WHERE id = ?"));
            for (const QString *text : { &glider.name, &glider.type, &glider.registration })
                bindText(q, *text);
            q.addBindValue(glider.id);
            if (!q.exec())
                return failQuery(q, QStringLiteral("change glider"));
            if (old == glider.name)
                return true;
            // Flights name their glider: a new name goes with them.
            q.prepare(QStringLiteral("UPDATE flights SET glider = ? WHERE glider = ?"));
            bindText(q, glider.name);
            q.addBindValue(old);
            if (!q.exec())
                return failQuery(q, QStringLiteral("change glider"));
            renamed = q.numRowsAffected();
            return true;
        },
        QStringLiteral("change glider"));
    return ok ? std::optional<int>(renamed) : std::nullopt;
}

bool LogbookStore::removeGlider(qint64 id)
{
    return inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            q.prepare(QStringLiteral("DELETE FROM gliders WHERE id = ?"));
            q.addBindValue(id);
            return q.exec() || failQuery(q, QStringLiteral("remove glider"));
        },
        QStringLiteral("remove glider"));
}

std::optional<OpeningBalance> LogbookStore::openingBalance()
{
    if (!m_open && !open())
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT role, as_of, flights, launches, minutes FROM opening_balance"))) {
        failQuery(q, QStringLiteral("read opening balance"));
        return std::nullopt;
    }
    OpeningBalance balance;
    while (q.next()) {
        const int role = q.value(0).toInt();
        if (role < 0 || role >= kRoleCount)
            continue;
        balance.asOf = QDate::fromString(q.value(1).toString(), Qt::ISODate);
        balance.byRole[size_t(role)]
            = FlightTotals { q.value(2).toLongLong(), q.value(3).toLongLong(), q.value(4).toLongLong() };
    }
    if (q.lastError().isValid()) {
        failQuery(q, QStringLiteral("read opening balance"));
        return std::nullopt;
    }
    if (balance.isEmpty())
        return OpeningBalance();
    return balance;
}

bool LogbookStore::setOpeningBalance(const OpeningBalance &balance)
{
    return inTransaction(
        [&] {
            QSqlQuery q(QSqlDatabase::database(m_connection, false));
            if (!q.exec(QStringLiteral("DELETE FROM opening_balance")))
                return failQuery(q, QStringLiteral("opening balance"));
            if (balance.isEmpty())
                return true;
            q.prepare(QStringLiteral("INSERT INTO opening_balance (role, as_of, flights, launches, minutes) "
                                     "VALUES (?, ?, ?, ?, ?)"));
            for (int role = 0; role < kRoleCount; ++role) {
                const FlightTotals &t = balance.byRole[size_t(role)];
                q.addBindValue(role);
                q.addBindValue(balance.asOf.toString(Qt::ISODate));
                q.addBindValue(t.flights);
                q.addBindValue(t.launches);
                q.addBindValue(t.minutes);
                if (!q.exec())
                    return failQuery(q, QStringLiteral("opening balance"));
            }
            return true;
        },
        QStringLiteral("opening balance"));
}
