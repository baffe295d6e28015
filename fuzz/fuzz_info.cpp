// The answer to "V": any bytes the instrument might send.

#include "fuzz/FuzzCheck.h"
#include "instrument/InstrumentInfo.h"
#include "link/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = Fuzz::latin1(data, size);
    const auto info = parseInstrumentInfo(answer);
    FUZZ_CHECK(info.has_value() == (answer.size() >= Protocol::kInfoMinimumLength));
    if (!info)
        return 0;

    // The fields are cut from the answer without its spaces, at 13..17 and
    // 18..22, and shown as they are.
    QString packed = answer;
    packed.remove(QLatin1Char(' '));
    FUZZ_CHECK(!info->version.contains(QLatin1Char(' ')) && !info->serial.contains(QLatin1Char(' ')));
    FUZZ_CHECK(info->version.size() <= 5 && info->serial.size() <= 5);
    FUZZ_CHECK(info->version.size() == qBound(qsizetype(0), packed.size() - 12, qsizetype(5)));
    FUZZ_CHECK(info->serial.size() == qBound(qsizetype(0), packed.size() - 17, qsizetype(5)));
    FUZZ_CHECK(info->serial.isEmpty() || info->version.size() == 5);
    FUZZ_CHECK(QStringView(packed)
                   .sliced(qMin(packed.size(), qsizetype(12)))
                   .startsWith(info->version + info->serial));
    return 0;
}
