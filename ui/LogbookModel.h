#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookText.h"

#include <QAbstractTableModel>
#include <QList>
#include <array>
#include <functional>
#include <optional>

// The Logbook window's table: every flight loaded once, a year and a glider
// filter, and a sort of its own over precomputed keys, so that ten thousand
// flights sort and filter in a few milliseconds. Site, Glider and Notes are
// edited in place and saved through the function the window hands in.
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
        Glider,
        Notes,
        ColumnCount
    };

    using SaveNote = std::function<bool(qint64 id, NoteField field, const QString &text)>;

    explicit LogbookModel(SaveNote saveNote, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void setEntries(const QList<LogbookEntry> &entries);
    // A flight recorded while the window is open, put in its sorted place.
    void addEntry(const LogbookEntry &entry);
    void removeIds(const QList<qint64> &ids);
    // A flight of the list changed in the logbook (named, a note set).
    void updateEntry(const LogbookEntry &entry);

    // year 0: every year; glider nullopt: every glider ("" is no glider).
    void setFilter(int year, const std::optional<QString> &glider);

    const LogbookEntry &entryAt(int row) const;
    QList<LogbookEntry> shownEntries() const;
    // The figures of every flight of the chosen glider, whatever the year:
    // what the per-year table and the chart count.
    QList<LogbookText::FlightFigures> figuresOfGlider() const;
    // Every flight, shown or not, by its place in the logbook.
    int totalCount() const { return int(m_rows.size()); }
    const LogbookText::FlightFigures &figuresAt(int i) const { return m_rows.at(i).figures; }
    const QString &gliderAt(int i) const { return m_rows.at(i).entry.glider; }
    qint64 shownMinutes() const { return m_shownMinutes; }

signals:
    // A glider name changed: the glider filter's choices may have changed.
    void notesEdited();

private:
    struct Row
    {
        LogbookEntry entry;
        FlightSummary shown; // the values as the user's locale writes them
        LogbookText::FlightFigures figures;
        qint64 when = 0; // date and start time as one number, for the order of time
        std::array<double, 8> numbers {}; // QneMin .. SpeedMax
    };
    Row rowFor(const LogbookEntry &entry) const;
    bool passes(const Row &row) const;
    bool lessThan(int a, int b) const;
    void rebuild();
    void sortShown();

    SaveNote m_saveNote;
    QList<Row> m_rows;
    QList<int> m_shown; // indices into m_rows, in the order shown
    QList<QString> m_sortTexts; // folded texts of a text column while sorting by it
    int m_sortColumn = Date;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    int m_year = 0;
    std::optional<QString> m_glider;
    qint64 m_shownMinutes = 0;
    QString m_decimalPoint;
};
