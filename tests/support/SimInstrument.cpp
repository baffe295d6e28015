#include "tests/support/SimInstrument.h"

#include "sim/CommandParser.h"
#include "sim/Transcript.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int startTimeoutMs = 5000;
constexpr int ackTimeoutMs = 3000;
constexpr int exitTimeoutMs = 3000;

} // namespace

bool waitFor(const std::function<bool()> &cond, int timeoutMs)
{
    return QTest::qWaitFor(cond, timeoutMs);
}

SimInstrument::SimInstrument()
    : SimInstrument(Options {})
{
}

SimInstrument::SimInstrument(const Options &options)
    : m_options(options)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes must not leave simulators behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

SimInstrument::~SimInstrument()
{
    stop();
    if (m_envSet) {
        if (m_hadConfigHome)
            qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
}

bool SimInstrument::start()
{
    if (!m_dir.isValid() || isRunning())
        return false;
    const QString memoryPath = m_dir.filePath(QStringLiteral("memory.mem"));
    QString error;
    if (!m_options.memory.save(memoryPath, &error)) {
        qWarning("SimInstrument: %s", qPrintable(error));
        return false;
    }

    QStringList args { QStringLiteral("--memory"), memoryPath, QStringLiteral("--transcript"),
        transcriptPath() };
    if (!m_options.info.isEmpty())
        args << QStringLiteral("--info") << m_options.info;
    for (const QString &fault : m_options.faults)
        args << QStringLiteral("--fault") << fault;
    if (m_options.silent)
        args << QStringLiteral("--silent");

    m_process.start(QStringLiteral(TOLMERA_SIM_EXECUTABLE), args);
    if (!m_process.waitForStarted(startTimeoutMs)) {
        qWarning("SimInstrument: cannot start %s: %s", TOLMERA_SIM_EXECUTABLE,
            qPrintable(m_process.errorString()));
        return false;
    }
    const auto path = readLine(startTimeoutMs);
    if (!path || !path->startsWith("/dev/")) {
        qWarning("SimInstrument: the simulator gave no terminal path");
        stop();
        return false;
    }
    m_ptyPath = QString::fromLocal8Bit(*path);

    if (!QDir().mkpath(deviceMapDir()) || !QDir().mkpath(driveC())
        || !QFile::link(m_ptyPath, deviceMapDir() + QStringLiteral("/com1"))
        || !QFile::link(driveC(), deviceMapDir() + QStringLiteral("/c:"))) {
        qWarning("SimInstrument: cannot build the device map in %s", qPrintable(configHome()));
        stop();
        return false;
    }
    if (!m_envSet) {
        m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        m_oldConfigHome = qgetenv("XDG_CONFIG_HOME");
        m_envSet = true;
    }
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    return true;
}

std::optional<QByteArray> SimInstrument::readLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        m_output += m_process.readAllStandardOutput();
        const qsizetype end = m_output.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = m_output.left(end);
            m_output.remove(0, end + 1);
            return line;
        }
        if (deadline.hasExpired() || !isRunning())
            return std::nullopt;
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
}

bool SimInstrument::control(const QString &line)
{
    if (!isRunning())
        return false;
    m_process.write(line.toLocal8Bit() + '\n');
    m_process.waitForBytesWritten(ackTimeoutMs);
    const auto ack = readLine(ackTimeoutMs);
    if (!ack) {
        qWarning("SimInstrument: no answer to \"%s\"", qPrintable(line));
        return false;
    }
    if (*ack != "ok") {
        qWarning("SimInstrument: \"%s\": %s", qPrintable(line), ack->constData());
        return false;
    }
    return true;
}

bool SimInstrument::sendUnasked(const QByteArray &bytes)
{
    return control(QStringLiteral("send ") + QString::fromLatin1(Transcript::escape(bytes)));
}

bool SimInstrument::hangUp()
{
    return control(QStringLiteral("hangup")) && m_process.waitForFinished(exitTimeoutMs);
}

QList<SimInstrument::Chunk> SimInstrument::transcript() const
{
    QList<Chunk> chunks;
    QFile file(transcriptPath());
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_transcriptOffset))
        return chunks;
    const QByteArray text = file.readAll();
    // A line still being written has no line end yet and waits for the next call.
    const QList<QByteArray> lines = text.left(text.lastIndexOf('\n') + 1).split('\n');
    for (const QByteArray &line : lines) {
        if (const auto parsed = Transcript::parseLine(line))
            chunks.append(Chunk { parsed->seconds, parsed->received, parsed->bytes });
    }
    return chunks;
}

QByteArray SimInstrument::bytes(bool received) const
{
    QByteArray bytes;
    for (const Chunk &c : transcript()) {
        if (c.received == received)
            bytes += c.bytes;
    }
    return bytes;
}

QStringList SimInstrument::receivedCommands() const
{
    CommandParser parser;
    QStringList commands;
    for (const QByteArray &command : parser.feed(receivedBytes()))
        commands.append(QString::fromLatin1(command));
    return commands;
}

void SimInstrument::clearTranscript()
{
    QFile file(transcriptPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = file.readAll();
    m_transcriptOffset = text.lastIndexOf('\n') + 1;
}

std::optional<MemoryImage> SimInstrument::memoryNow()
{
    const QString path = m_dir.filePath(QStringLiteral("dump.mem"));
    MemoryImage image;
    QString error;
    if (!control(QStringLiteral("dump ") + path))
        return std::nullopt;
    if (!image.load(path, &error)) {
        qWarning("SimInstrument: %s", qPrintable(error));
        return std::nullopt;
    }
    return image;
}

void SimInstrument::stop()
{
    if (!isRunning())
        return;
    m_process.write("quit\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(exitTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(exitTimeoutMs);
    }
}
