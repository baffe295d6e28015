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
    QString m_readOnlyReason;
    Problem m_problem = Problem::None;
    QString m_message;
};
