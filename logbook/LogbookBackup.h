#pragma once

#include <QByteArray>
#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

class QThread;

// What a backup holds, for the pilot to see before it replaces the logbook.
struct BackupSummary
{
    QString refusal; // why it cannot be used, for the pilot; empty when it can
    int version = 0; // of the file as it was written
    int flights = 0; // not deleted
    qint64 minutes = 0;
    QDate first;
    QDate last;

    bool usable() const { return refusal.isEmpty(); }
};

// Copies of the logbook. A copy is always made by SQLite itself (VACUUM
// INTO on a read-only connection of its own), which gives a consistent
// snapshot even while the program or another one writes; a file copy of a
// live database can catch a page half-way through a commit or miss what
// still sits in the write-ahead log. SQLite writes the copy into a private
// folder of ours (0700), never to a name the pilot gave: the bytes then
// reach the pilot's file through SafeFile like every file the program
// writes.
namespace LogbookBackup {

// Daily copies kept beside the logbook.
constexpr int kDailyKept = 5;

// A backup larger than this is no logbook a pilot writes by hand or reads
// from an instrument.
constexpr qint64 kMaxBytes = qint64(1) << 30;

// A consistent copy of the logbook at logbookPath, made in a private folder
// created inside workFolder and removed again. nullopt with why (a sentence
// part) on failure, or when cancel turns true meanwhile.
std::optional<QByteArray> snapshot(const QString &logbookPath, const QString &workFolder, QString *why,
    const std::atomic<bool> *cancel = nullptr);

// The bytes of a file the pilot chose as a backup: a plain file of at most
// kMaxBytes. nullopt with a sentence for the pilot.
std::optional<QByteArray> readFile(const QString &path, QString *why);

// Judges bytes as a logbook of this program (LogbookSchema::judge, on a
// copy in a private folder inside workFolder: the pilot's file is never
// opened by SQLite) and sums up its flights. shownPath names the file in
// the refusal. An older version is summed up as the upgrade will see it.
BackupSummary summarize(const QByteArray &bytes, const QString &workFolder, const QString &shownPath);

// summarize() of the file at path, in the system's temporary folder.
BackupSummary inspect(const QString &path);

// "12 flights, 18:30 hours, from 2005-07-14 to 2026-11-30".
QString describe(const BackupSummary &summary);

// Whether path names the logbook at logbookPath or one of SQLite's files
// beside it: a backup written there would destroy what it copies.
bool isLogbookFile(const QString &path, const QString &logbookPath);

// Gives a logbook put aside (LogbookFile::putAside) its name again, with
// the journal files that went with it; nothing is replaced.
void putBack(const QString &aside, const QString &logbookPath);

// <logbook folder>/backups and "logbook-YYYY-MM-DD.sqlite" in it.
QString dailyFolder(const QString &logbookPath);
QString dailyName(QDate day);

struct DailyResult
{
    QString made; // the copy's path; empty when none was made
    QStringList removed; // older copies removed
    QString error; // why no copy could be made
};

// Makes the day's copy unless it is there, then keeps the newest
// kDailyKept copies: only files named like dailyName() are ever removed.
// Runs in any thread: it opens connections of its own.
DailyResult makeDaily(const QString &logbookPath, QDate day, const std::atomic<bool> *cancel = nullptr);

// Removes all but the newest keep copies in folder; their names.
QStringList rotate(const QString &folder, int keep);

} // namespace LogbookBackup

// The daily copies, made in a thread of their own so that neither the
// window nor an instrument operation ever waits for them. A copy under way
// when the program ends is abandoned at the next step and waited for (its
// snapshot takes well under a second); SafeFile never leaves a part of it
// under the final name.
class DailyBackup : public QObject
{
    Q_OBJECT
public:
    explicit DailyBackup(QObject *parent = nullptr);
    ~DailyBackup() override;

    // Off until set: tests and tools leave the logbook's folder alone.
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    // The logbook at logbookPath was opened: today's copy is made unless it
    // is there, and again on each new day while the program runs.
    void opened(const QString &logbookPath);
    bool isCopying() const { return m_thread != nullptr; }
    // Waits for a copy under way (a restore must not find the logbook held).
    void waitForCopy();

signals:
    void finished(const LogbookBackup::DailyResult &result);

private:
    void checkDay();
    void copyDone();

    bool m_enabled = false;
    QString m_path;
    QDate m_day;
    QTimer m_timer;
    QThread *m_thread = nullptr;
    int m_copies = 0;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::shared_ptr<LogbookBackup::DailyResult> m_result;
};
