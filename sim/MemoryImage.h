#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The decoded content of one flight record in the memory, in the instrument's own units:
// rates in tenths of m/s, altitudes and gain in meters, speeds in km/h and the
// full calendar year.
struct RawFlight
{
    int sinkTenths = 0;
    int liftTenths = 0;
    int qneMin = 0;
    int qneMax = 0;
    int speedMin = 0;
    int speedMax = 0;
    int durationMinutes = 0;
    int day = 1;
    int month = 1;
    int year = 2000;
    int hour = 0;
    int minute = 0;
    int gain = 0;

    friend bool operator==(const RawFlight &, const RawFlight &) = default;
};

// The instrument's byte-addressed memory. Erased memory reads 255, so that is
// the value of every byte nobody has written.
class MemoryImage
{
public:
    static constexpr int size = 4096;
    static constexpr int flightCountAddress = 47;
    static constexpr int pilotNameAddress = 208;
    static constexpr int pilotNameLength = 8;
    static constexpr int recordBase = 392;
    static constexpr int recordLength = 18;
    static constexpr int maxFlights = 100;
    static constexpr quint8 erased = 255;

    MemoryImage();

    // The flight memory the simulated instrument serves unless told otherwise.
    static MemoryImage sample();

    static int recordAddress(int flightNumber) { return recordBase + recordLength * flightNumber; }

    // Record bytes for a flight; nullopt when a value does not fit its field.
    static std::optional<QByteArray> encodeRecord(const RawFlight &flight);
    // The flight held in 18 record bytes; nullopt for an empty record (QNE
    // minimum bytes both erased) or a byte array of the wrong length.
    static std::optional<RawFlight> decodeRecord(const QByteArray &bytes);

    quint8 byte(int address) const;
    void setByte(int address, quint8 value);
    QByteArray bytes(int address, int count) const;

    int flightCount() const { return byte(flightCountAddress); }
    void setFlightCount(int count);
    QByteArray pilotName() const { return bytes(pilotNameAddress, pilotNameLength); }
    bool setPilotName(const QByteArray &name);

    QByteArray recordBytes(int flightNumber) const;
    std::optional<RawFlight> flight(int flightNumber) const;
    bool setFlight(int flightNumber, const RawFlight &flight);
    bool setRecordBytes(int flightNumber, const QByteArray &bytes);
    void eraseFlight(int flightNumber);
    // Records with any byte other than erased, in flight number order.
    QList<int> usedFlightNumbers() const;

    // The .mem text form: "ADDRESS: v v v ..." lines with decimal numbers, the
    // following values at the following addresses; "#" starts a comment;
    // addresses not listed are erased.
    static std::optional<MemoryImage> parse(const QByteArray &text, QString *error = nullptr);
    QByteArray toText() const;
    bool load(const QString &path, QString *error = nullptr);
    bool save(const QString &path, QString *error = nullptr) const;

    friend bool operator==(const MemoryImage &, const MemoryImage &) = default;

private:
    QByteArray m_bytes;
};
