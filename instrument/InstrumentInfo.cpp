#include "instrument/InstrumentInfo.h"

#include "link/Protocol.h"

std::optional<InstrumentInfo> parseInstrumentInfo(const QString &answer)
{
    if (answer.size() < Protocol::kInfoMinimumLength)
        return std::nullopt;
    // The fields are counted on the answer without its spaces.
    QString packed = answer;
    packed.remove(QLatin1Char(' '));
    InstrumentInfo info;
    info.version = packed.mid(12, 5);
    info.serial = packed.mid(17, 5);
    return info;
}
