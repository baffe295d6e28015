#include "link/SerialLink.h"

#include "link/DeviceMap.h"
#include "link/PortProbe.h"

#include <QFileInfo>

#include <cstdio>

SerialLink::SerialLink(QObject *parent)
    : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::commEvent);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

SerialLink::~SerialLink()
{
    close();
}

bool SerialLink::open()
{
    if (m_port.isOpen())
        return true;
    // Resolving the device map's link already touches the device's file
    // system, so that too happens off this thread.
    struct Look
    {
        QString device;
        QString shown; // a link of the device map whose target is gone: the missing device, not the link
        PortState state;
    };
    const int portNumber = m_portNumber;
    const std::optional<Look> look = PortProbe::within<Look>([portNumber, probe = m_probe] {
        const QString device = DeviceMap::comPortDevice(portNumber);
        const QString shown = QFileInfo(device).isSymLink()
            ? DeviceMap::linkTarget(DeviceMap::comLinkName(portNumber))
            : device;
        return Look { device, shown, probe(device) };
    });
    if (!look) {
        m_device.clear();
        m_lastError = PortProbe::stateText(PortState::NotResponding);
        const QString link = DeviceMap::linkTarget(DeviceMap::comLinkName(portNumber));
        reportOpenFailure(link.isEmpty() ? DeviceMap::builtInDevice(portNumber) : link, m_lastError);
        return false;
    }
    m_device = look->device;
    // QSerialPort takes a lock of a live process in the ASCII form for a
    // stale one and removes it: a port someone holds is not handed to it.
    if (look->state != PortState::Ready) {
        m_lastError = PortProbe::stateText(look->state);
        reportOpenFailure(look->shown, m_lastError);
        return false;
    }
    m_port.setPortName(m_device);
    m_port.setBaudRate(QSerialPort::Baud38400);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    PortProbe::removeStaleBinaryLock(PortProbe::serialLockFilePath(m_device));
    m_lastError.clear();
    if (!m_port.open(QIODevice::ReadWrite)) {
        // The port's own reason reached onError() and was cleared there.
        // Another program (a second copy of this one, say) that took the
        // port since the look shows up in a second one, in plainer words
        // than QSerialPort's lock error.
        const std::optional<PortState> again
            = PortProbe::within<PortState>([device = m_device, probe = m_probe] { return probe(device); });
        const PortState state = again.value_or(PortState::NotResponding);
        if (state != PortState::Ready)
            m_lastError = PortProbe::stateText(state);
        else if (m_lastError.isEmpty())
            m_lastError = QStringLiteral("Failed for a reason the system does not tell");
        m_port.clearError();
        reportOpenFailure(look->shown, m_lastError);
        return false;
    }
    // Bytes that were waiting before the port was opened are not part of any
    // exchange of ours.
    m_port.clear();
    return true;
}

void SerialLink::reportOpenFailure(const QString &shown, const QString &reason) const
{
    const QString line = QStringLiteral("tolmera-reader: COM%1 (%2): cannot open: %3\n")
                             .arg(m_portNumber)
                             .arg(shown, reason);
    std::fputs(line.toLocal8Bit().constData(), stderr);
}

void SerialLink::close()
{
    if (m_port.isOpen())
        m_port.close();
}

void SerialLink::output(const QString &text)
{
    if (!m_port.isOpen())
        return;
    m_port.write(text.toLatin1());
    // Put the characters on the line now: the caller paces them one by one.
    m_port.flush();
}

QString SerialLink::input()
{
    if (!m_port.isOpen())
        return QString();
    return QString::fromLatin1(m_port.readAll());
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    m_lastError = m_port.errorString();
    // A failed open is reported by open() itself, not as a port event.
    const bool wasOpen = m_port.isOpen();
    // When the other end disappears the port reports read errors without end
    // and stays open: close it on the first one.
    const bool lost
        = (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && m_port.isOpen();
    if (lost)
        m_port.close();
    m_port.clearError();
    if (wasOpen)
        emit commEvent();
    if (lost)
        emit connectionLost();
}
