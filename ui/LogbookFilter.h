#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookText.h"

#include <QSortFilterProxyModel>
#include <optional>

class LogbookModel;

// The flights the Logbook window lists: those of the year and the glider
// chosen, holding the text searched for and within the dates chosen, in the
// order of the column clicked (ties in the order of time).
class LogbookFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit LogbookFilter(LogbookModel *flights, QObject *parent = nullptr);

    // year 0: every year; glider nullopt: every glider ("" is no glider).
    void setFilter(int year, const std::optional<QString> &glider);
    // Flights whose take-off site, landing site, glider or notes hold text
    // (any case; "" or blanks: every flight), dated from .. to (an invalid
    // date: no limit on that side).
    void setSearch(const QString &text, const QDate &from, const QDate &to);
    // Whether the search or the dates leave flights out.
    bool isSearching() const { return !m_text.isEmpty() || m_from.isValid() || m_to.isValid(); }

    const LogbookEntry &entryAt(int row) const;
    QList<LogbookEntry> shownEntries() const;
    qint64 shownMinutes() const;
    // The figures of every flight of the chosen glider, search and dates,
    // whatever the year: what the per-year table counts.
    QList<LogbookText::FlightFigures> figuresOfGlider() const;
    // The figures of the flights shown, for the chart and the totals.
    QList<LogbookText::FlightFigures> shownFigures() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    bool ofGlider(int sourceRow) const;
    bool matchesSearch(int sourceRow) const;

    LogbookModel *m_flights;
    int m_year = 0;
    std::optional<QString> m_glider;
    QString m_text;
    QDate m_from;
    QDate m_to;
};
