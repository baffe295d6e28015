#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookStore.h"

#include <QObject>
#include <QStringList>
#include <memory>

class OperationEnvironment;

// The pilot's logbook as the program uses it: recorded into by the reads,
// shown and edited by the Logbook window. The file is opened on first use,
// never at start-up, and a failure never reaches the operation that read
// the flight: it is kept here for the window to show and printed on
// standard error.
class PilotLogbook : public QObject
{
    Q_OBJECT
public:
    explicit PilotLogbook(const QString &path, QObject *parent = nullptr);
    ~PilotLogbook() override;

    // $XDG_DATA_HOME/tolmera-reader/logbook.sqlite (~/.local/share when
    // XDG_DATA_HOME is not set).
    static QString defaultPath();

    const QString &path() const { return m_store.path(); }
    LogbookStore &store() { return m_store; }

    // Adds a flight read completely from the instrument, with the pilot name
    // last read (trailing blanks dropped), unless it is there already. An
    // empty, garbled or half-read flight is ignored.
    void record(const FlightSummary &flight, const QString &pilotName);

    // Opens the file if that has not been done or failed for a passing
    // reason; true when it can be used.
    bool ensureOpen();
    LogbookStore::Problem problem() const { return m_store.problem(); }
    // What went wrong last, for the window; empty when all is well.
    QString problemText() const { return m_problemText; }
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
        bool cancelled = false;
        bool failed = false; // the logbook refused: see problemText()
    };
    // Reads text reports this program wrote and adds the flights not yet
    // present, one file at a time, each in one transaction.
    ImportResult importReports(const QStringList &files, OperationEnvironment &env);
    // "N added, M already in the logbook, K lines not understood".
    static QString importSummary(const ImportResult &result);

    // Every flight, newest first; nullopt when the logbook cannot be read.
    std::optional<QList<LogbookEntry>> entries();

    // Edits through the window; false when the store refused (problemText()).
    bool setNote(qint64 id, NoteField field, const QString &text);
    std::optional<QList<LogbookEntry>> remove(const QList<qint64> &ids);
    bool restore(const QList<LogbookEntry> &entries);

signals:
    // A new flight was recorded (entry carries its id).
    void recorded(const LogbookEntry &entry);
    // A flight recorded before the pilot name was known was read again
    // with it.
    void pilotNamed(qint64 id, const QString &pilot);
    // Several flights came or went at once: read the list again.
    void reset();
    void problemChanged();

private:
    void report(bool ok);

    LogbookStore m_store;
    QString m_problemText;
    bool m_tried = false;
};
