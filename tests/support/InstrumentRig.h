#pragma once

// A main window talking over COM1 to a simulated instrument, for the window
// tests of the instrument data operations and the export, the benchmark and
// the wire trace.

#include "link/SerialLink.h"
#include "sim/MemoryImage.h"
#include "tests/support/MemoryFlights.h"
#include "tests/support/NamedChild.h"
#include "tests/support/SimInstrument.h"
#include "tests/support/StatusLog.h"
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
        reset();
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

    // Window first, then its instruments.
    void reset()
    {
        window.reset();
        replugged.reset();
        sim.reset();
    }

    // Forget what went before: the next commands() and newLog() start here.
    void mark()
    {
        sim->clearTranscript();
        m_logMark = statusLogText(*window).size();
    }
    QStringList commands() const { return sim->receivedCommands(); }
    // The status lines written since the last mark(), without " * " and the line break.
    QStringList newLog() const { return linesOf(statusLogText(*window).mid(m_logMark)); }
    // Every status line of the window.
    QStringList log() const { return linesOf(statusLogText(*window)); }

    // Declared in this order so that the window goes before its instruments.
    std::unique_ptr<SimInstrument> sim;
    std::unique_ptr<SimInstrument> replugged;
    std::unique_ptr<MainWindow> window;

private:
    static QStringList linesOf(const QString &text)
    {
        QStringList lines;
        for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines.append(line.startsWith(QStringLiteral(" * ")) ? line.mid(3) : QStringLiteral("?") + line);
        return lines;
    }

    qsizetype m_logMark = 0;
};
