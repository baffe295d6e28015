#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// Linux has no COM1 or drive C:. The program resolves those names through a
// folder of symbolic links, $XDG_CONFIG_HOME/tolmera-reader/dosdevices:
// "com1" -> /dev/ttyUSB0 and so on, "c:" -> the folder for reports. The
// links are made by the user, in a terminal or in the ports window; the
// folder is the only place where these choices are kept.
namespace DeviceMap {

// COM1 to COM4: the ports the window offers.
static constexpr int kPortCount = 4;

// The device-map folder.
QString directory();

// The built-in port that COMn means without a link: /dev/ttyS(n-1).
QString builtInDevice(int portNumber);

// The serial device behind COMn (n = 1..4): the resolved target of the link
// "comN", else /dev/ttyS(n-1). A link whose target is missing yields the
// link's own path, which then fails to open.
QString comPortDevice(int portNumber);

// The folder that "c:\" leads to: the target of the link "c:" as written in
// it (made absolute, links in it not resolved), else the user's home folder.
QString driveCFolder();

// A "c:\..." path as a local file path; further backslashes separate folders.
// A path without the "c:\" prefix is returned unchanged. Empty for a name
// that would leave the c: folder (a ".." part) or name no visible file (a
// last part of nothing but dots before its extension, or an empty one).
QString resolveDosPath(const QString &dosPath);

// The names of the links inside the folder: "com1".."com4" and "c:".
QString comLinkName(int portNumber);
QString driveCLinkName();

// What the link of that name points to, as written in it (one level, not
// resolved further, made absolute); empty when there is no link. An entry that
// is not a link yields its own path.
QString linkTarget(const QString &name);

// One link to put in place: name inside the folder, and its new target; an
// empty target removes the link (COMn then means the built-in port, c: the
// home folder).
struct LinkChange
{
    QString name;
    QString target;
};

// How writing links went. On failure, problem says what went wrong and what
// that left: "Nothing was changed." when every link is as it was, else the
// names of the links that stay changed (listed in changed too).
struct WriteResult
{
    bool ok = true;
    QString problem;
    QStringList changed;
};

// Puts every change in place, creating the folder when it is missing. Only
// the program's own kind of entry is touched: an entry that is not a symbolic
// link is never replaced or removed, and makes the write fail. A new link is
// first made under a temporary name in the folder and then swapped with the
// old one, so a reader sees the old link or the new one, never none. When a
// later change fails, the ones already made are undone.
WriteResult writeLinks(const QList<LinkChange> &changes);

// What the ports window hands back: the rows the user changed.
struct Choice
{
    // The new target of each changed port, by port number (1..kPortCount);
    // empty: the built-in port.
    QMap<int, QString> ports;
    // The new folder of c:, when it was changed.
    std::optional<QString> folder;
};

struct Applied
{
    bool ok = true;
    QString problem; // as WriteResult::problem
    QList<int> changedPorts; // ports whose link now leads elsewhere
    bool driveCChanged = false;
};

// Writes the links of a choice into the device map.
Applied apply(const Choice &choice);

} // namespace DeviceMap
