#include "ui/SystemInfo.h"

#include "ui/Registry.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {
const QString msinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString toolLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
} // namespace

SysInfoSystem currentSysInfoSystem()
{
    SysInfoSystem system;
    system.readMachineValue = [](const QString &keyName, const QString &valueName) -> std::optional<QString> {
        QString value;
        if (!GetKeyValue(registryLocalMachine, keyName, valueName, value))
            return std::nullopt;
        return value;
    };
    system.fileExists = [](const QString &path) { return QFileInfo::exists(path); };
    system.findExecutable = [](const QString &program) { return QStandardPaths::findExecutable(program); };
    return system;
}

QStringList sysInfoToolNames()
{
    return { QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
        QStringLiteral("gnome-system-monitor") };
}

QStringList sysInfoCandidates(const SysInfoSystem &system)
{
    QStringList candidates;
    if (const auto path = system.readMachineValue(msinfoKey, QStringLiteral("PATH"))) {
        candidates << *path;
    } else if (const auto folder = system.readMachineValue(toolLocationKey, QStringLiteral("MSINFO"))) {
        const QString program = *folder + QStringLiteral("\\MSINFO32.EXE");
        if (system.fileExists(program))
            candidates << program;
    }
    for (const QString &name : sysInfoToolNames()) {
        const QString program = system.findExecutable(name);
        if (!program.isEmpty())
            candidates << program;
    }
    return candidates;
}

std::optional<QString> startSysInfoTool(const SysInfoSystem &system)
{
    for (const QString &program : sysInfoCandidates(system)) {
        if (!program.isEmpty() && QProcess::startDetached(program, {}))
            return program;
    }
    return std::nullopt;
}
