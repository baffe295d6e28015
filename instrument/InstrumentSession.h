#pragma once

#include "instrument/FlightRecord.h"
#include "instrument/InstrumentInfo.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class ReceiveBuffer;
class SerialLink;
class Waiter;

// The conversation with the instrument: the serial port, the receive buffer,
// the waits, the pacing of commands and the judging of answers. It answers
// with values, or with the failure of the step that failed; what the user is
// told about either is the window's business.
//
// Every exchange is a command, a fixed wait, then a look at everything the
// receive buffer holds: the instrument marks no end of an answer. So every
// exchange starts and ends by emptying the buffer, exactly where the window
// always did; anything else that arrives stays in the buffer, and the window
// keeps its controls disabled until the user resets.
class InstrumentSession : public QObject
{
    Q_OBJECT
public:
    enum class Failure {
        None,
        Cancelled, // a wait was cut short: the program is closing
        PortNotOpen,
        NoConnection, // "T" was not answered with exactly "!"
        BadAnswer, // an answer of the wrong length or with a value out of range
    };

    template <typename T> struct Result
    {
        std::optional<T> value;
        Failure failure = Failure::None;
        explicit operator bool() const { return value.has_value(); }
        const T &operator*() const { return *value; }
        const T *operator->() const { return &*value; }
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

    // The serial port control (the original program's MSComm1) and the
    // receive buffer (its hidden Text20 box).
    SerialLink &link() { return *m_MSComm1; }
    const ReceiveBuffer &receiveBuffer() const { return *m_Text20; }

    // Closes the port and opens COMn; false when it cannot be opened.
    bool selectPort(int portNumber);
    bool isOpen() const;
    void closePort();

    // Waits at least ms milliseconds while events keep flowing; false once
    // the session is cancelled.
    bool pause(int ms);
    // Ends the running wait and every later one at once.
    void cancel();
    bool isCancelled() const;

    // Empties the receive buffer; cleared() tells the window to reset its
    // activity strip.
    void clearStatus();
    // Empties the receive buffer alone (after opening a port).
    void clearReceiveBuffer();

    // Sends the characters one at a time with the pause the instrument needs
    // between them.
    Failure transmitPaced(const QString &command);
    // The first seven characters of a memory read, paced.
    Failure sendString(const QString &command);
    // "T" answered with exactly "!".
    Failure checkConnection();
    // Reads count consecutive addresses, each followed by the answer wait.
    Failure sendReadRun(int firstAddress, int count);

    // "V" and its answer cut into version and serial number.
    Result<InstrumentInfo> readInformation();
    // The eight name bytes (after a connection check by the caller).
    Result<QString> readPilotName();
    // Writes the eight codes; judged by the total length of the answers.
    Failure writePilotName(const QList<int> &codes);
    // The number of flights in memory (address 47).
    Result<int> readFlightCount();
    // One flight's record, read and decoded. A failed read counts like a
    // garbled record: both are reported alike.
    Result<FlightRecord::Decoded> readDecodedFlight(qint16 flightNumber);

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
    void output(const QString &text);

    // The serial port control; the original program's MSComm1.
    SerialLink *m_MSComm1;
    // The receive buffer; the original program's hidden Text20 box.
    ReceiveBuffer *m_Text20;
    // The waits between a command and the judging of its answer.
    Waiter *m_waiter;

    bool m_recording = false;
    QElapsedTimer m_recordClock;
    QList<Sent> m_sent;
    qint64 m_askedWaitMs = 0;
};
