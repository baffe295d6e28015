// The value slicing of a run of memory reads, and the framing of the read and
// write commands. The first byte is the run's number of reads (signed, so
// zero and negative counts come up too); the rest is the receive buffer.

#include "fuzz/FuzzCheck.h"
#include "link/Protocol.h"

#include <QStringList>

namespace {

void checkRun(const QString &buffer, int count)
{
    const auto values = Protocol::readRunValues(buffer, count);
    const bool rightLength = count >= 1 && buffer.size() == qsizetype(count) * Protocol::kReadAnswerLength;
    if (!values) {
        if (!rightLength)
            return;
        // Refused at the right length: some value field must be bad.
        bool anyBad = false;
        for (int i = 0; i < count; ++i) {
            const QString field = buffer.mid(i * 10 + 7, 3);
            anyBad = anyBad || !Fuzz::isAsciiDigits(field) || field.toInt() > 255;
        }
        FUZZ_CHECK(anyBad);
        return;
    }
    FUZZ_CHECK(rightLength);
    FUZZ_CHECK(values->size() == count);
    for (int i = 0; i < count; ++i) {
        const QString field = buffer.mid(i * 10 + 7, 3);
        FUZZ_CHECK(Fuzz::isAsciiDigits(field));
        FUZZ_CHECK(field.toInt() == values->at(i));
        FUZZ_CHECK(values->at(i) >= 0 && values->at(i) <= 255);
    }

    // The same values answered by a well-behaved instrument read back unchanged.
    QString rebuilt;
    for (int i = 0; i < count; ++i)
        rebuilt += Protocol::readCommand(410 + i)
            + QStringLiteral("%1").arg(values->at(i), 3, 10, QLatin1Char('0'));
    FUZZ_CHECK(Protocol::readRunValues(rebuilt, count) == values);
}

void checkExplode(const QString &source, const QString &fill)
{
    const QString exploded = Protocol::explode(source, fill);
    const qsizetype n = source.size();
    FUZZ_CHECK(exploded.size() == (n == 0 ? 0 : n + (n - 1) * fill.size()));
    // Every character in its place, the fill between each two.
    const qsizetype step = 1 + fill.size();
    for (qsizetype i = 0; i < n; ++i) {
        FUZZ_CHECK(exploded.at(i * step) == source.at(i));
        if (i + 1 < n)
            FUZZ_CHECK(QStringView(exploded).sliced(i * step + 1, fill.size()) == fill);
    }
}

void checkCommands(int address, int value)
{
    const QString read = Protocol::readCommand(address);
    FUZZ_CHECK(read.size() == Protocol::kReadCommandLength);
    FUZZ_CHECK(read.at(0) == QLatin1Char('R'));
    FUZZ_CHECK(Fuzz::isAsciiDigits(QStringView(read).sliced(1)));
    FUZZ_CHECK(read.mid(1).toInt() == address);

    // What the send helper puts on the line: the seven characters, one at a time.
    const QStringList characters = Protocol::explode(read, QStringLiteral(",")).split(QLatin1Char(','));
    FUZZ_CHECK(characters.size() == Protocol::kReadCommandLength);
    FUZZ_CHECK(characters.join(QString()) == read);

    const QString write = Protocol::writeCommand(address, value);
    FUZZ_CHECK(write.size() == Protocol::kWriteCommandLength);
    FUZZ_CHECK(write.startsWith(QLatin1Char('W')) && write.mid(1, 6) == read.mid(1));
    FUZZ_CHECK(write.mid(7).toInt() == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int count = int(int8_t(data[0]));
    const QString buffer = Fuzz::latin1(data + 1, size - 1);
    checkRun(buffer, count);
    // The same buffer judged as a run of however many reads its length implies.
    checkRun(buffer, int(buffer.size() / Protocol::kReadAnswerLength));

    checkExplode(buffer, QStringLiteral(","));
    if (size >= 3)
        checkExplode(buffer.mid(2), buffer.left(2 - (data[0] & 1)));

    if (size >= 5) {
        const int address = int((data[1] << 16 | data[2] << 8 | data[3]) % 1000000);
        checkCommands(address, data[4]);
    }
    return 0;
}
