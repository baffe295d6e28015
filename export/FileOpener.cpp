#include "export/FileOpener.h"

#include "link/OperationEnvironment.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

namespace {

// An opener that is still running after this long is taken to have handed
// the file to the application (some openers stay until the application
// closes).
constexpr int kGraceMs = 2000;
// How often the wait looks whether the opener has answered.
constexpr int kPollMs = 20;

} // namespace

FileOpener::FileOpener(QObject *parent)
    : QObject(parent)
{
}

FileOpener::~FileOpener()
{
    release();
}

QString FileOpener::openerProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}

void FileOpener::start(const QString &path)
{
    release();
    m_state = State::Running;

    const QString program = openerProgram();
    if (program.isEmpty()) {
        settle(false);
        return;
    }

    // The process has no parent: deleting a QProcess kills a running child,
    // and the opener must outlive this object and even the application (it
    // may be what keeps the spreadsheet application running). It deletes
    // itself once it has ended or failed to start.
    auto *process = new QProcess;
    m_process = process;
    process->setProgram(program);
    process->setArguments({ path });
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);

    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    connect(process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        settle(status == QProcess::NormalExit && exitCode == 0);
    });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A crash is judged when the process has finished.
        if (error == QProcess::FailedToStart)
            settle(false);
    });

    process->start();
}

FileOpener::Outcome FileOpener::open(OperationEnvironment &env, const QString &path)
{
    start(path);
    QElapsedTimer grace;
    grace.start();
    while (m_state == State::Running && grace.elapsed() < kGraceMs) {
        if (!env.wait(kPollMs))
            return Outcome::Cancelled;
    }
    return m_state == State::Failed ? Outcome::Failed : Outcome::Opened;
}

void FileOpener::settle(bool ok)
{
    m_state = ok ? State::Succeeded : State::Failed;
    release();
    emit finished(ok);
}

void FileOpener::release()
{
    // Stop listening to the opener; it runs on and cleans up after itself.
    if (m_process)
        m_process->disconnect(this);
    m_process = nullptr;
}
