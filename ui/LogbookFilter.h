#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookText.h"

#include <QSortFilterProxyModel>
#include <optional>

class LogbookModel;

// The flights the Logbook window lists: those of the year and the glider
// chosen, in the order of the column clicked (ties in the order of time).
class LogbookFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit LogbookFilter(LogbookModel *flights, QObject *parent = nullptr);

    // year 0: every year; glider nullopt: every glider ("" is no glider).
    void setFilter(int year, const std::optional<QString> &glider);

    const LogbookEntry &entryAt(int row) const;
    QList<LogbookEntry> shownEntries() const;
    qint64 shownMinutes() const;
    // The figures of every flight of the chosen glider, whatever the year:
    // what the per-year table and the chart count.
    QList<LogbookText::FlightFigures> figuresOfGlider() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    bool ofGlider(int sourceRow) const;

    LogbookModel *m_flights;
    int m_year = 0;
    std::optional<QString> m_glider;
};
