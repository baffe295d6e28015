#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

#include "export/ExportRange.h"
#include "export/FileOpener.h"
#include "export/TextReport.h"
#include "export/Workbook.h"
#include "instrument/FlightRecord.h"
#include "instrument/NumberEntry.h"
#include "instrument/PilotName.h"
#include "link/DeviceMap.h"
#include "link/Protocol.h"
#include "link/ReceiveBuffer.h"
#include "link/SerialLink.h"
#include "logbook/PilotLogbook.h"
#include "ui/AboutDialog.h"
#include "ui/AppInfo.h"
#include "ui/HelpWindow.h"
#include "ui/LogbookWindow.h"
#include "ui/PortsDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>

namespace {

// Thrown by MyPause when the wait was cut short; caught in runOperation, so
// it never leaves the handler that started the operation.
struct OperationCancelled
{
};

const QString kPortNotOpen = QStringLiteral("COM port not open");
const QString kCountFailed = QStringLiteral("Error while receiving the number of flights in memory");

// An opener that is still running after this long is taken to have handed
// the workbook to the spreadsheet application (some openers stay until the
// application closes).
constexpr int kOpenerGraceMs = 2000;

// More bars than the activity strip's box can ever show.
constexpr qsizetype kStripBars = 512;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , m_session(new InstrumentSession(this))
    , m_logbook(new PilotLogbook(PilotLogbook::defaultPath(), this))
{
    ui->setupUi(this);
    setWindowIcon(appIcon());

    m_operationControls = { ui->cmdGetFlight, ui->cmdExport, ui->btnVersie, ui->cmbExportSettings,
        ui->txtFromFlight, ui->txtUntilFlight, ui->cmbCommPort, ui->txtVluchtNummer, ui->txtFileName,
        ui->cmdSaveFileName, ui->savepilot, ui->txtPilot, ui->cmdGetPilotName };
    m_wantEnabled.fill(true);

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
    m_session->cancel();
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
    applyOperationControlState();
    try {
        steps();
    } catch (const OperationCancelled &) {
        // Exit or the close box: the window is going away, leave it as it is.
    }
    m_busy = false;
    if (!m_closing)
        applyOperationControlState();
}

void MainWindow::applyOperationControlState()
{
    for (size_t i = 0; i < m_operationControls.size(); ++i)
        m_operationControls[i]->setEnabled(m_wantEnabled[i] && !m_busy);
    // The port of a running operation must not change under it.
    ui->PortsFolder->setEnabled(!m_busy);
}

void MainWindow::Text20_Change()
{
    const bool idle = m_session->receiveBuffer().isEmpty();
    m_wantEnabled.fill(idle);
    applyOperationControlState();
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
        if (index >= 0 && index <= 3) {
            if (!m_session->selectPort(index + 1)) {
                funcWriteError(QStringLiteral("Error selecting COM port"));
                return;
            }
            funcWriteError(QStringLiteral("COM%1 selected").arg(index + 1));
        }
        MyPause(5);
        m_session->clearReceiveBuffer();
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

void MainWindow::MyPause(int ms)
{
    if (!m_session->pause(ms))
        throw OperationCancelled {};
}

template <typename T> T MainWindow::carryOn(T answer)
{
    if (m_session->isCancelled())
        throw OperationCancelled {};
    return answer;
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

QString MainWindow::funcExplodeString(const QString &Source, const QString &fillChar) const
{
    return Protocol::explode(Source, fillChar);
}

void MainWindow::funcSendString(const QString &strSend)
{
    carryOn(m_session->sendString(strSend));
}

bool MainWindow::funcCheckConnection()
{
    switch (carryOn(m_session->checkConnection())) {
    case InstrumentSession::Failure::None:
        return true;
    case InstrumentSession::Failure::PortNotOpen:
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
    funcClearStatus();
    if (!funcCheckConnection())
        return false;
    funcClearStatus();
    ui->lblCounter->setText(QStringLiteral("Pilot Name"));
    const auto name = carryOn(m_session->readPilotName());
    if (!name) {
        funcWriteError(QStringLiteral("Error processing pilot name"));
        return false;
    }
    m_pilotName = *name;
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
        if (carryOn(m_session->writePilotName(codes)) != InstrumentSession::Failure::None) {
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
        if (const auto info = carryOn(m_session->readInformation())) {
            ui->txtVersion->setText(info->version);
            ui->txtSerial->setText(info->serial);
        } else {
            funcWriteError(QStringLiteral("Error processing version"));
        }
        MyPause(15);
        refreshPilotName();
        funcClearStatus();
    });
}

void MainWindow::cmdGetFlight_Click()
{
    runOperation([this] {
        if (!funcCheckConnection())
            return;
        const auto entered = NumberEntry::parse(ui->txtVluchtNummer->text());
        const auto number = entered ? NumberEntry::toInt16(*entered) : std::nullopt;
        if (!number || *number < FlightRecord::kFirstFlight || *number > FlightRecord::kLastFlight) {
            funcWriteError(QStringLiteral("Invalid flight number"));
            refreshPilotName();
            return;
        }
        const qint16 flight = *number;

        if (const auto count = carryOn(m_session->readFlightCount()); !count) {
            funcWriteError(kCountFailed);
        } else if (flight > *count) {
            funcWriteError(QStringLiteral("Only %1 flights in memory").arg(*count));
            funcClearStatus();
            return;
        }
        MyPause(Protocol::kAnswerWaitMs);
        funcClearStatus();
        funcClearStatus();

        const FlightRecord::Decoded decoded = *carryOn(m_session->readDecodedFlight(flight));
        if (decoded.status == FlightRecord::Status::Garbled) {
            funcWriteError(
                QStringLiteral("Error processing data, please check Orvin settings and try again"));
            refreshPilotName();
            return;
        }
        if (decoded.status == FlightRecord::Status::NoData) {
            funcWriteError(QStringLiteral("This flightnumber contains no data"));
            funcClearStatus();
            return;
        }
        const FlightSummary &s = decoded.summary;
        ui->txtFlight->setText(QString::number(s.flightNumber));
        ui->txtVarioMin->setText(s.sinkMax);
        ui->txtVarioMax->setText(s.liftMax);
        ui->txtAltMin->setText(s.qneMin);
        ui->txtAltMax->setText(s.qneMax);
        ui->txtDate->setText(s.date);
        ui->txtStime->setText(s.startTime);
        ui->txtDtime->setText(s.duration);
        ui->txtSpeedMin->setText(s.speedMin);
        ui->txtSpeedMax->setText(s.speedMax);
        ui->txtGain->setText(s.totalGain);
        ui->txtHeightdiffmax->setText(s.heightDiffMax);
        m_logbook->record(s, m_pilotName);
        funcClearStatus();
        refreshPilotName();
    });
}

// ---------------------------------------------------------------------------
// Export

void MainWindow::cmbExportSettings_Click()
{
    const int index = ui->cmbExportSettings->currentIndex();
    if (index != 0 && index != 1)
        return;
    const bool textFile = index == 0;
    for (QWidget *control :
        { static_cast<QWidget *>(ui->txtFileName), static_cast<QWidget *>(ui->cmdSaveFileName) }) {
        const auto at = std::find(m_operationControls.begin(), m_operationControls.end(), control);
        m_wantEnabled[size_t(at - m_operationControls.begin())] = textFile;
    }
    ui->Label1->setEnabled(textFile);
    applyOperationControlState();
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
        // Rows of an earlier run must never pass for this run's flights when
        // this one stops early.
        for (int n = range.from; n <= range.until; ++n)
            m_flightTable.clear(n);

        funcClearStatus();
        qint16 until = range.until;
        if (const auto count = carryOn(m_session->readFlightCount()); !count) {
            funcWriteError(kCountFailed);
        } else if (*count < until) {
            until = qint16(*count);
            funcWriteError(QStringLiteral("Only %1 flights in memory").arg(*count));
        }
        MyPause(Protocol::kAnswerWaitMs);
        funcClearStatus();
        m_exportLastFlight = until;
        m_exportFirstFlight = range.from;

        for (int n = range.from; n <= until; ++n) {
            if (!m_session->isOpen())
                break;
            funcClearStatus();
            ui->lblCounter->setText(QString::number(n));
            const FlightRecord::Decoded decoded = *carryOn(m_session->readDecodedFlight(qint16(n)));
            if (decoded.status == FlightRecord::Status::Garbled) {
                funcWriteError(QStringLiteral("Error processing: Flight %1").arg(n));
                m_flightTable.markFailed(n);
                continue;
            }
            if (decoded.status == FlightRecord::Status::NoData) {
                funcWriteError(QStringLiteral("Stopped at flight %1").arg(n));
                funcClearStatus();
                break;
            }
            m_flightTable.store(decoded.summary);
            m_logbook->record(decoded.summary, m_pilotName);
            funcClearStatus();
        }
        if (!m_session->isOpen()) {
            // The cable went away during the run: what was read is incomplete,
            // and an earlier report must not be replaced by it.
            ui->lblCounter->setText(QStringLiteral("_"));
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
        ui->lblCounter->setText(QStringLiteral("_"));
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
    opener.start(path);
    QElapsedTimer grace;
    grace.start();
    while (opener.state() == FileOpener::State::Running && grace.elapsed() < kOpenerGraceMs)
        MyPause(20);
    if (opener.state() == FileOpener::State::Failed) {
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
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
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
    for (QLineEdit *box : { ui->txtFlight, ui->txtDate, ui->txtStime, ui->txtDtime, ui->txtAltMax,
             ui->txtAltMin, ui->txtGain, ui->txtVarioMax, ui->txtVarioMin, ui->txtSpeedMax, ui->txtSpeedMin })
        box->clear();
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
    if (!m_logbookWindow)
        m_logbookWindow = new LogbookWindow(m_logbook);
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
    m_session->cancel();
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
    m_session->cancel();
    m_session->closePort();
    event->accept();
}
