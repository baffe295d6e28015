#include "sim/SimHost.h"

#include "sim/SimFault.h"
#include "sim/Transcript.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// After a read error on the master the notifier is parked this long, so a
// terminal in trouble cannot make the host spin.
constexpr int readErrorPauseMs = 100;
// The longest a hang-up waits for the other end to read what was sent before it.
constexpr int hangUpDrainMs = 250;
constexpr int hangUpGraceMs = 20;

} // namespace

SimHost::SimHost(SimModel &model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    m_clock.start();
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &SimHost::sendDue);
}

SimHost::~SimHost()
{
    closeTerminal();
}

bool SimHost::open(QString *error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = systemError("cannot create a pseudo-terminal");
        return false;
    }
    const char *name = ptsname(m_master);
    if (!name) {
        *error = systemError("ptsname");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        *error = systemError("cannot open the slave side");
        return false;
    }

    // Raw 38400 8N1, so neither echo nor line editing touches the bytes even
    // before the reader sets the line up itself.
    termios tio {};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    tio.c_cflag |= CLOCAL | CREAD;
    tcsetattr(m_slave, TCSANOW, &tio);

    // Nobody may be reading the slave; a full terminal then drops what the
    // instrument sends, as a serial line would, instead of blocking the host.
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);

    m_terminalNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_terminalNotifier, &QSocketNotifier::activated, this, &SimHost::readTerminal);
    return true;
}

bool SimHost::setLink(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        QFile::remove(path);
    } else if (info.exists()) {
        *error = path + QStringLiteral(" exists and is not a symbolic link");
        return false;
    }
    if (::symlink(m_slavePath.toLocal8Bit().constData(), path.toLocal8Bit().constData()) != 0) {
        *error = systemError("cannot create the link");
        return false;
    }
    m_linkPath = path;
    return true;
}

bool SimHost::setTranscript(const QString &path, QString *error)
{
    m_transcript.setFileName(path);
    if (!m_transcript.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = path + QStringLiteral(": ") + m_transcript.errorString();
        return false;
    }
    return true;
}

void SimHost::listenForControl(int fd)
{
    m_controlFd = fd;
    m_controlNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_controlNotifier, &QSocketNotifier::activated, this, &SimHost::readControl);
}

void SimHost::readControl()
{
    char buffer[4096];
    const ssize_t n = ::read(m_controlFd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_controlNotifier->setEnabled(false);
        m_controlNotifier->deleteLater();
        m_controlNotifier = nullptr;
        return;
    }
    m_controlBuffer.append(buffer, n);
    qsizetype end;
    while (!m_finishing && (end = m_controlBuffer.indexOf('\n')) >= 0) {
        QByteArray line = m_controlBuffer.left(end);
        m_controlBuffer.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray word = line.trimmed().split(' ').front();
        say(control(line));
        // The acknowledgement goes out first, so the controller knows the
        // simulator left on purpose.
        if (word == "quit")
            quit();
        else if (word == "hangup")
            hangUp();
    }
}

QByteArray SimHost::control(const QByteArray &rawLine)
{
    const QByteArray line = rawLine.trimmed();
    const qsizetype space = line.indexOf(' ');
    const QByteArray word = space < 0 ? line : line.left(space);
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1).trimmed();

    if (line.isEmpty() || line.startsWith('#'))
        return "ok";
    if (word == "fault") {
        QString error;
        const auto fault = SimFault::parse(QString::fromLatin1(rest), &error);
        if (!fault)
            return "error: " + error.toLatin1();
        m_model.addFault(*fault);
        return "ok";
    }
    if (word == "clear-faults" && rest.isEmpty()) {
        m_model.clearFaults();
        return "ok";
    }
    if (word == "silent" && (rest == "on" || rest == "off")) {
        m_model.setSilent(rest == "on");
        return "ok";
    }
    if (word == "send") {
        // The text is everything after "send ", spaces included.
        const auto bytes = Transcript::unescape(line.mid(5));
        if (!bytes || space < 0)
            return "error: send needs a text, with \\xNN for special bytes";
        sendUnasked(*bytes);
        return "ok";
    }
    if (word == "poke") {
        const QList<QByteArray> args = rest.simplified().split(' ');
        bool okAddress = false;
        bool okValue = false;
        const int address = args.value(0).toInt(&okAddress);
        const int value = args.value(1).toInt(&okValue);
        if (args.size() != 2 || !okAddress || !okValue || address < 0 || address >= MemoryImage::size
            || value < 0 || value > 255)
            return "error: poke needs an address from 0 to 4095 and a value from 0 to 255";
        m_model.memory().setByte(address, quint8(value));
        return "ok";
    }
    if (word == "dump" && !rest.isEmpty()) {
        QString error;
        if (!m_model.memory().save(QString::fromLocal8Bit(rest), &error))
            return "error: " + error.toLocal8Bit();
        return "ok";
    }
    if (word == "flood") {
        bool ok = false;
        const int seconds = rest.toInt(&ok);
        if (!ok || seconds < 0 || seconds > 3600)
            return "error: flood needs a number of seconds from 0 to 3600";
        flood(seconds);
        return "ok";
    }
    if ((word == "hangup" || word == "quit") && rest.isEmpty())
        return "ok";
    return "error: unknown control line \"" + line + "\"";
}

void SimHost::readTerminal()
{
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_terminalNotifier->setEnabled(false);
        QTimer::singleShot(readErrorPauseMs, this, [this] {
            if (m_terminalNotifier)
                m_terminalNotifier->setEnabled(true);
        });
        return;
    }
    const QByteArray input(buffer, n);
    log(true, input);
    schedule(m_model.receive(input));
}

void SimHost::schedule(const QList<Reply> &replies)
{
    // Answers leave in the order their commands came, as from a device that
    // works through its input one command at a time.
    const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
    for (const Reply &reply : replies) {
        const qint64 dueUs = std::max(nowUs + qint64(reply.delayMs) * 1000, m_lastDueUs);
        m_lastDueUs = dueUs;
        m_queue.append(Pending { reply.bytes, reply.hangUp, dueUs });
    }
    sendDue();
}

void SimHost::sendDue()
{
    const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
    while (!m_queue.isEmpty() && m_queue.front().dueUs <= nowUs) {
        const Pending next = m_queue.takeFirst();
        if (next.hangUp) {
            hangUp();
            return;
        }
        writeTerminal(next.bytes);
    }
    if (!m_queue.isEmpty())
        m_sendTimer.start(int((m_queue.front().dueUs - nowUs + 999) / 1000));
}

void SimHost::sendUnasked(const QByteArray &bytes)
{
    writeTerminal(bytes);
}

void SimHost::writeTerminal(const QByteArray &bytes)
{
    if (m_master < 0 || bytes.isEmpty())
        return;
    // Logged before it goes out: whoever sees the bytes arrive can rely on
    // finding them in the transcript already.
    log(false, bytes);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    if (done < bytes.size())
        note("dropped " + QByteArray::number(bytes.size() - done) + " bytes: the terminal is full");
}

void SimHost::log(bool received, const QByteArray &bytes)
{
    if (m_transcript.isOpen())
        m_transcript.write(Transcript::formatLine(double(m_clock.nsecsElapsed()) / 1e9, received, bytes));
}

void SimHost::note(const QByteArray &text)
{
    if (m_transcript.isOpen())
        m_transcript.write(
            "# " + QByteArray::number(double(m_clock.nsecsElapsed()) / 1e9, 'f', 6) + ' ' + text + '\n');
}

void SimHost::flood(int seconds)
{
    if (m_master < 0)
        return;
    m_floodUntilMs = m_clock.elapsed() + qint64(seconds) * 1000;
    if (!m_floodNotifier) {
        m_floodNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
        connect(m_floodNotifier, &QSocketNotifier::activated, this, &SimHost::floodMore);
    }
    m_floodNotifier->setEnabled(seconds > 0);
    // The flood's bytes are not logged one by one: a minute of them would
    // fill the disk.
    note("flood " + QByteArray::number(seconds) + " s");
}

void SimHost::floodMore()
{
    if (m_master < 0 || m_clock.elapsed() >= m_floodUntilMs) {
        if (m_floodNotifier)
            m_floodNotifier->setEnabled(false);
        return;
    }
    // Read answers back to back, as a stuck instrument might repeat them.
    static const QByteArray block = QByteArray("R000047025").repeated(400);
    if (::write(m_master, block.constData(), size_t(block.size())) < 0 && errno != EAGAIN && errno != EINTR)
        m_floodNotifier->setEnabled(false);
}

void SimHost::closeTerminal()
{
    m_sendTimer.stop();
    m_queue.clear();
    delete m_floodNotifier;
    m_floodNotifier = nullptr;
    delete m_terminalNotifier;
    m_terminalNotifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = -1;
    m_slave = -1;
}

void SimHost::hangUp()
{
    if (m_finishing)
        return;
    m_finishing = true;
    note("hang-up");
    m_sendTimer.stop();
    m_queue.clear();
    if (m_terminalNotifier)
        m_terminalNotifier->setEnabled(false);
    m_drainClock.start();
    finishHangUp();
}

void SimHost::finishHangUp()
{
    // Closing the master throws away what the other end has not read yet, so
    // the answers already sent get a moment to be read before the line drops.
    // The terminal hands written bytes on to the other side a little later,
    // which is why an empty input queue only counts after a short grace time.
    int unread = 0;
    const bool draining = m_slave >= 0 && ::ioctl(m_slave, TIOCINQ, &unread) == 0 && unread > 0;
    const qint64 waited = m_drainClock.elapsed();
    if ((waited < hangUpGraceMs || draining) && waited < hangUpDrainMs) {
        QTimer::singleShot(2, this, &SimHost::finishHangUp);
        return;
    }
    closeTerminal();
    m_transcript.close();
    emit finished(0);
}

void SimHost::quit()
{
    if (m_finishing)
        return;
    m_finishing = true;
    note("quit");
    closeTerminal();
    m_transcript.close();
    // Only our own link goes: someone may have pointed it elsewhere meanwhile.
    if (!m_linkPath.isEmpty()) {
        char target[4096];
        const ssize_t n = ::readlink(m_linkPath.toLocal8Bit().constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, n) == m_slavePath.toLocal8Bit())
            QFile::remove(m_linkPath);
    }
    emit finished(0);
}

void SimHost::say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
