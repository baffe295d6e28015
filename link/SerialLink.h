#pragma once

#include "link/PortProbe.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>

// The serial port the instrument hangs on: an explicit port number (COM1..4
// through the device map), open and close, transmit a string, and a
// notification on every port event after which all waiting characters can be
// read as text. The line is fixed at 38400 8N1 without flow control: the
// three-wire cable carries no handshake lines.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // Set while the port is closed.
    void setCommPort(int portNumber) { m_portNumber = portNumber; }
    int commPort() const { return m_portNumber; }

    // Opens the device behind the port number; false when it is missing,
    // busy, forbidden, or does not answer within PortProbe::kTimeLimitMs. The
    // device is looked at first, off this thread: a device another program
    // holds is not touched, so its lock stays as it is. A failure is also
    // explained in one line on standard error, for a pilot who started the
    // program from a terminal.
    bool open();
    void close();
    bool isOpen() const { return m_port.isOpen(); }
    QString lastError() const { return m_lastError; }
    // The device file the port has open (a link of the device map resolved);
    // empty while the port is closed.
    QString openDevice() const { return m_port.isOpen() ? m_device : QString(); }

    // How a device is looked at before it is opened (PortProbe::probe); a
    // test puts a slow one here.
    using Probe = std::function<PortState(const QString &device)>;
    void setProbe(Probe probe) { m_probe = std::move(probe); }

    // Transmits the text unchanged, one byte per character (Latin-1). Does
    // nothing while the port is closed.
    void output(const QString &text);
    // Every character received and not yet read, one character per byte.
    QString input();

signals:
    // Data arrived, or anything else happened on the port.
    void commEvent();
    // The device went away (cable unplugged); the port has been closed.
    void connectionLost();

private:
    void onError(QSerialPort::SerialPortError error);

    void reportOpenFailure(const QString &shown, const QString &reason) const;

    QSerialPort m_port;
    int m_portNumber = 1;
    QString m_device;
    QString m_lastError;
    Probe m_probe = [](const QString &device) { return PortProbe::probe(device); };
};
