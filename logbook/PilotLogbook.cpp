#include "logbook/PilotLogbook.h"

#include "link/OperationEnvironment.h"
#include "logbook/LogbookText.h"
#include "logbook/ReportImport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace {

// How often flights waiting for the logbook are offered to it again.
constexpr int kRetryMs = 5000;
// A report line is about 80 characters; a longer one is no report's.
constexpr qint64 kMaxLineBytes = 4096;
// Flights stored in one transaction of an import, between two looks at
// the progress and the cancel button.
constexpr int kImportStep = 500;

// The instrument pads the name with blanks to eight characters.
QString pilotOf(const QString &name)
{
    QString pilot = name.left(ReportImport::kPilotNameLength);
    while (!pilot.isEmpty() && pilot.back().isSpace())
        pilot.chop(1);
    return pilot;
}

// The pilot's texts cut so that every export can hold them.
LogbookEntry cutTexts(LogbookEntry e)
{
    for (QString *text : { &e.pilot, &e.site, &e.glider, &e.notes, &e.landingSite })
        *text = text->left(PilotLogbook::kMaxNoteLength);
    return e;
}

Glider cutTexts(Glider g)
{
    g.name = g.name.trimmed().left(PilotLogbook::kMaxNoteLength);
    g.type = g.type.left(PilotLogbook::kMaxNoteLength);
    g.registration = g.registration.left(PilotLogbook::kMaxNoteLength);
    return g;
}

} // namespace

PilotLogbook::PilotLogbook(const QString &path, QObject *parent)
    : QObject(parent)
    , m_store(path)
{
    // The window thread never waits for another program's write.
    m_store.setBusyTimeout(0);
    m_retry.setInterval(kRetryMs);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PilotLogbook::storeWaiting);
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
        return !m_store.isOpen();
    default:
        return false;
    }
}

QString PilotLogbook::problemText() const
{
    if (m_waiting.isEmpty())
        return m_problemText;
    const QString waiting = m_waiting.size() == 1
        ? QStringLiteral(
            "1 flight waits to be stored; it will be stored as soon as the logbook can be written.")
        : QStringLiteral("%1 flights wait to be stored; they will be stored as soon as the logbook can be "
                         "written.")
              .arg(m_waiting.size());
    return m_problemText.isEmpty() ? waiting : m_problemText + QLatin1Char(' ') + waiting;
}

void PilotLogbook::setProblem(const QString &text, bool fromWrite)
{
    m_problemFromWrite = fromWrite && !text.isEmpty();
    if (text == m_problemText)
        return;
    m_problemText = text;
    if (!text.isEmpty())
        std::fprintf(stderr, "tolmera-reader: logbook: %s\n", qUtf8Printable(text));
    emit problemChanged();
}

void PilotLogbook::noteReadOnly()
{
    if (m_store.isReadOnly() == m_toldReadOnly)
        return;
    m_toldReadOnly = m_store.isReadOnly();
    emit problemChanged();
}

void PilotLogbook::afterWrite(bool ok)
{
    setProblem(ok ? QString() : m_store.message(), true);
    noteReadOnly();
}

void PilotLogbook::afterRead(bool ok)
{
    m_lastReadFailed = !ok;
    // A read that works says nothing about writing: a failed write stays
    // told until a write succeeds.
    if (!ok || !m_problemFromWrite)
        setProblem(ok ? QString() : m_store.message(), m_problemFromWrite);
    noteReadOnly();
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
    afterRead(ok);
    return ok;
}

void PilotLogbook::record(const FlightSummary &flight, const QString &pilotName)
{
    const auto typed = LogbookFlight::fromSummary(flight);
    if (!typed)
        return;
    LogbookEntry entry;
    entry.flight = *typed;
    entry.pilot = pilotOf(pilotName);
    if (entry.pilot.isEmpty())
        m_unnamed.append(*typed);
    // A flight read again while it waits waits once.
    const auto waiting = std::find_if(
        m_waiting.begin(), m_waiting.end(), [&](const LogbookEntry &e) { return e.flight == entry.flight; });
    if (waiting == m_waiting.end())
        m_waiting.append(entry);
    else if (waiting->pilot.isEmpty())
        waiting->pilot = entry.pilot;
    storeWaiting();
}

void PilotLogbook::pilotNameRead(const QString &pilotName)
{
    const QString pilot = pilotOf(pilotName);
    const QList<LogbookFlight> unnamed = std::exchange(m_unnamed, {});
    if (pilot.isEmpty() || unnamed.isEmpty())
        return;
    // Flights still waiting take the name where they wait; the stored ones
    // are offered again with it, and gain it (a flight there with a name
    // already keeps that).
    for (const LogbookFlight &flight : unnamed) {
        const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
            [&](const LogbookEntry &e) { return e.flight == flight && e.pilot.isEmpty(); });
        if (waiting != m_waiting.end()) {
            waiting->pilot = pilot;
            continue;
        }
        LogbookEntry entry;
        entry.flight = flight;
        entry.pilot = pilot;
        m_waiting.append(entry);
    }
    storeWaiting();
}

void PilotLogbook::operationEnded()
{
    m_unnamed.clear();
}

bool PilotLogbook::storeWaiting()
{
    if (m_waiting.isEmpty())
        return true;
    const qsizetype before = m_waiting.size();
    std::optional<LogbookStore::Added> added;
    if (ensureOpen())
        added = m_store.recordAll(m_waiting);
    if (!added) {
        if (m_store.isOpen() || !fileUnusable())
            afterWrite(false);
        m_retry.start();
        emit problemChanged();
        return false;
    }
    m_waiting.clear();
    m_retry.stop();
    afterWrite(true);
    if (before > 0 && m_problemText.isEmpty())
        emit problemChanged();
    for (const LogbookEntry &e : std::as_const(added->addedEntries))
        emit recorded(e);
    emitUpdated(added->named);
    return true;
}

void PilotLogbook::emitUpdated(const QList<qint64> &ids)
{
    for (const qint64 id : ids) {
        if (const auto e = m_store.entry(id))
            emit updated(*e);
    }
}

QString PilotLogbook::startNew()
{
    const QString aside = m_store.putAside(QDate::currentDate().toString(Qt::ISODate));
    if (aside.isEmpty()) {
        afterWrite(false);
        return aside;
    }
    m_tried = false;
    ensureOpen();
    storeWaiting();
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
    const auto store = [&](const QList<LogbookEntry> &flights) {
        if (flights.isEmpty())
            return true;
        const auto added = m_store.recordAll(flights);
        afterWrite(bool(added));
        if (!added)
            return false;
        result.added += added->added;
        result.alreadyThere += added->alreadyThere;
        return true;
    };
    for (qsizetype i = 0; i < files.size() && !result.cancelled && !result.failed; ++i) {
        const QString &path = files.at(i);
        const QString name = QFileInfo(path).fileName();
        const auto progress = [&](qint64 done, qint64 size) {
            env.setProgressText(QStringLiteral("Reading report %1 of %2: %3 (%4 %)")
                                    .arg(i + 1)
                                    .arg(files.size())
                                    .arg(name)
                                    .arg(size > 0 ? done * 100 / size : 100));
            result.cancelled = env.isCancelled();
            return !result.cancelled;
        };
        if (!progress(0, 0))
            break;
        QFile file(path);
        // Only plain files: a pipe or a device would never end.
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
            result.unreadableFiles.append(path);
            continue;
        }
        ReportImport::Reader reader;
        QList<LogbookEntry> step;
        while (!file.atEnd() && !result.failed && !result.cancelled) {
            QByteArray line = file.readLine(kMaxLineBytes);
            if (!line.endsWith('\n') && !file.atEnd()) {
                // Far too long for a report's line: skipped to its end.
                while (!file.atEnd() && !file.readLine(kMaxLineBytes).endsWith('\n')) { }
                line = QByteArray("\x01");
            }
            reader.feed(line);
            step += reader.takeFlights();
            if (step.size() >= kImportStep) {
                result.failed = !store(std::exchange(step, {}));
                progress(file.pos(), file.size());
            }
        }
        if (!result.failed && !result.cancelled)
            result.failed = !store(step);
        if (!reader.parsed().isReport)
            result.notReports.append(path);
        else
            result.linesNotUnderstood += reader.parsed().linesNotUnderstood;
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
    for (const QString &file : result.notReports)
        text += QStringLiteral("; %1 is not a report of this program").arg(QFileInfo(file).fileName());
    if (!result.unreadableFiles.isEmpty())
        text += QStringLiteral("; %1 could not be read")
                    .arg(result.unreadableFiles.size() == 1
                            ? QStringLiteral("1 file")
                            : QStringLiteral("%1 files").arg(result.unreadableFiles.size()));
    if (result.cancelled)
        text += QStringLiteral("; stopped before the end");
    return text;
}

std::optional<QList<LogbookEntry>> PilotLogbook::entries()
{
    storeWaiting();
    if (!ensureOpen()) {
        m_lastReadFailed = true;
        return std::nullopt;
    }
    auto all = m_store.entries();
    afterRead(bool(all));
    return all;
}

std::optional<QList<LogbookEntry>> PilotLogbook::deletedEntries()
{
    if (!ensureOpen())
        return std::nullopt;
    auto deleted = m_store.deletedEntries();
    afterRead(bool(deleted));
    return deleted;
}

bool PilotLogbook::setNote(qint64 id, NoteField field, const QString &text)
{
    const bool ok = ensureOpen() && m_store.setNote(id, field, text.left(kMaxNoteLength));
    afterWrite(ok);
    if (ok)
        emitUpdated({ id });
    return ok;
}

bool PilotLogbook::remove(const QList<qint64> &ids)
{
    const auto changed = ensureOpen() ? m_store.setDeleted(ids, true) : std::nullopt;
    afterWrite(bool(changed));
    if (!changed)
        return false;
    QList<qint64> gone;
    for (const LogbookEntry &e : *changed)
        gone.append(e.id);
    if (!gone.isEmpty())
        emit removed(gone);
    return true;
}

bool PilotLogbook::undelete(const QList<qint64> &ids)
{
    const auto changed = ensureOpen() ? m_store.setDeleted(ids, false) : std::nullopt;
    afterWrite(bool(changed));
    if (!changed)
        return false;
    for (const LogbookEntry &e : *changed)
        emit recorded(e);
    return true;
}

std::optional<qint64> PilotLogbook::addFlight(const LogbookEntry &entry)
{
    if (!LogbookStore::isPossible(entry))
        return std::nullopt;
    const auto stored = ensureOpen() ? m_store.add(cutTexts(entry)) : std::nullopt;
    afterWrite(bool(stored));
    if (!stored)
        return std::nullopt;
    emit recorded(*stored);
    return stored->id;
}

bool PilotLogbook::updateFlight(const LogbookEntry &entry)
{
    if (!LogbookStore::isPossible(entry))
        return false;
    const auto stored = ensureOpen() ? m_store.update(cutTexts(entry)) : std::nullopt;
    afterWrite(bool(stored));
    if (!stored)
        return false;
    emit updated(*stored);
    return true;
}

bool PilotLogbook::eraseFlight(qint64 id)
{
    const LogbookStore::Erased erased = ensureOpen() ? m_store.erase(id) : LogbookStore::Erased::Failed;
    afterWrite(erased != LogbookStore::Erased::Failed);
    if (erased != LogbookStore::Erased::Erased)
        return false;
    emit removed({ id });
    return true;
}

bool PilotLogbook::setNotes(const QList<qint64> &ids, NoteField field, const QStringList &texts)
{
    if (texts.size() != ids.size() && texts.size() != 1)
        return false;
    QStringList cut;
    cut.reserve(texts.size());
    for (const QString &text : texts)
        cut.append(text.left(kMaxNoteLength));
    const auto changed = ensureOpen() ? m_store.setNotes(ids, field, cut) : std::nullopt;
    afterWrite(bool(changed));
    if (!changed)
        return false;
    for (const LogbookEntry &e : *changed)
        emit updated(e);
    return true;
}

std::optional<QList<Glider>> PilotLogbook::gliders()
{
    if (!ensureOpen())
        return std::nullopt;
    auto all = m_store.gliders();
    afterRead(bool(all));
    return all;
}

bool PilotLogbook::gliderNameTaken(const QString &name, qint64 id)
{
    const auto all = gliders();
    return all && std::any_of(all->cbegin(), all->cend(), [&](const Glider &g) {
        return g.id != id && g.name.compare(name, Qt::CaseInsensitive) == 0;
    });
}

std::optional<qint64> PilotLogbook::addGlider(const Glider &glider)
{
    const Glider g = cutTexts(glider);
    if (g.name.isEmpty() || gliderNameTaken(g.name, 0))
        return std::nullopt;
    const auto id = ensureOpen() ? m_store.addGlider(g) : std::nullopt;
    afterWrite(bool(id));
    if (id)
        emit glidersChanged();
    return id;
}

bool PilotLogbook::updateGlider(const Glider &glider)
{
    const Glider g = cutTexts(glider);
    if (g.name.isEmpty() || gliderNameTaken(g.name, g.id))
        return false;
    const auto renamed = ensureOpen() ? m_store.updateGlider(g) : std::nullopt;
    afterWrite(bool(renamed));
    if (!renamed)
        return false;
    emit glidersChanged();
    if (*renamed > 0)
        emit reset();
    return true;
}

bool PilotLogbook::removeGlider(qint64 id)
{
    const bool ok = ensureOpen() && m_store.removeGlider(id);
    afterWrite(ok);
    if (ok)
        emit glidersChanged();
    return ok;
}

std::optional<OpeningBalance> PilotLogbook::openingBalance()
{
    if (!ensureOpen())
        return std::nullopt;
    auto balance = m_store.openingBalance();
    afterRead(bool(balance));
    return balance;
}

bool PilotLogbook::setOpeningBalance(const OpeningBalance &balance)
{
    const bool ok = ensureOpen() && m_store.setOpeningBalance(balance);
    afterWrite(ok);
    if (ok)
        emit openingBalanceChanged();
    return ok;
}
