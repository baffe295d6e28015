#include "ui/AppInfo.h"

// Icons and the cable diagram live in this library's resources; a static
// library has to register them explicitly before they can be found (and
// Q_INIT_RESOURCE has to be used outside any namespace).
static void registerResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(loaded);
}

void AppInfo::initResources()
{
    registerResources();
}

QString AppInfo::versionText()
{
    return QStringLiteral("%1.%2.%3").arg(versionMajor).arg(versionMinor).arg(versionPatch);
}

QIcon appIcon()
{
    AppInfo::initResources();
    QIcon icon;
    for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256 })
        icon.addFile(QStringLiteral(":/art/icons/tolmera-reader-%1.png").arg(size), QSize(size, size));
    return icon;
}
