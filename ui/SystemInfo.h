#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Finding and starting the operating system's system information tool for the
// About window. Windows names it in the registry; elsewhere one of the common
// desktop tools is looked up on PATH.

// What the search looks at, so that it can be tried against a made-up system.
struct SysInfoSystem
{
    // Value valueName of key keyName under HKEY_LOCAL_MACHINE, if it can be read.
    std::function<std::optional<QString>(const QString &keyName, const QString &valueName)> readMachineValue;
    std::function<bool(const QString &path)> fileExists;
    // Full path of a program found on PATH, or empty.
    std::function<QString(const QString &program)> findExecutable;
};

// The running system: the registry (empty outside Windows), the file system and PATH.
SysInfoSystem currentSysInfoSystem();

// Programs to try, best first. The registry's MSINFO "PATH" value wins outright
// (the tool-location folder is only consulted when it is missing); then the
// desktop tools found on PATH, in the order of sysInfoToolNames().
QStringList sysInfoCandidates(const SysInfoSystem &system);

// hardinfo, kinfocenter, gnome-system-monitor.
QStringList sysInfoToolNames();

// Starts the first candidate that can be started, as a separate process, without
// waiting for it. Returns the program started, or nothing when none could be.
std::optional<QString> startSysInfoTool(const SysInfoSystem &system = currentSysInfoSystem());
