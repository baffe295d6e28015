#pragma once

#include <QLocale>
#include <QString>
#include <optional>

// Checks the "from" and "until" boxes of an export before anything is sent.
struct ExportRange
{
    enum class Verdict {
        Ok,
        NotNumeric, // "Flightnumber is not numeric"
        OutOfRange, // "Flightnumbers have to be between 1 and 100"
        Reversed, // "The from number must be smaller then the until flight"
    };

    Verdict verdict = Verdict::NotNumeric;
    qint16 from = 0;
    qint16 until = 0;

    // Both texts are rounded halves-to-even and compared by value; bounds
    // too large for a 16-bit integer fall to the ordinary range checks.
    static ExportRange check(
        const QString &fromText, const QString &untilText, const QLocale &locale = QLocale::system());
    // The status line for a refused range (empty for Ok).
    static QString message(Verdict verdict);
};

// The flight number typed for "Show flight log": a number that rounds
// (halves to even) to 1..100, else nullopt ("Invalid flight number").
std::optional<qint16> checkFlightNumber(const QString &text, const QLocale &locale = QLocale::system());
