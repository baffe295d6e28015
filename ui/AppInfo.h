#pragma once

#include <QIcon>
#include <QString>

// The program's identity, shown in captions, message boxes and the About window.
// The version numbers come from the build (the project version in CMake).
namespace AppInfo {

inline constexpr char title[] = "TOLMERA READER Orvin";
inline constexpr char productName[] = "Tolmera ORVIN logbook reader";
inline constexpr char caption[] = "TOLMERA reader";
// The command, the package and the device map folder carry the short id.
inline constexpr char applicationId[] = "tolmera-reader";
// Desktops find the program's entry, icon and AppStream data by this id,
// a reverse domain name under the maker's domain (tolmera.example). The
// installed desktop file is named after it, and Qt tells the window system
// the same name so that a running window is matched to its menu entry.
inline constexpr char desktopId[] = "example.tolmera.reader";
inline constexpr char organizationDomain[] = "tolmera.example";

inline constexpr int versionMajor = TOLMERA_VERSION_MAJOR;
inline constexpr int versionMinor = TOLMERA_VERSION_MINOR;
inline constexpr int versionPatch = TOLMERA_VERSION_PATCH;

// "0.9.3": major, minor and revision as plain decimal numbers.
QString versionText();

// Registers the icons and the cable diagram compiled into the window library.
// Safe to call any number of times; the windows call it before loading artwork.
void initResources();

} // namespace AppInfo

// The application icon (instrument beside an open book) in every rendered size,
// so each window and the task bar pick the sharpest one.
QIcon appIcon();
