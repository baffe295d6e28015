#include "ui/LogbookModel.h"

#include "export/FlightFields.h"
#include "logbook/LogbookText.h"

#include <QLocale>
#include <QSet>
#include <algorithm>

namespace {

// The summary's columns are the flight's fields after its number, in the
// order of the report and the workbook.
static_assert(LogbookModel::SpeedMax - LogbookModel::Date + 2 == int(FlightFields::kAll.size()));

template <typename Row> const QString *textOf(const Row &row, int column)
{
    const LogbookEntry &e = row.entry;
    if (column >= LogbookModel::Date && column <= LogbookModel::SpeedMax)
        return &(row.shown.*FlightFields::kAll[size_t(column - LogbookModel::Date + 1)].text);
    switch (column) {
    case LogbookModel::Pilot:
        return &e.pilot;
    case LogbookModel::Site:
        return &e.site;
    case LogbookModel::Glider:
        return &e.glider;
    case LogbookModel::Notes:
        return &e.notes;
    default:
        return nullptr;
    }
}

// The header names say the unit on a second line, as the report's header
// lines do, so that the value columns stay narrow and Site, Glider and Notes
// fit beside them. Screen readers get them on one line.
const char *const kHeaders[LogbookModel::ColumnCount] = { "Date\n ", "Start\nhh:mm", "Duration\nhh:mm",
    "QNE min\nm", "QNE max\nm", "Height diff\nmax, m", "Total gain\nm", "Lift max\nm/s", "Sink max\nm/s",
    "Speed min\nkm/h", "Speed max\nkm/h", "Pilot\n ", "Site\n ", "Glider\n ", "Notes\n " };

std::optional<NoteField> noteFieldOf(int column)
{
    switch (column) {
    case LogbookModel::Site:
        return NoteField::Site;
    case LogbookModel::Glider:
        return NoteField::Glider;
    case LogbookModel::Notes:
        return NoteField::Notes;
    default:
        return std::nullopt;
    }
}

// Date and start time as one number that grows with time.
qint64 whenOf(const LogbookFlight &f)
{
    return f.date.isValid() ? f.date.toJulianDay() * 24 * 60 + f.startMinutes : 0;
}

} // namespace

LogbookModel::LogbookModel(SaveNote saveNote, QObject *parent)
    : QAbstractTableModel(parent)
    , m_saveNote(std::move(saveNote))
    , m_decimalPoint(QLocale::system().decimalPoint())
{
}

int LogbookModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int LogbookModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LogbookModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    const Row &row = m_rows.at(m_shown.at(index.row()));
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const QString *text = textOf(row, column);
        return text ? QVariant(*text) : QVariant();
    }
    case Qt::TextAlignmentRole:
        if (column >= Duration && column <= SpeedMax)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant LogbookModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::AccessibleTextRole) {
        const QStringList lines = QString::fromLatin1(kHeaders[section]).split(QLatin1Char('\n'));
        return lines.at(1).trimmed().isEmpty() ? lines.at(0)
                                               : QStringLiteral("%1 (%2)").arg(lines.at(0), lines.at(1));
    }
    if (role == Qt::ToolTipRole && noteFieldOf(section))
        return tr("Yours to fill in: double-click or press F2 to edit; saved at once");
    return {};
}

Qt::ItemFlags LogbookModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && noteFieldOf(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool LogbookModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const auto field = noteFieldOf(index.column());
    if (role != Qt::EditRole || !index.isValid() || !field || index.row() >= m_shown.size())
        return false;
    Row &row = m_rows[m_shown.at(index.row())];
    const QString text = value.toString();
    if (*textOf(row, index.column()) == text)
        return true;
    if (!m_saveNote || !m_saveNote(row.entry.id, *field, text))
        return false;
    switch (*field) {
    case NoteField::Site:
        row.entry.site = text;
        break;
    case NoteField::Glider:
        row.entry.glider = text;
        break;
    case NoteField::Notes:
        row.entry.notes = text;
        break;
    }
    emit dataChanged(index, index);
    emit notesEdited();
    return true;
}

LogbookModel::Row LogbookModel::rowFor(const LogbookEntry &entry) const
{
    Row row;
    row.entry = entry;
    // The rates as the user's locale writes them, like the main window's
    // boxes.
    row.shown = LogbookText::summaryOf(entry.flight, m_decimalPoint);
    row.figures = LogbookText::figuresOf(entry.flight);
    row.when = whenOf(entry.flight);
    for (int c = QneMin; c <= SpeedMax; ++c)
        row.numbers[size_t(c - QneMin)] = entry.flight.value(c - Date + 1).toDouble();
    return row;
}

bool LogbookModel::passes(const Row &row) const
{
    return (m_year == 0 || row.figures.year == m_year) && (!m_glider || row.entry.glider == *m_glider);
}

bool LogbookModel::lessThan(int a, int b) const
{
    const Row &ra = m_rows.at(a);
    const Row &rb = m_rows.at(b);
    const auto cmp = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
    int c = 0;
    switch (m_sortColumn) {
    case Date:
        break; // the tie-break below is the order of time
    case StartTime:
        c = cmp(ra.entry.flight.startMinutes, rb.entry.flight.startMinutes);
        break;
    case Duration:
        c = cmp(ra.figures.minutes, rb.figures.minutes);
        break;
    default:
        if (m_sortColumn >= QneMin && m_sortColumn <= SpeedMax)
            c = cmp(ra.numbers[size_t(m_sortColumn - QneMin)], rb.numbers[size_t(m_sortColumn - QneMin)]);
        else if (!m_sortTexts.isEmpty())
            c = m_sortTexts.at(a).compare(m_sortTexts.at(b));
        else
            c = textOf(ra, m_sortColumn)->compare(*textOf(rb, m_sortColumn), Qt::CaseInsensitive);
        break;
    }
    if (c == 0)
        c = cmp(ra.when, rb.when);
    if (c == 0)
        c = cmp(ra.entry.id, rb.entry.id);
    return m_sortOrder == Qt::AscendingOrder ? c < 0 : c > 0;
}

void LogbookModel::sortShown()
{
    // Text columns compare folded once per row, not twice per comparison.
    if (m_sortColumn >= Pilot) {
        m_sortTexts.resize(m_rows.size());
        for (const int i : std::as_const(m_shown))
            m_sortTexts[i] = textOf(m_rows.at(i), m_sortColumn)->toCaseFolded();
    }
    std::sort(m_shown.begin(), m_shown.end(), [this](int a, int b) { return lessThan(a, b); });
    m_sortTexts.clear();
}

void LogbookModel::rebuild()
{
    m_shown.clear();
    m_shownMinutes = 0;
    for (int i = 0; i < int(m_rows.size()); ++i) {
        if (passes(m_rows.at(i))) {
            m_shown.append(i);
            m_shownMinutes += m_rows.at(i).figures.minutes;
        }
    }
    sortShown();
}

void LogbookModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> rowsBefore;
    for (const QModelIndex &i : before)
        rowsBefore.append(m_shown.at(i.row()));
    m_sortColumn = column;
    m_sortOrder = order;
    sortShown();
    // Selections follow their flights to their new places.
    QModelIndexList after;
    for (qsizetype k = 0; k < before.size(); ++k)
        after.append(index(int(m_shown.indexOf(rowsBefore.at(k))), before.at(k).column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void LogbookModel::setEntries(const QList<LogbookEntry> &entries)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(entries.size());
    for (const LogbookEntry &e : entries)
        m_rows.append(rowFor(e));
    rebuild();
    endResetModel();
}

void LogbookModel::addEntry(const LogbookEntry &entry)
{
    m_rows.append(rowFor(entry));
    const int added = int(m_rows.size()) - 1;
    if (!passes(m_rows.last()))
        return;
    const auto at = std::upper_bound(
        m_shown.begin(), m_shown.end(), added, [this](int a, int b) { return lessThan(a, b); });
    const int row = int(at - m_shown.begin());
    beginInsertRows(QModelIndex(), row, row);
    m_shown.insert(row, added);
    m_shownMinutes += m_rows.last().figures.minutes;
    endInsertRows();
}

void LogbookModel::removeIds(const QList<qint64> &ids)
{
    beginResetModel();
    const QSet<qint64> gone(ids.cbegin(), ids.cend());
    m_rows.removeIf([&gone](const Row &r) { return gone.contains(r.entry.id); });
    rebuild();
    endResetModel();
}

void LogbookModel::updateEntry(const LogbookEntry &entry)
{
    for (Row &r : m_rows) {
        if (r.entry.id != entry.id)
            continue;
        r = rowFor(entry);
        const int shown = int(m_shown.indexOf(int(&r - m_rows.data())));
        if (shown >= 0)
            emit dataChanged(index(shown, 0), index(shown, ColumnCount - 1));
        return;
    }
}

void LogbookModel::setFilter(int year, const std::optional<QString> &glider)
{
    beginResetModel();
    m_year = year;
    m_glider = glider;
    rebuild();
    endResetModel();
}

const LogbookEntry &LogbookModel::entryAt(int row) const
{
    return m_rows.at(m_shown.at(row)).entry;
}

QList<LogbookEntry> LogbookModel::shownEntries() const
{
    QList<LogbookEntry> out;
    out.reserve(m_shown.size());
    for (const int i : m_shown)
        out.append(m_rows.at(i).entry);
    return out;
}

QList<LogbookText::FlightFigures> LogbookModel::figuresOfGlider() const
{
    QList<LogbookText::FlightFigures> out;
    out.reserve(m_rows.size());
    for (const Row &r : m_rows) {
        if (!m_glider || r.entry.glider == *m_glider)
            out.append(r.figures);
    }
    return out;
}
