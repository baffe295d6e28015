// The flight record decoder. Odd first byte: the rest is any text taken as a
// record read's answer. Even first byte: the rest is a flight number and the
// 18 record bytes, served through the simulated instrument, so the decoder's
// text forms are checked against the simulator's own decoding of the bytes.

#include "fuzz/FuzzCheck.h"
#include "instrument/FlightRecord.h"
#include "link/Protocol.h"
#include "sim/MemoryImage.h"
#include "sim/SimModel.h"

#include <QRegularExpression>

#include <cstdio>

namespace {

bool isPlainInteger(const QString &text, bool mayBeNegative)
{
    static const QRegularExpression plain(QStringLiteral("^(0|[1-9][0-9]*)$"));
    static const QRegularExpression signedPlain(QStringLiteral("^(0|-?[1-9][0-9]*)$"));
    return (mayBeNegative ? signedPlain : plain).match(text).hasMatch();
}

QString twoDigits(int v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", v);
    return QString::fromLatin1(text);
}

// A rate in tenths as the reader shows it, "0", "3", "2.5", "25.5".
bool isRate(const QString &text, int tenths, const QString &decimalPoint)
{
    const QString expected = tenths % 10 == 0
        ? QString::number(tenths / 10)
        : QString::number(tenths / 10) + decimalPoint + QString::number(tenths % 10);
    return text == expected;
}

void checkDecoded(const FlightRecord::Decoded &d, qint16 flightNumber, const QString &answer)
{
    FUZZ_CHECK(d.summary.flightNumber == flightNumber);
    const auto values = Protocol::readRunValues(answer, FlightRecord::kRecordReads);
    FUZZ_CHECK((d.status == FlightRecord::Status::Garbled) == !values.has_value());
    if (d.status != FlightRecord::Status::Ok) {
        FlightSummary empty;
        empty.flightNumber = flightNumber;
        FUZZ_CHECK(d.summary == empty);
        if (d.status == FlightRecord::Status::NoData)
            FUZZ_CHECK(values->at(2) == 255 && values->at(3) == 255);
        return;
    }
    FUZZ_CHECK(!(values->at(2) == 255 && values->at(3) == 255));

    const FlightSummary &s = d.summary;
    for (const QString *field : { &s.date, &s.startTime, &s.duration, &s.qneMin, &s.qneMax, &s.heightDiffMax,
             &s.totalGain, &s.liftMax, &s.sinkMax, &s.speedMin, &s.speedMax })
        FUZZ_CHECK(!field->isEmpty());
    FUZZ_CHECK(isPlainInteger(s.qneMin, true) && isPlainInteger(s.qneMax, true));
    FUZZ_CHECK(isPlainInteger(s.heightDiffMax, true));
    FUZZ_CHECK(s.heightDiffMax.toInt() == s.qneMax.toInt() - s.qneMin.toInt());
    FUZZ_CHECK(qAbs(s.qneMin.toInt()) <= 16383 && qAbs(s.qneMax.toInt()) <= 16383);
    FUZZ_CHECK(isPlainInteger(s.totalGain, false) && s.totalGain.toInt() <= 16777215);
    FUZZ_CHECK(isPlainInteger(s.speedMin, false) && isPlainInteger(s.speedMax, false));
}

// The same bytes as the simulator understands them, in the reader's text forms.
void checkAgainstSimulator(const FlightSummary &s, const RawFlight &f, const QString &decimalPoint)
{
    FUZZ_CHECK(isRate(s.sinkMax, f.sinkTenths, decimalPoint));
    FUZZ_CHECK(isRate(s.liftMax, f.liftTenths, decimalPoint));
    FUZZ_CHECK(s.qneMin == QString::number(f.qneMin));
    FUZZ_CHECK(s.qneMax == QString::number(f.qneMax));
    FUZZ_CHECK(s.heightDiffMax == QString::number(f.qneMax - f.qneMin));
    FUZZ_CHECK(s.speedMin == QString::number(f.speedMin));
    FUZZ_CHECK(s.speedMax == QString::number(f.speedMax));
    FUZZ_CHECK(s.totalGain == QString::number(f.gain));
    FUZZ_CHECK(s.date
        == QString::number(f.year) + QLatin1Char('-') + twoDigits(f.month) + QLatin1Char('-')
            + twoDigits(f.day));
    FUZZ_CHECK(s.startTime == twoDigits(f.hour) + QLatin1Char(':') + twoDigits(f.minute));
    FUZZ_CHECK(s.duration
        == twoDigits(f.durationMinutes / 60) + QLatin1Char(':') + twoDigits(f.durationMinutes % 60));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString decimalPoint = (data[0] & 2) ? QStringLiteral(",") : QStringLiteral(".");

    if (data[0] & 1) {
        const QString answer = Fuzz::latin1(data + 1, size - 1);
        const qint16 flightNumber = qint16(size);
        checkDecoded(
            FlightRecord::decodeFlightRecord(flightNumber, answer, decimalPoint), flightNumber, answer);
        return 0;
    }

    // Flight number 1..100 and the record bytes (missing ones read 0).
    const int flightNumber = size > 1 ? data[1] % 100 + 1 : 1;
    QByteArray record(MemoryImage::recordLength, '\0');
    for (int k = 0; k < MemoryImage::recordLength && size_t(k + 2) < size; ++k)
        record[k] = char(data[k + 2]);

    MemoryImage memory;
    for (int k = 0; k < MemoryImage::recordLength; ++k)
        memory.setByte(MemoryImage::recordAddress(flightNumber) + k, quint8(record[k]));
    SimModel instrument(memory);
    QByteArray answer;
    for (int i = 0; i < FlightRecord::kRecordReads; ++i) {
        const QString command = Protocol::readCommand(FlightRecord::recordAddress(flightNumber) + i);
        for (const Reply &reply : instrument.receive(command.toLatin1()))
            answer += reply.bytes;
    }
    FUZZ_CHECK(answer.size() == FlightRecord::kRecordReads * Protocol::kReadAnswerLength);

    const QString text = QString::fromLatin1(answer);
    const auto decoded = FlightRecord::decodeFlightRecord(qint16(flightNumber), text, decimalPoint);
    checkDecoded(decoded, qint16(flightNumber), text);
    const auto raw = MemoryImage::decodeRecord(record);
    FUZZ_CHECK((decoded.status == FlightRecord::Status::NoData) == !raw.has_value());
    if (raw)
        checkAgainstSimulator(decoded.summary, *raw, decimalPoint);
    return 0;
}
