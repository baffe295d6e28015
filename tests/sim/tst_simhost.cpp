#include "sim/Transcript.h"
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
    void exchanges_data();
    void exchanges();
    void badControlLinesRefused();
    void lateAnswer();
    void reopenWithoutBusyLoop();
    void transcript();
    void serialPortReopens();
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

// Scripts against a started instrument: "send X" (one character per
// millisecond, then 5 ms), "read X" (exactly X arrives), "quiet" (nothing
// for 100 ms), "fault X" / "control X" (a control line), "clear" (faults),
// "unasked X", "byte A V" (the memory now holds V at A), "hangup" (pull the
// cable), "hungup" (the far end is gone). Options: "silent", "info X",
// "fault X".
void TestSimHost::exchanges_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<QByteArray>>("script");

    QList<QByteArray> run;
    QByteArray answers;
    const MemoryImage sample = MemoryImage::sample();
    for (int a = 410; a <= 417; ++a) {
        const QByteArray command = "R" + QByteArray::number(a).rightJustified(6, '0');
        run << "send " + command;
        answers += command + QByteArray::number(sample.byte(a)).rightJustified(3, '0');
    }
    QTest::newRow("read run") << QStringList() << (run << "read " + answers);
    QTest::newRow("write, then read back")
        << QStringList()
        << QList<QByteArray> { "send W000208065", "read W000208065", "send R000208", "read R000208065",
               "byte 208 65", "byte 47 25" };
    QTest::newRow("control lines take effect")
        << QStringList()
        << QList<QByteArray> { "fault garble R000047 1", "send R000047R000047", "read R0000472x5R000047025",
               "fault silent T", "send T", "quiet", "clear", "send T", "read !", "control poke 47 3",
               "control silent on", "send R000047", "quiet", "control silent off", "send R000047",
               "read R000047003" };
    QTest::newRow("unasked bytes") << QStringList()
                                   << QList<QByteArray> { "unasked \\x00 a\\x5cb\\xff\\x0d\\x0a" };
    QTest::newRow("silent instrument") << QStringList { "silent", "info ORVIN KX200 V3.01 12345" }
                                       << QList<QByteArray> { "send TR000047", "quiet", "control silent off",
                                              "send V", "read ORVIN KX200 V3.01 12345" };
    QTest::newRow("hang-up control") << QStringList() << QList<QByteArray> { "send T", "read !", "hangup" };
    QTest::newRow("hang-up fault") << QStringList { "fault hangup V" }
                                   << QList<QByteArray> { "send TV", "read !", "hungup" };
}

void TestSimHost::exchanges()
{
    QFETCH(QStringList, options);
    QFETCH(QList<QByteArray>, script);

    SimInstrument::Options o;
    for (const QString &option : options) {
        if (option == QLatin1String("silent"))
            o.silent = true;
        else if (option.startsWith(QLatin1String("info ")))
            o.info = option.mid(5);
        else
            o.faults << option.mid(6);
    }
    SimInstrument sim(o);
    QVERIFY(sim.start());
    Terminal port(sim.ptyPath());
    QVERIFY(port.isOpen());

    for (const QByteArray &step : script) {
        const qsizetype space = step.indexOf(' ');
        const QByteArray verb = space < 0 ? step : step.left(space);
        const QByteArray arg = space < 0 ? QByteArray() : step.mid(space + 1);
        if (verb == "send") {
            port.send(arg);
            QTest::qSleep(5);
        } else if (verb == "read") {
            QCOMPARE(port.read(1000, int(arg.size())), arg);
        } else if (verb == "quiet") {
            QCOMPARE(port.read(100), QByteArray());
        } else if (verb == "fault") {
            QVERIFY(sim.setFault(QString::fromLatin1(arg)));
        } else if (verb == "control") {
            QVERIFY(sim.control(QString::fromLatin1(arg)));
        } else if (verb == "clear") {
            QVERIFY(sim.clearFaults());
        } else if (verb == "unasked") {
            const QByteArray bytes = Transcript::unescape(arg).value_or("?");
            QVERIFY(sim.sendUnasked(bytes));
            QCOMPARE(port.read(1000, int(bytes.size())), bytes);
            QCOMPARE(sim.transcript().back().bytes, bytes);
        } else if (verb == "byte") {
            const auto memory = sim.memoryNow();
            QVERIFY(memory);
            QCOMPARE(int(memory->byte(arg.split(' ')[0].toInt())), arg.split(' ')[1].toInt());
        } else if (verb == "hangup") {
            QVERIFY(sim.hangUp());
            QVERIFY(!sim.isRunning());
            QVERIFY(port.hasHungUp());
            QVERIFY(!QFileInfo::exists(sim.ptyPath()) || !Terminal(sim.ptyPath()).isOpen());
        } else {
            QCOMPARE(verb, QByteArray("hungup"));
            QVERIFY(waitFor([&] { return !sim.isRunning(); }, 3000));
            QVERIFY(port.hasHungUp());
        }
    }
}

void TestSimHost::badControlLinesRefused()
{
    SimInstrument sim;
    QVERIFY(sim.start());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unknown control line"));
    QVERIFY(!sim.control("bogus"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("poke needs"));
    QVERIFY(!sim.control("poke 4096 1"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unknown fault"));
    QVERIFY(!sim.setFault("noisy T"));
    QVERIFY(sim.isRunning());
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
