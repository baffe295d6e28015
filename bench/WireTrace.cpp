// tolmera-wiretrace: every instrument operation of the main window, with and
// without a fault, against the simulated instrument; prints what the
// instrument received, one command a line with the times of its first and
// last character. Two builds of the program give two traces that
// scripts/compare-wiretrace.py compares: the same commands in the same order
// with the same gaps, or the differences.
#include "bench/LogbookBench.h"
#include "sim/MemoryImage.h"
#include "tests/support/FaultGrid.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/OpenerStandIn.h"
#include "tests/support/SimInstrument.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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
    double start = -1;
    QByteArray command;
    double first = 0;
    double last = 0;
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
            }
            command.append(c);
            last = chunk.seconds;
        }
    }
    flush();
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

    for (const Operation &op : kOperations) {
        for (const char *fault : kFaults)
            trace(op, QString::fromLatin1(fault));
    }
    return 0;
}
