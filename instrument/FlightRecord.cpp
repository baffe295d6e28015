#include "instrument/FlightRecord.h"

#include "link/Protocol.h"

namespace FlightRecord {

namespace {

// Byte offsets within a record.
enum Offset {
    SinkTenths = 0,
    LiftTenths = 1,
    QneMinHigh = 2,
    QneMinLow = 3,
    QneMaxHigh = 4,
    QneMaxLow = 5,
    SpeedMin = 6,
    SpeedMax = 7,
    DurationHigh = 8,
    DurationLow = 9,
    Day = 10,
    Month = 11,
    YearSince2000 = 12,
    StartHour = 13,
    StartMinute = 14,
    GainHigh = 15,
    GainMiddle = 16,
    GainLow = 17,
};

constexpr int kErased = 255;

QString atLeastTwoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// A QNE altitude: 14-bit magnitude, bit 6 of the high byte is the sign and
// bit 7 takes no part.
int qneAltitude(int high, int low)
{
    const int magnitude = (high & 0x3F) * 256 + low;
    return (high & 0x40) ? -magnitude : magnitude;
}

// A rate stored in tenths of m/s, in its shortest form: "3", "2.5", "25.5".
QString tenths(int value, const QString &decimalPoint)
{
    QString text = QString::number(value / 10);
    if (value % 10 != 0)
        text += decimalPoint + QString::number(value % 10);
    return text;
}

QString duration(int high, int low)
{
    // Up to 65535 minutes; kept wide so long logs never wrap to negative.
    const qint64 minutes = qint64(high) * 256 + low;
    return atLeastTwoDigits(minutes / 60) + QLatin1Char(':') + atLeastTwoDigits(minutes % 60);
}

} // namespace

Decoded decodeFlightRecord(qint16 flightNumber, const QString &answerText, const QString &decimalPoint)
{
    Decoded result;
    result.summary.flightNumber = flightNumber;

    const auto values = Protocol::readRunValues(answerText, kRecordReads);
    if (!values) {
        result.status = Status::Garbled;
        return result;
    }
    const QList<int> &b = *values;
    if (b[QneMinHigh] == kErased && b[QneMinLow] == kErased) {
        result.status = Status::NoData;
        return result;
    }

    FlightSummary &s = result.summary;
    s.sinkMax = tenths(b[SinkTenths], decimalPoint);
    s.liftMax = tenths(b[LiftTenths], decimalPoint);
    const int qneMin = qneAltitude(b[QneMinHigh], b[QneMinLow]);
    const int qneMax = qneAltitude(b[QneMaxHigh], b[QneMaxLow]);
    s.qneMin = QString::number(qneMin);
    s.qneMax = QString::number(qneMax);
    s.date = QStringLiteral("%1-%2-%3")
                 .arg(2000 + b[YearSince2000])
                 .arg(atLeastTwoDigits(b[Month]), atLeastTwoDigits(b[Day]));
    s.startTime = atLeastTwoDigits(b[StartHour]) + QLatin1Char(':') + atLeastTwoDigits(b[StartMinute]);
    s.duration = duration(b[DurationHigh], b[DurationLow]);
    s.speedMin = QString::number(b[SpeedMin]);
    s.speedMax = QString::number(b[SpeedMax]);
    s.totalGain = QString::number(b[GainHigh] * 65536 + b[GainMiddle] * 256 + b[GainLow]);
    s.heightDiffMax = QString::number(qneMax - qneMin);
    result.status = Status::Ok;
    return result;
}

} // namespace FlightRecord
