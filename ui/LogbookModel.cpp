#include "ui/LogbookModel.h"

#include "export/FlightFields.h"
#include "logbook/LogbookFigures.h"
#include "logbook/LogbookText.h"
#include "logbook/PilotLogbook.h"

#include <QLocale>
#include <QSet>
#include <limits>

namespace {

// The summary's columns are the flight's fields after its number, in the
// order of the report and the workbook.
static_assert(LogbookModel::SpeedMax - LogbookModel::Date + 2 == int(FlightFields::kAll.size()));

// The header names say the unit on a second line, as the report's header
// lines do, so that the value columns stay narrow and Site, Glider and Notes
// fit beside them. Screen readers get them on one line.
const char *const kHeaders[LogbookModel::ColumnCount]
    = { "Date\n ", "Start\nhh:mm", "Duration\nhh:mm", "QNE min\nm", "QNE max\nm", "Height diff\nmax, m",
          "Total gain\nm", "Lift max\nm/s", "Sink max\nm/s", "Speed min\nkm/h", "Speed max\nkm/h", "Pilot\n ",
          "Site\n ", "Landing site\n ", "Glider\n ", "Launch\n ", "Launches\n ", "Role\n ", "Notes\n " };

// The marks of the Date cell.
const QString kCorrectedMark = QStringLiteral("*");
const QString kDoubtfulMark = QStringLiteral("!");

std::optional<NoteField> noteFieldOf(int column)
{
    switch (column) {
    case LogbookModel::Site:
        return NoteField::Site;
    case LogbookModel::LandingSite:
        return NoteField::LandingSite;
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

// What makes a flight look doubtful, for the pilot to check: most often an
// instrument whose clock was not set, or a flight not ended.
QStringList doubtsOf(const LogbookFlight &f)
{
    QStringList doubts;
    if (!LogbookFigures::isDoubtful(f))
        return doubts;
    if (!f.date.isValid())
        doubts << LogbookModel::tr("the flight has no date");
    else if (f.date < QDate(2000, 1, 2))
        doubts << LogbookModel::tr("the date is before 2000-01-02");
    if (f.startMinutes < 10)
        doubts << LogbookModel::tr("the start is before 00:10");
    if (f.durationMinutes > 11 * 60)
        doubts << LogbookModel::tr("the duration is over 11 hours");
    return doubts;
}

} // namespace

LogbookModel::LogbookModel(PilotLogbook *logbook, EditNote editNote, QObject *parent)
    : QAbstractTableModel(parent)
    , m_logbook(logbook)
    , m_editNote(std::move(editNote))
    , m_decimalPoint(QLocale::system().decimalPoint())
{
    connect(logbook, &PilotLogbook::recorded, this, &LogbookModel::add);
    connect(logbook, &PilotLogbook::updated, this, &LogbookModel::update);
    connect(logbook, &PilotLogbook::removed, this, &LogbookModel::removeIds);
    connect(logbook, &PilotLogbook::reset, this, &LogbookModel::reload);
    reload();
}

QString LogbookModel::textOf(const LogbookEntry &e, int column) const
{
    // The rates as the user's locale writes them, like the main window's
    // boxes.
    if (column >= Date && column <= SpeedMax) {
        const int field = column - Date + 1;
        return e.flight.has(field) ? LogbookText::fieldText(e.flight, field, m_decimalPoint) : QString();
    }
    switch (column) {
    case Pilot:
        return e.pilot;
    case Site:
        return e.site;
    case LandingSite:
        return e.outlanding ? tr("%1 (outlanding)").arg(e.landingSite).trimmed() : e.landingSite;
    case Glider:
        return e.glider;
    case Launch:
        return LogbookText::launchText(e.launch);
    case Launches:
        return QString::number(e.launches);
    case Role:
        return LogbookText::roleText(e.role);
    case Notes:
        return e.notes;
    default:
        return {};
    }
}

LogbookModel::Row LogbookModel::rowFor(const LogbookEntry &entry) const
{
    Row row;
    row.entry = entry;
    row.figures = LogbookText::figuresOf(entry);
    row.when = whenOf(entry.flight);
    row.numbers[Date] = double(row.when);
    row.numbers[StartTime] = entry.flight.startMinutes;
    row.numbers[Duration] = entry.flight.durationMinutes;
    // A value the flight lacks sorts before every value it could have.
    for (int c = QneMin; c <= SpeedMax; ++c) {
        const QVariant value = entry.flight.value(c - Date + 1);
        row.numbers[size_t(c)] = value.isValid() ? value.toDouble() : std::numeric_limits<double>::lowest();
    }
    for (int c = Pilot; c < ColumnCount; ++c)
        row.folded[size_t(c - Pilot)] = textOf(entry, c).toCaseFolded();
    row.doubts = doubtsOf(entry.flight);
    return row;
}

int LogbookModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LogbookModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LogbookModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column == Date ? dateText(row) : textOf(row.entry, column);
    case Qt::EditRole:
        return column == LandingSite ? row.entry.landingSite : textOf(row.entry, column);
    case Qt::AccessibleTextRole:
        return column == Date ? dateSpoken(row) : QVariant();
    case Qt::ToolTipRole:
        return column == Date ? dateToolTip(row) : QVariant();
    case SortKeyRole:
        if (column < Pilot)
            return row.numbers[size_t(column)];
        if (column == Launches)
            return row.entry.launches;
        return row.folded[size_t(column - Pilot)];
    case Qt::TextAlignmentRole:
        if ((column >= Duration && column <= SpeedMax) || column == Launches)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QString LogbookModel::dateText(const Row &row) const
{
    QString text = textOf(row.entry, Date);
    if (row.entry.isCorrected() || !row.doubts.isEmpty())
        text += QLatin1Char(' ');
    if (row.entry.isCorrected())
        text += kCorrectedMark;
    if (!row.doubts.isEmpty())
        text += kDoubtfulMark;
    return text;
}

QString LogbookModel::dateSpoken(const Row &row) const
{
    QString text = textOf(row.entry, Date);
    if (row.entry.isCorrected())
        text += tr(", corrected");
    if (!row.doubts.isEmpty())
        text += tr(", doubtful");
    return text;
}

QString LogbookModel::dateToolTip(const Row &row) const
{
    QStringList lines;
    const LogbookEntry &e = row.entry;
    if (e.isCorrected()) {
        QStringList recorded;
        if (e.instrumentDate)
            recorded << tr("date %1").arg(LogbookText::dateText(*e.instrumentDate));
        if (e.instrumentStartMinutes)
            recorded << tr("start %1").arg(LogbookText::clockText(*e.instrumentStartMinutes));
        if (e.instrumentDurationMinutes)
            recorded << tr("duration %1").arg(LogbookText::hoursText(*e.instrumentDurationMinutes));
        lines << tr("%1 Corrected: the instrument recorded %2 (Edit flight... restores it).")
                     .arg(kCorrectedMark, recorded.join(QStringLiteral(", ")));
    }
    if (!row.doubts.isEmpty())
        lines << tr("%1 Doubtful, please check: %2.").arg(kDoubtfulMark, row.doubts.join(tr("; ")));
    return lines.join(QLatin1Char('\n'));
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
    if (role == Qt::ToolTipRole && noteFieldOf(section) && m_editable)
        return tr("Yours to fill in: press F2 to edit; saved at once, Edit, Undo takes it back");
    return {};
}

Qt::ItemFlags LogbookModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && m_editable && noteFieldOf(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool LogbookModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const auto field = noteFieldOf(index.column());
    if (role != Qt::EditRole || !m_editable || !field
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const LogbookEntry &entry = m_rows.at(index.row()).entry;
    const QString text = value.toString();
    if (data(index, Qt::EditRole).toString() == text)
        return true;
    // The row changes when the logbook says the note is stored.
    return m_editNote && m_editNote(entry, *field, text);
}

void LogbookModel::setEditable(bool editable)
{
    m_editable = editable;
}

int LogbookModel::compare(int a, int b, int column) const
{
    const Row &ra = m_rows.at(a);
    const Row &rb = m_rows.at(b);
    const auto cmp = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
    int c = 0;
    if (column >= 0 && column < Pilot)
        c = cmp(ra.numbers[size_t(column)], rb.numbers[size_t(column)]);
    else if (column == Launches)
        c = cmp(ra.entry.launches, rb.entry.launches);
    else if (column >= Pilot && column < ColumnCount)
        c = ra.folded[size_t(column - Pilot)].compare(rb.folded[size_t(column - Pilot)]);
    if (c == 0)
        c = cmp(ra.when, rb.when);
    if (c == 0)
        c = cmp(ra.entry.id, rb.entry.id);
    return c;
}

void LogbookModel::reload()
{
    const auto entries = m_logbook->entries();
    beginResetModel();
    m_rows.clear();
    if (entries) {
        m_rows.reserve(entries->size());
        for (const LogbookEntry &e : *entries)
            m_rows.append(rowFor(e));
    }
    indexRows();
    endResetModel();
}

void LogbookModel::indexRows()
{
    m_rowOfId.clear();
    m_rowOfId.reserve(m_rows.size());
    for (int r = 0; r < int(m_rows.size()); ++r)
        m_rowOfId.insert(m_rows.at(r).entry.id, r);
}

void LogbookModel::add(const LogbookEntry &entry)
{
    if (m_rowOfId.contains(entry.id)) {
        update(entry);
        return;
    }
    const int row = int(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.append(rowFor(entry));
    m_rowOfId.insert(entry.id, row);
    endInsertRows();
}

void LogbookModel::update(const LogbookEntry &entry)
{
    const auto it = m_rowOfId.constFind(entry.id);
    if (it == m_rowOfId.cend())
        return;
    m_rows[*it] = rowFor(entry);
    emit dataChanged(index(*it, 0), index(*it, ColumnCount - 1));
}

void LogbookModel::removeIds(const QList<qint64> &ids)
{
    const QSet<qint64> gone(ids.cbegin(), ids.cend());
    // From the end, a run of neighbouring rows at a time.
    for (int last = int(m_rows.size()) - 1; last >= 0; --last) {
        if (!gone.contains(m_rows.at(last).entry.id))
            continue;
        int first = last;
        while (first > 0 && gone.contains(m_rows.at(first - 1).entry.id))
            --first;
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first;
    }
    indexRows();
}
