#pragma once

#include <QString>

// Linux has no COM1 or drive C:. The program resolves those names through a
// folder of symbolic links, $XDG_CONFIG_HOME/tolmera-reader/dosdevices:
// "com1" -> /dev/ttyUSB0 and so on, "c:" -> the folder for reports. The
// program only reads that folder; the user makes the links.
namespace DeviceMap {

// The device-map folder.
QString directory();

// The serial device behind COMn (n = 1..4): the resolved target of the link
// "comN", else /dev/ttyS(n-1). A link whose target is missing yields the
// link's own path, which then fails to open.
QString comPortDevice(int portNumber);

// The folder that "c:\" leads to: the target of the link "c:", else the
// user's home folder.
QString driveCFolder();

// A "c:\..." path as a local file path; further backslashes separate folders.
// A path without the "c:\" prefix is returned unchanged.
QString resolveDosPath(const QString &dosPath);

} // namespace DeviceMap
