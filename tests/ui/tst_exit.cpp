#include "tests/support/InstrumentRig.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <memory>

// Ending the program while an operation waits for the instrument: File > Exit,
// the window's close box, and the event loop told to end without either. Each case runs the application's own
// event loop, as main() does, so that Exit really ends it; QApplication::exec() starts afresh for the next
// case.
class TestExit : public QObject
{
    Q_OBJECT

private slots:
    void endDuringWait_data();
    void endDuringWait();
};

void TestExit::endDuringWait_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("endAfterMs");
    const auto row = [](const char *tag, const char *operation, const char *ending, int endAfterMs) {
        QTest::newRow(tag) << QString::fromLatin1(operation) << QString::fromLatin1(ending) << endAfterMs;
    };

    row("Exit during export", "cmdExport", "Exit", 700);
    row("Exit during pilot name", "cmdGetPilotName", "Exit", 300);
    row("Exit with help open", "cmdGetPilotName", "Exit with help", 300);
    row("Exit, port closed", "", "Exit", 100);
    row("close box during export", "cmdExport", "close box", 700);
    row("close box during pilot name", "cmdGetPilotName", "close box", 300);
    // The waits then end without a cancel: the operation must still stop on
    // the failure its read returns, not go on with a read that has no value.
    row("event loop ends during show flight", "cmdGetFlight", "event loop", 300);
    row("event loop ends during pilot name", "cmdGetPilotName", "event loop", 300);
}

void TestExit::endDuringWait()
{
    QFETCH(QString, operation);
    QFETCH(QString, ending);
    QFETCH(int, endAfterMs);

    InstrumentRig rig;
    QVERIFY(rig.start());
    SimInstrument &sim = *rig.sim;
    MainWindow &w = *rig.window;

    if (operation.isEmpty()) {
        // Nothing runs and the port is already closed: Exit only ends the program.
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/tolmera-test-device"),
            sim.deviceMapDir() + QStringLiteral("/com2")));
        auto *ports = w.findChild<QComboBox *>(QStringLiteral("cmbCommPort"));
        ports->setCurrentIndex(1);
        emit ports->activated(1);
        QVERIFY(!w.serialPort().isOpen());
    }
    QPointer<QWidget> help;
    if (ending == QLatin1String("Exit with help")) {
        w.findChild<QAction *>(QStringLiteral("info"))->trigger();
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *top : windows) {
            if (top != &w && top->isVisible())
                help = top;
        }
        QVERIFY(help && help->isVisible());
    }
    // What the program sends is measured where it is sent: a byte already on
    // its way to the instrument when the program ends is not a byte sent after.
    w.session().startRecording();

    QElapsedTimer clock;
    clock.start();
    qint64 endedAt = -1;
    qint64 clickReturnedAt = -1;
    qsizetype sentAtEnd = -1;
    QString logAtEnd;

    if (!operation.isEmpty()) {
        QTimer::singleShot(0, this, [&] {
            w.findChild<QPushButton *>(operation)->click();
            clickReturnedAt = clock.elapsed();
        });
    }
    QTimer::singleShot(endAfterMs, this, [&] {
        QVERIFY(operation.isEmpty() || w.isOperationRunning());
        sentAtEnd = w.session().sent().size();
        logAtEnd = statusLogText(w);
        endedAt = clock.elapsed();
        if (ending.startsWith(QLatin1String("Exit")))
            w.findChild<QAction *>(QStringLiteral("Exit"))->trigger();
        else if (ending == QLatin1String("event loop"))
            QCoreApplication::exit(0);
        else
            w.windowHandle()->close();
    });
    // Should the program not end, this ends the loop with a code of its own.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(99); });
    watchdog.start(8000);

    const int exitCode = QApplication::exec();
    const qint64 exitedAt = clock.elapsed();

    QCOMPARE(exitCode, 0);
    QVERIFY(endedAt >= 0);
    QVERIFY2(exitedAt - endedAt < 1000, qPrintable(QString::number(exitedAt - endedAt)));
    if (!operation.isEmpty()) {
        // The operation stopped at its wait instead of racing on.
        QVERIFY(clickReturnedAt >= endedAt);
        QVERIFY2(clickReturnedAt - endedAt < 300, qPrintable(QString::number(clickReturnedAt - endedAt)));
    }
    QVERIFY(!w.isOperationRunning());
    QCOMPARE(w.serialPort().isOpen(), ending == QLatin1String("event loop"));
    if (ending.startsWith(QLatin1String("Exit"))) {
        // Every other window of the program is gone too.
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY2(top == &w || !top->isVisible(), qPrintable(top->windowTitle()));
    }

    // Nothing more reaches the instrument, nothing more is logged, and no
    // report is written from a half-read range.
    QTest::qWait(150);
    QCOMPARE(w.session().sent().size(), sentAtEnd);
    QCOMPARE(statusLogText(w), logAtEnd);
    QCOMPARE(QDir(sim.driveC()).entryList(QDir::Files), QStringList());
    if (operation == QLatin1String("cmdGetPilotName"))
        QCOMPARE(w.pilotName(), QString());

    rig.window.reset();
    delete help.data();
}

QTEST_MAIN(TestExit)
#include "tst_exit.moc"
