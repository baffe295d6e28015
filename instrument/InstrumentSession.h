#pragma once

#include "instrument/FlightRecord.h"
#include "instrument/InstrumentInfo.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

class OperationEnvironment;
class ReceiveBuffer;
class SerialLink;

// The conversation with the instrument: the serial port (the original
// program's MSComm1 control), the receive buffer (its hidden Text20 box),
// the pacing of commands and the judging of answers. It answers with values,
// or with the failure of the step that failed; what the user is told about
// either is the window's business. Every exchange takes the environment of
// the operation it belongs to: its waits, and whether to stop.
//
// Every exchange is a command, a fixed wait, then a look at everything the
// receive buffer holds: the instrument marks no end of an answer. So the
// session empties the buffer before an exchange sends its first command, and
// again once an answer has passed its check and been taken. An answer that
// fails its check stays in the buffer: the window keeps its controls disabled
// until the user resets, unless the operation goes on with another exchange,
// which empties it first. The connection test and the name write empty the
// buffer whatever their answer was.
class InstrumentSession : public QObject
{
    Q_OBJECT
public:
    enum class Failure {
        None,
        Cancelled, // a wait was cut short: the operation must end here
        PortNotOpen,
        NoConnection, // "T" was not answered with exactly "!"
        BadAnswer, // an answer of the wrong length or with a value out of range
    };

    // A value, or the failure that kept the exchange from producing one;
    // never both.
    template <typename T> class Result
    {
    public:
        Result(T value)
            : m_value(std::move(value))
        {
        }
        Result(Failure failure)
            : m_failure(failure)
        {
        }
        explicit operator bool() const { return m_value.has_value(); }
        Failure failure() const { return m_failure; }
        const T &operator*() const { return *m_value; }
        const T *operator->() const { return &*m_value; }

    private:
        std::optional<T> m_value;
        Failure m_failure = Failure::None;
    };

    // One transmission as the session made it, for measuring the pacing where
    // the characters are sent rather than where they arrive.
    struct Sent
    {
        qint64 ns = 0; // since recording started, taken right after the write
        QByteArray bytes;
    };

    explicit InstrumentSession(QObject *parent = nullptr);
    ~InstrumentSession() override;

    SerialLink &link() { return *m_MSComm1; }
    const ReceiveBuffer &receiveBuffer() const { return *m_Text20; }

    // Closes the port and opens COMn; false when it cannot be opened.
    bool selectPort(int portNumber);
    bool isOpen() const;
    void closePort();
    // After a port selection: a short wait for the line to settle, then the
    // buffer is emptied of whatever the opening brought in.
    Failure settleAfterSelect(OperationEnvironment &env);

    // Waits at least ms milliseconds in env; false when cut short.
    bool pause(OperationEnvironment &env, int ms);

    // Empties the receive buffer; cleared() tells the window to reset its
    // activity strip.
    void clearStatus();
    // Empties the receive buffer alone (after opening a port).
    void clearReceiveBuffer();

    // "T" answered with exactly "!".
    Failure checkConnection(OperationEnvironment &env);
    // "V" and its answer cut into version and serial number; followed
    // either way by the pause the instrument needs before the next command.
    Result<InstrumentInfo> readInformation(OperationEnvironment &env);
    // The eight name bytes (after a connection check by the caller).
    Result<QString> readPilotName(OperationEnvironment &env);
    // Writes the eight codes; judged by the total length of the answers.
    Failure writePilotName(OperationEnvironment &env, const QList<int> &codes);
    // The number of flights in memory (address 47).
    Result<int> readFlightCount(OperationEnvironment &env);
    // After the flight count, whatever its answer: one more answer wait, so
    // that a late answer lands before the buffer is emptied for the record.
    Failure settleAfterCount(OperationEnvironment &env);
    // One flight's record, read and decoded: Ok, NoData, or Garbled for an
    // answer that fails its check.
    Result<FlightRecord::Decoded> readDecodedFlight(OperationEnvironment &env, qint16 flightNumber);

    // Reads count consecutive addresses, each followed by the answer wait.
    Failure sendReadRun(OperationEnvironment &env, int firstAddress, int count);

    // Recording of transmissions and of the waits asked for, off by default.
    void startRecording();
    QList<Sent> sent() const { return m_sent; }
    qint64 askedWaitMs() const { return m_askedWaitMs; }

signals:
    // Something arrived or happened on the port (one "|" in the strip).
    void portEvent();
    // The receive buffer's text changed.
    void receiveBufferChanged();
    // The buffer was emptied by an exchange.
    void cleared();
    // The device went away; the port is closed.
    void connectionLost();

private:
    void onCommEvent();
    // Sends text unless the operation is cancelled.
    bool output(OperationEnvironment &env, const QString &text);
    // Sends the characters one at a time with the pause the instrument needs
    // between them.
    Failure transmitPaced(OperationEnvironment &env, const QString &command);

    SerialLink *m_MSComm1;
    ReceiveBuffer *m_Text20;

    bool m_recording = false;
    QElapsedTimer m_recordClock;
    QList<Sent> m_sent;
    qint64 m_askedWaitMs = 0;
};
