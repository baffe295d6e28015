#pragma once

#include "export/FlightTable.h"
#include "instrument/InstrumentSession.h"
#include "link/OperationEnvironment.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

namespace Ui {
class MainWindow;
}
class AboutDialog;
class HelpWindow;
class QLineEdit;
class LogbookWindow;
class PilotLogbook;
class SerialLink;
class Waiter;

// The main window "TOLMERA": every control and the status log. Its handlers
// run the instrument operations step by step: ask the instrument session,
// write the status line, fill the boxes, move the counter. The conversation
// with the instrument, framing, decoding, the export run and the writers live
// in the core; the window is the environment their operations run in (its
// waits, and the counter label for their progress).
class MainWindow : public QMainWindow, private OperationEnvironment
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Appends " * " + message + a line break to the status log and beeps:
    // every confirmation and every problem an operation reports.
    void appendStatus(const QString &message);
    // The port is open and the instrument answers "T" with exactly "!";
    // otherwise the status log says which of the two failed.
    bool checkConnection();

    QString receiveBufferText() const;
    QString pilotName() const { return m_pilotName; }
    QString exportFileName() const { return m_exportFileName; }
    const FlightTable &flightTable() const { return m_flightTable; }
    qint16 exportFirstFlight() const { return m_exportFirstFlight; }
    qint16 exportLastFlight() const { return m_exportLastFlight; }
    bool isOperationRunning() const { return m_busy; }
    SerialLink &serialPort();
    InstrumentSession &session() { return *m_session; }
    // Where every flight read completely is recorded.
    PilotLogbook &logbook() { return *m_logbook; }
    LogbookWindow *logbookWindow() const;
    // The thirteen controls that go grey while the receive buffer holds
    // anything or an operation runs, in the order the window lists them.
    const std::array<QWidget *, 13> &operationControls() const { return m_operationControls; }

signals:
    // An instrument operation started (true) or ended (false).
    void operationRunningChanged(bool running);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Start-up: the file name taken over, the first export type and the
    // first port chosen (which opens it), the focus in the flight number.
    void startUp();
    void initActionsConnections();

    // The serial port and the receive buffer.
    void selectPort();
    void showPortActivity();
    void resetActivityStrip();
    void followReceiveBuffer();
    void reportConnectionLost();
    // Empties the status log and the receive buffer (Reset, Clear Status).
    void resetStatus();

    // The instrument operations.
    void readInstrumentInfo();
    void showPilotName();
    void savePilotName();
    void showFlightLog();
    void exportFlights();

    // Export settings.
    void chooseExportType();
    void setFileName();
    void showDriveCFolder();
    void choosePortsAndFolder();

    // Menus and the other windows.
    void clearFlightData();
    void clearInstrumentInfo();
    void showHelp();
    void showAbout();
    void exitProgram();
    // Stops a running operation at its current wait and closes the port: how
    // the window ends, by Exit, by its close box or when it is released.
    void shutDown();

    // The logbook: every flight read completely goes into it.
    void showLogbook();

    // The environment of the window's operations.
    bool isCancelled() const override;
    bool wait(int ms) override;
    void setProgressText(const QString &text) override;

    // Reads the eight name bytes into pilotName(); false when that failed.
    bool readPilotName();
    void refreshPilotName();
    void showFlight(const FlightSummary &flight);
    bool writeTextReport();
    bool writeSpreadsheet();
    ExportData exportData() const;

    template <typename Steps> void runOperation(Steps steps);
    // Sets every operation control's enabled state from the facts below.
    void updateOperationControls();

    std::unique_ptr<Ui::MainWindow> ui;
    InstrumentSession *m_session;
    Waiter *m_waiter;
    QPointer<AboutDialog> m_about;
    QPointer<HelpWindow> m_help;
    PilotLogbook *m_logbook;
    QPointer<LogbookWindow> m_logbookWindow;

    std::array<QWidget *, 13> m_operationControls {};
    // The boxes of the Flight Data frame, in the order of FlightFields::kAll.
    std::array<QLineEdit *, 12> m_flightBoxes {};
    // The facts the operation controls follow: an operation runs; the
    // receive buffer holds data (see receiveBuffer()); "Excel file" was
    // chosen since the buffer was last emptied, which locks the file name.
    bool m_busy = false;
    bool m_fileNameLocked = false;
    bool m_closing = false;
    bool m_centred = false;

    QString m_pilotName;
    QString m_exportFileName;
    FlightTable m_flightTable;
    qint16 m_exportFirstFlight = 0;
    qint16 m_exportLastFlight = 0;
};
