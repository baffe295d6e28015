#include "logbook/PilotLogbook.h"

#include "link/OperationEnvironment.h"
#include "logbook/LogbookText.h"
#include "logbook/ReportImport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cstdio>

namespace {

// A report of 100 flights is about 12 KB; a file far larger than any report
// is not read into memory.
constexpr qint64 kMaxReportBytes = 16 * 1024 * 1024;

} // namespace

PilotLogbook::PilotLogbook(const QString &path, QObject *parent)
    : QObject(parent)
    , m_store(path)
{
}

PilotLogbook::~PilotLogbook() = default;

QString PilotLogbook::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("tolmera-reader/logbook.sqlite"));
}

bool PilotLogbook::fileUnusable() const
{
    switch (m_store.problem()) {
    case LogbookStore::Problem::NotALogbook:
    case LogbookStore::Problem::Damaged:
    case LogbookStore::Problem::NewerVersion:
        return true;
    default:
        return false;
    }
}

void PilotLogbook::report(bool ok)
{
    const QString text = ok ? QString() : m_store.message();
    if (text == m_problemText)
        return;
    m_problemText = text;
    if (!text.isEmpty())
        std::fprintf(stderr, "tolmera-reader: logbook: %s\n", qUtf8Printable(text));
    emit problemChanged();
}

bool PilotLogbook::ensureOpen()
{
    if (m_store.isOpen())
        return true;
    // A file that is no logbook stays so until the pilot decides; opening
    // it again at every flight would only repeat the verdict.
    if (m_tried && fileUnusable())
        return false;
    m_tried = true;
    const bool ok = m_store.open();
    report(ok);
    return ok;
}

void PilotLogbook::record(const FlightSummary &flight, const QString &pilotName)
{
    if (!LogbookText::isCompleteFlight(flight) || !ensureOpen())
        return;
    LogbookEntry entry;
    entry.flight = flight;
    // The instrument pads the name with blanks to eight characters.
    static const QRegularExpression trailingBlanks(QStringLiteral("\\s+$"));
    entry.pilot = QString(pilotName).remove(trailingBlanks);
    qint64 id = 0;
    const LogbookStore::Recorded outcome = m_store.record(entry, &id);
    report(outcome != LogbookStore::Recorded::Failed);
    if (outcome == LogbookStore::Recorded::Named)
        emit pilotNamed(id, entry.pilot);
    if (outcome != LogbookStore::Recorded::Added)
        return;
    entry.id = id;
    emit recorded(entry);
}

QString PilotLogbook::startNew()
{
    const QString aside = m_store.putAside(QDate::currentDate().toString(Qt::ISODate));
    if (aside.isEmpty()) {
        report(false);
        return aside;
    }
    m_tried = false;
    ensureOpen();
    emit reset();
    return aside;
}

PilotLogbook::ImportResult PilotLogbook::importReports(const QStringList &files, OperationEnvironment &env)
{
    ImportResult result;
    if (!ensureOpen()) {
        result.failed = true;
        return result;
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (env.isCancelled()) {
            result.cancelled = true;
            break;
        }
        const QString &path = files.at(i);
        env.setProgressText(QStringLiteral("Reading report %1 of %2: %3")
                                .arg(i + 1)
                                .arg(files.size())
                                .arg(QFileInfo(path).fileName()));
        QFile file(path);
        // Only plain files: a pipe or a device would never end.
        if (!QFileInfo(path).isFile() || QFileInfo(path).size() > kMaxReportBytes
            || !file.open(QIODevice::ReadOnly)) {
            result.unreadableFiles.append(path);
            continue;
        }
        const ReportImport::Parsed parsed = ReportImport::parse(file.read(kMaxReportBytes));
        result.linesNotUnderstood += parsed.linesNotUnderstood;
        const auto added = m_store.recordAll(parsed.flights);
        report(bool(added));
        if (!added) {
            result.failed = true;
            break;
        }
        result.added += added->added;
        result.alreadyThere += added->alreadyThere;
    }
    if (result.added > 0)
        emit reset();
    return result;
}

QString PilotLogbook::importSummary(const ImportResult &result)
{
    QString text = QStringLiteral("%1 added, %2 already in the logbook, %3 lines not understood")
                       .arg(result.added)
                       .arg(result.alreadyThere)
                       .arg(result.linesNotUnderstood);
    if (!result.unreadableFiles.isEmpty())
        text += QStringLiteral("; %1 could not be read")
                    .arg(result.unreadableFiles.size() == 1
                            ? QStringLiteral("1 file")
                            : QStringLiteral("%1 files").arg(result.unreadableFiles.size()));
    if (result.cancelled)
        text += QStringLiteral("; stopped before the last file");
    return text;
}

std::optional<QList<LogbookEntry>> PilotLogbook::entries()
{
    if (!ensureOpen())
        return std::nullopt;
    auto all = m_store.entries();
    report(bool(all));
    return all;
}

bool PilotLogbook::setNote(qint64 id, NoteField field, const QString &text)
{
    const bool ok = ensureOpen() && m_store.setNote(id, field, text);
    report(ok);
    return ok;
}

std::optional<QList<LogbookEntry>> PilotLogbook::remove(const QList<qint64> &ids)
{
    if (!ensureOpen())
        return std::nullopt;
    auto removed = m_store.remove(ids);
    report(bool(removed));
    return removed;
}

bool PilotLogbook::restore(const QList<LogbookEntry> &entries)
{
    const bool ok = ensureOpen() && m_store.restore(entries);
    report(ok);
    if (ok)
        emit reset();
    return ok;
}
