// What each stored flight text becomes in a workbook cell: the value a
// spreadsheet application would have made of it when typed in, shown by its
// number format exactly as stored, or the text itself.

#include "export/CellValue.h"

#include <QTest>

using Column = CellValue::Kind;

class TstCellValue : public QObject
{
    Q_OBJECT

private slots:
    void fromText_data();
    void fromText();
};

void TstCellValue::fromText_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("decimalPoint");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("number"); // days since 1899-12-30 for dates and times
    QTest::addColumn<QString>("format");

    const QString dot = QStringLiteral(".");
    const QString comma = QStringLiteral(",");
    const QString general;
    const auto text
        = [&](const char *name, Column c, const char *t, const QString &sep = QStringLiteral(".")) {
              QTest::newRow(name) << int(c) << QString::fromLatin1(t) << sep << false << 0.0 << QString();
          };
    // A text that becomes a value: the value and its number format.
    const auto value = [](const char *name, Column c, const char *t, const QString &sep, double number,
                           const QString &format) {
        QTest::newRow(name) << int(c) << QString::fromLatin1(t) << sep << true << number << format;
    };

    // Dates: serial numbers as the 1900 date system counts them.
    value("first date", Column::Date, "2000-01-01", dot, 36526.0, "yyyy-mm-dd");
    value("last date of the century", Column::Date, "2099-12-31", dot, 73050.0, "yyyy-mm-dd");
    value("leap day", Column::Date, "2004-02-29", dot, 38046.0, "yyyy-mm-dd");
    value("latest year the instrument stores", Column::Date, "2255-12-31", dot, 130027.0, "yyyy-mm-dd");
    text("month 13", Column::Date, "2005-13-01");
    text("month 0", Column::Date, "2005-00-10");
    text("February 30", Column::Date, "2005-02-30");
    text("day 0", Column::Date, "2005-07-00");
    text("no leap day in 2005", Column::Date, "2005-02-29");
    text("three-digit month", Column::Date, "2005-255-14");
    text("failed flight date", Column::Date, "*");
    // "$" alone would take these: a value is the whole text or nothing.
    text("date before a line feed", Column::Date, "2005-07-14\n");
    text("start time before a line feed", Column::TimeOfDay, "09:05\n");
    text("duration before a line feed", Column::Duration, "01:30\n");

    // Times of day.
    value("midnight", Column::TimeOfDay, "00:00", dot, 0.0, "hh:mm");
    value("last minute of the day", Column::TimeOfDay, "23:59", dot, 1439 / 1440.0, "hh:mm");
    value("noon", Column::TimeOfDay, "12:00", dot, 0.5, "hh:mm");
    text("hour 24", Column::TimeOfDay, "24:00");
    text("minute 60", Column::TimeOfDay, "10:60");
    text("three-digit hour", Column::TimeOfDay, "100:07");
    text("failed start time", Column::TimeOfDay, "*");

    // Durations run past a day instead of wrapping.
    value("no time", Column::Duration, "00:00", dot, 0.0, "[hh]:mm");
    value("just under a day", Column::Duration, "23:59", dot, 1439 / 1440.0, "[hh]:mm");
    value("a whole day", Column::Duration, "24:00", dot, 1.0, "[hh]:mm");
    value("longest the record holds", Column::Duration, "1092:15", dot, 65535 / 1440.0, "[hh]:mm");
    text("duration minute 60", Column::Duration, "01:60");
    text("hours padded past two digits", Column::Duration, "001:30");
    text("failed duration", Column::Duration, "*");

    // Numbers in General, read with the program's decimal separator.
    value("negative QNE", Column::Number, "-20", dot, -20.0, general);
    value("zero speed", Column::Number, "0", dot, 0.0, general);
    value("largest gain", Column::Number, "16777215", dot, 16777215.0, general);
    value("lift with a point", Column::Number, "4.5", dot, 4.5, general);
    value("lift in a comma locale", Column::Number, "4,5", comma, 4.5, general);
    value("whole sink in a comma locale", Column::Number, "25", comma, 25.0, general);
    text("point in a comma locale", Column::Number, "4.5", comma);
    text("comma in a point locale", Column::Number, "4,5", dot);
    text("leading zero", Column::Number, "007");
    text("trailing zero of a fraction", Column::Number, "4.50");
    text("negative zero", Column::Number, "-0");
    text("exponent", Column::Number, "1e5");
    text("plus sign", Column::Number, "+20");
    text("too many digits for General", Column::Number, "123456789012");
    text("empty", Column::Number, "");
    text("failed number", Column::Number, "*");
}

void TstCellValue::fromText()
{
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, decimalPoint);
    QFETCH(bool, isNumber);
    QFETCH(double, number);
    QFETCH(QString, format);

    const CellValue::Cell cell = CellValue::fromText(Column(column), text, decimalPoint);
    QCOMPARE(cell.isNumber, isNumber);
    if (isNumber) {
        QCOMPARE(cell.number, number);
        QCOMPARE(cell.numberFormat, format);
    } else {
        // Stays text exactly as stored.
        QCOMPARE(cell.text, text);
    }
}

QTEST_GUILESS_MAIN(TstCellValue)
#include "tst_cellvalue.moc"
