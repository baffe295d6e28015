#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

#include "export/ExportRange.h"
#include "export/ExportRun.h"
#include "export/FileOpener.h"
#include "export/FlightFields.h"
#include "export/TextReport.h"
#include "export/Workbook.h"
#include "instrument/PilotName.h"
#include "link/DeviceMap.h"
#include "link/ReceiveBuffer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "logbook/PilotLogbook.h"
#include "ui/AboutDialog.h"
#include "ui/AppInfo.h"
#include "ui/HelpWindow.h"
#include "ui/LogbookWindow.h"
#include "ui/PortsDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>

namespace {

using Failure = InstrumentSession::Failure;

// Thrown when a call of the core answers Cancelled; caught in runOperation,
// so it never leaves the handler that started the operation.
struct OperationCancelled
{
};

Failure endIfCancelled(Failure failure)
{
    if (failure == Failure::Cancelled)
        throw OperationCancelled {};
    return failure;
}

template <typename T> InstrumentSession::Result<T> endIfCancelled(InstrumentSession::Result<T> answer)
{
    endIfCancelled(answer.failure());
    return answer;
}

const QString kPortNotOpen = QStringLiteral("COM port not open");
const QString kCountFailed = QStringLiteral("Error while receiving the number of flights in memory");

// More bars than the activity strip's box can ever show.
constexpr qsizetype kStripBars = 512;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , m_session(new InstrumentSession(this))
    , m_waiter(new Waiter(this))
    , m_logbook(new PilotLogbook(PilotLogbook::defaultPath(), this))
{
    ui->setupUi(this);
    setWindowIcon(appIcon());

    m_operationControls = { ui->cmdGetFlight, ui->cmdExport, ui->btnVersie, ui->cmbExportSettings,
        ui->txtFromFlight, ui->txtUntilFlight, ui->cmbCommPort, ui->txtVluchtNummer, ui->txtFileName,
        ui->cmdSaveFileName, ui->savepilot, ui->txtPilot, ui->cmdGetPilotName };

    // A fixed border around a 618 x 502 client area below the menu bar.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(618, 502 + menuBar()->sizeHint().height());

    showDriveCFolder();
    initActionsConnections();
    Form_Load();
}

MainWindow::~MainWindow()
{
    m_waiter->cancel();
    m_session->closePort();
    delete m_help;
    delete m_logbookWindow;
}

SerialLink &MainWindow::serialPort()
{
    return m_session->link();
}

void MainWindow::initActionsConnections()
{
    connect(m_session, &InstrumentSession::portEvent, this, &MainWindow::MSComm1_OnComm);
    connect(m_session, &InstrumentSession::cleared, this, &MainWindow::onStatusCleared);
    connect(m_session, &InstrumentSession::connectionLost, this, &MainWindow::onConnectionLost);
    connect(m_session, &InstrumentSession::receiveBufferChanged, this, &MainWindow::Text20_Change);

    // activated() also fires when the entry already chosen is chosen again:
    // that reopens the port.
    connect(ui->cmbCommPort, &QComboBox::activated, this, &MainWindow::cmbCommPort_Click);
    connect(ui->cmbExportSettings, &QComboBox::activated, this, &MainWindow::cmbExportSettings_Click);

    connect(ui->cmdGetFlight, &QPushButton::clicked, this, &MainWindow::cmdGetFlight_Click);
    connect(ui->cmdExport, &QPushButton::clicked, this, &MainWindow::cmdExport_Click);
    connect(ui->cmdSaveFileName, &QPushButton::clicked, this, &MainWindow::cmdSaveFileName_Click);
    connect(ui->btnVersie, &QPushButton::clicked, this, &MainWindow::btnVersie_Click);
    connect(ui->cmdGetPilotName, &QPushButton::clicked, this, &MainWindow::cmdGetPilotName_Click);
    connect(ui->savepilot, &QPushButton::clicked, this, &MainWindow::savepilot_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);

    connect(ui->Logbook, &QAction::triggered, this, &MainWindow::Logbook_Click);
    LogbookWindow::followInMenu(ui->Logbook, m_logbook);
    connect(ui->PortsFolder, &QAction::triggered, this, &MainWindow::PortsFolder_Click);
    connect(ui->Exit, &QAction::triggered, this, &MainWindow::Exit_Click);
    connect(ui->ClearFD, &QAction::triggered, this, &MainWindow::ClearFD_Click);
    connect(ui->ClearFI, &QAction::triggered, this, &MainWindow::ClearFI_Click);
    connect(ui->ClearS, &QAction::triggered, this, &MainWindow::ClearS_Click);
    connect(ui->info, &QAction::triggered, this, &MainWindow::info_Click);
    connect(ui->About, &QAction::triggered, this, &MainWindow::About_Click);

    // Enter in these boxes runs their operation; the key code alone counts.
    for (QWidget *box : { static_cast<QWidget *>(ui->txtVluchtNummer),
             static_cast<QWidget *>(ui->txtFileName), static_cast<QWidget *>(ui->txtFromFlight),
             static_cast<QWidget *>(ui->txtUntilFlight), static_cast<QWidget *>(ui->txtPilot) })
        box->installEventFilter(this);
}

void MainWindow::Form_Load()
{
    m_exportFileName = ui->txtFileName->text();
    setWindowTitle(QString::fromLatin1(AppInfo::caption));
    ui->txtFromFlight->setReadOnly(false);
    ui->txtUntilFlight->setReadOnly(false);
    ui->txtPilot->setReadOnly(false);
    ui->cmbExportSettings->setCurrentIndex(0);
    cmbExportSettings_Click();
    ui->cmbCommPort->setCurrentIndex(0);
    cmbCommPort_Click();
    ui->txtVluchtNummer->setFocus();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Centred when it first appears; after that it stays where the user
    // put it, also when it comes back from being minimised.
    if (m_centred)
        return;
    m_centred = true;
    if (QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

// ---------------------------------------------------------------------------
// Operations and the controls that follow them

template <typename Steps> void MainWindow::runOperation(Steps steps)
{
    // One operation at a time: a second one would share the receive buffer
    // with the running one.
    if (m_busy || m_closing)
        return;
    m_busy = true;
    updateOperationControls();
    emit operationRunningChanged(true);
    try {
        steps();
    } catch (const OperationCancelled &) {
        // A wait was cut short: the program is closing, leave the window as it is.
    }
    m_busy = false;
    m_logbook->operationEnded();
    if (!m_closing)
        updateOperationControls();
    emit operationRunningChanged(false);
}

void MainWindow::updateOperationControls()
{
    // Data in the receive buffer that no operation asked for keeps every
    // operation off until Reset; a running operation keeps them off too.
    const bool dataWaiting = !m_session->receiveBuffer().isEmpty();
    const bool free = !m_busy && !dataWaiting;
    for (QWidget *control : m_operationControls) {
        const bool fileName = control == ui->txtFileName || control == ui->cmdSaveFileName;
        control->setEnabled(free && !(fileName && m_fileNameLocked));
    }
    // Choosing ports may reopen the port in use: only when the Port list
    // itself can be used.
    ui->PortsFolder->setEnabled(ui->cmbCommPort->isEnabled());
}

void MainWindow::Text20_Change()
{
    const bool idle = m_session->receiveBuffer().isEmpty();
    if (idle)
        m_fileNameLocked = false;
    updateOperationControls();
    if (idle)
        ui->lblCounter->setText(QStringLiteral("_"));
}

QString MainWindow::receiveBufferText() const
{
    return m_session->receiveBuffer().text();
}

// ---------------------------------------------------------------------------
// Instrument link

void MainWindow::cmbCommPort_Click()
{
    runOperation([this] {
        const int index = ui->cmbCommPort->currentIndex();
        if (index >= 0 && index < DeviceMap::kPortCount) {
            if (!m_session->selectPort(index + 1)) {
                funcWriteError(QStringLiteral("Error selecting COM port"));
                return;
            }
            funcWriteError(QStringLiteral("COM%1 selected").arg(index + 1));
        }
        endIfCancelled(m_session->settleAfterSelect(*this));
    });
}

void MainWindow::MSComm1_OnComm()
{
    // What arrived is already in the receive buffer; the strip gains a bar
    // for the port event. Past what its box can show, more bars would change
    // nothing the user sees and only cost memory and time on a busy line.
    const QString strip = ui->txtStatusBlind->text();
    if (strip.size() < kStripBars)
        ui->txtStatusBlind->setText(strip + QLatin1Char('|'));
}

void MainWindow::onStatusCleared()
{
    ui->txtStatusBlind->setText(QStringLiteral("|"));
}

void MainWindow::onConnectionLost()
{
    // The device went away (cable unplugged): say so once; a running export
    // ends at its next flight.
    funcWriteError(kPortNotOpen);
}

bool MainWindow::MyPause(int ms)
{
    return m_waiter->wait(ms);
}

bool MainWindow::isCancelled() const
{
    return m_closing || m_waiter->isCancelled();
}

bool MainWindow::wait(int ms)
{
    return MyPause(ms);
}

void MainWindow::setProgressText(const QString &text)
{
    ui->lblCounter->setText(text);
}

void MainWindow::funcClearStatus()
{
    m_session->clearStatus();
}

void MainWindow::Command3_Click()
{
    m_statusLog.clear();
    ui->txtErrorWindow->clear();
    funcClearStatus();
}

void MainWindow::funcWriteError(const QString &ErrMess)
{
    m_statusLog += QStringLiteral(" * ") + ErrMess + QStringLiteral("\r\n");
    QTextCursor cursor(ui->txtErrorWindow->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral(" * ") + ErrMess + QLatin1Char('\n'));
    QScrollBar *bar = ui->txtErrorWindow->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::beep();
}

bool MainWindow::funcCheckConnection()
{
    switch (endIfCancelled(m_session->checkConnection(*this))) {
    case Failure::None:
        return true;
    case Failure::PortNotOpen:
        funcWriteError(kPortNotOpen);
        return false;
    default:
        funcWriteError(QStringLiteral("Error connecting to the Orvin, please check cable and settings"));
        return false;
    }
}

// ---------------------------------------------------------------------------
// Instrument data

bool MainWindow::funcGetPilotName()
{
    if (!funcCheckConnection())
        return false;
    setProgressText(QStringLiteral("Pilot Name"));
    const auto name = endIfCancelled(m_session->readPilotName(*this));
    if (!name) {
        funcWriteError(QStringLiteral("Error processing pilot name"));
        return false;
    }
    m_pilotName = *name;
    m_logbook->pilotNameRead(m_pilotName);
    return true;
}

void MainWindow::refreshPilotName()
{
    funcGetPilotName();
    ui->txtPilotName->setText(m_pilotName);
}

void MainWindow::cmdGetPilotName_Click()
{
    runOperation([this] {
        if (!funcCheckConnection())
            return;
        refreshPilotName();
    });
}

void MainWindow::savepilot_Click()
{
    runOperation([this] {
        if (!funcCheckConnection())
            return;
        if (ui->txtPilot->text().isEmpty())
            ui->txtPilot->setText(QStringLiteral(" "));
        const QList<int> codes = PilotName::codesFor(ui->txtPilot->text());
        if (endIfCancelled(m_session->writePilotName(*this, codes)) != Failure::None) {
            funcWriteError(QStringLiteral("Error setting pilot name"));
            return;
        }
        funcWriteError(QStringLiteral("Pilot name is set"));
        refreshPilotName();
    });
}

void MainWindow::btnVersie_Click()
{
    runOperation([this] {
        if (!funcCheckConnection())
            return;
        if (const auto info = endIfCancelled(m_session->readInformation(*this))) {
            ui->txtVersion->setText(info->version);
            ui->txtSerial->setText(info->serial);
        } else {
            funcWriteError(QStringLiteral("Error processing version"));
        }
        refreshPilotName();
        funcClearStatus();
    });
}

void MainWindow::cmdGetFlight_Click()
{
    runOperation([this] {
        if (!funcCheckConnection())
            return;
        const auto flight = checkFlightNumber(ui->txtVluchtNummer->text());
        if (!flight) {
            funcWriteError(QStringLiteral("Invalid flight number"));
            refreshPilotName();
            return;
        }
        if (const auto count = endIfCancelled(m_session->readFlightCount(*this)); !count) {
            funcWriteError(kCountFailed);
        } else if (*flight > *count) {
            funcWriteError(QStringLiteral("Only %1 flights in memory").arg(*count));
            return;
        }
        endIfCancelled(m_session->settleAfterCount(*this));

        const auto read = endIfCancelled(m_session->readDecodedFlight(*this, *flight));
        switch (read->status) {
        case FlightRecord::Status::Garbled:
            funcWriteError(
                QStringLiteral("Error processing data, please check Orvin settings and try again"));
            break;
        case FlightRecord::Status::NoData:
            funcWriteError(QStringLiteral("This flightnumber contains no data"));
            return;
        case FlightRecord::Status::Ok:
            showFlight(read->summary);
            m_logbook->record(read->summary); // named by the pilot refresh below
            break;
        }
        refreshPilotName();
    });
}

void MainWindow::showFlight(const FlightSummary &flight)
{
    for (const FlightField &field : FlightFields::kAll)
        findChild<QLineEdit *>(QLatin1String(field.box))->setText(field.valueOf(flight));
}

// ---------------------------------------------------------------------------
// Export

void MainWindow::cmbExportSettings_Click()
{
    const int index = ui->cmbExportSettings->currentIndex();
    if (index != 0 && index != 1)
        return;
    const bool textFile = index == 0;
    m_fileNameLocked = !textFile;
    ui->Label1->setEnabled(textFile);
    updateOperationControls();
}

void MainWindow::cmdSaveFileName_Click()
{
    const QString name = ui->txtFileName->text();
    if (name.isEmpty()) {
        funcWriteError(QStringLiteral("Filename can not be empty"));
        return;
    }
    m_exportFileName = name;
    funcWriteError(QStringLiteral("Filename changed"));
}

void MainWindow::txtFromFlight_KeyDown()
{
    ui->txtUntilFlight->setFocus();
}

void MainWindow::cmdExport_Click()
{
    runOperation([this] {
        const ExportRange range = ExportRange::check(ui->txtFromFlight->text(), ui->txtUntilFlight->text());
        if (range.verdict != ExportRange::Verdict::Ok) {
            funcWriteError(ExportRange::message(range.verdict));
            return;
        }
        if (!funcCheckConnection())
            return;

        ExportRun run(*m_session, m_flightTable);
        run.setStatusListener([this](const QString &line) { funcWriteError(line); });
        run.setFlightListener(
            [this](const FlightSummary &flight) { m_logbook->record(flight); }); // named after the loop
        const ExportRun::End end = run.run(*this, range.from, range.until);
        if (end == ExportRun::End::Cancelled)
            throw OperationCancelled {};
        m_exportFirstFlight = run.firstFlight();
        m_exportLastFlight = run.lastFlight();
        if (end == ExportRun::End::ConnectionLost) {
            // What was read is incomplete, and an earlier report must not be
            // replaced by it.
            setProgressText(QStringLiteral("_"));
            funcClearStatus();
            return;
        }

        funcGetPilotName();
        switch (ui->cmbExportSettings->currentIndex()) {
        case 0:
            if (WriteTextReport())
                funcWriteError(QStringLiteral("Txt file ready"));
            break;
        case 1:
            if (WriteSpreadsheet())
                funcWriteError(QStringLiteral("Excel file ready"));
            break;
        default:
            funcWriteError(QStringLiteral("Program error"));
            break;
        }
        setProgressText(QStringLiteral("_"));
        funcClearStatus();
    });
}

ExportData MainWindow::exportData() const
{
    return ExportData { m_pilotName, m_exportFirstFlight, m_exportLastFlight, &m_flightTable };
}

bool MainWindow::WriteTextReport()
{
    const QString path
        = DeviceMap::resolveDosPath(QStringLiteral("c:\\") + m_exportFileName + QStringLiteral(".txt"));
    if (!TextReport::writeFile(path, exportData())) {
        funcWriteError(QStringLiteral("Error exporting file to txt!"));
        return false;
    }
    return true;
}

bool MainWindow::WriteSpreadsheet()
{
    // The workbook takes the next free name at the moment it is put in place.
    QString path;
    if (!Workbook::write(Workbook::nextFreePath(DeviceMap::driveCFolder()), exportData(), &path)) {
        funcWriteError(QStringLiteral("Error exporting file to excel!"));
        return false;
    }
    FileOpener opener;
    const FileOpener::Outcome opened = opener.open(*this, path);
    if (opened == FileOpener::Outcome::Cancelled)
        throw OperationCancelled {};
    if (opened == FileOpener::Outcome::Failed) {
        funcWriteError(QStringLiteral("Error exporting file to excel!"));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Keys, menus and the end of the window

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // A disabled box takes no keys: its operation must not run.
        const auto *box = qobject_cast<QWidget *>(watched);
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && box && box->isEnabled()) {
            if (watched == ui->txtVluchtNummer)
                cmdGetFlight_Click();
            else if (watched == ui->txtFileName)
                cmdSaveFileName_Click();
            else if (watched == ui->txtFromFlight)
                txtFromFlight_KeyDown();
            else if (watched == ui->txtUntilFlight)
                cmdExport_Click();
            else if (watched == ui->txtPilot)
                savepilot_Click();
            else
                return QMainWindow::eventFilter(watched, event);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ClearFD_Click()
{
    for (const FlightField &field : FlightFields::kAll) {
        if (field.cleared)
            findChild<QLineEdit *>(QLatin1String(field.box))->clear();
    }
}

void MainWindow::ClearFI_Click()
{
    ui->txtVersion->clear();
    ui->txtSerial->clear();
    ui->txtPilotName->clear();
}

void MainWindow::ClearS_Click()
{
    Command3_Click();
}

void MainWindow::info_Click()
{
    if (!m_help)
        m_help = new HelpWindow();
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

LogbookWindow *MainWindow::logbookWindow() const
{
    return m_logbookWindow;
}

void MainWindow::Logbook_Click()
{
    if (!m_logbookWindow) {
        m_logbookWindow = new LogbookWindow(m_logbook);
        connect(
            this, &MainWindow::operationRunningChanged, m_logbookWindow, &LogbookWindow::setInstrumentBusy);
    }
    m_logbookWindow->setInstrumentBusy(m_busy);
    m_logbookWindow->show();
    m_logbookWindow->raise();
    m_logbookWindow->activateWindow();
}

void MainWindow::PortsFolder_Click()
{
    if (m_busy || m_closing)
        return;
    PortsDialog dialog(this, serialPort().openDevice());
    while (dialog.exec() == QDialog::Accepted) {
        const DeviceMap::Applied applied = DeviceMap::apply(dialog.choice());
        if (applied.driveCChanged)
            showDriveCFolder();
        // The port in use now leads somewhere else: open it again, as choosing
        // it in the Port list does.
        if (applied.changedPorts.contains(ui->cmbCommPort->currentIndex() + 1))
            cmbCommPort_Click();
        if (applied.ok)
            return;
        // The window says what was kept and shows the choice again.
        dialog.setOpenDevice(serialPort().openDevice());
        dialog.showProblem(applied.problem);
    }
}

void MainWindow::showDriveCFolder()
{
    const QString folder = DeviceMap::driveCFolder();
    ui->Label26->setToolTip(folder);
    ui->Label26->setText(
        ui->Label26->fontMetrics().elidedText(folder, Qt::ElideMiddle, ui->Label26->width()));
}

void MainWindow::About_Click()
{
    if (!m_about)
        m_about = new AboutDialog(this);
    m_about->present();
}

void MainWindow::Exit_Click()
{
    m_closing = true;
    m_session->closePort();
    m_waiter->cancel();
    if (m_help)
        m_help->close();
    if (m_logbookWindow)
        m_logbookWindow->close();
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window releases the port; a running operation stops at
    // its current wait instead of running on behind a window that is gone.
    m_closing = true;
    m_waiter->cancel();
    m_session->closePort();
    event->accept();
}
