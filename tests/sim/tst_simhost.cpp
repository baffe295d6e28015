#include "tests/support/SimInstrument.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The slave side opened the way the reader opens a serial device: raw 38400 8N1.
class Terminal
{
public:
    explicit Terminal(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios tio {};
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, B38400);
        cfsetospeed(&tio, B38400);
        tcsetattr(m_fd, TCSANOW, &tio);
        tcflush(m_fd, TCIOFLUSH);
    }
    ~Terminal() { close(); }

    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    // One character at a time with a pause after each, as the reader sends.
    void send(const QByteArray &bytes, int gapMs = 1)
    {
        for (char c : bytes) {
            QCOMPARE(::write(m_fd, &c, 1), ssize_t(1));
            if (gapMs > 0)
                QTest::qSleep(gapMs);
        }
    }

    // Everything that arrives within ms milliseconds, or until count bytes are in.
    QByteArray read(int ms, int count = -1)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && (count < 0 || got.size() < count)) {
            pollfd p { m_fd, POLLIN, 0 };
            if (::poll(&p, 1, int(ms - clock.elapsed())) <= 0)
                break;
            char buffer[512];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, n);
        }
        return got;
    }

    // True when the other end is gone: poll reports a hang-up and reading fails.
    bool hasHungUp()
    {
        pollfd p { m_fd, POLLIN, 0 };
        if (::poll(&p, 1, 1000) != 1 || !(p.revents & POLLHUP))
            return false;
        char c;
        const ssize_t n = ::read(m_fd, &c, 1);
        return n == 0 || (n < 0 && errno == EIO);
    }

private:
    int m_fd = -1;
};

qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong(); // utime + stime
}

} // namespace

class TestSimHost : public QObject
{
    Q_OBJECT

private slots:
    void deviceMap();
    void connectionTestAnsweredQuickly();
    void readRun();
    void writeThenReadBack();
    void controlLinesTakeEffect();
    void unaskedBytes();
    void lateAnswer();
    void reopenWithoutBusyLoop();
    void transcript();
    void serialPortReopens();
    void hangUpControl();
    void hangUpFault();
    void silentInstrument();
    void commandLine();
};

void TestSimHost::deviceMap()
{
    const QByteArray before = qgetenv("XDG_CONFIG_HOME");
    QString configHome;
    {
        SimInstrument sim;
        QVERIFY(sim.start());
        configHome = sim.configHome();
        QCOMPARE(qgetenv("XDG_CONFIG_HOME"), QFile::encodeName(configHome));
        QCOMPARE(QFileInfo(sim.deviceMapDir() + "/com1").symLinkTarget(), sim.ptyPath());
        QCOMPARE(QFileInfo(sim.deviceMapDir() + "/c:").symLinkTarget(),
            QFileInfo(sim.driveC()).absoluteFilePath());
        QVERIFY(QFileInfo(sim.driveC()).isDir());
    }
    QCOMPARE(qgetenv("XDG_CONFIG_HOME"), before);
    QVERIFY(!QFileInfo::exists(configHome));
}

void TestSimHost::connectionTestAnsweredQuickly()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());
    QVERIFY(port.isOpen());

    QElapsedTimer clock;
    clock.start();
    port.send("T", 0);
    QCOMPARE(port.read(1000, 1), QByteArray("!"));
    QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(port.read(30), QByteArray());
}

void TestSimHost::readRun()
{
    SimInstrument::Options options;
    options.memory.setPilotName("TEST    ");
    SimInstrument sim(options);
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());

    QByteArray expected;
    for (int a = 208; a <= 215; ++a) {
        const QByteArray command = "R" + QByteArray::number(a).rightJustified(6, '0');
        port.send(command);
        QTest::qSleep(5);
        expected += command + QByteArray::number(quint8("TEST    "[a - 208])).rightJustified(3, '0');
    }
    QCOMPARE(port.read(1000, 80), expected);
}

void TestSimHost::writeThenReadBack()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());

    port.send("W000208065");
    QCOMPARE(port.read(1000, 10), QByteArray("W000208065"));
    port.send("R000208");
    QCOMPARE(port.read(1000, 10), QByteArray("R000208065"));
    const auto memory = sim.memoryNow();
    QVERIFY(memory);
    QCOMPARE(memory->byte(208), quint8(65));
    QCOMPARE(memory->flightCount(), 25);
}

void TestSimHost::controlLinesTakeEffect()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());

    QVERIFY(sim.setFault("garble R000047 1"));
    port.send("R000047R000047");
    QCOMPARE(port.read(1000, 20), QByteArray("R0000472x5R000047025"));

    QVERIFY(sim.setFault("silent T"));
    port.send("T");
    QCOMPARE(port.read(100), QByteArray());
    QVERIFY(sim.clearFaults());
    port.send("T");
    QCOMPARE(port.read(1000, 1), QByteArray("!"));

    QVERIFY(sim.control("poke 47 3"));
    QVERIFY(sim.control("silent on"));
    port.send("R000047");
    QCOMPARE(port.read(100), QByteArray());
    QVERIFY(sim.control("silent off"));
    port.send("R000047");
    QCOMPARE(port.read(1000, 10), QByteArray("R000047003"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unknown control line"));
    QVERIFY(!sim.control("bogus"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("poke needs"));
    QVERIFY(!sim.control("poke 4096 1"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unknown fault"));
    QVERIFY(!sim.setFault("noisy T"));
    QVERIFY(sim.isRunning());
}

void TestSimHost::unaskedBytes()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());
    const QByteArray bytes("\x00 a\\b\xFF\r\n", 8);
    QVERIFY(sim.sendUnasked(bytes));
    QCOMPARE(port.read(1000, bytes.size()), bytes);
    QCOMPARE(sim.transcript().back().bytes, bytes);
}

void TestSimHost::lateAnswer()
{
    SimInstrument::Options options;
    options.faults = QStringList { "late:200 T 1" };
    SimInstrument sim(options);
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());

    QElapsedTimer clock;
    clock.start();
    port.send("T", 0);
    QCOMPARE(port.read(60), QByteArray());
    QCOMPARE(port.read(1000, 1), QByteArray("!"));
    QVERIFY(clock.elapsed() >= 200);
    // A later command waits its turn behind the late answer, never overtakes it.
    port.send("T", 0);
    QCOMPARE(port.read(1000, 1), QByteArray("!"));
}

void TestSimHost::reopenWithoutBusyLoop()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    for (int round = 0; round < 3; ++round) {
        Terminal port(sim.ptyPath());
        QVERIFY(port.isOpen());
        port.send("T", 0);
        QCOMPARE(port.read(1000, 1), QByteArray("!"));
    }
    // With nobody holding the terminal open the simulator must sleep, not spin.
    const qint64 before = cpuTicks(sim.processId());
    QTest::qSleep(500);
    const qint64 after = cpuTicks(sim.processId());
    QVERIFY(before >= 0);
    QVERIFY2(after - before < 10, qPrintable(QString::number(after - before)));
    Terminal port(sim.ptyPath());
    port.send("T", 0);
    QCOMPARE(port.read(1000, 1), QByteArray("!"));
}

void TestSimHost::transcript()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());

    port.send("x T", 0);
    QCOMPARE(port.read(1000, 1), QByteArray("!"));
    QList<SimInstrument::Chunk> chunks = sim.transcript();
    QVERIFY(chunks.size() >= 2);
    QVERIFY(chunks.front().received);
    QCOMPARE(sim.receivedBytes(), QByteArray("x T"));
    QVERIFY(!chunks.back().received);
    QCOMPARE(chunks.back().bytes, QByteArray("!"));
    QVERIFY(chunks.front().seconds <= chunks.back().seconds);

    sim.clearTranscript();
    QVERIFY(sim.transcript().isEmpty());
    port.send("R000047");
    port.send("W000208\r");
    port.send("W000208084V");
    QVERIFY(waitFor([&] { return sim.sentBytes().size() >= 20 + 25; }, 2000));
    QCOMPARE(sim.receivedBytes(), QByteArray("R000047W000208\rW000208084V"));
    QCOMPARE(sim.receivedCommands(), (QStringList { "R000047", "W000208084", "V" }));
    QCOMPARE(sim.sentBytes(), QByteArray("R000047025W000208084TOLMERA ORVIN V2.10 04711"));

    // Every line of the file is a chunk line or a comment.
    QFile file(sim.configHome() + "/../transcript.txt");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.back(), QByteArray());
    for (const QByteArray &line : lines.mid(0, lines.size() - 1))
        QVERIFY2(
            QRegularExpression("^\\d+\\.\\d{6} (RX|TX) \\S+$").match(QString::fromLatin1(line)).hasMatch(),
            line.constData());
}

void TestSimHost::serialPortReopens()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    // The reader's own way in: through the device map link, with the serial
    // port's exclusive lock, closed and opened again between operations.
    const QString device = QFileInfo(sim.deviceMapDir() + "/com1").canonicalFilePath();
    for (int round = 0; round < 3; ++round) {
        QSerialPort port(device);
        port.setBaudRate(QSerialPort::Baud38400);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.clear();
        port.write("T");
        QVERIFY(waitFor([&] { return port.bytesAvailable() > 0; }, 1000));
        QCOMPARE(port.readAll(), QByteArray("!"));
        port.close();
    }
}

void TestSimHost::hangUpControl()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());
    port.send("T", 0);
    QCOMPARE(port.read(1000, 1), QByteArray("!"));

    QVERIFY(sim.hangUp());
    QVERIFY(!sim.isRunning());
    QVERIFY(port.hasHungUp());
    QVERIFY(!QFileInfo::exists(sim.ptyPath()) || !Terminal(sim.ptyPath()).isOpen());
}

void TestSimHost::hangUpFault()
{
    SimInstrument::Options options;
    options.faults = QStringList { "hangup V" };
    SimInstrument sim(options);
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());
    port.send("TV", 0);
    QCOMPARE(port.read(1000, 1), QByteArray("!"));
    QVERIFY(waitFor([&] { return !sim.isRunning(); }, 3000));
    QVERIFY(port.hasHungUp());
}

void TestSimHost::silentInstrument()
{
    SimInstrument::Options options;
    options.silent = true;
    options.info = "ORVIN KX200 V3.01 12345";
    SimInstrument sim(options);
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());
    port.send("TR000047", 0);
    QCOMPARE(port.read(100), QByteArray());
    QVERIFY(sim.control("silent off"));
    port.send("V", 0);
    QCOMPARE(port.read(1000, 23), QByteArray("ORVIN KX200 V3.01 12345"));
}

void TestSimHost::commandLine()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyOrvin");
    QVERIFY(QFile::link("/nonexistent", link)); // an old link is replaced

    QProcess sim;
    sim.start(TOLMERA_SIM_EXECUTABLE, { "--link", link, "--transcript", dir.filePath("t.txt") });
    QVERIFY(sim.waitForReadyRead(5000));
    const QString path = QString::fromLocal8Bit(sim.readLine().trimmed());
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);
    {
        Terminal port(link);
        port.send("T", 0);
        QCOMPARE(port.read(1000, 1), QByteArray("!"));
    }
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QFile transcript(dir.filePath("t.txt"));
    QVERIFY(transcript.open(QIODevice::ReadOnly));
    QVERIFY(transcript.readAll().contains(" TX !\n"));

    for (const QStringList &bad : { QStringList { "--fault", "late T" },
             QStringList { "--memory", "/nonexistent" }, QStringList { "--answer-delay", "soon" } }) {
        QProcess refused;
        refused.start(TOLMERA_SIM_EXECUTABLE, bad);
        QVERIFY(refused.waitForFinished(3000));
        QCOMPARE(refused.exitCode(), 2);
        QVERIFY(refused.readAllStandardOutput().isEmpty());
    }

    const QString sample = dir.filePath("sample.mem");
    QCOMPARE(QProcess::execute(TOLMERA_SIM_EXECUTABLE, { "--write-sample", sample }), 0);
    MemoryImage written;
    QVERIFY(written.load(sample));
    QVERIFY(written == MemoryImage::sample());
}

QTEST_MAIN(TestSimHost)
#include "tst_simhost.moc"
