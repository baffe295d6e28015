#pragma once

#include <QString>

// What a serial device is like right now, found by trying it the way the
// serial link would open it. Widget-free: the ports window turns it into words
// beside each port, the serial link into its one-line reason on standard error.
enum class PortState {
    Ready, // opens as a terminal, nobody holds it
    Missing, // no such device (adapter unplugged, dangling link, no hardware)
    NoPermission, // the user may not open it (not in the dialout group)
    BusyElsewhere, // another program holds it (lock file, exclusive open, flock)
    BusyHere, // it is the port this program has open
    NotSerial, // it opens, but it is no terminal (a file, /dev/null, a folder)
};

// Tries the device: opens it without becoming its controlling terminal and
// without waiting for a carrier, checks that it is a terminal and that no
// other program has it locked, and closes it again. openHere is the device this
// program holds open (empty when none); a device that resolves to the same
// file is reported as BusyHere without being touched.
PortState probePort(const QString &device, const QString &openHere = QString());

// The plain words for a state, as shown to the user; NoPermission includes the
// fix.
QString portStateText(PortState state);

// The lock file QSerialPort takes for a device (UUCP style, "LCK..ttyUSB0" in
// the first usable lock folder), so that a port held by another Qt program, or
// by any program following that convention, counts as busy.
QString serialLockFilePath(const QString &device);
