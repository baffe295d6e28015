// The "Flight log" workbook as a spreadsheet reader sees it: cells, value
// types, fonts, borders and column widths, read back with openpyxl.

#include "WorkbookReader.h"
#include "export/TextReport.h"
#include "export/Workbook.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Flight n with the fields in order, date first.
FlightSummary flight(int n, const QStringList &f)
{
    return { qint16(n), f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10] };
}

const QStringList kFlight3 { "2005-07-14", "09:05", "01:30", "-20", "1200", "1220", "3400", "4.5", "-3.2",
    "0", "87" };
const QStringList kFlight5 { "2005-07-15", "13:00", "100:07", "450", "2810", "2360", "12040", "0.1", "-12",
    "21", "110" };
const QStringList kFailed(11, QStringLiteral("*"));

QString cellName(int row, int col)
{
    return QString(QChar(u'A' + col)) + QString::number(row);
}

QJsonArray edge(const char *style, const char *colour)
{
    return style ? QJsonArray { style, colour } : QJsonArray { QJsonValue(), QJsonValue() };
}

} // namespace

class TstWorkbook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void characterWidths();
    void fittedColumnPixels_data();
    void fittedColumnPixels();

    void sheetLayout();
    void pilotLineStaysText_data();
    void pilotLineStaysText();
    void headerCells_data();
    void headerCells();
    void columnWidths_data();
    void columnWidths();
    void dataRows_data();
    void dataRows();
    void rangeVariants_data();
    void rangeVariants();

private:
    QJsonObject writeAndRead(const ExportData &data, bool *ok);
    QJsonObject cell(const QString &name) const { return m_main["cells"].toObject()[name].toObject(); }

    QTemporaryDir m_dir;
    FlightTable m_table;
    QJsonObject m_main;
    int m_files = 0;
};

QJsonObject TstWorkbook::writeAndRead(const ExportData &data, bool *ok)
{
    *ok = false;
    const QString path = m_dir.filePath(QStringLiteral("book%1.xlsx").arg(++m_files));
    if (!Workbook::write(path, data))
        return {};
    QString error;
    QJsonObject dump = WorkbookReader::read(QStringLiteral(TOLMERA_WORKBOOK_READER), path, &error);
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    *ok = error.isEmpty();
    return dump;
}

void TstWorkbook::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Flights 3 to 9 are asked for: 3 read, 4 failed, 5 read, 6 has no date,
    // 7 holds data that must not appear after the gap.
    m_table.store(flight(3, kFlight3));
    m_table.markFailed(4);
    m_table.store(flight(5, kFlight5));
    m_table.store(flight(6, QStringList { "" } + kFlight5.mid(1)));
    m_table.store(flight(7, kFlight3));

    const QString path = m_dir.filePath(QStringLiteral("main.xlsx"));
    QVERIFY(Workbook::write(path, { QStringLiteral("AB CD  "), 3, 9, &m_table }));
    READ_WORKBOOK(dump, path);
    m_main = dump;
}

void TstWorkbook::characterWidths()
{
    // Calibri 11 character widths as XlsxWriter's own tests list them, for
    // every printable ASCII character from space to tilde.
    const int expected[] = { 3, 5, 6, 7, 7, 11, 10, 3, 5, 5, 7, 7, 4, 5, 4, 6, // ' ' .. '/'
        7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 4, 4, 7, 7, 7, 7, // '0' .. '?'
        13, 9, 8, 8, 9, 7, 7, 9, 9, 4, 5, 8, 6, 12, 10, 10, // '@' .. 'O'
        8, 10, 8, 7, 7, 9, 9, 13, 8, 7, 7, 5, 6, 5, 7, 7, // 'P' .. '_'
        4, 7, 8, 6, 8, 8, 5, 7, 8, 4, 4, 7, 4, 12, 8, 8, // '`' .. 'o'
        8, 8, 5, 6, 5, 8, 7, 11, 7, 7, 6, 5, 7, 5, 7 }; // 'p' .. '~'
    for (int i = 0; i < int(std::size(expected)); ++i) {
        const QString ch(QChar(char16_t(' ' + i)));
        QVERIFY2(Workbook::fittedColumnPixels({ ch }) == expected[i] + 7,
            qPrintable(QStringLiteral("'%1'").arg(ch)));
    }
}

void TstWorkbook::fittedColumnPixels_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("pixels");
    QTest::newRow("word") << QStringList { "Hello" } << 33 + 7;
    QTest::newRow("digits") << QStringList { "12345" } << 35 + 7;
    QTest::newRow("unknown characters count 8") << QStringList { QStringLiteral("\u00e9\u00e9") } << 16 + 7;
    QTest::newRow("widest text wins") << QStringList { "hh:mm", "Start time" } << 61 + 7;
    QTest::newRow("widest text wins, either order") << QStringList { "Sink max", "m/s" } << 55 + 7;
    QTest::newRow("empty text needs no room") << QStringList { "" } << 0;
    QTest::newRow("no texts") << QStringList {} << 0;
}

void TstWorkbook::fittedColumnPixels()
{
    QFETCH(QStringList, texts);
    QFETCH(int, pixels);
    QCOMPARE(Workbook::fittedColumnPixels(texts), pixels);
}

void TstWorkbook::sheetLayout()
{
    // Title and pilot line, the header from row 4, rows up to the flight
    // before the first one without a date (flight 6; flight 7 is left out),
    // landscape, one page wide with the header rows on every page.
    QCOMPARE(m_main["sheets"].toArray(), QJsonArray { "Flight log" });
    QCOMPARE(cell("A1")["value"].toString(), QStringLiteral("Tolmera Orvin KX200 Flight log"));
    QVERIFY(cell("A1")["bold"].toBool());
    QCOMPARE(cell("A2")["value"].toString(), QStringLiteral("Pilot: AB CD  "));
    QCOMPARE(cell("A2")["type"].toString(), QStringLiteral("s"));
    QVERIFY(!cell("A2")["bold"].toBool());
    QCOMPARE(m_main["max_row"].toInt(), 8);
    const QStringList names = m_main["cells"].toObject().keys();
    for (const QString &name : names) {
        const int row = name.mid(1).toInt();
        QVERIFY2((row >= 4 && row <= 8) || name == "A1" || name == "A2", qPrintable(name));
    }
    const QJsonObject page = m_main["page"].toObject();
    QCOMPARE(page["orientation"].toString(), QStringLiteral("landscape"));
    QVERIFY(page["fit_to_page"].toBool());
    QCOMPARE(page["pages_wide"].toInt(-1), 1);
    QCOMPARE(page["pages_tall"].toInt(-1), 0);
    QCOMPARE(page["repeated_rows"].toString(), QStringLiteral("$4:$5"));
}

void TstWorkbook::pilotLineStaysText_data()
{
    QTest::addColumn<QString>("pilot");
    QTest::newRow("padded name") << QStringLiteral("MAX     ");
    QTest::newRow("empty name keeps the space") << QString();
    QTest::newRow("looks like a number") << QStringLiteral("00042   ");
    QTest::newRow("looks like a formula") << QStringLiteral("=1+1    ");
    QTest::newRow("leading spaces") << QStringLiteral("   JAN  ");
    QTest::newRow("code page characters") << QStringLiteral("M\u00dcLLER \u20ac ");
    QTest::newRow("control character") << QStringLiteral("AB\u0001CD   ");
    QTest::newRow("NUL does not cut the name") << QStringLiteral("AB").append(QChar(0)).append("CD   ");
    QTest::newRow("text that reads like an escape") << QStringLiteral("_x0041_ ");
}

void TstWorkbook::pilotLineStaysText()
{
    QFETCH(QString, pilot);
    FlightTable empty;
    bool ok = false;
    const QJsonObject dump = writeAndRead({ pilot, 1, 0, &empty }, &ok);
    QVERIFY(ok);
    const QJsonObject a2 = dump["cells"].toObject()["A2"].toObject();
    QCOMPARE(a2["type"].toString(), QStringLiteral("s"));
    QCOMPARE(a2["value"].toString(), QStringLiteral("Pilot: ") + pilot);
}

void TstWorkbook::headerCells_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    const char *texts[12][2] = { { "Flight", "number" }, { "Date", "" }, { "Start time", "hh:mm" },
        { "Duration", "hh:mm" }, { "QNE min", "meter" }, { "QNE max", "meter" },
        { "Height Diff max", "meter" }, { "Total gain", "meter" }, { "Lift max", "m/s" },
        { "Sink max", "m/s" }, { "Speed min", "km/h" }, { "speed max", "km/h" } };
    for (int col = 0; col < 12; ++col)
        QTest::addRow("%c", 'A' + col) << col << texts[col][0] << texts[col][1];
}

void TstWorkbook::headerCells()
{
    QFETCH(int, column);
    QFETCH(QString, name);
    QFETCH(QString, unit);

    const QJsonObject top = cell(cellName(4, column));
    const QJsonObject bottom = cell(cellName(5, column));
    QCOMPARE(top["value"].toString(), name);
    QCOMPARE(top["type"].toString(), QStringLiteral("s"));
    if (unit.isEmpty()) {
        // B5: a blank cell that still carries the block's format.
        QVERIFY(!bottom.isEmpty());
        QVERIFY(bottom["value"].isNull());
    } else {
        QCOMPARE(bottom["value"].toString(), unit);
        QCOMPARE(bottom["type"].toString(), QStringLiteral("s"));
    }
    QVERIFY(top["bold"].toBool());
    QVERIFY(!top["italic"].toBool());
    QVERIFY(bottom["italic"].toBool());
    QVERIFY(!bottom["bold"].toBool());

    // Medium frame, thin lines between the columns, none between the rows.
    const QJsonArray left = column == 0 ? edge("medium", "auto") : edge("thin", "auto");
    const QJsonArray right = column == 11 ? edge("medium", "auto") : edge("thin", "auto");
    for (const QJsonObject &c : { top, bottom }) {
        QCOMPARE(c["left"].toArray(), left);
        QCOMPARE(c["right"].toArray(), right);
        QCOMPARE(c["diagonal"].toArray(), (QJsonArray { QJsonValue(), QJsonValue(), false, false }));
    }
    QCOMPARE(top["top"].toArray(), edge("medium", "auto"));
    QCOMPARE(top["bottom"].toArray(), edge(nullptr, nullptr));
    QCOMPARE(bottom["top"].toArray(), edge(nullptr, nullptr));
    QCOMPARE(bottom["bottom"].toArray(), edge("medium", "auto"));
}

void TstWorkbook::columnWidths_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("pixels"); // 0: the sheet's default width
    // Fitted widths summed by hand from the Calibri 11 character widths,
    // the wider of the two header texts plus 7.
    QTest::newRow("C Start time") << "C" << 68;
    QTest::newRow("G Height Diff max") << "G" << 103;
    QTest::newRow("H Total gain") << "H" << 67;
    QTest::newRow("J Sink max") << "J" << 62;
    QTest::newRow("K Speed min") << "K" << 73;
    QTest::newRow("L speed max") << "L" << 74;
    // B fits its dates: eight digits and two hyphens.
    QTest::newRow("B Date") << "B" << 73;
    for (const char *c : { "A", "D", "E", "F", "I" })
        QTest::addRow("%s default", c) << c << 0;
}

void TstWorkbook::columnWidths()
{
    QFETCH(QString, column);
    QFETCH(int, pixels);
    const QJsonValue width = m_main["columns"].toObject()[column];
    if (pixels == 0) {
        QVERIFY2(width.isNull(), qPrintable(QString::number(width.toDouble())));
    } else {
        // Widths are stored in characters of 7 pixels, in steps of 1/256.
        QVERIFY(width.isDouble());
        QCOMPARE(qRound(width.toDouble() * 7), pixels);
    }
}

void TstWorkbook::dataRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("texts");
    // Per column B to L: d a date or time, n a number, s text.
    QTest::addColumn<QString>("types");
    QTest::newRow("first flight in row 6") << 6 << 3 << kFlight3 << "dddnnnnnnnn";
    QTest::newRow("failed flight") << 7 << 4 << kFailed << "sssssssssss";
    QTest::newRow("third flight") << 8 << 5 << kFlight5 << "dddnnnnnnnn";
}

void TstWorkbook::dataRows()
{
    QFETCH(int, row);
    QFETCH(int, number);
    QFETCH(QStringList, texts);
    QFETCH(QString, types);

    const QJsonObject a = cell(cellName(row, 0));
    QCOMPARE(a["type"].toString(), QStringLiteral("n"));
    QCOMPARE(a["value"].toDouble(), double(number));

    // The same flight's fields in the text report of the same flights: the
    // sheet never shows a value differently.
    const auto report = TextReport::build({ QStringLiteral("AB CD  "), 3, 9, &m_table });
    QVERIFY(report);
    QStringList reportFields;
    for (const QByteArray &line : report->split('\n')) {
        if (line.startsWith("\" " + QByteArray::number(number) + '\t'))
            reportFields
                = QString::fromLatin1(line.trimmed().chopped(1).mid(1)).split(u'\t', Qt::SkipEmptyParts);
    }
    QCOMPARE(reportFields.size(), 12);

    const QStringList dateFormats { "yyyy-mm-dd", "hh:mm", "[hh]:mm" };
    for (int col = 1; col < 12; ++col) {
        const QJsonObject c = cell(cellName(row, col));
        const QString name = cellName(row, col);
        const char type = types.at(col - 1).toLatin1();
        QVERIFY2(c["type"].toString() == QString(QChar(type)), qPrintable(name));
        QCOMPARE(c["shown"].toString(), texts.at(col - 1));
        QCOMPARE(c["shown"].toString(), reportFields.at(col));
        if (type == 's')
            QCOMPARE(c["value"].toString(), texts.at(col - 1));
        else
            QVERIFY2(c["value"].isDouble(), qPrintable(name));
        QCOMPARE(c["format"].toString(), type == 'd' ? dateFormats.at(col - 1) : QStringLiteral("General"));
    }
    for (int col = 0; col < 12; ++col) {
        const QJsonObject c = cell(cellName(row, col));
        for (const char *side : { "left", "right", "top", "bottom" })
            QCOMPARE(c[side].toArray(), edge("thin", "FF000000"));
        QVERIFY(!c["bold"].toBool());
        QVERIFY(!c["italic"].toBool());
    }
}

void TstWorkbook::rangeVariants_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<int>>("numbers"); // flight numbers in rows 6, 7, ...

    QTest::newRow("first after last: header only") << 5 << 3 << QList<int> {};
    QTest::newRow("first flight without date: header only") << 6 << 7 << QList<int> {};
    QTest::newRow("high first number still starts in row 6") << 98 << 100 << QList<int> { 98, 99, 100 };
    QTest::newRow("single flight") << 99 << 99 << QList<int> { 99 };
    QTest::newRow("from flight 0 up") << 0 << 2 << QList<int> { 0, 1, 2 };
}

void TstWorkbook::rangeVariants()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QList<int>, numbers);

    FlightTable table;
    for (int n : { 0, 1, 2, 98, 99, 100 })
        table.store(flight(n, kFlight3));
    table.clear(6);
    table.store(flight(7, kFlight5));

    bool ok = false;
    const QJsonObject dump = writeAndRead({ QStringLiteral("X"), qint16(first), qint16(last), &table }, &ok);
    QVERIFY(ok);
    const QJsonObject cells = dump["cells"].toObject();
    QCOMPARE(dump["max_row"].toInt(), 5 + int(numbers.size()));
    // The header is there whatever the range.
    QCOMPARE(cells["L4"].toObject()["value"].toString(), QStringLiteral("speed max"));
    for (int i = 0; i < numbers.size(); ++i) {
        const QJsonObject a = cells[cellName(6 + i, 0)].toObject();
        QCOMPARE(a["type"].toString(), QStringLiteral("n"));
        QCOMPARE(a["value"].toInt(), numbers.at(i));
        QCOMPARE(cells[cellName(6 + i, 1)].toObject()["shown"].toString(), kFlight3.first());
    }
}

QTEST_GUILESS_MAIN(TstWorkbook)
#include "tst_workbook.moc"
