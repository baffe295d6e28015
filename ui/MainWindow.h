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

    // Appends " * " + message + CR LF to the status log and beeps.
    void funcWriteError(const QString &ErrMess);
    // Waits at least ms milliseconds while the window keeps handling events;
    // false when cut short (Exit, the close box, or the event loop ending).
    bool MyPause(int ms);
    // Empties the receive buffer and resets the activity strip to "|".
    void funcClearStatus();
    // The port is open and the instrument answers "T" with exactly "!".
    bool funcCheckConnection();
    // Reads the eight name bytes into pilotName(); false when that failed.
    bool funcGetPilotName();

    QString statusLogText() const { return m_statusLog; }
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
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Event handlers of the controls and menus.
    void cmbCommPort_Click();
    void MSComm1_OnComm();
    void Text20_Change();
    void Command3_Click();
    void cmdGetFlight_Click();
    void btnVersie_Click();
    void cmdGetPilotName_Click();
    void savepilot_Click();
    void cmdExport_Click();
    void cmbExportSettings_Click();
    void cmdSaveFileName_Click();
    void txtFromFlight_KeyDown();
    void Exit_Click();
    void ClearFD_Click();
    void ClearFI_Click();
    void ClearS_Click();
    void info_Click();
    void About_Click();
    void PortsFolder_Click();
    void Logbook_Click();
    void onConnectionLost();
    void onStatusCleared();

    void Form_Load();
    void showDriveCFolder();
    void initActionsConnections();

    // The environment of the window's operations.
    bool isCancelled() const override;
    bool wait(int ms) override;
    void setProgressText(const QString &text) override;

    void refreshPilotName();
    void showFlight(const FlightSummary &flight);
    bool WriteTextReport();
    bool WriteSpreadsheet();
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
    // The facts the operation controls follow: an operation runs; the
    // receive buffer holds data (see receiveBuffer()); "Excel file" was
    // chosen since the buffer was last emptied, which locks the file name.
    bool m_busy = false;
    bool m_fileNameLocked = false;
    bool m_closing = false;
    bool m_centred = false;

    QString m_statusLog;
    QString m_pilotName;
    QString m_exportFileName;
    FlightTable m_flightTable;
    qint16 m_exportFirstFlight = 0;
    qint16 m_exportLastFlight = 0;
};
