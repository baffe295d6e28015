#include "link/DeviceMap.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace DeviceMap {

QString directory()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QStringLiteral("/tolmera-reader/dosdevices");
}

QString comPortDevice(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QFileInfo link(directory() + QStringLiteral("/com%1").arg(portNumber));
    if (!link.isSymLink() && !link.exists())
        return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
    // Open the real device, so that its lock file carries the device's own
    // name and other programs see the port as taken.
    const QString target = link.canonicalFilePath();
    return target.isEmpty() ? link.absoluteFilePath() : target;
#endif
}

QString driveCFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    const QFileInfo link(directory() + QStringLiteral("/c:"));
    if (link.isSymLink() || link.exists()) {
        const QString target = link.canonicalFilePath();
        return target.isEmpty() ? link.symLinkTarget() : target;
    }
    return QDir::homePath();
#endif
}

QString resolveDosPath(const QString &dosPath)
{
#ifdef Q_OS_WIN
    return dosPath;
#else
    static const QString prefix = QStringLiteral("c:\\");
    if (!dosPath.startsWith(prefix, Qt::CaseInsensitive))
        return dosPath;
    QString rest = dosPath.mid(prefix.size());
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return driveCFolder() + QLatin1Char('/') + rest;
#endif
}

} // namespace DeviceMap
