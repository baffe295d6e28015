#include "link/PortCatalog.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

QString SerialDeviceInfo::displayText() const
{
    QStringList parts;
    if (!description.isEmpty())
        parts << description;
    if (!manufacturer.isEmpty() && manufacturer != description)
        parts << manufacturer;
    if (!serialNumber.isEmpty())
        parts << QStringLiteral("serial ") + serialNumber;
    if (parts.isEmpty())
        return device;
    return parts.join(QLatin1String(", ")) + QLatin1String(" (") + device + QLatin1Char(')');
}

QList<SerialDeviceInfo> PortCatalog::systemDevices()
{
    QList<SerialDeviceInfo> found;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        SerialDeviceInfo info;
        info.device = port.systemLocation();
        info.description = port.description();
        info.manufacturer = port.manufacturer();
        info.serialNumber = port.serialNumber();
        found << info;
    }
    return found;
}

PortCatalog::PortCatalog(Lister lister, QString byIdFolder)
    : m_lister(std::move(lister))
    , m_byIdFolder(std::move(byIdFolder))
{
}

QList<SerialDeviceInfo> PortCatalog::devices() const
{
    QList<SerialDeviceInfo> found = m_lister ? m_lister() : QList<SerialDeviceInfo>();
    for (SerialDeviceInfo &info : found) {
        if (info.stableName.isEmpty())
            info.stableName = stableNameFor(info.device);
    }
    return found;
}

QString PortCatalog::stableNameFor(const QString &device) const
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QDir folder(m_byIdFolder);
    const QStringList names
        = folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QFileInfo link(folder.filePath(name));
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return QString();
}
