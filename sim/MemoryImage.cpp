#include "sim/MemoryImage.h"

#include "sim/SampleMemory.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr int qneMagnitudeMax = 16383;
constexpr int qneSignBit = 64;
constexpr int gainMax = 16777215;
constexpr int recordRegionEnd
    = MemoryImage::recordBase + MemoryImage::recordLength * (MemoryImage::maxFlights + 1);

bool inByteRange(int v)
{
    return v >= 0 && v <= 255;
}

// Altitudes are kept as a 14-bit magnitude with the sign in bit 6 of the high byte.
void putQne(QByteArray &record, int offset, int meters)
{
    const int magnitude = meters < 0 ? -meters : meters;
    record[offset] = char((magnitude >> 8) | (meters < 0 ? qneSignBit : 0));
    record[offset + 1] = char(magnitude & 0xFF);
}

int takeQne(const QByteArray &record, int offset)
{
    const int high = quint8(record[offset]);
    const int magnitude = (high & 63) * 256 + quint8(record[offset + 1]);
    return (high & qneSignBit) ? -magnitude : magnitude;
}

QByteArray twoDigits(int v)
{
    return QByteArray::number(v).rightJustified(2, '0');
}

QByteArray numberList(const QByteArray &bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out += ' ';
        out += QByteArray::number(quint8(bytes[i]));
    }
    return out;
}

QByteArray recordComment(int n, const QByteArray &record)
{
    QByteArray out = "# flight " + QByteArray::number(n);
    const auto f = MemoryImage::decodeRecord(record);
    if (!f)
        return out + ": empty record";
    return out + ": " + QByteArray::number(f->year) + '-' + twoDigits(f->month) + '-' + twoDigits(f->day)
        + ' ' + twoDigits(f->hour) + ':' + twoDigits(f->minute) + ", "
        + QByteArray::number(f->durationMinutes) + " min";
}

bool isErased(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) == MemoryImage::erased; });
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

MemoryImage::MemoryImage()
    : m_bytes(size, char(erased))
{
}

MemoryImage MemoryImage::sample()
{
    MemoryImage image;
    const QList<RawFlight> flights = SampleMemory::flights();
    for (int i = 0; i < flights.size(); ++i)
        image.setFlight(i + 1, flights[i]);
    image.setFlightCount(int(flights.size()));
    image.setPilotName(QByteArray(pilotNameLength, ' '));
    return image;
}

std::optional<QByteArray> MemoryImage::encodeRecord(const RawFlight &f)
{
    const bool fits = inByteRange(f.sinkTenths) && inByteRange(f.liftTenths) && f.qneMin >= -qneMagnitudeMax
        && f.qneMin <= qneMagnitudeMax && f.qneMax >= -qneMagnitudeMax && f.qneMax <= qneMagnitudeMax
        && inByteRange(f.speedMin) && inByteRange(f.speedMax) && f.durationMinutes >= 0
        && f.durationMinutes <= 65535 && inByteRange(f.day) && inByteRange(f.month)
        && inByteRange(f.year - 2000) && inByteRange(f.hour) && inByteRange(f.minute) && f.gain >= 0
        && f.gain <= gainMax;
    if (!fits)
        return std::nullopt;

    QByteArray r(recordLength, '\0');
    r[0] = char(f.sinkTenths);
    r[1] = char(f.liftTenths);
    putQne(r, 2, f.qneMin);
    putQne(r, 4, f.qneMax);
    r[6] = char(f.speedMin);
    r[7] = char(f.speedMax);
    r[8] = char(f.durationMinutes >> 8);
    r[9] = char(f.durationMinutes & 0xFF);
    r[10] = char(f.day);
    r[11] = char(f.month);
    r[12] = char(f.year - 2000);
    r[13] = char(f.hour);
    r[14] = char(f.minute);
    r[15] = char(f.gain >> 16);
    r[16] = char((f.gain >> 8) & 0xFF);
    r[17] = char(f.gain & 0xFF);
    return r;
}

std::optional<RawFlight> MemoryImage::decodeRecord(const QByteArray &r)
{
    if (r.size() != recordLength || (quint8(r[2]) == erased && quint8(r[3]) == erased))
        return std::nullopt;
    const auto u = [&r](int i) { return int(quint8(r[i])); };
    RawFlight f;
    f.sinkTenths = u(0);
    f.liftTenths = u(1);
    f.qneMin = takeQne(r, 2);
    f.qneMax = takeQne(r, 4);
    f.speedMin = u(6);
    f.speedMax = u(7);
    f.durationMinutes = u(8) * 256 + u(9);
    f.day = u(10);
    f.month = u(11);
    f.year = 2000 + u(12);
    f.hour = u(13);
    f.minute = u(14);
    f.gain = u(15) * 65536 + u(16) * 256 + u(17);
    return f;
}

quint8 MemoryImage::byte(int address) const
{
    if (address < 0 || address >= size)
        return erased;
    return quint8(m_bytes[address]);
}

void MemoryImage::setByte(int address, quint8 value)
{
    if (address >= 0 && address < size)
        m_bytes[address] = char(value);
}

QByteArray MemoryImage::bytes(int address, int count) const
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += char(byte(address + i));
    return out;
}

void MemoryImage::setFlightCount(int count)
{
    setByte(flightCountAddress, quint8(qBound(0, count, 255)));
}

bool MemoryImage::setPilotName(const QByteArray &name)
{
    if (name.size() != pilotNameLength)
        return false;
    m_bytes.replace(pilotNameAddress, pilotNameLength, name);
    return true;
}

QByteArray MemoryImage::recordBytes(int flightNumber) const
{
    return bytes(recordAddress(flightNumber), recordLength);
}

std::optional<RawFlight> MemoryImage::flight(int flightNumber) const
{
    if (flightNumber < 1 || flightNumber > maxFlights)
        return std::nullopt;
    return decodeRecord(recordBytes(flightNumber));
}

bool MemoryImage::setFlight(int flightNumber, const RawFlight &flight)
{
    const auto record = encodeRecord(flight);
    return record && setRecordBytes(flightNumber, *record);
}

bool MemoryImage::setRecordBytes(int flightNumber, const QByteArray &bytes)
{
    if (flightNumber < 1 || flightNumber > maxFlights || bytes.size() != recordLength)
        return false;
    m_bytes.replace(recordAddress(flightNumber), recordLength, bytes);
    return true;
}

void MemoryImage::eraseFlight(int flightNumber)
{
    setRecordBytes(flightNumber, QByteArray(recordLength, char(erased)));
}

QList<int> MemoryImage::usedFlightNumbers() const
{
    QList<int> used;
    for (int n = 1; n <= maxFlights; ++n) {
        if (!isErased(recordBytes(n)))
            used.append(n);
    }
    return used;
}

std::optional<MemoryImage> MemoryImage::parse(const QByteArray &text, QString *error)
{
    MemoryImage image;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty())
            continue;

        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) {
            setError(error, where + QStringLiteral("expected \"ADDRESS: VALUE ...\""));
            return std::nullopt;
        }
        bool ok = false;
        const int address = line.left(colon).trimmed().toInt(&ok);
        if (!ok || address < 0 || address >= size) {
            setError(error, where + QStringLiteral("address is not a number from 0 to %1").arg(size - 1));
            return std::nullopt;
        }
        const QList<QByteArray> values = line.mid(colon + 1).simplified().split(' ');
        if (values.size() == 1 && values.front().isEmpty()) {
            setError(error, where + QStringLiteral("no values"));
            return std::nullopt;
        }
        if (address + values.size() > size) {
            setError(error, where + QStringLiteral("values run past the end of memory"));
            return std::nullopt;
        }
        for (int k = 0; k < values.size(); ++k) {
            const int v = values[k].toInt(&ok);
            if (!ok || !inByteRange(v)) {
                setError(error,
                    where
                        + QStringLiteral("value \"%1\" is not a number from 0 to 255")
                              .arg(QString::fromLatin1(values[k])));
                return std::nullopt;
            }
            image.setByte(address + k, quint8(v));
        }
    }
    return image;
}

QByteArray MemoryImage::toText() const
{
    QByteArray out
        = "# Orvin memory image: \"ADDRESS: VALUE ...\" in decimal; unlisted bytes are erased (255)\n";
    out += QByteArray::number(flightCountAddress) + ": " + QByteArray::number(byte(flightCountAddress))
        + "  # flight count\n";
    QByteArray shownName;
    for (char c : pilotName())
        shownName += (quint8(c) >= 0x20 && quint8(c) < 0x7F) ? c : '.';
    out += QByteArray::number(pilotNameAddress) + ": " + numberList(pilotName()) + "  # pilot name \""
        + shownName + "\"\n";
    for (int n : usedFlightNumbers()) {
        out += QByteArray::number(recordAddress(n)) + ": " + numberList(recordBytes(n)) + "  "
            + recordComment(n, recordBytes(n)) + '\n';
    }

    // Whatever else was written, in runs of at most 16 bytes.
    const auto covered = [](int a) {
        return a == flightCountAddress || (a >= pilotNameAddress && a < pilotNameAddress + pilotNameLength)
            || (a >= recordAddress(1) && a < recordRegionEnd);
    };
    bool headed = false;
    for (int a = 0; a < size;) {
        if (covered(a) || byte(a) == erased) {
            ++a;
            continue;
        }
        int end = a;
        while (end < size && end - a < 16 && !covered(end) && byte(end) != erased)
            ++end;
        if (!headed) {
            out += "# other bytes\n";
            headed = true;
        }
        out += QByteArray::number(a) + ": " + numberList(bytes(a, end - a)) + '\n';
        a = end;
    }
    return out;
}

bool MemoryImage::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, path + QStringLiteral(": ") + file.errorString());
        return false;
    }
    QString parseError;
    const auto image = parse(file.readAll(), &parseError);
    if (!image) {
        setError(error, path + QStringLiteral(": ") + parseError);
        return false;
    }
    *this = *image;
    return true;
}

bool MemoryImage::save(const QString &path, QString *error) const
{
    // Unbuffered, so that a write the disk refuses fails here: a buffered
    // QSaveFile reports success from commit() even when flushing failed.
    QSaveFile file(path);
    const QByteArray text = toText();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(text) != text.size()
        || !file.commit()) {
        setError(error, path + QStringLiteral(": ") + file.errorString());
        return false;
    }
    return true;
}
