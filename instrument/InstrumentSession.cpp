#include "instrument/InstrumentSession.h"

#include "instrument/PilotName.h"
#include "link/OperationEnvironment.h"
#include "link/Protocol.h"
#include "link/ReceiveBuffer.h"
#include "link/SerialLink.h"

#include <QLocale>

namespace {

// After a port is opened, before its buffer is emptied.
constexpr int kSelectSettleMs = 5;
// After the information answer, before the next command.
constexpr int kInformationSettleMs = 15;

} // namespace

InstrumentSession::InstrumentSession(QObject *parent)
    : QObject(parent)
    , m_MSComm1(new SerialLink(this))
    , m_Text20(new ReceiveBuffer(this))
{
    m_MSComm1->setObjectName(QStringLiteral("MSComm1"));
    m_Text20->setObjectName(QStringLiteral("Text20"));
    connect(m_MSComm1, &SerialLink::commEvent, this, &InstrumentSession::onCommEvent);
    connect(m_MSComm1, &SerialLink::connectionLost, this, &InstrumentSession::connectionLost);
    connect(m_Text20, &ReceiveBuffer::changed, this, &InstrumentSession::receiveBufferChanged);
}

InstrumentSession::~InstrumentSession()
{
    m_MSComm1->close();
}

bool InstrumentSession::selectPort(int portNumber)
{
    m_MSComm1->close();
    m_MSComm1->setCommPort(portNumber);
    return m_MSComm1->open();
}

bool InstrumentSession::isOpen() const
{
    return m_MSComm1->isOpen();
}

void InstrumentSession::closePort()
{
    m_MSComm1->close();
}

InstrumentSession::Failure InstrumentSession::settleAfterSelect(OperationEnvironment &env)
{
    if (!pause(env, kSelectSettleMs))
        return Failure::Cancelled;
    clearReceiveBuffer();
    return Failure::None;
}

bool InstrumentSession::pause(OperationEnvironment &env, int ms)
{
    if (m_recording && ms > 0)
        m_askedWaitMs += ms;
    return env.wait(ms);
}

void InstrumentSession::clearReceiveBuffer()
{
    m_Text20->clear();
}

void InstrumentSession::clearStatus()
{
    m_Text20->clear();
    emit cleared();
}

void InstrumentSession::onCommEvent()
{
    m_Text20->append(m_MSComm1->input());
    emit portEvent();
}

bool InstrumentSession::output(OperationEnvironment &env, const QString &text)
{
    if (env.isCancelled())
        return false;
    m_MSComm1->output(text);
    if (m_recording)
        m_sent.append(Sent { m_recordClock.nsecsElapsed(), text.toLatin1() });
    return true;
}

InstrumentSession::Failure InstrumentSession::transmitPaced(OperationEnvironment &env, const QString &command)
{
    for (const QChar c : command) {
        if (!output(env, QString(c)) || !pause(env, Protocol::kCharPauseMs))
            return Failure::Cancelled;
    }
    return Failure::None;
}

InstrumentSession::Failure InstrumentSession::checkConnection(OperationEnvironment &env)
{
    clearStatus();
    if (!isOpen())
        return Failure::PortNotOpen;
    if (!output(env, Protocol::kConnectionTest) || !pause(env, Protocol::kAnswerWaitMs))
        return Failure::Cancelled;
    const bool answered = m_Text20->text() == Protocol::kConnectionAnswer;
    clearStatus();
    return answered ? Failure::None : Failure::NoConnection;
}

InstrumentSession::Failure InstrumentSession::sendReadRun(
    OperationEnvironment &env, int firstAddress, int count)
{
    clearStatus();
    for (int address = firstAddress; address < firstAddress + count; ++address) {
        if (transmitPaced(env, Protocol::readCommand(address)) != Failure::None
            || !pause(env, Protocol::kAnswerWaitMs))
            return Failure::Cancelled;
    }
    return Failure::None;
}

InstrumentSession::Result<InstrumentInfo> InstrumentSession::readInformation(OperationEnvironment &env)
{
    clearStatus();
    if (!output(env, Protocol::kInformation) || !pause(env, Protocol::kAnswerWaitMs))
        return Failure::Cancelled;
    const auto info = parseInstrumentInfo(m_Text20->text());
    if (info)
        clearStatus();
    if (!pause(env, kInformationSettleMs))
        return Failure::Cancelled;
    if (!info)
        return Failure::BadAnswer;
    return *info;
}

InstrumentSession::Result<QString> InstrumentSession::readPilotName(OperationEnvironment &env)
{
    if (sendReadRun(env, PilotName::kFirstAddress, PilotName::kLength) != Failure::None)
        return Failure::Cancelled;
    const auto codes = Protocol::readRunValues(m_Text20->text(), PilotName::kLength);
    if (!codes)
        return Failure::BadAnswer;
    const QString name = PilotName::fromCodes(*codes);
    clearStatus();
    if (!pause(env, Protocol::kAnswerWaitMs))
        return Failure::Cancelled;
    clearStatus();
    return name;
}

InstrumentSession::Failure InstrumentSession::writePilotName(
    OperationEnvironment &env, const QList<int> &codes)
{
    clearStatus();
    for (int k = 0; k < PilotName::kLength; ++k) {
        if (transmitPaced(env, Protocol::writeCommand(PilotName::kFirstAddress + k, codes.at(k)))
                != Failure::None
            || !pause(env, Protocol::kAnswerWaitMs))
            return Failure::Cancelled;
    }
    // Write answers are judged by their total length alone.
    const bool written = m_Text20->size() == PilotName::kLength * Protocol::kWriteAnswerLength;
    clearStatus();
    return written ? Failure::None : Failure::BadAnswer;
}

InstrumentSession::Result<int> InstrumentSession::readFlightCount(OperationEnvironment &env)
{
    if (sendReadRun(env, FlightRecord::kFlightCountAddress, 1) != Failure::None)
        return Failure::Cancelled;
    const auto values = Protocol::readRunValues(m_Text20->text(), 1);
    if (!values)
        return Failure::BadAnswer;
    clearStatus();
    return values->first();
}

InstrumentSession::Failure InstrumentSession::settleAfterCount(OperationEnvironment &env)
{
    if (!pause(env, Protocol::kAnswerWaitMs))
        return Failure::Cancelled;
    clearStatus();
    return Failure::None;
}

InstrumentSession::Result<FlightRecord::Decoded> InstrumentSession::readDecodedFlight(
    OperationEnvironment &env, qint16 flightNumber)
{
    if (sendReadRun(env, FlightRecord::recordAddress(flightNumber), FlightRecord::kRecordReads)
        != Failure::None)
        return Failure::Cancelled;
    const FlightRecord::Decoded decoded
        = FlightRecord::decodeFlightRecord(flightNumber, m_Text20->text(), QLocale::system().decimalPoint());
    if (decoded.status != FlightRecord::Status::Garbled)
        clearStatus();
    return decoded;
}

void InstrumentSession::startRecording()
{
    m_recording = true;
    m_recordClock.start();
    m_sent.clear();
    m_askedWaitMs = 0;
}
