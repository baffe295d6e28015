#pragma once

#include <QByteArray>
#include <QString>

// Putting a pilot's files on disk without ever losing an earlier one: the
// checks and steps every writer of the program shares.
namespace SafeFile {

// True when path holds a control character (C0 or DEL). Such a name cannot
// be what the pilot meant: a NUL would cut it short in the file system
// calls, a line break would end up inside the file name.
bool hasControlCharacter(const QString &path);

// The path a write to path really lands on. A symbolic link at path (and
// at each link it leads to) is followed only when it belongs to the user
// running the program, the rule the kernel applies in folders that others
// may write to. Empty when a link of someone else's is met, or a chain too
// long to be a real one.
QString followOwnLinks(const QString &path);

// Writes bytes to path atomically: the file appears complete or not at all.
// Any failure (a control character in the name, a link of someone else's
// at path, a full disk, a file-size limit) returns false, leaves an earlier
// file byte-identical and no temporary file behind.
bool write(const QString &path, const QByteArray &bytes);

enum class Placed {
    Done, // from now carries the name to
    NameTaken, // something holds to already; from is left as it was
    Failed, // any other failure; from is left as it was
};

// Gives the finished file from the name to, never replacing and never
// copying: whatever appeared at to meanwhile, a link included, stays as it
// is. from and to must lie in the same folder.
Placed placeWithoutReplacing(const QString &from, const QString &to);

} // namespace SafeFile
