#pragma once

#include <QList>
#include <QWidget>

class QBarSeries;
class QBarSet;
class QChart;
class QChartView;
class QGraphicsSimpleTextItem;
class QLabel;
class QStackedLayout;
class QValueAxis;

// The hours flown per month as a bar chart: each bar labelled with its time
// as the rest of the Logbook window writes hours ("04:46"), an axis in whole
// hours or larger round steps, and a short text in its place when there is
// nothing to draw.
class HoursChart : public QWidget
{
    Q_OBJECT
public:
    explicit HoursChart(QWidget *parent = nullptr);

    // The hours axis for a tallest bar of that many minutes: from 0 to top
    // in steps of step hours, 1, 2 or 5 times a power of ten, never more
    // than six steps, with room above the tallest bar for its label.
    struct Axis
    {
        int top = 1;
        int step = 1;
        bool operator==(const Axis &) const = default;
    };
    static Axis axisFor(qint64 highestMinutes);

    // minutes: twelve months, January first.
    void showMonths(const QList<qint64> &minutes, const QString &title);
    // No flight to draw: the text stands where the chart was.
    void showEmpty(const QString &text);

private:
    void placeBarLabels();

    QStackedLayout *m_stack;
    QChartView *m_view;
    QLabel *m_empty;
    QChart *m_chart;
    QBarSeries *m_series;
    QBarSet *m_hours;
    QValueAxis *m_hoursAxis;
    QList<QGraphicsSimpleTextItem *> m_barLabels;
};
