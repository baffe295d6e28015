#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookFile.h"
#include "logbook/SqliteMessages.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QSqlError;
class QSqlQuery;

// The pilot's logbook on disk: the flights' rows in one SQLite database
// (Qt's QSQLITE driver) in WAL mode, each change in one transaction, so that
// a flight is on disk as soon as record() returns and a killed program
// loses nothing it recorded. The file is judged before it is written
// (LogbookFile, LogbookSchema): one that is no logbook of this program, a
// damaged one and one from a newer version are never written to.
class LogbookStore
{
public:
    using Problem = LogbookProblem;

    explicit LogbookStore(const QString &path);
    ~LogbookStore();
    LogbookStore(const LogbookStore &) = delete;
    LogbookStore &operator=(const LogbookStore &) = delete;

    const QString &path() const { return m_path; }

    // How long a write waits for another program that holds the file.
    void setBusyTimeout(int ms) { m_busyTimeoutMs = ms; }

    // Opens the logbook, making its folder (0700) and the file (0600) when
    // missing and bringing an older schema up to date. A logbook that can
    // be read but not written (a read-only folder or file, another program
    // holding it) is opened read-only: isReadOnly() and readOnlyReason().
    // False with problem() and message() set when it cannot be used.
    bool open();
    bool isOpen() const { return m_open; }
    bool isReadOnly() const { return m_readOnly; }
    QString readOnlyReason() const { return m_readOnlyReason; }
    void close();

    Problem problem() const { return m_problem; }
    // A sentence for the pilot saying what is wrong and what to do.
    QString message() const { return m_message; }

    enum class Recorded { Added, AlreadyThere, Named, Failed };
    // Stores one flight unless the same flight (all its values) is there
    // already, deleted or not; such a flight only gains the pilot name when
    // it had none (Named). The entry's site, glider and notes are stored
    // too. id receives the row's id when added or named.
    Recorded record(const LogbookEntry &entry, qint64 *id = nullptr);

    struct Added
    {
        int added = 0;
        int alreadyThere = 0; // deleted ones included
        QList<LogbookEntry> addedEntries; // with their ids
        QList<qint64> named; // flights there already that gained the pilot name
    };
    // Records all of them in one transaction: all or nothing.
    std::optional<Added> recordAll(const QList<LogbookEntry> &entries);

    // Every flight not deleted, newest first; the deleted ones.
    std::optional<QList<LogbookEntry>> entries();
    std::optional<QList<LogbookEntry>> deletedEntries();
    std::optional<LogbookEntry> entry(qint64 id);

    bool setNote(qint64 id, NoteField field, const QString &text);

    // Marks flights deleted or not; hands back those whose mark changed.
    std::optional<QList<LogbookEntry>> setDeleted(const QList<qint64> &ids, bool deleted);

    // The most launches one row may hold.
    static constexpr int kMaxLaunches = 9999;
    // Whether the entry's values can be stored: a real date, a clock time
    // of the day, at most 24 hours, launch and role known.
    static bool isPossible(const LogbookEntry &entry);

    // Adds a flight entered by hand (byHand is set, nothing is a
    // correction); the entry as stored, with its id.
    std::optional<LogbookEntry> add(const LogbookEntry &entry);
    // Stores what the pilot changed of the flight entry.id. A flight entered
    // by hand takes every value; one read from the instrument keeps what
    // the instrument recorded (its identity and summary values): a date,
    // start or duration that differs from it is stored as a correction, one
    // equal to it clears the correction. The entry as stored.
    std::optional<LogbookEntry> update(const LogbookEntry &entry);
    // Removes a flight entered by hand for good; a flight read from the
    // instrument is only ever marked deleted (Refused).
    enum class Erased { Erased, Refused, Failed };
    Erased erase(qint64 id);
    // Sets one column of several flights in one transaction: texts holds a
    // text per id, or one for them all. The flights as stored.
    std::optional<QList<LogbookEntry>> setNotes(
        const QList<qint64> &ids, NoteField field, const QStringList &texts);

    // The pilot's gliders by name. A name is unique (case aside): adding or
    // renaming to a taken one fails.
    std::optional<QList<Glider>> gliders();
    std::optional<qint64> addGlider(const Glider &glider);
    // A renamed glider's flights take its new name: how many did.
    std::optional<int> updateGlider(const Glider &glider);
    bool removeGlider(qint64 id);

    // The paper logbook carried over; an empty one when there is none.
    std::optional<OpeningBalance> openingBalance();
    // An empty balance removes it.
    bool setOpeningBalance(const OpeningBalance &balance);

    // Renames a file that is no usable logbook aside (LogbookFile::putAside)
    // so that open() can start a new logbook. Empty on failure, else the new
    // name.
    QString putAside(const QString &isoDate);

private:
    bool fail(Problem problem, const QString &detail);
    bool failQuery(const QSqlQuery &query, const QString &what);
    bool failError(const QSqlError &error, const QString &what);
    bool openConnection(bool readOnly);
    bool inTransaction(const std::function<bool()> &body, const QString &what);
    std::optional<QList<LogbookEntry>> select(const QString &where, const QList<qint64> &ids);

    QString m_path;
    QString m_connection;
    LogbookFile m_file;
    int m_busyTimeoutMs = 3000;
    bool m_open = false;
    bool m_readOnly = false;
    bool m_connectionReadOnly = false; // opened so, not only held by another program
    QString m_readOnlyReason;
    Problem m_problem = Problem::None;
    QString m_message;
};
