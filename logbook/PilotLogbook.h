#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookStore.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

class OperationEnvironment;

// The pilot's logbook as the program uses it: recorded into by the reads,
// shown and edited by the Logbook window. The file is opened on first use,
// never at start-up, and a failure never reaches the operation that read
// the flight: it is kept here for the window to show and printed on
// standard error. Recording never waits for the file: a flight that cannot
// be stored now (another program holds the logbook, the disk is full, the
// file is read-only) waits in memory and is stored when the logbook can be
// written again.
class PilotLogbook : public QObject
{
    Q_OBJECT
public:
    // Notes, sites and gliders are cut to this many characters, so that
    // every export can hold them.
    static constexpr int kMaxNoteLength = 2000;

    explicit PilotLogbook(const QString &path, QObject *parent = nullptr);
    ~PilotLogbook() override;

    // $XDG_DATA_HOME/tolmera-reader/logbook.sqlite (~/.local/share when
    // XDG_DATA_HOME is not set).
    static QString defaultPath();

    const QString &path() const { return m_store.path(); }
    LogbookStore &store() { return m_store; }

    // Adds a flight read completely from the instrument unless it is there
    // already. An empty, garbled or half-read flight is ignored. Without a
    // pilot name the flight takes the one its operation reads next
    // (pilotNameRead()).
    void record(const FlightSummary &flight, const QString &pilotName = QString());
    // The pilot name an operation read (trailing blanks dropped): the
    // flights it recorded before, without a name, are named in one go.
    void pilotNameRead(const QString &pilotName);
    // The operation is over: its flights still without a name keep none.
    void operationEnded();

    // Opens the file if that has not been done or failed for a passing
    // reason; true when it can be used (perhaps read-only).
    bool ensureOpen();
    LogbookStore::Problem problem() const { return m_store.problem(); }
    // What went wrong, for the window; empty when all is well. A failed
    // write stays here until a later write succeeds, with the number of
    // flights waiting to be stored.
    QString problemText() const;
    int waitingCount() const { return int(m_waiting.size()); }
    // Stores the flights waiting, if the logbook lets it; true when none
    // waits any more.
    bool storeWaiting();
    // The logbook can be read but not written, and why.
    bool isReadOnly() const { return m_store.isReadOnly(); }
    QString readOnlyReason() const { return m_store.readOnlyReason(); }
    // Whether the list was read; an export from a logbook that could not be
    // read would only replace an earlier file with an empty one.
    bool lastReadFailed() const { return m_lastReadFailed; }
    // Whether the file itself is the trouble (no logbook, damaged, newer)
    // and can only be put aside for a new one.
    bool fileUnusable() const;
    // Renames an unusable file aside and starts a new logbook: only when the
    // pilot has agreed. The name it now has, empty on failure.
    QString startNew();

    struct ImportResult
    {
        int added = 0;
        int alreadyThere = 0;
        int linesNotUnderstood = 0;
        QStringList unreadableFiles;
        QStringList notReports; // files that are no report of this program
        bool cancelled = false;
        bool failed = false; // the logbook refused: see problemText()
    };
    // Reads text reports this program wrote and adds the flights not yet
    // present (nor deleted), reading and storing each file in steps with
    // the progress shown and stopping when cancelled.
    ImportResult importReports(const QStringList &files, OperationEnvironment &env);
    // "N added, M already in the logbook, K lines not understood", then
    // what went wrong with files.
    static QString importSummary(const ImportResult &result);

    // Every flight not deleted, newest first; nullopt when the logbook
    // cannot be read. The deleted flights.
    std::optional<QList<LogbookEntry>> entries();
    std::optional<QList<LogbookEntry>> deletedEntries();

    // Edits through the window; false when the store refused (problemText()).
    // The text is cut to kMaxNoteLength.
    bool setNote(qint64 id, NoteField field, const QString &text);
    // Marks flights deleted: they leave entries(), keep their notes, and
    // stay out when the instrument or an import brings them again.
    bool remove(const QList<qint64> &ids);
    // Brings deleted flights back, notes intact.
    bool undelete(const QList<qint64> &ids);

    // A flight entered by hand (texts cut to kMaxNoteLength): its id; emits
    // recorded. Nothing for values no flight has (LogbookStore::isPossible)
    // or when the store refused (problemText()).
    std::optional<qint64> addFlight(const LogbookEntry &entry);
    // Every field the pilot may change of the flight entry.id: of a flight
    // read from the instrument, a date, start or duration that differs from
    // what it recorded becomes a correction and one equal to it clears the
    // correction (restoring the instrument's value); its summary values stay.
    // Emits updated with the entry as stored.
    bool updateFlight(const LogbookEntry &entry);
    // Removes a flight entered by hand for good (undoing its adding); false,
    // and nothing changed, for a flight read from the instrument. Emits
    // removed.
    bool eraseFlight(qint64 id);
    // One column of several flights in one transaction: a text per id, or
    // one for them all. Emits updated per flight.
    bool setNotes(const QList<qint64> &ids, NoteField field, const QStringList &texts);

    // The pilot's gliders, by name. Adding or renaming to an empty name or
    // one taken (case aside) is refused without touching the logbook. A
    // renamed glider's flights take the new name (reset() then follows).
    std::optional<QList<Glider>> gliders();
    std::optional<qint64> addGlider(const Glider &glider);
    bool updateGlider(const Glider &glider);
    bool removeGlider(qint64 id);

    // The paper logbook carried over; empty when there is none. Setting an
    // empty one removes it.
    std::optional<OpeningBalance> openingBalance();
    bool setOpeningBalance(const OpeningBalance &balance);

signals:
    // A flight came into the list: recorded, or undeleted (entry carries
    // its id).
    void recorded(const LogbookEntry &entry);
    // A flight of the list changed: named, or a note set.
    void updated(const LogbookEntry &entry);
    // Flights left the list.
    void removed(const QList<qint64> &ids);
    // Many flights came or went at once: read the list again.
    void reset();
    // problemText(), waitingCount() or isReadOnly() changed.
    void problemChanged();
    // The gliders list changed.
    void glidersChanged();
    // The opening balance changed.
    void openingBalanceChanged();

private:
    void afterWrite(bool ok);
    void afterRead(bool ok);
    void setProblem(const QString &text, bool fromWrite);
    // Tells the window when the logbook became read-only or writable again.
    void noteReadOnly();
    void emitUpdated(const QList<qint64> &ids);
    // Whether a glider of that name, another than id, is in the list.
    bool gliderNameTaken(const QString &name, qint64 id);

    LogbookStore m_store;
    QString m_problemText;
    bool m_problemFromWrite = false;
    bool m_lastReadFailed = false;
    bool m_toldReadOnly = false;
    bool m_tried = false;
    QList<LogbookEntry> m_waiting;
    QList<LogbookFlight> m_unnamed; // recorded by the running operation without a pilot name
    QTimer m_retry;
};
