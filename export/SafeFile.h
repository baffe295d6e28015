#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Putting a pilot's files on disk without ever losing an earlier one, and
// without being led elsewhere by a link someone else planted: the steps
// every writer of the program shares.
//
// A path is resolved once, folder by folder, through open folders: a
// symbolic link on the way is followed only when it belongs to the user
// running the program (or to root, who owns the system's own links and
// could write anywhere anyway). A link of any other user, in any part of
// the path, fails the write. The file is then created new (O_EXCL) in the
// folder that was checked, written and synced through that one descriptor,
// and given its name by a rename of the program's own: no name is ever
// handed to anything that resolves it again.
namespace SafeFile {

// Prepares the process for writing files; main() calls it before anything
// else. A write past a file-size limit then fails with an error the
// writers report, instead of a signal ending the program and the session.
void prepareProcess();

// True when path holds a control character (C0 or DEL). Such a name cannot
// be what the pilot meant: a NUL would cut it short in the file system
// calls, a line break would end up inside the file name.
bool hasControlCharacter(const QString &path);

// Writes bytes to path atomically, replacing an earlier file: the file
// appears complete or not at all. A link of the user's own at path is
// followed and its target replaced. An earlier file the user may not write
// (made read-only by its mode, even for root, or refused by the system) is
// kept as a read-only file is kept by a program that opens it for output:
// the write fails. Any failure (that one, a control character in the name,
// a link of someone else's on the way, a full disk, a file-size limit)
// returns false, leaves an earlier file byte-identical and no temporary file
// behind. A new file is made for the owner alone (0600) when ownerOnly is
// set (a copy of the logbook), else as the umask allows.
bool write(const QString &path, const QByteArray &bytes, bool ownerOnly = false);

// How a new file takes its name without replacing anything. Some network
// and FUSE file systems know no RENAME_NOREPLACE or no hard links; each way
// falls back to the next one there.
enum class Placing {
    Rename, // rename with RENAME_NOREPLACE
    HardLink, // a second name by link(), then the temporary one dropped
    Copy, // the final name created with O_EXCL and the bytes written into it
};

#ifdef Q_OS_UNIX
// Gives the entry from in folder (a descriptor, or AT_FDCWD) the name to in
// the same folder without ever replacing what holds to, link or not: a
// rename with RENAME_NOREPLACE, or, where the file system knows no such
// rename, a second name by link() and from dropped. The one way the
// program puts a name in place without a look-then-rename race. 0 when
// done; EEXIST when something holds to; else the error that stopped it
// (ENOSYS, EOPNOTSUPP, EINVAL, EPERM or EXDEV: the file system knows
// neither way).
int placeNoReplace(int folder, const QByteArray &from, const QByteArray &to);
#endif

// Writes bytes as a new file under path's name, or, when something holds
// that name (a file, a folder, a link, dangling or not), under the names
// next(takenPath) offers in turn, all in path's folder. Nothing is ever
// replaced or written through. Returns the path used, empty on failure, in
// which case no file is left behind. first chooses where placing starts;
// ownerOnly as for write().
QString writeNew(const QString &path, const QByteArray &bytes,
    const std::function<QString(const QString &)> &next, Placing first = Placing::Rename,
    bool ownerOnly = false);

} // namespace SafeFile
