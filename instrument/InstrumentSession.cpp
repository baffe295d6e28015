#include "instrument/InstrumentSession.h"

#include "instrument/PilotName.h"
#include "link/Protocol.h"
#include "link/ReceiveBuffer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"

#include <QLocale>
#include <QStringList>

InstrumentSession::InstrumentSession(QObject *parent)
    : QObject(parent)
    , m_MSComm1(new SerialLink(this))
    , m_Text20(new ReceiveBuffer(this))
    , m_waiter(new Waiter(this))
{
    m_MSComm1->setObjectName(QStringLiteral("MSComm1"));
    m_Text20->setObjectName(QStringLiteral("Text20"));
    connect(m_MSComm1, &SerialLink::commEvent, this, &InstrumentSession::onCommEvent);
    connect(m_MSComm1, &SerialLink::connectionLost, this, &InstrumentSession::connectionLost);
    connect(m_Text20, &ReceiveBuffer::changed, this, &InstrumentSession::receiveBufferChanged);
}

InstrumentSession::~InstrumentSession()
{
    m_waiter->cancel();
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

bool InstrumentSession::pause(int ms)
{
    if (m_recording && ms > 0)
        m_askedWaitMs += ms;
    return m_waiter->wait(ms);
}

void InstrumentSession::cancel()
{
    m_waiter->cancel();
}

bool InstrumentSession::isCancelled() const
{
    return m_waiter->isCancelled();
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

void InstrumentSession::output(const QString &text)
{
    m_MSComm1->output(text);
    if (m_recording)
        m_sent.append(Sent { m_recordClock.nsecsElapsed(), text.toLatin1() });
}

InstrumentSession::Failure InstrumentSession::transmitPaced(const QString &command)
{
    for (const QChar c : command) {
        output(QString(c));
        if (!pause(Protocol::kCharPauseMs))
            return Failure::Cancelled;
    }
    return Failure::None;
}

InstrumentSession::Failure InstrumentSession::sendString(const QString &command)
{
    // Only the seven characters of a memory read go out, however long the text.
    const QStringList characters = Protocol::explode(command, QStringLiteral(",")).split(QLatin1Char(','));
    return transmitPaced(characters.mid(0, Protocol::kReadCommandLength).join(QString()));
}

InstrumentSession::Failure InstrumentSession::checkConnection()
{
    clearStatus();
    if (!isOpen()) {
        clearStatus();
        return Failure::PortNotOpen;
    }
    clearStatus();
    output(Protocol::kConnectionTest);
    if (!pause(Protocol::kAnswerWaitMs))
        return Failure::Cancelled;
    const bool answered = m_Text20->text() == Protocol::kConnectionAnswer;
    clearStatus();
    return answered ? Failure::None : Failure::NoConnection;
}

InstrumentSession::Failure InstrumentSession::sendReadRun(int firstAddress, int count)
{
    for (int address = firstAddress; address < firstAddress + count; ++address) {
        if (sendString(Protocol::readCommand(address)) == Failure::Cancelled
            || !pause(Protocol::kAnswerWaitMs))
            return Failure::Cancelled;
    }
    return Failure::None;
}

InstrumentSession::Result<InstrumentInfo> InstrumentSession::readInformation()
{
    clearStatus();
    output(Protocol::kInformation);
    if (!pause(Protocol::kAnswerWaitMs))
        return { std::nullopt, Failure::Cancelled };
    const auto info = parseInstrumentInfo(m_Text20->text());
    if (!info)
        return { std::nullopt, Failure::BadAnswer }; // the answer stays for the user to see
    clearStatus();
    return { info, Failure::None };
}

InstrumentSession::Result<QString> InstrumentSession::readPilotName()
{
    if (sendReadRun(PilotName::kFirstAddress, PilotName::kLength) == Failure::Cancelled)
        return { std::nullopt, Failure::Cancelled };
    const auto codes = Protocol::readRunValues(m_Text20->text(), PilotName::kLength);
    if (!codes) {
        // The answer stays in the buffer, so the controls stay disabled
        // until Reset: the user sees that something went wrong.
        return { std::nullopt, Failure::BadAnswer };
    }
    const QString name = PilotName::fromCodes(*codes);
    clearStatus();
    if (!pause(Protocol::kAnswerWaitMs))
        return { std::nullopt, Failure::Cancelled };
    clearStatus();
    return { name, Failure::None };
}

InstrumentSession::Failure InstrumentSession::writePilotName(const QList<int> &codes)
{
    clearStatus();
    for (int k = 0; k < PilotName::kLength; ++k) {
        if (transmitPaced(Protocol::writeCommand(PilotName::kFirstAddress + k, codes.at(k)))
                == Failure::Cancelled
            || !pause(Protocol::kAnswerWaitMs))
            return Failure::Cancelled;
    }
    // Write answers are judged by their total length alone.
    const bool written = m_Text20->size() == PilotName::kLength * Protocol::kWriteAnswerLength;
    clearStatus();
    return written ? Failure::None : Failure::BadAnswer;
}

InstrumentSession::Result<int> InstrumentSession::readFlightCount()
{
    if (sendReadRun(FlightRecord::kFlightCountAddress, 1) == Failure::Cancelled)
        return { std::nullopt, Failure::Cancelled };
    const auto values = Protocol::readRunValues(m_Text20->text(), 1);
    if (!values)
        return { std::nullopt, Failure::BadAnswer };
    return { values->first(), Failure::None };
}

InstrumentSession::Result<FlightRecord::Decoded> InstrumentSession::readDecodedFlight(qint16 flightNumber)
{
    if (sendReadRun(FlightRecord::recordAddress(flightNumber), FlightRecord::kRecordReads)
        == Failure::Cancelled)
        return { std::nullopt, Failure::Cancelled };
    const QString answer = m_Text20->text();
    if (!Protocol::readRunValues(answer, FlightRecord::kRecordReads))
        return { FlightRecord::Decoded {}, Failure::BadAnswer };
    return { FlightRecord::decodeFlightRecord(flightNumber, answer, QLocale::system().decimalPoint()),
        Failure::None };
}

void InstrumentSession::startRecording()
{
    m_recording = true;
    m_recordClock.start();
    m_sent.clear();
    m_askedWaitMs = 0;
}
