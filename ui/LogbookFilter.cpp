#include "ui/LogbookFilter.h"

#include "ui/LogbookModel.h"

LogbookFilter::LogbookFilter(LogbookModel *flights, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_flights(flights)
{
    setSourceModel(flights);
    setSortRole(LogbookModel::SortKeyRole);
}

void LogbookFilter::setFilter(int year, const std::optional<QString> &glider)
{
    m_year = year;
    m_glider = glider;
    invalidateFilter();
}

bool LogbookFilter::ofGlider(int sourceRow) const
{
    return !m_glider || m_flights->entryAt(sourceRow).glider == *m_glider;
}

bool LogbookFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    return !sourceParent.isValid() && (m_year == 0 || m_flights->figuresAt(sourceRow).year == m_year)
        && ofGlider(sourceRow);
}

bool LogbookFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    // The keys the model worked out once per flight, without a QVariant
    // per comparison.
    return m_flights->compare(left.row(), right.row(), left.column()) < 0;
}

const LogbookEntry &LogbookFilter::entryAt(int row) const
{
    return m_flights->entryAt(mapToSource(index(row, 0)).row());
}

QList<LogbookEntry> LogbookFilter::shownEntries() const
{
    QList<LogbookEntry> out;
    out.reserve(rowCount());
    for (int r = 0; r < rowCount(); ++r)
        out.append(entryAt(r));
    return out;
}

qint64 LogbookFilter::shownMinutes() const
{
    qint64 minutes = 0;
    for (int r = 0; r < rowCount(); ++r)
        minutes += m_flights->figuresAt(mapToSource(index(r, 0)).row()).minutes;
    return minutes;
}

QList<LogbookText::FlightFigures> LogbookFilter::figuresOfGlider() const
{
    QList<LogbookText::FlightFigures> out;
    out.reserve(m_flights->rowCount());
    for (int r = 0; r < m_flights->rowCount(); ++r) {
        if (ofGlider(r))
            out.append(m_flights->figuresAt(r));
    }
    return out;
}
