#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookText.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <array>
#include <functional>

class PilotLogbook;

// Every flight of the pilot's logbook, one row each in the logbook's own
// order, following the logbook's change signals whoever made the change.
// Each row keeps what sorting and the sums need worked out once (its sort
// keys, also given as Qt::UserRole data, and its figures), so that the
// filter over it sorts and filters ten thousand flights in a few
// milliseconds. Site, Landing site, Glider and Notes are edited through the
// function the window hands in, which makes the change undoable. The Date
// cell marks a flight the pilot corrected ("*") and one whose date, start
// or duration looks doubtful ("!"), with the reason in its tool tip and in
// the text a screen reader reads.
class LogbookModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        Date,
        StartTime,
        Duration,
        QneMin,
        QneMax,
        HeightDiffMax,
        TotalGain,
        LiftMax,
        SinkMax,
        SpeedMin,
        SpeedMax,
        Pilot,
        Site,
        LandingSite,
        Glider,
        Launch,
        Launches,
        Role,
        Notes,
        ColumnCount
    };
    // The value a column sorts by: a number, or the text case-folded.
    static constexpr int SortKeyRole = Qt::UserRole;

    using EditNote = std::function<bool(const LogbookEntry &entry, NoteField field, const QString &text)>;

    LogbookModel(PilotLogbook *logbook, EditNote editNote, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Reads every flight from the logbook again.
    void reload();
    // Whether Site, Landing site, Glider and Notes can be edited (not in a
    // read-only logbook).
    void setEditable(bool editable);

    const LogbookEntry &entryAt(int row) const { return m_rows.at(row).entry; }
    const LogbookText::FlightFigures &figuresAt(int row) const { return m_rows.at(row).figures; }
    // Orders two rows by a column, then by date and time, then by id:
    // negative, 0 or positive.
    int compare(int a, int b, int column) const;

private:
    struct Row
    {
        LogbookEntry entry;
        LogbookText::FlightFigures figures;
        qint64 when = 0; // date and start time as one number, for the order of time
        std::array<double, Pilot> numbers {}; // the flight's columns as numbers
        std::array<QString, ColumnCount - Pilot> folded; // Pilot .. Notes case-folded
        QStringList doubts; // why the flight looks doubtful; empty when it does not
    };
    Row rowFor(const LogbookEntry &entry) const;
    QString textOf(const LogbookEntry &entry, int column) const;
    // The Date cell: the date with its marks, what a screen reader says of
    // it, and why it is marked.
    QString dateText(const Row &row) const;
    QString dateSpoken(const Row &row) const;
    QString dateToolTip(const Row &row) const;

    void add(const LogbookEntry &entry);
    void update(const LogbookEntry &entry);
    void removeIds(const QList<qint64> &ids);
    void indexRows();

    PilotLogbook *m_logbook;
    EditNote m_editNote;
    QList<Row> m_rows;
    QHash<qint64, int> m_rowOfId;
    bool m_editable = true;
    QString m_decimalPoint;
};
