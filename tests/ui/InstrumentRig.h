#pragma once

#include "NamedChild.h"

// A main window talking over COM1 to a simulated instrument, for the window
// tests of the instrument data operations and the export.

#include "link/SerialLink.h"
#include "sim/MemoryImage.h"
#include "tests/support/SimInstrument.h"
#include "tests/support/Wire.h"
#include "ui/MainWindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <memory>

class InstrumentRig
{
public:
    // Starts the simulator first: the window opens COM1 through the device
    // map that the simulator puts in place. true when the port is open.
    bool start(const SimInstrument::Options &options = {})
    {
        if (!startInstrument(options) || !openWindow())
            return false;
        mark();
        return window->serialPort().isOpen();
    }

    // The two halves of start(), for a test that prepares the device map or
    // drive C: before the window opens.
    bool startInstrument(const SimInstrument::Options &options = {})
    {
        window.reset();
        replugged.reset();
        sim = std::make_unique<SimInstrument>(options);
        return sim->start();
    }
    bool openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // The cable goes back in with another instrument behind it: COM1 now
    // leads to it once the port is chosen again.
    bool replug(const SimInstrument::Options &options)
    {
        replugged = std::make_unique<SimInstrument>(options);
        return replugged->start();
    }

    template <typename T = QWidget> T *child(const char *name) const
    {
        return namedChild<T>(window.get(), QLatin1String(name));
    }
    QLineEdit *box(const char *name) const { return child<QLineEdit>(name); }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }

    // The names of the window's thirteen operation controls, in its order,
    // and those of them that are enabled now.
    QStringList operationControls() const
    {
        QStringList names;
        for (const QWidget *control : window->operationControls())
            names << control->objectName();
        return names;
    }
    QStringList enabledOperationControls() const
    {
        QStringList names;
        for (const QWidget *control : window->operationControls()) {
            if (control->isEnabled())
                names << control->objectName();
        }
        return names;
    }

    // Forget what went before: the next commands() and newLog() start here.
    void mark()
    {
        sim->clearTranscript();
        m_logMark = window->statusLogText().size();
    }
    QStringList commands() const { return sim->receivedCommands(); }
    // The status lines written since the last mark(), without " * " and CR LF.
    QStringList newLog() const { return linesOf(window->statusLogText().mid(m_logMark)); }
    // Every status line of the window.
    QStringList log() const { return linesOf(window->statusLogText()); }

    // Declared in this order so that the window goes before its instruments.
    std::unique_ptr<SimInstrument> sim;
    std::unique_ptr<SimInstrument> replugged;
    std::unique_ptr<MainWindow> window;

private:
    static QStringList linesOf(const QString &text)
    {
        QStringList lines;
        for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            lines.append(line.startsWith(QStringLiteral(" * ")) ? line.mid(3) : QStringLiteral("?") + line);
        return lines;
    }

    qsizetype m_logMark = 0;
};

// The text forms of one flight as the window shows and the report writes them.
struct FlightTexts
{
    int number = 0;
    QString date, startTime, duration, qneMin, qneMax, heightDiffMax, totalGain, liftMax, sinkMax, speedMin,
        speedMax;
};

namespace Logbook {

// Flights whose text forms are known without decoding: negative QNE, one
// decimal rates, whole rates, zero values, the widest fields.
//                              sink lift qneMin qneMax vMin vMax  min day mon year  hh  mm  gain
inline const RawFlight kFlightA { 25, 30, -20, 1500, 7, 45, 286, 14, 7, 2005, 9, 5, 1000 };
inline const RawFlight kFlightB { 8, 0, 0, 2130, 18, 52, 5, 3, 11, 2000, 13, 40, 16777215 };
inline const RawFlight kFlightC { 120, 255, -16383, 16383, 0, 255, 6000, 31, 12, 2255, 23, 59, 65536 };
inline const RawFlight kFlightD { 32, 45, 850, 2130, 18, 52, 90, 14, 7, 2005, 12, 5, 3400 };

inline FlightTexts textsA(int n)
{
    return { n, "2005-07-14", "09:05", "04:46", "-20", "1500", "1520", "1000", "3", "2.5", "7", "45" };
}
inline FlightTexts textsB(int n)
{
    return { n, "2000-11-03", "13:40", "00:05", "0", "2130", "2130", "16777215", "0", "0.8", "18", "52" };
}
inline FlightTexts textsC(int n)
{
    return { n, "2255-12-31", "23:59", "100:00", "-16383", "16383", "32766", "65536", "25.5", "12", "0",
        "255" };
}
inline FlightTexts textsD(int n)
{
    return { n, "2005-07-14", "12:05", "01:30", "850", "2130", "1280", "3400", "4.5", "3.2", "18", "52" };
}

// A plain flight for filling memory: 2010-05-n at 10:n.
inline RawFlight filler(int n)
{
    return { 10 + n, 20 + n, 100 * n, 1000 + 100 * n, 10 + n, 40 + n, 30 + n, n, 5, 2010, 10, n, 500 * n };
}

inline MemoryImage image(const QList<RawFlight> &flights, const QByteArray &pilot)
{
    MemoryImage m;
    for (int i = 0; i < flights.size(); ++i)
        m.setFlight(i + 1, flights.at(i));
    m.setFlightCount(int(flights.size()));
    m.setPilotName(pilot);
    return m;
}

} // namespace Logbook
