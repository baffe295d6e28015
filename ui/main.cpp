#include "export/SafeFile.h"
#include "ui/AppInfo.h"
#include "ui/Look.h"
#include "ui/MainWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt's own message when no display can be reached is a bare plugin error;
// say what is wrong and how to run the program instead.
bool displayAvailable()
{
#if defined(Q_OS_LINUX)
    const bool forced = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return forced || x11 || wayland;
#else
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    SafeFile::prepareProcess();
    if (!displayAvailable()) {
        std::fprintf(stderr,
            "tolmera-reader: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
            "Start it from a desktop session, or without a screen under a virtual one:\n"
            "    xvfb-run -a tolmera-reader\n");
        return EXIT_FAILURE;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(AppInfo::applicationId));
    QApplication::setApplicationVersion(AppInfo::versionText());
    QApplication::setOrganizationName(QStringLiteral("Tolmera"));
    QApplication::setOrganizationDomain(QString::fromLatin1(AppInfo::organizationDomain));
    QApplication::setDesktopFileName(QString::fromLatin1(AppInfo::desktopId));
    QApplication::setWindowIcon(appIcon());
    Look::apply(app);

    MainWindow window;
    window.show();
    return app.exec();
}
