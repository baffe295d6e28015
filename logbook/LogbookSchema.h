#pragma once

#include "logbook/SqliteMessages.h"

#include <QString>
#include <QStringList>

class QSqlDatabase;

// The logbook's tables and their history: each migration brings the schema
// from one version to the next, a new file runs them all, so the upgrade
// path is the path every logbook takes. The version (PRAGMA user_version)
// is the number of migrations.
namespace LogbookSchema {

int version();

// The file's mark (PRAGMA application_id): "TOLM".
constexpr qint64 kApplicationId = 0x544F4C4D;

// The flights table's columns in the order the store reads them: id, the
// flight's values (as the flight field table names them; the instrument's
// values of a corrected flight), pilot, site, glider, notes, landing site,
// outlanding, launch method, launches, role, by hand, and the corrected
// date, start and duration (NULL when not corrected).
QStringList columns();

struct Verdict
{
    LogbookProblem problem = LogbookProblem::None;
    QString detail;
    int version = 0; // of a file that passed
};

// Judges an existing SQLite file on a read-only connection of its own, so
// that a file that turns out to be someone else's, damaged or newer is
// never touched (a read-write connection would check its write-ahead log
// into it when closed): the mark, the version, SQLite's own check, and the
// tables a logbook of that version has.
Verdict judge(const QString &path);

// Opens a read-only connection named name. A file in WAL mode in a folder
// nobody may write cannot be read the usual way (SQLite wants to make its
// shared-memory index beside it); as long as no log lies beside it, it is
// then read as a file that nobody changes.
bool openReadOnly(const QString &name, const QString &path, int busyTimeoutMs);

// Brings the open logbook up to version() in one transaction; false with
// the failed step in what.
bool migrate(QSqlDatabase &db, int from, QString *what);

} // namespace LogbookSchema
