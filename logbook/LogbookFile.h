#pragma once

#include "logbook/SqliteMessages.h"

#include <QString>
#include <sys/types.h>

// The logbook's file as the operating system sees it, before and around
// SQLite: a folder of the user's own (0700) that nobody else can write, a
// plain file of the user's own (0600) created by this program, and the
// assurance that the file SQLite opened is the one that was checked (no
// link put in its place in between).
class LogbookFile
{
public:
    explicit LogbookFile(const QString &path);
    ~LogbookFile();
    LogbookFile(const LogbookFile &) = delete;
    LogbookFile &operator=(const LogbookFile &) = delete;

    enum class Content { Empty, Sqlite, Other };

    // Makes the folder and, when create is set and nothing holds the name,
    // the file; refuses a folder or file of someone else's or open to
    // others, and anything but a plain file. Holds the file open until
    // release() so that stillTheSame() can tell it was not swapped.
    // LogbookProblem::None when the file may be handed to SQLite; detail
    // then empty, else what was found.
    LogbookProblem prepare(bool create, QString *detail);
    Content content() const { return m_content; }
    // Takes away what others may do with the file (0600 at most): only once
    // it has been judged to be the user's logbook.
    void closeToOthers();
    // Whether this user may write the folder and the file.
    bool writable() const;
    // Whether the path still names the file prepare() checked.
    bool stillTheSame() const;
    void release();

    // Renames the file aside as "<name>.<why>-YYYY-MM-DD" (or "-2", "-3"
    // ... when that is taken; nothing is ever replaced), with its journal
    // files. The new name, empty on failure.
    QString putAside(const QString &isoDate, const QString &why = QStringLiteral("damaged"));

private:
    QString m_path;
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    Content m_content = Content::Empty;
};
