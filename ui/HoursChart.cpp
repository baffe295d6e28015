#include "ui/HoursChart.h"

#include "logbook/LogbookText.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsSimpleTextItem>
#include <QLabel>
#include <QLocale>
#include <QStackedLayout>
#include <QValueAxis>

#include <cmath>

HoursChart::Axis HoursChart::axisFor(qint64 highestMinutes)
{
    // A tenth more than the tallest bar leaves room for its label.
    const double wanted = double(qMax<qint64>(0, highestMinutes)) / 60.0 * 1.1;
    constexpr int kMostSteps = 6;
    for (int power = 1;; power *= 10) {
        for (const int factor : { 1, 2, 5 }) {
            const int step = factor * power;
            const int steps = qMax(1, int(std::ceil(wanted / step)));
            if (steps <= kMostSteps)
                return { steps * step, step };
        }
    }
}

HoursChart::HoursChart(QWidget *parent)
    : QWidget(parent)
    , m_stack(new QStackedLayout(this))
    , m_view(new QChartView(this))
    , m_empty(new QLabel(this))
    , m_chart(new QChart)
    , m_series(new QBarSeries)
    , m_hours(new QBarSet(tr("Hours")))
    , m_hoursAxis(new QValueAxis)
{
    m_series->append(m_hours);
    m_chart->addSeries(m_series);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(4, 4, 4, 4));

    // The window's own font, so the chart grows with it on a scaled screen
    // and prints legibly; the title a step larger.
    const QFont font = this->font();
    QFont titleFont = font;
    titleFont.setBold(true);
    titleFont.setPointSizeF(font.pointSizeF() * 1.15);
    m_chart->setTitleFont(titleFont);
    m_hours->setColor(QColor(0x2b, 0x6c, 0xb0));
    m_hours->setBorderColor(QColor(0x1a, 0x43, 0x6e));

    auto *months = new QBarCategoryAxis;
    for (int m = 1; m <= 12; ++m)
        months->append(QLocale().standaloneMonthName(m, QLocale::ShortFormat));
    months->setLabelsFont(font);
    m_chart->addAxis(months, Qt::AlignBottom);
    m_series->attachAxis(months);

    m_hoursAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_hoursAxis->setLabelsFont(font);
    m_hoursAxis->setTitleText(tr("Hours"));
    m_hoursAxis->setTitleFont(font);
    m_chart->addAxis(m_hoursAxis, Qt::AlignLeft);
    m_series->attachAxis(m_hoursAxis);

    // The series' own labels know only the value in hours and tenths; the
    // bars carry their time as text items of the chart's own instead.
    for (int m = 0; m < 12; ++m) {
        m_hours->append(0);
        auto *label = new QGraphicsSimpleTextItem(m_chart);
        label->setFont(font);
        label->setZValue(10);
        m_barLabels.append(label);
    }
    connect(m_chart, &QChart::plotAreaChanged, this, &HoursChart::placeBarLabels);

    // A chart view starts with an empty chart of its own and hands it back,
    // not deleted, when it is given another.
    QChart *const initial = m_view->chart();
    m_view->setChart(m_chart);
    delete initial;
    m_view->setObjectName(QStringLiteral("chartHours"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumSize(360, 220);
    m_view->setAccessibleName(tr("Hours per month"));
    m_view->setAccessibleDescription(
        tr("Bar chart of the hours flown in each month of the chosen year and glider; the table of years "
           "beside it gives the figures as text."));

    m_empty->setObjectName(QStringLiteral("lblNoFlights"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_empty);
}

void HoursChart::showMonths(const QList<qint64> &minutes, const QString &title)
{
    qint64 highest = 0;
    for (int m = 0; m < 12; ++m) {
        const qint64 of = minutes.value(m);
        m_hours->replace(m, double(of) / 60.0);
        m_barLabels.at(m)->setText(of > 0 ? LogbookText::hoursText(of) : QString());
        highest = qMax(highest, of);
    }
    const Axis axis = axisFor(highest);
    m_hoursAxis->setRange(0, axis.top);
    m_hoursAxis->setTickCount(axis.top / axis.step + 1);
    m_chart->setTitle(title);
    m_stack->setCurrentWidget(m_view);
    placeBarLabels();
}

void HoursChart::showEmpty(const QString &text)
{
    m_empty->setText(text);
    m_stack->setCurrentWidget(m_empty);
}

void HoursChart::placeBarLabels()
{
    for (int m = 0; m < 12; ++m) {
        QGraphicsSimpleTextItem *label = m_barLabels.at(m);
        const QPointF top = m_chart->mapToPosition(QPointF(m, m_hours->at(m)), m_series);
        const QRectF box = label->boundingRect();
        label->setPos(top.x() - box.width() / 2, top.y() - box.height() - 1);
    }
}
