#pragma once

#include <QString>
#include <optional>

// The answer to "V": at least 10 characters; with every space removed, the
// version is characters 13..17 and the serial number 18..22 (counted from 1).
struct InstrumentInfo
{
    QString version;
    QString serial;
};

// nullopt when the answer is shorter than 10 characters.
std::optional<InstrumentInfo> parseInstrumentInfo(const QString &answer);
