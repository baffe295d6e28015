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
    return (!m_glider || m_flights->entryAt(sourceRow).glider == *m_glider) && matchesSearch(sourceRow);
}

void LogbookFilter::setSearch(const QString &text, const QDate &from, const QDate &to)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_text && from == m_from && to == m_to)
        return;
    m_text = trimmed;
    m_from = from;
    m_to = to;
    // A search keeps flights scattered over the list: the proxy would take
    // them out range by range, each range a signal the view works through.
    // Mapping the rows anew (and sorting them again) is one signal.
    invalidate();
}

bool LogbookFilter::matchesSearch(int sourceRow) const
{
    const LogbookEntry &e = m_flights->entryAt(sourceRow);
    const QDate &date = e.flight.date;
    // A flight without a date is outside every range.
    if ((m_from.isValid() || m_to.isValid()) && !date.isValid())
        return false;
    if ((m_from.isValid() && date < m_from) || (m_to.isValid() && date > m_to))
        return false;
    if (m_text.isEmpty())
        return true;
    for (const QString *field : { &e.site, &e.landingSite, &e.glider, &e.notes }) {
        if (field->contains(m_text, Qt::CaseInsensitive))
            return true;
    }
    return false;
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

QList<LogbookText::FlightFigures> LogbookFilter::shownFigures() const
{
    QList<LogbookText::FlightFigures> out;
    out.reserve(rowCount());
    for (int r = 0; r < rowCount(); ++r)
        out.append(m_flights->figuresAt(mapToSource(index(r, 0)).row()));
    return out;
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
