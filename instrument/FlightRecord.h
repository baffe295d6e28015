#pragma once

#include "instrument/FlightSummary.h"

#include <QString>

// Where the logbook lies in the instrument's memory and how one flight's
// record is decoded. The reads themselves go through the instrument link.
namespace FlightRecord {

constexpr int kFlightCountAddress = 47;
constexpr int kFirstFlight = 1;
constexpr int kLastFlight = 100;
constexpr int kRecordBytes = 18;
// A record read also asks for the first byte of the next record; the
// length check counts it but it is never decoded.
constexpr int kRecordReads = kRecordBytes + 1;

constexpr int recordAddress(int flightNumber)
{
    return 392 + kRecordBytes * flightNumber;
}

enum class Status {
    Ok, // summary holds the decoded flight
    NoData, // erased record: bytes 2 and 3 are both 255
    Garbled, // not a 190-character answer of 19 three-digit values 000..255
             // (the 19th answer is checked too, though never decoded)
};

struct Decoded
{
    Status status = Status::Garbled;
    FlightSummary summary;
};

// Decodes the answer of a record read (19 read answers of 10 characters).
// decimalPoint is the separator of the user's number settings. The summary's
// flightNumber is set whatever the status; its text fields only for Ok.
Decoded decodeFlightRecord(qint16 flightNumber, const QString &answerText, const QString &decimalPoint);

} // namespace FlightRecord
