#pragma once

#include <QList>
#include <QString>

#include <functional>

// One serial device found on the system.
struct SerialDeviceInfo
{
    QString device; // "/dev/ttyUSB0"
    QString description; // "FT232R USB UART"; empty when unknown
    QString manufacturer;
    QString serialNumber;
    QString stableName; // its /dev/serial/by-id name; empty when it has none

    // What a port should keep: the by-id name survives replugging and
    // reboots, the kernel name does not.
    QString storedName() const { return stableName.isEmpty() ? device : stableName; }
    // "FT232R USB UART, FTDI, serial A50285BI (/dev/ttyUSB0)"
    QString displayText() const;

    bool operator==(const SerialDeviceInfo &) const = default;
};

// The serial devices present now. Detection sits behind one function so that
// the ports window can be shown a chosen list; the stable names are looked up
// in the by-id folder given here.
class PortCatalog
{
public:
    using Lister = std::function<QList<SerialDeviceInfo>()>;

    static QString defaultByIdFolder() { return QStringLiteral("/dev/serial/by-id"); }
    // What Qt's serial port support detects (QSerialPortInfo).
    static QList<SerialDeviceInfo> systemDevices();

    explicit PortCatalog(
        Lister lister = &PortCatalog::systemDevices, QString byIdFolder = defaultByIdFolder());

    // Every device the lister reports, with its stable name filled in.
    QList<SerialDeviceInfo> devices() const;

    // The link in the by-id folder whose resolved target is the device; empty
    // when there is none.
    QString stableNameFor(const QString &device) const;

private:
    Lister m_lister;
    QString m_byIdFolder;
};
