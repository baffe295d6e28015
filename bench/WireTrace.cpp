// tolmera-wiretrace: every instrument operation of the main window, with and
// without a fault, against the simulated instrument; prints what the
// instrument received, one command a line with the times of its first and
// last character. Two builds of the program give two traces that
// scripts/compare-wiretrace.py compares: the same commands in the same order
// with the same gaps, or the differences.
#include "bench/LogbookBench.h"
#include "logbook/PilotLogbook.h"
#include "sim/MemoryImage.h"
#include "tests/support/FaultGrid.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/OpenerStandIn.h"
#include "tests/support/SimInstrument.h"
#include "ui/LogbookWindow.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

struct Operation
{
    const char *name;
    const char *button;
    FaultGrid::Aim aim; // where a fault strikes
};

const Operation kOperations[] = {
    { "information", "btnVersie", FaultGrid::kInformation },
    { "read-name", "cmdGetPilotName", FaultGrid::kReadName },
    { "write-name", "savepilot", FaultGrid::kWriteName },
    { "show-flight", "cmdGetFlight", FaultGrid::kShowFlight3 },
    { "export-text", "cmdExport", FaultGrid::kExport1To2 },
    { "export-workbook", "cmdExport", FaultGrid::kExport1To2 },
};

const char *const kFaults[] = { "", "silent", "garble", "late:80", "hangup" };

// Prints what the instrument received since the transcript was cleared:
// one command a line with the times of its first and last character. With
// gaps, also the widest gap between two characters of one command and the
// time from the first character to the last.
void printTranscript(const SimInstrument &sim, bool gaps = false)
{
    double start = -1;
    QByteArray command;
    double first = 0;
    double last = 0;
    double worstGap = 0;
    const auto flush = [&] {
        if (!command.isEmpty())
            std::printf(
                "%s %.3f %.3f\n", command.constData(), (first - start) * 1000.0, (last - start) * 1000.0);
        command.clear();
    };
    for (const SimInstrument::Chunk &chunk : sim.transcript()) {
        if (!chunk.received)
            continue;
        if (start < 0)
            start = chunk.seconds;
        for (const char c : chunk.bytes) {
            if (c == 'R' || c == 'T' || c == 'V' || c == 'W') {
                flush();
                first = chunk.seconds;
            } else if (!command.isEmpty()) {
                worstGap = std::max(worstGap, chunk.seconds - last);
            }
            command.append(c);
            last = chunk.seconds;
        }
    }
    flush();
    if (gaps)
        std::printf(
            "# worst character gap %.3f ms, wall %.3f ms\n", worstGap * 1000.0, (last - start) * 1000.0);
}

// An export of flights 1 to 10, traced; with held, the Logbook window is open
// and its buttons are pressed all through the export while another process
// holds the logbook with BEGIN EXCLUSIVE. Both runs first fill the logbook
// with the same flights, untraced.
int traceLogbookLoad(bool held)
{
    SimInstrument::Options options;
    options.memory = MemoryImage::sample();
    options.memory.setPilotName("KESTREL ");
    InstrumentRig rig;
    if (!rig.start(options))
        return 1;
    rig.box("txtFromFlight")->setText(QStringLiteral("1"));
    rig.box("txtUntilFlight")->setText(QStringLiteral("10"));
    rig.button("cmdExport")->click();
    rig.button("Command3")->click();

    QProcess holder;
    QTimer presser;
    if (held) {
        rig.window->findChild<QAction *>(QStringLiteral("Logbook"))->trigger();
        LogbookWindow *window = rig.window->logbookWindow();
        holder.start(QStringLiteral("python3"),
            QStringList { QStringLiteral("-c"),
                QStringLiteral("import sqlite3, sys\n"
                               "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                               "c.execute('BEGIN EXCLUSIVE')\n"
                               "print('held', flush=True)\n"
                               "sys.stdin.read()\n"),
                rig.window->logbook().path() });
        if (!holder.waitForReadyRead(5000) || !holder.readAll().startsWith("held")) {
            std::fprintf(stderr, "tolmera-wiretrace: the logbook could not be held\n");
            return 1;
        }
        // Every button of the Logbook window, again and again.
        QObject::connect(&presser, &QTimer::timeout, window, [window] {
            for (QPushButton *button : window->findChildren<QPushButton *>()) {
                if (button->isVisible())
                    button->click();
            }
        });
        presser.start(40);
    }
    rig.sim->clearTranscript();
    rig.button("cmdExport")->click();
    presser.stop();
    QTest::qWait(150);
    // One name for both runs, so that compare-wiretrace.py sets them side by side.
    std::printf("## export-10 logbook\n# the Logbook window %s\n",
        held ? "open, its buttons pressed, its file held by another process" : "closed");
    printTranscript(*rig.sim, true);
    if (held) {
        holder.closeWriteChannel();
        holder.waitForFinished(5000);
    }
    return 0;
}

void trace(const Operation &op, const QString &faultKind)
{
    SimInstrument::Options options;
    options.memory = MemoryImage::sample();
    options.memory.setPilotName("KESTREL ");
    InstrumentRig rig;
    if (!rig.start(options)) {
        std::printf(
            "# %s %s: the simulator did not start or COM1 did not open\n", op.name, qPrintable(faultKind));
        return;
    }
    SimInstrument &sim = *rig.sim;
    rig.box("txtVluchtNummer")->setText(QStringLiteral("3"));
    rig.box("txtFromFlight")->setText(QStringLiteral("1"));
    rig.box("txtUntilFlight")->setText(QStringLiteral("3"));
    rig.box("txtPilot")->setText(QStringLiteral("trace"));
    auto *exportType = rig.child<QComboBox>("cmbExportSettings");
    exportType->setCurrentIndex(QByteArray(op.name) == "export-workbook" ? 1 : 0);
    emit exportType->activated(exportType->currentIndex());
    rig.button("Command3")->click();

    if (!faultKind.isEmpty())
        sim.setFault(FaultGrid::fault(op.aim, faultKind));
    sim.clearTranscript();
    rig.button(op.button)->click();
    QTest::qWait(150);

    std::printf("## %s %s\n", op.name, faultKind.isEmpty() ? "none" : qPrintable(faultKind));
    printTranscript(sim);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto dataHome = LogbookBench::scratchDataHome();

    // The workbook export hands its file to xdg-open: a stand-in that succeeds.
    const OpenerStandIn opener;
    if (!opener.isReady())
        return 1;

    // --logbook-load none|held: only the export of ten flights, without and
    // with the Logbook window busy and its file held (see bench/README.md).
    const QStringList args = app.arguments();
    const qsizetype load = args.indexOf(QStringLiteral("--logbook-load"));
    if (load >= 0)
        return traceLogbookLoad(args.value(load + 1) == QStringLiteral("held"));

    for (const Operation &op : kOperations) {
        for (const char *fault : kFaults)
            trace(op, QString::fromLatin1(fault));
    }
    return 0;
}
