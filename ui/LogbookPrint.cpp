#include "ui/LogbookPrint.h"

#include "logbook/LogbookText.h"
#include "ui/AppInfo.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <array>

namespace LogbookPrint {

namespace {

// The form, in millimeters inside the page margins (A4 landscape: 297 x 210
// with 12 mm margins leaves 273 x 186).
constexpr double kMargin = 12;
constexpr double kWidth = 297 - 2 * kMargin;
constexpr double kHeaderHeight = 14;
constexpr double kHeadRowHeight = 10;
constexpr double kRowHeight = 7;
constexpr double kFootRowHeight = 6.5;
constexpr double kPadding = 1.2;

enum Column {
    Date,
    TakeOffPlace,
    LandingPlace,
    TakeOffTime,
    LandingTime,
    Duration,
    GliderColumn,
    Launch,
    Launches,
    Role,
    Remarks,
    ColumnCount
};

struct ColumnForm
{
    const char *head;
    double width;
    Qt::Alignment align;
};

// clang-format off
constexpr std::array<ColumnForm, ColumnCount> kColumns { {
    { "Date",             20, Qt::AlignLeft },
    { "Take-off place",   34, Qt::AlignLeft },
    { "Landing place",    34, Qt::AlignLeft },
    { "Take-off time",    15, Qt::AlignHCenter },
    { "Landing time",     17, Qt::AlignHCenter },
    { "Duration",         16, Qt::AlignRight },
    { "Glider",           28, Qt::AlignLeft },
    { "Launch",           19, Qt::AlignLeft },
    { "Launches",         15, Qt::AlignRight },
    { "Role",             26, Qt::AlignLeft },
    { "Remarks",          kWidth - (20 + 34 + 34 + 15 + 17 + 16 + 28 + 19 + 15 + 26), Qt::AlignLeft },
} };
// clang-format on

// The clock time the flight ended; "+1" when that was the next day.
QString landingTime(const LogbookFlight &flight)
{
    const int end = flight.startMinutes + flight.durationMinutes;
    const QString clock = LogbookText::clockText(end % (24 * 60));
    const int days = end / (24 * 60);
    return days ? clock + QStringLiteral(" +%1").arg(days) : clock;
}

QString remarksOf(const LogbookEntry &e)
{
    // One line: the pilot's notes may hold line breaks.
    QString text = e.notes.simplified();
    if (e.outlanding)
        text = text.isEmpty() ? QStringLiteral("Outlanding") : QStringLiteral("Outlanding; ") + text;
    return text;
}

std::array<QString, ColumnCount> cellsOf(const LogbookEntry &e)
{
    return { LogbookText::dateText(e.flight.date), e.site.simplified(), e.landingSite.simplified(),
        LogbookText::clockText(e.flight.startMinutes), landingTime(e.flight),
        LogbookText::hoursText(e.flight.durationMinutes), e.glider.simplified(),
        LogbookText::launchText(e.launch), QString::number(e.launches), LogbookText::roleText(e.role),
        remarksOf(e) };
}

QString flightsText(qint64 flights)
{
    return flights == 1 ? QStringLiteral("1 flight") : QStringLiteral("%1 flights").arg(flights);
}

// Paints one page; every length is given in millimeters and scaled here.
class PagePainter
{
public:
    PagePainter(QPainter &painter, double dotsPerMm)
        : m_p(painter)
        , m_mm(dotsPerMm)
    {
        // Narrow enough for a row of eleven columns, and on every system the
        // program is installed on.
        m_plain.setFamily(QStringLiteral("Liberation Sans"));
        m_plain.setStyleHint(QFont::SansSerif);
        m_plain.setPointSizeF(8);
        // Any letter spacing turns ligatures off: "flights" stays six letters
        // for a search or a copy from the PDF, not an "fl" glyph.
        m_plain.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
        m_bold = m_plain;
        m_bold.setBold(true);
        m_small = m_plain;
        m_small.setPointSizeF(6.5);
        m_name = m_plain;
        m_name.setPointSizeF(10);
        m_title = m_bold;
        m_title.setPointSizeF(12);
    }

    void paintPage(const LogbookFigures::LogbookPage &page, int pageCount, const QString &pilotName)
    {
        // The top: what this is, whose, which page.
        m_p.setPen(pen(0.3));
        text(QRectF(0, 0, kWidth / 2, 8), m_title, Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("Pilot logbook"));
        text(QRectF(0, 7, kWidth * 0.7, 6), m_name, Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("Pilot: ") + pilotName.simplified());
        text(QRectF(kWidth / 2, 0, kWidth / 2, 8), m_bold, Qt::AlignRight | Qt::AlignVCenter,
            QStringLiteral("Page %1 of %2").arg(page.number).arg(pageCount));

        // The column heads and a row per flight, in a ruled table; the
        // rows are there even on a page with fewer flights.
        double y = kHeaderHeight;
        double x = 0;
        for (const ColumnForm &c : kColumns) {
            text(QRectF(x, y, c.width, kHeadRowHeight), m_bold, Qt::AlignCenter | Qt::TextWordWrap,
                QString::fromLatin1(c.head));
            x += c.width;
        }
        const int rows = qMax(LogbookFigures::kFlightsPerPage, int(page.flights.size()));
        const double tableTop = y;
        y += kHeadRowHeight;
        for (int r = 0; r < rows; ++r, y += kRowHeight) {
            if (r >= page.flights.size())
                continue;
            const std::array<QString, ColumnCount> cells = cellsOf(page.flights.at(r));
            x = 0;
            for (int c = 0; c < ColumnCount; ++c) {
                const QRectF r(x, y, kColumns[c].width, kRowHeight);
                if (c == Remarks)
                    remarks(r, cells[c]);
                else
                    cell(r, m_plain, kColumns[c].align, cells[c]);
                x += kColumns[c].width;
            }
        }
        const double tableBottom = y;
        rule(tableTop, tableBottom, rows);

        // The foot: three lines of totals under the columns they sum.
        const std::array<std::pair<QString, const FlightTotals *>, 3> foot { {
            { QStringLiteral("Totals this page"), &page.pageTotals },
            { QStringLiteral("Brought forward"), &page.broughtForward },
            { QStringLiteral("Totals to date"), &page.toDate },
        } };
        const double labelWidth
            = kColumns[Date].width + kColumns[TakeOffPlace].width + kColumns[LandingPlace].width;
        const double flightsWidth = kColumns[TakeOffTime].width + kColumns[LandingTime].width;
        const double durationX = labelWidth + flightsWidth;
        double launchesX = durationX;
        for (int c = Duration; c < Launches; ++c)
            launchesX += kColumns[c].width;
        for (const auto &[label, totals] : foot) {
            const QFont &font = totals == &page.toDate ? m_bold : m_plain;
            cell(QRectF(0, y, labelWidth, kFootRowHeight), m_bold, Qt::AlignLeft, label);
            cell(QRectF(labelWidth, y, flightsWidth, kFootRowHeight), font, Qt::AlignRight,
                flightsText(totals->flights));
            cell(QRectF(durationX, y, kColumns[Duration].width, kFootRowHeight), font, Qt::AlignRight,
                LogbookText::hoursText(totals->minutes));
            cell(QRectF(launchesX, y, kColumns[Launches].width, kFootRowHeight), font, Qt::AlignRight,
                QString::number(totals->launches));
            y += kFootRowHeight;
            m_p.setPen(pen(totals == &page.pageTotals ? 0.2 : 0.1));
            line(0, y, launchesX + kColumns[Launches].width, y);
        }
        m_p.setPen(pen(0.4));
        line(0, tableBottom, 0, y);
        for (const double at : { labelWidth, durationX, durationX + kColumns[Duration].width, launchesX,
                 launchesX + kColumns[Launches].width })
            line(at, tableBottom, at, y);

        // Signature lines, at the foot of the page.
        const double signY = 186 - 3;
        m_p.setPen(pen(0.3));
        text(QRectF(0, signY - 5, 40, 5), m_plain, Qt::AlignLeft | Qt::AlignBottom,
            QStringLiteral("Pilot's signature"));
        line(40, signY, 130, signY);
        text(QRectF(145, signY - 5, 40, 5), m_plain, Qt::AlignLeft | Qt::AlignBottom,
            QStringLiteral("Countersignature"));
        line(183, signY, kWidth, signY);
    }

private:
    QPen pen(double widthMm) const { return QPen(Qt::black, widthMm * m_mm, Qt::SolidLine, Qt::FlatCap); }
    QRectF scaled(const QRectF &r) const
    {
        return QRectF(r.x() * m_mm, r.y() * m_mm, r.width() * m_mm, r.height() * m_mm);
    }
    void line(double x1, double y1, double x2, double y2)
    {
        m_p.drawLine(QPointF(x1 * m_mm, y1 * m_mm), QPointF(x2 * m_mm, y2 * m_mm));
    }
    void text(const QRectF &r, const QFont &font, int flags, const QString &s)
    {
        m_p.setFont(font);
        m_p.drawText(scaled(r), flags, s);
    }
    // A table cell: padded, on one line, shortened with "..." when too long.
    void cell(const QRectF &r, const QFont &font, Qt::Alignment align, const QString &s)
    {
        if (s.isEmpty())
            return;
        m_p.setFont(font);
        const QRectF inner = scaled(r.adjusted(kPadding, 0, -kPadding, 0));
        const QFontMetricsF metrics(font, m_p.device());
        const QString shown = metrics.horizontalAdvance(s) > inner.width()
            ? metrics.elidedText(s, Qt::ElideRight, inner.width())
            : s;
        m_p.drawText(inner, int(align | Qt::AlignVCenter | Qt::TextSingleLine), shown);
    }
    // Remarks that do not fit on one line get two lines of smaller type,
    // shortened with "..." when even those are not enough.
    void remarks(const QRectF &r, const QString &s)
    {
        const QRectF inner = scaled(r.adjusted(kPadding, 0, -kPadding, 0));
        if (QFontMetricsF(m_plain, m_p.device()).horizontalAdvance(s) <= inner.width()) {
            cell(r, m_plain, Qt::AlignLeft, s);
            return;
        }
        const QFontMetricsF metrics(m_small, m_p.device());
        QString shown = s;
        const auto fits = [&](const QString &text) {
            return metrics.boundingRect(inner, Qt::AlignLeft | Qt::TextWordWrap, text).height()
                <= inner.height();
        };
        // Word wrapping leaves the end of each line unused: start from a
        // little under two lines' worth and shorten until it fits.
        for (double width = inner.width() * 1.9; !fits(shown) && width > 0; width -= inner.width() * 0.1)
            shown = metrics.elidedText(s, Qt::ElideRight, width);
        m_p.setFont(m_small);
        m_p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, shown);
    }
    // The table's frame, its column lines and a thin line under each row.
    void rule(double top, double bottom, int rows)
    {
        m_p.setPen(pen(0.1));
        for (int r = 1; r < rows; ++r) {
            const double y = top + kHeadRowHeight + r * kRowHeight;
            line(0, y, kWidth, y);
        }
        m_p.setPen(pen(0.2));
        double x = 0;
        for (int c = 0; c < ColumnCount - 1; ++c) {
            x += kColumns[c].width;
            line(x, top, x, bottom);
        }
        m_p.setPen(pen(0.4));
        m_p.drawRect(scaled(QRectF(0, top, kWidth, bottom - top)));
        line(0, top + kHeadRowHeight, kWidth, top + kHeadRowHeight);
    }

    QPainter &m_p;
    double m_mm;
    QFont m_plain;
    QFont m_bold;
    QFont m_small;
    QFont m_name;
    QFont m_title;
};

} // namespace

bool paint(
    QPagedPaintDevice &device, const QList<LogbookFigures::LogbookPage> &pages, const QString &pilotName)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
        QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    PagePainter page(painter, device.logicalDpiX() / 25.4);
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0 && !device.newPage())
            return false;
        page.paintPage(pages.at(i), int(pages.size()), pilotName);
    }
    return painter.end();
}

QByteArray pdf(const QList<LogbookFigures::LogbookPage> &pages, const QString &pilotName)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(QStringLiteral("Pilot logbook")
            + (pilotName.isEmpty() ? QString() : QStringLiteral(" of ") + pilotName.simplified()));
        writer.setCreator(QString::fromLatin1(AppInfo::title));
        writer.setResolution(600);
        if (!paint(writer, pages, pilotName))
            return {};
    }
    return buffer.data();
}

} // namespace LogbookPrint
