#include "export/Workbook.h"

#include "export/CellValue.h"
#include "export/FlightFields.h"
#include "export/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <array>
#include <functional>
#include <limits>

namespace {

constexpr int kColumns = int(FlightFields::kAll.size()); // A to L
constexpr lxw_row_t kHeaderRow = 3; // sheet row 4 (rows count from 0 here)
constexpr lxw_row_t kFirstDataRow = 5; // sheet row 6
// The pilot's own columns of the logbook's sheet grow with their texts up
// to this width; a longer text wraps.
constexpr int kWidestExtraPixels = 420;
constexpr int kWidestExtraChars = 80;

// Pixel widths of the characters of Calibri 11, the default font of a new
// workbook, as measured in Excel and tabulated by the XlsxWriter library
// (xlsxwriter/utility.py, CHAR_WIDTHS used by xl_pixel_width() and
// cell_autofit_width(); its tests in test/utility/test_xl_pixel_width.py
// list the same values). Characters missing from the table count 8.
const QHash<char16_t, int> &calibriWidths()
{
    static const QHash<char16_t, int> widths = [] {
        QHash<char16_t, int> w;
        const auto put = [&w](const char *chars, int px) {
            for (const char *c = chars; *c; ++c)
                w.insert(char16_t(*c), px);
        };
        put(" '", 3);
        put(",.:;`Iijl", 4);
        put("!()-Jfrt[]{}", 5);
        put("\"/\\csz", 6);
        put("#$*+0123456789<=>?EFSTYZ^_agkvxy|~", 7);
        put("BCKPRXbdehnopqu", 8);
        put("ADGHUV", 9);
        put("&NOQ", 10);
        put("%w", 11);
        put("Mm", 12);
        put("@W", 13);
        put("L", 6);
        return w;
    }();
    return widths;
}

constexpr int kUnknownCharWidth = 8;
// The spreadsheet application adds this much room around a fitted text.
constexpr int kFitPadding = 7;

// Builds the sheet; every library call is checked, so a refused call ends
// the whole write.
class SheetBuilder
{
public:
    SheetBuilder(lxw_workbook *wb, lxw_worksheet *ws, const QString &decimalPoint)
        : m_wb(wb)
        , m_ws(ws)
        , m_decimalPoint(decimalPoint)
    {
    }

    bool build(const ExportData &data);
    bool buildWithExtraColumns(const Workbook::ExtraColumnsSheet &sheet);

private:
    bool buildHead(const QString &pilotName);
    lxw_format *headerFormat(int column, bool nameRow);
    lxw_format *dataFormat(const QString &numberFormat = QString());
    bool writeText(lxw_row_t row, lxw_col_t col, const QString &text, lxw_format *format);
    bool writeFlight(lxw_row_t row, const FlightSummary &f);
    bool setUpPage();
    bool ok(lxw_error err)
    {
        if (err != LXW_NO_ERROR)
            m_failed = true;
        return !m_failed;
    }

    lxw_workbook *m_wb;
    lxw_worksheet *m_ws;
    const QString m_decimalPoint;
    bool m_failed = false;
    // The logbook's sheet leaves out the flight number (field 0), which is
    // only the memory slot a flight was read from, and takes its column
    // heads from the logbook's column of the field table.
    int m_firstField = 0;
    bool m_logbookHeads = false;
    // The last column of the framed header block.
    int m_lastColumn = kColumns - 1;
    // Data cell formats by number format, the General one under "".
    QHash<QString, lxw_format *> m_dataFormats;
};

bool SheetBuilder::writeText(lxw_row_t row, lxw_col_t col, const QString &text, lxw_format *format)
{
    // Written as a text cell whatever it looks like: the flight values keep
    // their exact form ("2005-07-14", "-20", "*"). An empty text becomes a
    // blank cell that still carries its format.
    //
    // The file stores characters that XML cannot hold as "_xHHHH_", which
    // the library does for control characters. A text that itself reads
    // like such an escape is protected the same way ("_x005F_" is the
    // underscore), and a NUL, which would end the C string early and cut
    // the text off, is escaped here.
    static const QRegularExpression escapeLike(QStringLiteral("_(x[0-9A-Fa-f]{4}_)"));
    QString escaped = text;
    escaped.replace(escapeLike, QStringLiteral("_x005F_\\1"));
    escaped.replace(QChar(0), QStringLiteral("_x0000_"));
    const QByteArray utf8 = escaped.toUtf8();
    return ok(worksheet_write_string(m_ws, row, col, utf8.constData(), format));
}

lxw_format *SheetBuilder::headerFormat(int column, bool nameRow)
{
    lxw_format *f = workbook_add_format(m_wb);
    if (!f) {
        m_failed = true;
        return nullptr;
    }
    if (nameRow) {
        format_set_bold(f);
        format_set_top(f, LXW_BORDER_MEDIUM);
    } else {
        format_set_italic(f);
        format_set_bottom(f, LXW_BORDER_MEDIUM);
    }
    // A medium frame around the block, thin lines between its columns, no
    // line between its two rows; colours stay automatic.
    format_set_left(f, column == 0 ? LXW_BORDER_MEDIUM : LXW_BORDER_THIN);
    format_set_right(f, column == m_lastColumn ? LXW_BORDER_MEDIUM : LXW_BORDER_THIN);
    return f;
}

lxw_format *SheetBuilder::dataFormat(const QString &numberFormat)
{
    if (lxw_format *known = m_dataFormats.value(numberFormat))
        return known;
    lxw_format *f = workbook_add_format(m_wb);
    if (!f) {
        m_failed = true;
        return nullptr;
    }
    format_set_border(f, LXW_BORDER_THIN);
    // The library reads colour 0 as "not set": black has its own constant.
    format_set_border_color(f, LXW_COLOR_BLACK);
    if (!numberFormat.isEmpty())
        format_set_num_format(f, numberFormat.toLatin1().constData());
    m_dataFormats.insert(numberFormat, f);
    return f;
}

bool SheetBuilder::writeFlight(lxw_row_t row, const FlightSummary &f)
{
    for (int i = m_firstField; i < kColumns; ++i) {
        const FlightField &field = FlightFields::kAll[i];
        const int col = i - m_firstField;
        if (!field.text) {
            // The flight number, a number whatever its kind says.
            lxw_format *plain = dataFormat();
            if (!plain
                || !ok(worksheet_write_number(m_ws, row, lxw_col_t(col), double(f.flightNumber), plain)))
                return false;
            continue;
        }
        const CellValue::Cell cell = CellValue::fromText(field.cell, f.*field.text, m_decimalPoint);
        lxw_format *format = dataFormat(cell.numberFormat);
        if (!format)
            return false;
        if (cell.isNumber ? !ok(worksheet_write_number(m_ws, row, lxw_col_t(col), cell.number, format))
                          : !writeText(row, lxw_col_t(col), cell.text, format))
            return false;
    }
    return true;
}

bool SheetBuilder::setUpPage()
{
    // A logbook prints across the page: all twelve columns on one page
    // wide, as many pages tall as the flights need, with the two header
    // rows on top of each.
    worksheet_set_landscape(m_ws);
    worksheet_fit_to_pages(m_ws, 1, 0);
    return ok(worksheet_repeat_rows(m_ws, kHeaderRow, kHeaderRow + 1));
}

bool SheetBuilder::buildHead(const QString &pilotName)
{
    lxw_format *bold = workbook_add_format(m_wb);
    if (!bold)
        return false;
    format_set_bold(bold);

    if (!writeText(0, 0, Workbook::kTitle, bold))
        return false;
    if (!writeText(1, 0, QStringLiteral("Pilot: ") + pilotName, nullptr))
        return false;

    for (int i = m_firstField; i < kColumns; ++i) {
        const FlightField &h = FlightFields::kAll[i];
        const int col = i - m_firstField;
        lxw_format *nameFormat = headerFormat(col, true);
        lxw_format *unitFormat = headerFormat(col, false);
        if (m_failed)
            return false;
        const char *name = m_logbookHeads ? h.logbookHead : h.sheetName;
        if (!writeText(kHeaderRow, lxw_col_t(col), QString::fromLatin1(name), nameFormat)
            || !writeText(kHeaderRow + 1, lxw_col_t(col), QString::fromLatin1(h.sheetUnit), unitFormat))
            return false;
        if (h.sheetFitted) {
            const int px = Workbook::fittedColumnPixels(
                { QString::fromLatin1(name), QString::fromLatin1(h.sheetUnit) });
            if (!ok(worksheet_set_column_pixels(m_ws, lxw_col_t(col), lxw_col_t(col), uint32_t(px), nullptr)))
                return false;
        }
    }

    return setUpPage();
}

bool SheetBuilder::build(const ExportData &data)
{
    if (!buildHead(data.pilotName))
        return false;

    // Column B is fitted to its dates, so that none is cut or shown as "###".
    // All digits are equally wide, so this is as wide as any date.
    constexpr lxw_col_t kDateColumn = 1;
    const FlightField &date = FlightFields::kAll[kDateColumn];
    QStringList dateTexts { QString::fromLatin1(date.sheetName), QStringLiteral("0000-00-00") };
    const auto fitDates = [&] {
        const int px = Workbook::fittedColumnPixels(dateTexts);
        return ok(worksheet_set_column_pixels(m_ws, kDateColumn, kDateColumn, uint32_t(px), nullptr));
    };

    if (data.firstFlight > data.lastFlight)
        return fitDates();
    if (!data.table)
        return false;

    lxw_row_t row = kFirstDataRow;
    for (int n = data.firstFlight; n <= data.lastFlight; ++n) {
        if (n < 0 || n >= FlightTable::kSize)
            return false;
        const FlightSummary &f = data.table->entry(n);
        if (f.date.isEmpty())
            break;
        if (!writeFlight(row, f))
            return false;
        dateTexts.append(f.*date.text);
        ++row;
    }
    return fitDates();
}

bool SheetBuilder::buildWithExtraColumns(const Workbook::ExtraColumnsSheet &sheet)
{
    m_firstField = 1;
    m_logbookHeads = true;
    const int flightColumns = kColumns - m_firstField;
    m_lastColumn = flightColumns - 1 + int(sheet.extraNames.size());
    if (!buildHead(sheet.pilotName))
        return false;
    // The pilot's columns as wide as their texts, up to a limit past which
    // a text wraps in its cell.
    lxw_format *wrapped = workbook_add_format(m_wb);
    if (!wrapped)
        return false;
    format_set_border(wrapped, LXW_BORDER_THIN);
    format_set_border_color(wrapped, LXW_COLOR_BLACK);
    format_set_text_wrap(wrapped);
    format_set_align(wrapped, LXW_ALIGN_VERTICAL_TOP);
    QList<QStringList> extraColumnTexts;
    for (int i = 0; i < int(sheet.extraNames.size()); ++i) {
        const lxw_col_t col = lxw_col_t(flightColumns + i);
        lxw_format *nameFormat = headerFormat(int(col), true);
        lxw_format *unitFormat = headerFormat(int(col), false);
        if (m_failed || !writeText(kHeaderRow, col, sheet.extraNames.at(i), nameFormat)
            || !writeText(kHeaderRow + 1, col, QString(), unitFormat))
            return false;
        extraColumnTexts.append({ sheet.extraNames.at(i) });
    }
    // All digits are equally wide, so one date stands for every date.
    const QStringList dateTexts { QString::fromLatin1(FlightFields::kAll[1].logbookHead),
        QStringLiteral("0000-00-00") };
    lxw_row_t row = kFirstDataRow;
    for (int i = 0; i < int(sheet.flights.size()); ++i, ++row) {
        if (!writeFlight(row, sheet.flights.at(i)))
            return false;
        const QStringList extra = sheet.extraTexts.value(i);
        for (int c = 0; c < int(sheet.extraNames.size()); ++c) {
            const QString text = extra.value(c);
            if (!writeText(row, lxw_col_t(flightColumns + c), text, wrapped))
                return false;
            // A line of a long text is measured up to the limit only.
            for (const QString &line : text.split(QLatin1Char('\n')))
                extraColumnTexts[c].append(line.left(kWidestExtraChars));
        }
    }
    for (int c = 0; c < int(sheet.extraNames.size()); ++c) {
        const int px = qMin(kWidestExtraPixels, Workbook::fittedColumnPixels(extraColumnTexts.at(c)));
        if (!ok(worksheet_set_column_pixels(
                m_ws, lxw_col_t(flightColumns + c), lxw_col_t(flightColumns + c), uint32_t(px), nullptr)))
            return false;
    }
    return ok(
        worksheet_set_column_pixels(m_ws, 0, 0, uint32_t(Workbook::fittedColumnPixels(dateTexts)), nullptr));
}

bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink(); // a dangling link still holds the name
}

// path if free, else the first free one of "NAME (n).EXT" after it:
// "Flight log.xlsx" counts as number 1, so "Flight log (2).xlsx" follows.
QString freePathFrom(const QString &path)
{
    static const QRegularExpression numbered(QStringLiteral("^(.*) \\(([0-9]+)\\)$"));
    const QFileInfo info(path);
    QString stem = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    int n = 1;
    if (const auto m = numbered.match(stem); m.hasMatch()) {
        stem = m.captured(1);
        n = m.captured(2).toInt();
    }
    const QDir dir = info.dir();
    QString candidate = path;
    while (taken(candidate))
        candidate = dir.filePath(QStringLiteral("%1 (%2)%3").arg(stem).arg(++n).arg(suffix));
    return candidate;
}

} // namespace

namespace Workbook {

int fittedColumnPixels(const QStringList &texts)
{
    int widest = 0;
    for (const QString &text : texts) {
        if (text.isEmpty())
            continue; // an empty cell asks for no room, not even the padding
        int px = 0;
        for (const QChar c : text)
            px += calibriWidths().value(c.unicode(), kUnknownCharWidth);
        widest = qMax(widest, px + kFitPadding);
    }
    return widest;
}

QString nextFreePath(const QString &folder)
{
    return freePathFrom(QDir(folder).filePath(QStringLiteral("Flight log.xlsx")));
}

namespace {

bool writeSheet(const QString &path, QString *placedAt, SafeFile::Placing first, const QString &decimalPoint,
    const std::function<bool(SheetBuilder &)> &fill)
{
    if (placedAt)
        placedAt->clear();
    // The library opens its file by name, so it writes into a folder of the
    // program's own (0700) where nobody else can put anything at that name.
    // Every byte of the workbook then goes into a file the program creates
    // itself in the pilot's folder, which takes its name only once complete
    // and never replaces anything: a name taken by the time it is finished
    // (by another export, or by a link someone planted) is left alone and
    // the next free one is used.
    const QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/tolmera-reader-XXXXXX"));
    if (!scratch.isValid())
        return false;
    const QString built = scratch.filePath(QStringLiteral("workbook.xlsx"));

    lxw_workbook *wb = workbook_new(QFile::encodeName(built).constData());
    if (!wb)
        return false;
    const QByteArray sheetName = Workbook::kSheetName.toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(wb, sheetName.constData());
    SheetBuilder builder(wb, ws, decimalPoint);
    const bool filled = ws && fill(builder);
    // Closing writes the file: its result counts as much as the cells'.
    const bool closed = workbook_close(wb) == LXW_NO_ERROR;
    QFile file(built);
    if (!filled || !closed || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        return false;

    const QString placed = SafeFile::writeNew(path, bytes, freePathFrom, first);
    if (placedAt)
        *placedAt = placed;
    return !placed.isEmpty();
}

} // namespace

bool write(const QString &path, const ExportData &data, QString *placedAt, SafeFile::Placing first)
{
    return writeSheet(path, placedAt, first, QLocale::system().decimalPoint(),
        [&data](SheetBuilder &builder) { return builder.build(data); });
}

bool writeWithExtraColumns(const QString &path, const ExtraColumnsSheet &sheet, QString *placedAt)
{
    return writeSheet(path, placedAt, SafeFile::Placing::Rename, sheet.decimalPoint,
        [&sheet](SheetBuilder &builder) { return builder.buildWithExtraColumns(sheet); });
}

} // namespace Workbook
