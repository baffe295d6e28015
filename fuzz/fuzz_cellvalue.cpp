// Workbook cells: whatever text a flight field holds, a cell that turns it
// into a value shows exactly that text again under its number format.

#include "export/CellValue.h"
#include "fuzz/FuzzCheck.h"

#include <QDate>

#include <charconv>
#include <cmath>

namespace {

// Day 0 of the workbook's 1900 date system, 1899-12-30.
constexpr qint64 kEpochJulianDay = 2415019;

// Whole minutes in a day fraction; -1 when it is no whole number of them.
qint64 wholeMinutes(double days)
{
    const double minutes = days * 24 * 60;
    const double rounded = std::round(minutes);
    return std::fabs(minutes - rounded) < 1e-6 && rounded >= 0 ? qint64(rounded) : -1;
}

// What a spreadsheet application shows for the cell, worked out here on
// its own rather than by the writer's code.
QString shown(const CellValue::Cell &cell, const QString &decimalPoint)
{
    const double v = cell.number;
    if (cell.numberFormat == CellValue::kDateFormat) {
        FUZZ_CHECK(v == std::floor(v));
        return QDate::fromJulianDay(qint64(v) + kEpochJulianDay).toString(QStringLiteral("yyyy-MM-dd"));
    }
    if (cell.numberFormat == CellValue::kTimeFormat || cell.numberFormat == CellValue::kDurationFormat) {
        const qint64 minutes = wholeMinutes(v);
        FUZZ_CHECK(minutes >= 0);
        if (cell.numberFormat == CellValue::kTimeFormat)
            FUZZ_CHECK(minutes < 24 * 60);
        return QStringLiteral("%1:%2")
            .arg(minutes / 60, 2, 10, QLatin1Char('0'))
            .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    }
    FUZZ_CHECK(cell.numberFormat.isEmpty());
    // General: the shortest decimal form that reads back as the value.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
    FUZZ_CHECK(result.ec == std::errc());
    return QString::fromLatin1(buffer, result.ptr - buffer).replace(QLatin1Char('.'), decimalPoint);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The separators of the locales a pilot may run the program in.
    static const QString separators[]
        = { QStringLiteral("."), QStringLiteral(","), QStringLiteral("\u066b") };
    const QString &decimalPoint = separators[data[0] % 3];
    const auto kind = CellValue::Kind(data[1] % (int(CellValue::Kind::Number) + 1));

    for (const QString &text : { Fuzz::latin1(data + 2, size - 2), Fuzz::utf16(data + 2, size - 2) }) {
        const CellValue::Cell cell = CellValue::fromText(kind, text, decimalPoint);
        if (!cell.isNumber) {
            FUZZ_CHECK(cell.text == text);
            continue;
        }
        FUZZ_CHECK(std::isfinite(cell.number));
        FUZZ_CHECK(kind != CellValue::Kind::Text);
        const QString expectedFormat = kind == CellValue::Kind::Date ? CellValue::kDateFormat
            : kind == CellValue::Kind::TimeOfDay                     ? CellValue::kTimeFormat
            : kind == CellValue::Kind::Duration                      ? CellValue::kDurationFormat
                                                                     : QString();
        FUZZ_CHECK(cell.numberFormat == expectedFormat);
        FUZZ_CHECK(shown(cell, decimalPoint) == text);
    }
    return 0;
}
