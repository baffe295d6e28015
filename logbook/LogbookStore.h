#pragma once

#include "logbook/LogbookEntry.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QSqlError;
class QSqlQuery;

// The pilot's logbook on disk: one SQLite database (Qt's QSQLITE driver) in
// WAL mode, each change in one transaction, so that a flight is on disk as
// soon as record() returns and a killed program loses nothing it recorded.
// A file that is no logbook of this program, a damaged one and one from a
// newer version are never written to.
class LogbookStore
{
public:
    // The schema version this build writes (PRAGMA user_version); older
    // files are brought up to it step by step when opened.
    static constexpr int kSchemaVersion = 2;

    enum class Problem {
        None,
        NotALogbook, // some other file holds the name
        Damaged, // a logbook whose pages do not pass SQLite's check
        NewerVersion, // written by a newer version of the program
        InUse, // another copy of the program held it for too long
        ReadOnly, // the file or its folder cannot be written
        DiskFull,
        Failed, // anything else; see message()
    };

    explicit LogbookStore(const QString &path);
    ~LogbookStore();
    LogbookStore(const LogbookStore &) = delete;
    LogbookStore &operator=(const LogbookStore &) = delete;

    const QString &path() const { return m_path; }

    // Opens the logbook, making its folder (mode 0700) and the file when
    // missing and bringing an older schema up to date. False with problem()
    // and message() set when it cannot be used.
    bool open();
    bool isOpen() const { return m_open; }
    void close();

    Problem problem() const { return m_problem; }
    // A sentence for the pilot saying what is wrong and what to do.
    QString message() const { return m_message; }

    enum class Recorded { Added, AlreadyThere, Named, Failed };
    // Stores one flight unless the same flight (date, start time, duration
    // and summary values) is there already; such a flight only gains the
    // pilot name when it had none (Named). The entry's site, glider and
    // notes are stored too. id receives the row's id when added or named.
    Recorded record(const LogbookEntry &entry, qint64 *id = nullptr);

    struct Added
    {
        int added = 0;
        int alreadyThere = 0;
        qint64 lastId = 0; // of the last flight added
        QList<qint64> named; // flights there already that gained the pilot name
    };
    // Records all of them in one transaction: all or nothing.
    std::optional<Added> recordAll(const QList<LogbookEntry> &entries);

    // Every flight, newest first.
    std::optional<QList<LogbookEntry>> entries();

    bool setNote(qint64 id, NoteField field, const QString &text);

    // Removes the flights and hands back what they held, to be restored.
    std::optional<QList<LogbookEntry>> remove(const QList<qint64> &ids);
    // Puts removed flights back under their ids, with their notes.
    bool restore(const QList<LogbookEntry> &entries);

    // Renames a file that is no usable logbook aside, as
    // "<name>.damaged-YYYY-MM-DD" (or "-2", "-3" ... when that is taken;
    // nothing is ever replaced), with its journal files, so that open() can
    // start a new logbook. Empty on failure, else the new name.
    QString putAside(const QString &isoDate);

private:
    bool fail(Problem problem, const QString &detail);
    bool failQuery(const QSqlQuery &query, const QString &what);
    bool failError(const QSqlError &error, const QString &what);
    bool checkHeader();
    bool migrate();
    bool inTransaction(const std::function<bool()> &body, const QString &what);

    QString m_path;
    QString m_connection;
    bool m_open = false;
    Problem m_problem = Problem::None;
    QString m_message;
};
