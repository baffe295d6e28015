#include "link/SerialLink.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/SimInstrument.h"
#include "ui/Look.h"
#include "ui/MainWindow.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSerialPort>
#include <QTest>

#include <memory>

// The main window's shell as the user meets it right after start-up: its
// frames, captions, tool tips, focus order, menus and the status log's line
// format. The window runs against the simulated instrument only so that
// start-up can open COM1; nothing here sends a command.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowIsFixedCaptionedAndCentred();
    void startupState();
    void startupWithBusyPortStillShowsWindow();
    void controls_data();
    void controls();
    void folderLabelShowsDriveC();
    void pilotBoxTakesEightCharacters();
    void tabOrder();
    void menus_data();
    void menus();
    void statusLogLines_data();
    void statusLogLines();

private:
    template <typename T> T *child(const QString &name) const { return namedChild<T>(m_window.get(), name); }
    void openWindow();

    InstrumentRig m_rig;
    std::unique_ptr<SimInstrument> &m_sim = m_rig.sim;
    std::unique_ptr<MainWindow> &m_window = m_rig.window;
};

void TestMainWindow::initTestCase()
{
    // The program's own style and fonts, as its main() sets them up.
    Look::apply(*qApp);
}

void TestMainWindow::init()
{
    QVERIFY(m_rig.startInstrument());
}

void TestMainWindow::openWindow()
{
    QVERIFY(m_rig.openWindow());
}

void TestMainWindow::cleanup()
{
    m_rig.reset();
}

void TestMainWindow::windowIsFixedCaptionedAndCentred()
{
    openWindow();
    MainWindow &w = *m_window;
    QCOMPARE(w.objectName(), QStringLiteral("TOLMERA"));
    QCOMPARE(w.windowTitle(), QStringLiteral("TOLMERA reader"));
    QVERIFY(!w.windowIcon().isNull());

    // The client area lies below the menu bar and is 618 x 502.
    QWidget *client = w.centralWidget();
    QVERIFY(client);
    QCOMPARE(client->size(), QSize(618, 502));
    QCOMPARE(client->y(), w.menuBar()->height());
    QCOMPARE(w.height(), w.menuBar()->height() + 502);

    // Fixed border: the user cannot resize it and there is no maximize button.
    QCOMPARE(w.minimumSize(), w.size());
    QCOMPARE(w.maximumSize(), w.size());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);

    const QPoint screenCentre = w.screen()->availableGeometry().center();
    const QPoint windowCentre = w.frameGeometry().center();
    QVERIFY2((screenCentre - windowCentre).manhattanLength() <= 2, "the window is not centred");

    // Moved by the user, minimised and restored: it stays where it was put.
    const QPoint placed = w.pos() + QPoint(-40, 30);
    w.move(placed);
    QTRY_COMPARE(w.pos(), placed);
    w.showMinimized();
    w.hide();
    w.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.pos(), placed);
}

void TestMainWindow::startupState()
{
    openWindow();
    MainWindow &w = *m_window;
    QCOMPARE(statusLogText(w), QStringLiteral(" * COM1 selected\n"));
    QVERIFY(w.serialPort().isOpen());
    QCOMPARE(w.serialPort().commPort(), 1);
    QCOMPARE(child<QComboBox>(QStringLiteral("cmbCommPort"))->currentText(), QStringLiteral("COM1"));
    QCOMPARE(
        child<QComboBox>(QStringLiteral("cmbExportSettings"))->currentText(), QStringLiteral("Text file"));
    QCOMPARE(w.exportFileName(), QStringLiteral("flightlog"));
    QCOMPARE(w.receiveBufferText(), QString());
    QCOMPARE(child<QLabel>(QStringLiteral("lblCounter"))->text(), QStringLiteral("_"));
    QCOMPARE(child<QLineEdit>(QStringLiteral("txtStatusBlind"))->text(), QStringLiteral("|"));
    QVERIFY(!w.isOperationRunning());

    // Every operation control and the file name caption start enabled.
    for (const char *name : { "cmdGetFlight", "cmdExport", "btnVersie", "cmbExportSettings", "txtFromFlight",
             "txtUntilFlight", "cmbCommPort", "txtVluchtNummer", "txtFileName", "cmdSaveFileName",
             "savepilot", "txtPilot", "cmdGetPilotName", "Label1" })
        QVERIFY2(child<QWidget>(QLatin1String(name))->isEnabled(), name);

    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), child<QWidget>(QStringLiteral("txtVluchtNummer")));

    // Start-up only opens the port: the instrument hears nothing.
    QTest::qWait(60);
    QCOMPARE(m_sim->receivedBytes(), QByteArray());
}

void TestMainWindow::startupWithBusyPortStillShowsWindow()
{
    // Another program holds the terminal: start-up reports it and goes on, so
    // the user can pick another port.
    QSerialPort holder(m_sim->ptyPath());
    QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    openWindow();
    QCOMPARE(statusLogText(*m_window), QStringLiteral(" * Error selecting COM port\n"));
    QVERIFY(!m_window->serialPort().isOpen());
    QVERIFY(m_window->isVisible());
    QVERIFY(child<QComboBox>(QStringLiteral("cmbCommPort"))->isEnabled());
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("text"); // drop-down lists: the items joined by "|"
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<int>("readOnly"); // -1: not a text box
    QTest::addColumn<QString>("buddy"); // labels: the box the caption's shortcut leads to
    QTest::addColumn<QString>("accessibleName");
    QTest::addColumn<QRect>("rect"); // frames: the place in the client area

    // Buttons are named by their captions, boxes by their caption labels.
    const QHash<QString, QString> accessible { { "cmdGetFlight", "Show flight log" },
        { "btnVersie", "Get Orvin information" }, { "cmdSaveFileName", "Set" }, { "cmdExport", "Export" },
        { "savepilot", "Save pilot name" }, { "cmdGetPilotName", "Get pilot name" }, { "Command3", "Reset" },
        { "txtVluchtNummer", "Flight:" }, { "txtDtime", "Flight duration:" }, { "txtPilot", "Pilot name:" },
        { "txtErrorWindow", "Status" } };
    auto row
        = [&](const char *name, const char *frame, const QString &text, const QString &toolTip = QString(),
              int readOnly = -1, const char *buddy = "", QRect rect = {}) {
              QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(frame) << text
                                  << toolTip << readOnly << QString::fromLatin1(buddy)
                                  << accessible.value(QLatin1String(name)) << rect;
          };
    const auto frameRow
        = [&](const char *name, const char *title, QRect rect) { row(name, "", title, {}, -1, "", rect); };
    frameRow("frRead", "Read", QRect(0, 0, 200, 65));
    frameRow("frFlightData", "Flight Data", QRect(0, 72, 200, 217));
    frameRow("frFlightInfo", "Orvin Info", QRect(0, 296, 200, 97));
    frameRow("frSoftware", "Software", QRect(0, 400, 201, 73));
    frameRow("Frame1", "Export Flight", QRect(208, 0, 200, 137));
    frameRow("Frame2", "Write", QRect(208, 144, 200, 89));
    frameRow("Frame3", "Info", QRect(208, 240, 200, 233));
    frameRow("Frame5", "Settings", QRect(416, 0, 200, 49));
    frameRow("Frame4", "Status", QRect(416, 56, 200, 417));

    row("lblVluchtnummer", "frRead", "Flight:", {}, -1, "txtVluchtNummer");
    row("txtVluchtNummer", "frRead", "1", "Number of the flight to retreive ", 0);
    row("cmdGetFlight", "frRead", "Show flight log");

    const struct
    {
        const char *label, *caption, *box, *toolTip;
    } flightRows[] = {
        { "lblFlight", "Flight:", "txtFlight", "Flight number" },
        { "lblDate", "Date:", "txtDate", "Flight date (yyyy-mm-dd)" },
        { "lblSTime", "Start time:", "txtStime", "Take off time (hh:mm)" },
        { "lblDuration", "Flight duration:", "txtDtime", "Flight duration (hh:mm)" },
        { "lblQneMax", "QNE max:", "txtAltMax", "Flight level max (m)" },
        { "lblQneMin", "QNE min:", "txtAltMin", "Flight level min (m)" },
        { "lblHeightDiff", "Height diff. max", "txtHeightdiffmax", "Maximum height difference (m)" },
        { "lblGain", "Total gain:", "txtGain", "Cumulative height gain (m)" },
        { "lblLift", "Lift max:", "txtVarioMax", "Max lift (m/s)" },
        { "lblSink", "Sink max:", "txtVarioMin", "Max sink (m/s)" },
        { "lblSpeedMax", "Speed max:", "txtSpeedMax", "Speed max (km/h)" },
        { "lblSpeedMin", "Speed min:", "txtSpeedMin", "Speed min (km/h)" },
    };
    for (const auto &r : flightRows) {
        row(r.label, "frFlightData", QString::fromUtf8(r.caption), {}, -1, r.box);
        // Only the height difference box takes typing.
        row(r.box, "frFlightData", QString(), QString::fromUtf8(r.toolTip),
            qstrcmp(r.box, "txtHeightdiffmax") == 0 ? 0 : 1);
    }

    row("Label20", "frFlightInfo", "Version:", {}, -1, "txtVersion");
    row("txtVersion", "frFlightInfo", QString(), "Orvin version", 1);
    row("Label21", "frFlightInfo", "Serial no:", {}, -1, "txtSerial");
    row("txtSerial", "frFlightInfo", QString(), "Orvin serial number", 1);
    row("Label3", "frFlightInfo", "Pilot name:", {}, -1, "txtPilotName");
    row("txtPilotName", "frFlightInfo", QString(), "Pilot name", 1);
    row("btnVersie", "frFlightInfo", "Get Orvin information");

    row("cmbExportSettings", "Frame1", "Text file|Excel file", "Export to type");
    row("Label1", "Frame1", "Filename", {}, -1, "txtFileName");
    row("txtFileName", "Frame1", "flightlog", "Filename for txt export", 0);
    row("Label5", "Frame1", ".txt");
    row("cmdSaveFileName", "Frame1", "Set");
    row("Label17", "Frame1", "Export flight", {}, -1, "txtFromFlight");
    row("txtFromFlight", "Frame1", "1", "From flight number", 0);
    row("Label18", "Frame1", "to", {}, -1, "txtUntilFlight");
    row("txtUntilFlight", "Frame1", "10", "To flight number", 0);
    row("cmdExport", "Frame1", "Export");

    row("Label4", "Frame2", "Pilot name:", {}, -1, "txtPilot");
    row("txtPilot", "Frame2", QString(), "Pilot name to save in Orvin", 0);
    row("savepilot", "Frame2", "Save pilot name");
    row("cmdGetPilotName", "Frame2", "Get pilot name");

    row("Label2", "Frame3",
        "Reset: Use the reset button to clear status log or when the buttons are disabled after receiving a "
        "flight. ");
    row("Label8", "Frame3",
        "Set: Use the set button to set the new filename. This filename is only used for the text file.");
    row("Label22", "Frame3", "Export: Use the export button to export a range of flights to a file.");
    row("Label23", "Frame3",
        "Show flight log: Use the show flight log button if you want to view logged values on screen.");
    row("Label6", "Frame3", "Don't move the window while receiving data. ");

    row("Label16", "Frame5", "Port:", {}, -1, "cmbCommPort");
    row("cmbCommPort", "Frame5", "COM1|COM2|COM3|COM4", "Select COM port");

    // The status window already holds the start-up line.
    row("txtErrorWindow", "Frame4", " * COM1 selected\n", "Status window", 1);
    row("Command3", "Frame4", "Reset", "Reset communication");
    row("Label19", "Frame4", "Processing:", {}, -1, "lblCounter");
    row("lblCounter", "Frame4", "_");

    row("txtStatusBlind", "", "|", QString(), 1, "", QRect(0, 480, 617, 19));
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, frame);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(int, readOnly);
    QFETCH(QString, buddy);
    QFETCH(QString, accessibleName);
    QFETCH(QRect, rect);
    openWindow();

    QWidget *control = child<QWidget>(name);
    QVERIFY(control);
    QVERIFY(control->isVisible());
    QWidget *container = frame.isEmpty() ? m_window->centralWidget() : child<QWidget>(frame);
    QVERIFY(container);
    QVERIFY(container->isAncestorOf(control));
    // A control lies wholly inside its frame.
    QVERIFY(QRect(QPoint(0, 0), container->size())
                .contains(QRect(control->mapTo(container, QPoint(0, 0)), control->size())));
    QCOMPARE(control->toolTip(), toolTip);
    if (rect.isValid()) {
        QCOMPARE(control->parentWidget(), m_window->centralWidget());
        QCOMPARE(control->geometry(), rect);
    }
    if (!accessibleName.isEmpty()) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), accessibleName);
    }

    if (auto *box = qobject_cast<QGroupBox *>(control)) {
        QCOMPARE(box->title(), text);
        // Frame captions are bold, everything else regular.
        QVERIFY(box->font().bold());
        for (QWidget *inside : box->findChildren<QWidget *>())
            QVERIFY2(!inside->font().bold(), qPrintable(inside->objectName()));
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->buddy(), buddy.isEmpty() ? nullptr : child<QWidget>(buddy));
        QCOMPARE(readOnly, -1);
    } else if (auto *button = qobject_cast<QPushButton *>(control)) {
        QCOMPARE(button->text(), text);
        QCOMPARE(readOnly, -1);
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items.join(QLatin1Char('|')), text);
        QVERIFY(!combo->isEditable()); // selection only, no typing
        QCOMPARE(readOnly, -1);
    } else if (auto *box = qobject_cast<QLineEdit *>(control)) {
        QCOMPARE(box->text(), text);
        QCOMPARE(int(box->isReadOnly()), readOnly);
    } else if (auto *log = qobject_cast<QPlainTextEdit *>(control)) {
        QCOMPARE(log->toPlainText(), text);
        QCOMPARE(int(log->isReadOnly()), readOnly);
        QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    } else {
        QFAIL(
            qPrintable(QStringLiteral("unexpected kind of control: ") + control->metaObject()->className()));
    }
}

void TestMainWindow::folderLabelShowsDriveC()
{
    // Where "c:\" really leads: the whole folder in the tool tip, as much of it
    // as fits in the label.
    openWindow();
    auto *label = child<QLabel>(QStringLiteral("Label26"));
    const QString folder = QFileInfo(m_sim->driveC()).canonicalFilePath();
    QCOMPARE(label->toolTip(), folder);
    QVERIFY(!label->text().isEmpty());
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    if (label->text() != folder) {
        QVERIFY(label->text().contains(QChar(0x2026)));
        QVERIFY(folder.endsWith(label->text().section(QChar(0x2026), 1)));
    }
}

void TestMainWindow::pilotBoxTakesEightCharacters()
{
    openWindow();
    auto *box = child<QLineEdit>(QStringLiteral("txtPilot"));
    QTest::keyClicks(box, QStringLiteral("ABCDEFGHI"));
    QCOMPARE(box->text(), QStringLiteral("ABCDEFGH"));
}

void TestMainWindow::tabOrder()
{
    openWindow();
    const QStringList expected {
        "txtVluchtNummer",
        "cmdGetFlight",
        "txtFlight",
        "txtDate",
        "txtStime",
        "txtDtime",
        "txtAltMax",
        "txtAltMin",
        "txtHeightdiffmax",
        "txtGain",
        "txtVarioMax",
        "txtVarioMin",
        "txtSpeedMax",
        "txtSpeedMin",
        "txtVersion",
        "txtSerial",
        "txtPilotName",
        "btnVersie",
        "cmbExportSettings",
        "txtFileName",
        "cmdSaveFileName",
        "txtFromFlight",
        "txtUntilFlight",
        "cmdExport",
        "txtPilot",
        "savepilot",
        "cmdGetPilotName",
        "cmbCommPort",
        "txtErrorWindow",
        "Command3",
        "txtStatusBlind",
    };

    // The focus chain, keeping only what the Tab key can land on: labels,
    // frames and the menu bar must not show up at all.
    auto *start = child<QWidget>(QStringLiteral("txtVluchtNummer"));
    QStringList chain;
    QWidget *w = start;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && m_window->isAncestorOf(w))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w && w != start && chain.size() <= expected.size());
    QCOMPARE(chain, expected);

    // And the Tab key itself walks the same way round, back to the start.
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), start);
    QStringList walked { start->objectName() };
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(walked, expected + QStringList { expected.first() });
}

void TestMainWindow::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("shortcuts");

    // Only the Logbook has a shortcut: it opens a window of its own and
    // runs nothing on the instrument.
    QTest::newRow("File") << "File"
                          << "&File" << QStringList { "Logbook", "PortsFolder", "", "Exit" }
                          << QStringList { "Logbook...", "Ports and Folder...", "", "Exit" }
                          << QStringList { "Ctrl+L", "", "", "" };
    QTest::newRow("Edit") << "Edit"
                          << "&Edit" << QStringList { "ClearFD", "ClearFI", "ClearS" }
                          << QStringList { "Clear Flight Data ", "Clear Orvin Info", "Clear Status" }
                          << QStringList { "", "", "" };
    QTest::newRow("Help") << "Help"
                          << "&Help" << QStringList { "info", "About" } << QStringList { "Info", "About" }
                          << QStringList { "", "" };
}

void TestMainWindow::menus()
{
    QFETCH(QString, menu);
    QFETCH(QString, title);
    QFETCH(QStringList, items);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, shortcuts);
    openWindow();

    // The bar holds File, Edit, Help in this order.
    QStringList bar;
    for (QAction *a : m_window->menuBar()->actions())
        bar << (a->menu() ? a->menu()->objectName() : a->objectName());
    QCOMPARE(bar, (QStringList { "File", "Edit", "Help" }));

    auto *m = child<QMenu>(menu);
    QVERIFY(m);
    QCOMPARE(m->title(), title);
    QStringList names;
    QStringList texts;
    QStringList keys;
    for (QAction *a : m->actions()) {
        names << a->objectName();
        texts << a->text();
        keys << a->shortcut().toString(QKeySequence::PortableText);
        QVERIFY(a->shortcuts().size() <= 1);
        QVERIFY(a->isEnabled());
    }
    QCOMPARE(names, items);
    QCOMPARE(texts, captions);
    QCOMPARE(keys, shortcuts);
    // No shortcut of the window's is taken twice.
    QStringList taken;
    for (const QAction *a : m_window->findChildren<QAction *>()) {
        if (!a->shortcut().isEmpty())
            taken << a->shortcut().toString(QKeySequence::PortableText);
    }
    QCOMPARE(taken.removeDuplicates(), 0);
}

void TestMainWindow::statusLogLines_data()
{
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("shown");
    const auto row = [](const char *tag, const QStringList &messages, const QStringList &shown) {
        QTest::newRow(tag) << messages << shown;
    };

    row("one", { "Filename changed" }, { " * Filename changed" });
    row("two in order", { "COM2 selected", "COM port not open" },
        { " * COM2 selected", " * COM port not open" });
    row("empty message", { QString() }, { " * " });
    row("empty between", { "a", QString(), "b" }, { " * a", " * ", " * b" });
}

void TestMainWindow::statusLogLines()
{
    QFETCH(QStringList, messages);
    QFETCH(QStringList, shown);
    openWindow();

    child<QPushButton>(QStringLiteral("Command3"))->click();
    QCOMPARE(statusLogText(*m_window), QString());

    for (const QString &message : messages)
        m_window->appendStatus(message);
    QStringList lines = statusLogText(*m_window).split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString()); // every line ends with its line break
    QCOMPARE(lines, shown);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
