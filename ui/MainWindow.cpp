#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

#include "export/ExportRange.h"
#include "export/ExportRun.h"
#include "export/FileOpener.h"
#include "export/FlightFields.h"
#include "export/TextReport.h"
#include "export/Workbook.h"
#include "instrument/FlightCount.h"
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
    m_flightBoxes = { ui->txtFlight, ui->txtDate, ui->txtStime, ui->txtDtime, ui->txtAltMin, ui->txtAltMax,
        ui->txtHeightdiffmax, ui->txtGain, ui->txtVarioMax, ui->txtVarioMin, ui->txtSpeedMin,
        ui->txtSpeedMax };

    // A fixed border around a 618 x 502 client area below the menu bar.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(618, 502 + menuBar()->sizeHint().height());

    showDriveCFolder();
    initActionsConnections();
    startUp();
}

MainWindow::~MainWindow()
{
    shutDown();
    delete m_help;
    delete m_logbookWindow;
}

SerialLink &MainWindow::serialPort()
{
    return m_session->link();
}

void MainWindow::initActionsConnections()
{
    connect(m_session, &InstrumentSession::portEvent, this, &MainWindow::showPortActivity);
    connect(m_session, &InstrumentSession::cleared, this, &MainWindow::resetActivityStrip);
    connect(m_session, &InstrumentSession::connectionLost, this, &MainWindow::reportConnectionLost);
    connect(m_session, &InstrumentSession::receiveBufferChanged, this, &MainWindow::followReceiveBuffer);

    // activated() also fires when the entry already chosen is chosen again:
    // that reopens the port.
    connect(ui->cmbCommPort, &QComboBox::activated, this, &MainWindow::selectPort);
    connect(ui->cmbExportSettings, &QComboBox::activated, this, &MainWindow::chooseExportType);

    connect(ui->cmdGetFlight, &QPushButton::clicked, this, &MainWindow::showFlightLog);
    connect(ui->cmdExport, &QPushButton::clicked, this, &MainWindow::exportFlights);
    connect(ui->cmdSaveFileName, &QPushButton::clicked, this, &MainWindow::setFileName);
    connect(ui->btnVersie, &QPushButton::clicked, this, &MainWindow::readInstrumentInfo);
    connect(ui->cmdGetPilotName, &QPushButton::clicked, this, &MainWindow::showPilotName);
    connect(ui->savepilot, &QPushButton::clicked, this, &MainWindow::savePilotName);
    connect(ui->Command3, &QPushButton::clicked, this, &MainWindow::resetStatus);

    // Enter in these boxes runs their operation (a disabled box takes no keys).
    connect(ui->txtVluchtNummer, &QLineEdit::returnPressed, this, &MainWindow::showFlightLog);
    connect(ui->txtFileName, &QLineEdit::returnPressed, this, &MainWindow::setFileName);
    connect(
        ui->txtFromFlight, &QLineEdit::returnPressed, ui->txtUntilFlight, qOverload<>(&QWidget::setFocus));
    connect(ui->txtUntilFlight, &QLineEdit::returnPressed, this, &MainWindow::exportFlights);
    connect(ui->txtPilot, &QLineEdit::returnPressed, this, &MainWindow::savePilotName);

    connect(ui->Logbook, &QAction::triggered, this, &MainWindow::showLogbook);
    LogbookWindow::followInMenu(ui->Logbook, m_logbook);
    m_logbook->setDailyBackups(true);
    connect(ui->PortsFolder, &QAction::triggered, this, &MainWindow::choosePortsAndFolder);
    connect(ui->Exit, &QAction::triggered, this, &MainWindow::exitProgram);
    connect(ui->ClearFD, &QAction::triggered, this, &MainWindow::clearFlightData);
    connect(ui->ClearFI, &QAction::triggered, this, &MainWindow::clearInstrumentInfo);
    connect(ui->ClearS, &QAction::triggered, this, &MainWindow::resetStatus);
    connect(ui->info, &QAction::triggered, this, &MainWindow::showHelp);
    connect(ui->About, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::startUp()
{
    m_exportFileName = ui->txtFileName->text();
    setWindowTitle(QString::fromLatin1(AppInfo::caption));
    ui->cmbExportSettings->setCurrentIndex(0);
    chooseExportType();
    ui->cmbCommPort->setCurrentIndex(0);
    selectPort();
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

void MainWindow::followReceiveBuffer()
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

void MainWindow::selectPort()
{
    runOperation([this] {
        const int index = ui->cmbCommPort->currentIndex();
        if (index >= 0 && index < DeviceMap::kPortCount) {
            if (!m_session->selectPort(index + 1)) {
                appendStatus(QStringLiteral("Error selecting COM port"));
                return;
            }
            appendStatus(QStringLiteral("COM%1 selected").arg(index + 1));
        }
        endIfCancelled(m_session->settleAfterSelect(*this));
    });
}

void MainWindow::showPortActivity()
{
    // What arrived is already in the receive buffer; the strip gains a bar
    // for the port event. Past what its box can show, more bars would change
    // nothing the user sees and only cost memory and time on a busy line.
    const QString strip = ui->txtStatusBlind->text();
    if (strip.size() < kStripBars)
        ui->txtStatusBlind->setText(strip + QLatin1Char('|'));
}

void MainWindow::resetActivityStrip()
{
    ui->txtStatusBlind->setText(QStringLiteral("|"));
}

void MainWindow::reportConnectionLost()
{
    // The device went away (cable unplugged): say so once; a running export
    // ends at its next flight.
    appendStatus(kPortNotOpen);
}

bool MainWindow::isCancelled() const
{
    return m_closing || m_waiter->isCancelled();
}

bool MainWindow::wait(int ms)
{
    return m_waiter->wait(ms);
}

void MainWindow::setProgressText(const QString &text)
{
    ui->lblCounter->setText(text);
}

void MainWindow::resetStatus()
{
    ui->txtErrorWindow->clear();
    m_session->clearStatus();
}

void MainWindow::appendStatus(const QString &message)
{
    QTextCursor cursor(ui->txtErrorWindow->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral(" * ") + message + QLatin1Char('\n'));
    QScrollBar *bar = ui->txtErrorWindow->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::beep();
}

bool MainWindow::checkConnection()
{
    switch (endIfCancelled(m_session->checkConnection(*this))) {
    case Failure::None:
        return true;
    case Failure::PortNotOpen:
        appendStatus(kPortNotOpen);
        return false;
    default:
        appendStatus(QStringLiteral("Error connecting to the Orvin, please check cable and settings"));
        return false;
    }
}

// ---------------------------------------------------------------------------
// Instrument data

bool MainWindow::readPilotName()
{
    if (!checkConnection())
        return false;
    setProgressText(QStringLiteral("Pilot Name"));
    const auto name = endIfCancelled(m_session->readPilotName(*this));
    if (!name) {
        appendStatus(QStringLiteral("Error processing pilot name"));
        return false;
    }
    m_pilotName = *name;
    m_logbook->pilotNameRead(m_pilotName);
    return true;
}

void MainWindow::refreshPilotName()
{
    readPilotName();
    ui->txtPilotName->setText(m_pilotName);
}

void MainWindow::showPilotName()
{
    runOperation([this] {
        if (!checkConnection())
            return;
        refreshPilotName();
    });
}

void MainWindow::savePilotName()
{
    runOperation([this] {
        if (!checkConnection())
            return;
        if (ui->txtPilot->text().isEmpty())
            ui->txtPilot->setText(QStringLiteral(" "));
        const QList<int> codes = PilotName::codesFor(ui->txtPilot->text());
        if (endIfCancelled(m_session->writePilotName(*this, codes)) != Failure::None) {
            appendStatus(QStringLiteral("Error setting pilot name"));
            return;
        }
        appendStatus(QStringLiteral("Pilot name is set"));
        refreshPilotName();
    });
}

void MainWindow::readInstrumentInfo()
{
    runOperation([this] {
        if (!checkConnection())
            return;
        if (const auto info = endIfCancelled(m_session->readInformation(*this))) {
            ui->txtVersion->setText(info->version);
            ui->txtSerial->setText(info->serial);
        } else {
            appendStatus(QStringLiteral("Error processing version"));
        }
        refreshPilotName();
        m_session->clearStatus();
    });
}

void MainWindow::showFlightLog()
{
    runOperation([this] {
        if (!checkConnection())
            return;
        const auto flight = checkFlightNumber(ui->txtVluchtNummer->text());
        if (!flight) {
            appendStatus(QStringLiteral("Invalid flight number"));
            refreshPilotName();
            return;
        }
        const FlightCount::Checked count = FlightCount::check(*m_session, *this, *flight,
            FlightCount::WhenTooFew::Stop, [this](const QString &line) { appendStatus(line); });
        if (count.verdict == FlightCount::Verdict::Cancelled)
            throw OperationCancelled {};
        if (count.verdict == FlightCount::Verdict::TooFew)
            return;

        const auto read = endIfCancelled(m_session->readDecodedFlight(*this, *flight));
        switch (read->status) {
        case FlightRecord::Status::Garbled:
            appendStatus(QStringLiteral("Error processing data, please check Orvin settings and try again"));
            break;
        case FlightRecord::Status::NoData:
            appendStatus(QStringLiteral("This flightnumber contains no data"));
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
    for (size_t i = 0; i < m_flightBoxes.size(); ++i)
        m_flightBoxes[i]->setText(FlightFields::kAll[i].valueOf(flight));
}

// ---------------------------------------------------------------------------
// Export

void MainWindow::chooseExportType()
{
    const int index = ui->cmbExportSettings->currentIndex();
    if (index != 0 && index != 1)
        return;
    const bool textFile = index == 0;
    m_fileNameLocked = !textFile;
    ui->Label1->setEnabled(textFile);
    updateOperationControls();
}

void MainWindow::setFileName()
{
    const QString name = ui->txtFileName->text();
    if (name.isEmpty()) {
        appendStatus(QStringLiteral("Filename can not be empty"));
        return;
    }
    m_exportFileName = name;
    appendStatus(QStringLiteral("Filename changed"));
}

void MainWindow::exportFlights()
{
    runOperation([this] {
        const ExportRange range = ExportRange::check(ui->txtFromFlight->text(), ui->txtUntilFlight->text());
        if (range.verdict != ExportRange::Verdict::Ok) {
            appendStatus(ExportRange::message(range.verdict));
            return;
        }
        if (!checkConnection())
            return;

        ExportRun run(*m_session, m_flightTable);
        run.setStatusListener([this](const QString &line) { appendStatus(line); });
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
            m_session->clearStatus();
            return;
        }

        readPilotName();
        switch (ui->cmbExportSettings->currentIndex()) {
        case 0:
            if (writeTextReport())
                appendStatus(QStringLiteral("Txt file ready"));
            break;
        case 1:
            if (writeSpreadsheet())
                appendStatus(QStringLiteral("Excel file ready"));
            break;
        default:
            appendStatus(QStringLiteral("Program error"));
            break;
        }
        setProgressText(QStringLiteral("_"));
        m_session->clearStatus();
    });
}

ExportData MainWindow::exportData() const
{
    return ExportData { m_pilotName, m_exportFirstFlight, m_exportLastFlight, &m_flightTable };
}

bool MainWindow::writeTextReport()
{
    const QString path
        = DeviceMap::resolveDosPath(QStringLiteral("c:\\") + m_exportFileName + QStringLiteral(".txt"));
    if (!TextReport::writeFile(path, exportData())) {
        appendStatus(QStringLiteral("Error exporting file to txt!"));
        return false;
    }
    return true;
}

bool MainWindow::writeSpreadsheet()
{
    // The workbook takes the next free name at the moment it is put in place.
    QString path;
    if (!Workbook::write(Workbook::nextFreePath(DeviceMap::driveCFolder()), exportData(), &path)) {
        appendStatus(QStringLiteral("Error exporting file to excel!"));
        return false;
    }
    FileOpener opener;
    const FileOpener::Outcome opened = opener.open(*this, path);
    if (opened == FileOpener::Outcome::Cancelled)
        throw OperationCancelled {};
    if (opened == FileOpener::Outcome::Failed) {
        appendStatus(QStringLiteral("Error exporting file to excel!"));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Menus and the other windows

void MainWindow::clearFlightData()
{
    for (size_t i = 0; i < m_flightBoxes.size(); ++i) {
        if (FlightFields::kAll[i].cleared)
            m_flightBoxes[i]->clear();
    }
}

void MainWindow::clearInstrumentInfo()
{
    ui->txtVersion->clear();
    ui->txtSerial->clear();
    ui->txtPilotName->clear();
}

void MainWindow::showHelp()
{
    if (!m_help)
        m_help = new HelpWindow();
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void MainWindow::choosePortsAndFolder()
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
            selectPort();
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

void MainWindow::showAbout()
{
    if (!m_about)
        m_about = new AboutDialog(this);
    m_about->present();
}

// ---------------------------------------------------------------------------
// The logbook

LogbookWindow *MainWindow::logbookWindow() const
{
    return m_logbookWindow;
}

void MainWindow::showLogbook()
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

// ---------------------------------------------------------------------------
// The end of the window

void MainWindow::shutDown()
{
    m_closing = true;
    m_waiter->cancel();
    m_session->closePort();
}

void MainWindow::exitProgram()
{
    shutDown();
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
    shutDown();
    event->accept();
}
