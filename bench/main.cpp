// tolmera-bench: one text report export of flights 1..N through the real main
// window against the simulated instrument, measured against the time the
// protocol's own waits take.

#include "bench/LogbookBench.h"
#include "link/Protocol.h"
#include "link/ReceiveBuffer.h"
#include "sim/MemoryImage.h"
#include "sim/SampleMemory.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/SimInstrument.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kRatioTarget = 1.03;
constexpr double kCpuShareTarget = 0.05;
constexpr double kPeakRssTargetMb = 80.0;

// The sample logbook, its flights repeated until there are `flights` of them.
MemoryImage logbookWith(int flights)
{
    MemoryImage image = MemoryImage::sample();
    const QList<RawFlight> sample = SampleMemory::flights();
    for (int n = int(sample.size()) + 1; n <= flights; ++n)
        image.setFlight(n, sample.at((n - 1) % sample.size()));
    image.setFlightCount(std::max(flights, image.flightCount()));
    return image;
}

double cpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// User + system time of another process; nullopt when /proc does not tell.
std::optional<double> processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = stat.readAll();
    // The command name in parentheses may hold spaces; the fields after it
    // start with the state (field 3): utime is field 14, stime field 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
}

struct GapStats
{
    std::vector<double> ms;

    void add(double seconds) { ms.push_back(seconds * 1000.0); }
    void print(const char *what, double idealMs)
    {
        if (ms.empty())
            return;
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double v : ms)
            sum += v;
        const double mean = sum / double(ms.size());
        std::printf("  %-34s n=%6zu  ideal %6.3f  mean %7.3f  median %7.3f  p99 %7.3f  max %7.3f ms\n", what,
            ms.size(), idealMs, mean, ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)],
            ms.back());
    }
};

// Where the time between the program's characters went, as the simulated
// instrument saw them arrive: the pause after each character of a read, and,
// between two reads of one run (consecutive addresses), the answer wait after
// the last character and the period from one read's start to the next.
void printLineTiming(const QList<SimInstrument::Chunk> &chunks)
{
    struct Command
    {
        QByteArray text;
        double first = 0;
        double last = 0;
    };
    QList<Command> commands;
    GapStats charGaps;
    for (const SimInstrument::Chunk &chunk : chunks) {
        if (!chunk.received)
            continue;
        for (const char c : chunk.bytes) {
            if (c == 'R' || c == 'T' || c == 'V' || c == 'W' || commands.isEmpty())
                commands.append(Command { {}, chunk.seconds, chunk.seconds });
            else
                charGaps.add(chunk.seconds - commands.last().last);
            commands.last().text.append(c);
            commands.last().last = chunk.seconds;
        }
    }
    GapStats answerGaps;
    GapStats readPeriods;
    const auto address = [](const Command &c) {
        bool ok = false;
        const int value = c.text.mid(1).toInt(&ok);
        return c.text.size() == Protocol::kReadCommandLength && c.text.startsWith('R') && ok ? value : -1;
    };
    for (qsizetype i = 1; i < commands.size(); ++i) {
        const int before = address(commands.at(i - 1));
        if (before >= 0 && address(commands.at(i)) == before + 1) {
            answerGaps.add(commands.at(i).first - commands.at(i - 1).last);
            readPeriods.add(commands.at(i).first - commands.at(i - 1).first);
        }
    }
    std::printf("Line timing seen by the instrument:\n");
    charGaps.print("between characters of a read", Protocol::kCharPauseMs);
    answerGaps.print("last character to next read", Protocol::kCharPauseMs + Protocol::kAnswerWaitMs);
    readPeriods.print("one read, start to start",
        Protocol::kReadCommandLength * Protocol::kCharPauseMs + Protocol::kAnswerWaitMs);
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

constexpr double kFloodRssTargetMb = 60.0;
constexpr double kFloodLatencyTargetMs = 50.0;

// How late the window's event loop gets round to a timer that should fire
// every few milliseconds: the worst lateness is the longest the window was
// deaf to the user.
class LatencyProbe : public QObject
{
public:
    LatencyProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const double lateMs = double(m_clock.nsecsElapsed()) / 1e6 - kIntervalMs;
            m_worstMs = std::max(m_worstMs, lateMs);
            m_clock.start();
        });
        m_clock.start();
        m_timer.start();
    }
    double worstMs() const { return m_worstMs; }

private:
    static constexpr int kIntervalMs = 5;
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_worstMs = 0;
};

// The instrument sends without pause for `seconds` while the window is idle,
// then for as long again while an export runs: the program's memory must stay
// bounded and the window responsive, and the data must still be refused.
int runFlood(int seconds)
{
    InstrumentRig rig;
    if (!rig.start(SimInstrument::Options {})) {
        std::fprintf(stderr, "tolmera-bench: the simulated instrument did not start or COM1 did not open\n");
        return 1;
    }
    MainWindow &window = *rig.window;
    LatencyProbe idleProbe;
    QElapsedTimer clock;
    clock.start();
    rig.sim->control(QStringLiteral("flood %1").arg(seconds));
    waitFor([] { return false; }, seconds * 1000);
    const double idleLatency = idleProbe.worstMs();
    const qsizetype idleReceived = window.session().receiveBuffer().size();
    const bool idleRefused = !rig.button("cmdExport")->isEnabled();

    // Once the line is quiet again: Reset, then an export of 25 flights into
    // a line that floods again.
    qsizetype heard = -1;
    while (heard != window.session().receiveBuffer().size()) {
        heard = window.session().receiveBuffer().size();
        waitFor([] { return false; }, 500);
    }
    rig.button("Command3")->click();
    rig.box("txtFromFlight")->setText(QStringLiteral("1"));
    rig.box("txtUntilFlight")->setText(QStringLiteral("25"));
    LatencyProbe exportProbe;
    // The flood starts once the connection check has passed, so that the
    // export reads its flights into it; it goes on after the export ends.
    QTimer::singleShot(300, [&rig, seconds] { rig.sim->control(QStringLiteral("flood %1").arg(seconds)); });
    QElapsedTimer exportClock;
    exportClock.start();
    rig.button("cmdExport")->click();
    const double exportSeconds = double(exportClock.elapsed()) / 1000.0;
    waitFor([] { return false; }, std::max(200, seconds * 1000 - int(exportClock.elapsed()) + 300));
    const double exportLatency = exportProbe.worstMs();

    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const double peakRssMb = double(usage.ru_maxrss) / 1024.0;
    const double worst = std::max(idleLatency, exportLatency);
    std::printf("Flood of %d s while idle: %lld characters received, operation controls %s\n", seconds,
        static_cast<long long>(idleReceived), idleRefused ? "disabled until Reset" : "STILL ENABLED");
    std::printf("Flood of %d s during an export of 25 flights: the export took %.1f s; status lines:\n%s",
        seconds, exportSeconds, qPrintable(statusLogText(window).right(600)));
    std::printf("Worst event latency while idle:       %8.1f ms\n", idleLatency);
    std::printf(
        "Worst event latency during the export and the rest of its flood: %8.1f ms (target < %.0f ms: %s)\n",
        exportLatency, kFloodLatencyTargetMs, verdict(worst < kFloodLatencyTargetMs));
    std::printf("Peak resident memory of the program:   %8.1f MB (target < %.0f MB: %s)\n", peakRssMb,
        kFloodRssTargetMb, verdict(peakRssMb < kFloodRssTargetMb));
    std::fflush(stdout);
    return idleRefused && worst < kFloodLatencyTargetMs && peakRssMb < kFloodRssTargetMb ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tolmera-bench"));
    const auto dataHome = LogbookBench::scratchDataHome();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times a text report export of flights 1..N against the simulated instrument."));
    parser.addHelpOption();
    const QCommandLineOption flightsOption(QStringLiteral("flights"),
        QStringLiteral("Number of flights to export, 1 to 100 (default 10)."), QStringLiteral("N"),
        QStringLiteral("10"));
    const QCommandLineOption lineOption(
        QStringLiteral("line-timing"), QStringLiteral("Also show the gaps between characters on the line."));
    const QCommandLineOption floodOption(QStringLiteral("flood"),
        QStringLiteral("Instead of timing an export: the instrument floods the line for SECONDS while the "
                       "window is idle, then again during an export; prints peak memory and the worst "
                       "event latency."),
        QStringLiteral("SECONDS"));
    parser.addOption(flightsOption);
    parser.addOption(lineOption);
    const QCommandLineOption logbookOption(QStringLiteral("logbook"),
        QStringLiteral("Instead of timing an export: the Logbook window and store over N flights."),
        QStringLiteral("N"));
    parser.addOption(floodOption);
    parser.addOption(logbookOption);
    parser.process(app);
    if (parser.isSet(logbookOption)) {
        const int n = parser.value(logbookOption).toInt();
        if (n < 1 || n > 1000000) {
            std::fprintf(stderr, "tolmera-bench: --logbook takes a number of flights from 1 to 1000000\n");
            return 2;
        }
        return LogbookBench::run(n);
    }
    if (parser.isSet(floodOption)) {
        bool floodOk = false;
        const int seconds = parser.value(floodOption).toInt(&floodOk);
        if (!floodOk || seconds < 1 || seconds > 3600) {
            std::fprintf(stderr, "tolmera-bench: --flood takes a number of seconds from 1 to 3600\n");
            return 2;
        }
        return runFlood(seconds);
    }
    bool ok = false;
    const int flights = parser.value(flightsOption).toInt(&ok);
    if (!ok || flights < 1 || flights > MemoryImage::maxFlights) {
        std::fprintf(
            stderr, "tolmera-bench: --flights takes a number from 1 to %d\n", MemoryImage::maxFlights);
        return 2;
    }

    SimInstrument::Options options;
    options.memory = logbookWith(flights);
    InstrumentRig rig;
    if (!rig.start(options)) {
        std::fprintf(stderr, "tolmera-bench: the simulated instrument did not start or COM1 did not open\n");
        return 1;
    }
    SimInstrument &sim = *rig.sim;
    MainWindow &window = *rig.window;
    window.findChild<QLineEdit *>(QStringLiteral("txtFromFlight"))->setText(QStringLiteral("1"));
    window.findChild<QLineEdit *>(QStringLiteral("txtUntilFlight"))->setText(QString::number(flights));
    QPushButton *exportButton = window.findChild<QPushButton *>(QStringLiteral("cmdExport"));
    // Let the window settle (first paint, the port's opening pause) outside
    // the measured run.
    waitFor([] { return false; }, 200);
    sim.clearTranscript();
    // The session notes every wait it asks for: the floor is what the run's
    // own code path asks of the protocol, not a restatement of it.
    window.session().startRecording();

    rusage before {};
    rusage after {};
    const std::optional<double> simBefore = processCpuSeconds(sim.processId());
    ::getrusage(RUSAGE_SELF, &before);
    QElapsedTimer clock;
    clock.start();
    exportButton->click();
    const qint64 wallNs = clock.nsecsElapsed();
    ::getrusage(RUSAGE_SELF, &after);
    const std::optional<double> simAfter = processCpuSeconds(sim.processId());

    // The run only counts when it read every flight and wrote the report.
    int stored = 0;
    for (int n = 1; n <= flights; ++n) {
        const FlightSummary &entry = window.flightTable().entry(n);
        if (!entry.date.isEmpty() && entry.date != FlightTable::kFailedMark)
            ++stored;
    }
    const bool reportWritten = statusLogText(window).contains(QStringLiteral("Txt file ready"))
        && QFile::exists(sim.driveC() + QLatin1Char('/') + window.exportFileName() + QStringLiteral(".txt"));

    const double wallMs = double(wallNs) / 1e6;
    const qint64 floorMs = window.session().askedWaitMs();
    const qsizetype transmissions = window.session().sent().size();
    const double ratio = wallMs / double(floorMs);
    const double cpu = cpuSeconds(after) - cpuSeconds(before);
    const double cpuShare = cpu / (wallMs / 1000.0);
    const double peakRssMb = double(after.ru_maxrss) / 1024.0;

    std::printf("Export of flights 1..%d (text report), %d of %d flights read, report %s\n", flights, stored,
        flights, reportWritten ? "written" : "NOT written");
    std::printf("Protocol floor (the waits the session asked for, %lld transmissions): %lld ms\n",
        static_cast<long long>(transmissions), static_cast<long long>(floorMs));
    std::printf("Wall time (click to end of export):  %10.1f ms\n", wallMs);
    std::printf("Overhead over the floor:             %10.1f ms (%.1f ms per flight)\n",
        wallMs - double(floorMs), (wallMs - double(floorMs)) / flights);
    std::printf("Ratio wall / floor:                  %10.4f   (target <= %.2f: %s)\n", ratio, kRatioTarget,
        verdict(ratio <= kRatioTarget));
    std::printf("Program CPU (user+sys) during run:   %10.1f ms = %.2f%% of wall (target <= %.0f%%: %s)\n",
        cpu * 1000.0, cpuShare * 100.0, kCpuShareTarget * 100.0, verdict(cpuShare <= kCpuShareTarget));
    if (simBefore && simAfter)
        std::printf("Simulator CPU during run (info):     %10.1f ms = %.2f%% of wall\n",
            (*simAfter - *simBefore) * 1000.0, (*simAfter - *simBefore) / (wallMs / 1000.0) * 100.0);
    else
        std::printf("Simulator CPU during run (info):     not available\n");
    std::printf("Peak resident memory of the program: %10.1f MB (target < %.0f MB: %s)\n", peakRssMb,
        kPeakRssTargetMb, verdict(peakRssMb < kPeakRssTargetMb));
    if (parser.isSet(lineOption))
        printLineTiming(sim.transcript());
    std::fflush(stdout);

    return stored == flights && reportWritten ? 0 : 1;
}
