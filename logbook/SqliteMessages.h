#pragma once

#include <QString>
#include <QStringList>

class QSqlError;

// What can be wrong with the logbook, as the pilot is told it.
enum class LogbookProblem {
    None,
    NotALogbook, // some other file holds the name
    Damaged, // a logbook whose pages or tables do not pass the checks
    NewerVersion, // written by a newer version of the program
    InUse, // another program holds it
    ReadOnly, // the file or its folder cannot be written
    DiskFull,
    UnsafeFolder, // its folder or the file belongs to someone else or is open to others
    Failed, // anything else; see the message
};

// SQLite's verdicts in the pilot's words.
namespace SqliteMessages {

// The problem behind an error of the QSQLITE driver, by SQLite's primary
// result code.
LogbookProblem problemOf(const QSqlError &error);

// A sentence saying what is wrong with the logbook at path and what to do;
// detail (SQLite's own words) is added where it helps.
QString message(LogbookProblem problem, const QString &path, const QString &detail);

// What an integrity check found, at most three lines of it: a badly
// damaged file yields hundreds.
QString findings(const QStringList &lines);

} // namespace SqliteMessages
