#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

#include "export/ExportRange.h"
#include "export/FileOpener.h"
#include "export/TextReport.h"
#include "export/Workbook.h"
#include "instrument/FlightRecord.h"
#include "instrument/InstrumentInfo.h"
#include "instrument/NumberEntry.h"
#include "instrument/PilotName.h"
#include "link/DeviceMap.h"
#include "link/Protocol.h"
#include "link/ReceiveBuffer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "ui/AboutDialog.h"
#include "ui/AppInfo.h"
#include "ui/HelpWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLocale>
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

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , m_MSComm1(new SerialLink(this))
    , m_Text20(new ReceiveBuffer(this))
    , m_waiter(new Waiter(this))
{
    ui->setupUi(this);
    m_MSComm1->setObjectName(QStringLiteral("MSComm1"));
    m_Text20->setObjectName(QStringLiteral("Text20"));
    setWindowIcon(appIcon());

    m_operationControls = { ui->cmdGetFlight, ui->cmdExport, ui->btnVersie, ui->cmbExportSettings,
                            ui->txtFromFlight, ui->txtUntilFlight, ui->cmbCommPort, ui->txtVluchtNummer,
                            ui->txtFileName, ui->cmdSaveFileName, ui->savepilot, ui->txtPilot,
                            ui->cmdGetPilotName };
    m_wantEnabled.fill(true);

    // A fixed border around a 618 x 502 client area below the menu bar.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(618, 502 + menuBar()->sizeHint().height());

    const QString folder = DeviceMap::driveCFolder();
    ui->Label26->setToolTip(folder);
    ui->Label26->setText(ui->Label26->fontMetrics().elidedText(folder, Qt::ElideMiddle, ui->Label26->width()));

    initActionsConnections();
    Form_Load();
}

MainWindow::~MainWindow()
{
    m_waiter->cancel();
    m_MSComm1->close();
    delete m_help;
}

void MainWindow::initActionsConnections()
{
    connect(m_MSComm1, &SerialLink::commEvent, this, &MainWindow::MSComm1_OnComm);
    connect(m_MSComm1, &SerialLink::connectionLost, this, &MainWindow::onConnectionLost);
    connect(m_Text20, &ReceiveBuffer::changed, this, &MainWindow::Text20_Change);

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

    connect(ui->Exit, &QAction::triggered, this, &MainWindow::Exit_Click);
    connect(ui->ClearFD, &QAction::triggered, this, &MainWindow::ClearFD_Click);
    connect(ui->ClearFI, &QAction::triggered, this, &MainWindow::ClearFI_Click);
    connect(ui->ClearS, &QAction::triggered, this, &MainWindow::ClearS_Click);
    connect(ui->info, &QAction::triggered, this, &MainWindow::info_Click);
    connect(ui->About, &QAction::triggered, this, &MainWindow::About_Click);

    // Enter in these boxes runs their operation; the key code alone counts.
    for (QWidget *box : { static_cast<QWidget *>(ui->txtVluchtNummer), static_cast<QWidget *>(ui->txtFileName),
                          static_cast<QWidget *>(ui->txtFromFlight), static_cast<QWidget *>(ui->txtUntilFlight),
                          static_cast<QWidget *>(ui->txtPilot) })
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
    if (QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

// ---------------------------------------------------------------------------
// Operations and the controls that follow them

template<typename Steps>
void MainWindow::runOperation(Steps steps)
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
}

void MainWindow::Text20_Change()
{
    const bool idle = m_Text20->isEmpty();
    m_wantEnabled.fill(idle);
    applyOperationControlState();
    if (idle)
        ui->lblCounter->setText(QStringLiteral("_"));
}

QString MainWindow::receiveBufferText() const
{
    return m_Text20->text();
}

// ---------------------------------------------------------------------------
// Instrument link

void MainWindow::cmbCommPort_Click()
{
    runOperation([this] {
        const int index = ui->cmbCommPort->currentIndex();
        if (index >= 0 && index <= 3) {
            m_MSComm1->close();
            m_MSComm1->setCommPort(index + 1);
            if (!m_MSComm1->open()) {
                funcWriteError(QStringLiteral("Error selecting COM port"));
                return;
            }
            funcWriteError(QStringLiteral("COM%1 selected").arg(index + 1));
        }
        MyPause(5);
        m_Text20->clear();
    });
}

void MainWindow::MSComm1_OnComm()
{
    m_Text20->append(m_MSComm1->input());
    ui->txtStatusBlind->setText(ui->txtStatusBlind->text() + QLatin1Char('|'));
}

void MainWindow::onConnectionLost()
{
    // The device went away (cable unplugged): say so once; a running export
    // ends at its next flight.
    funcWriteError(kPortNotOpen);
}

void MainWindow::MyPause(int ms)
{
    if (!m_waiter->wait(ms))
        throw OperationCancelled {};
}

void MainWindow::funcClearStatus()
{
    m_Text20->clear();
    ui->txtStatusBlind->setText(QStringLiteral("|"));
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
    // Only the seven characters of a memory read go out, however long the text.
    const QStringList characters = funcExplodeString(strSend, QStringLiteral(",")).split(QLatin1Char(','));
    transmitPaced(characters.mid(0, Protocol::kReadCommandLength).join(QString()));
}

void MainWindow::transmitPaced(const QString &command)
{
    for (const QChar c : command) {
        m_MSComm1->output(QString(c));
        MyPause(Protocol::kCharPauseMs);
    }
}

bool MainWindow::funcCheckConnection()
{
    funcClearStatus();
    if (!m_MSComm1->isOpen()) {
        funcWriteError(kPortNotOpen);
        funcClearStatus();
        return false;
    }
    funcClearStatus();
    m_MSComm1->output(Protocol::kConnectionTest);
    MyPause(Protocol::kAnswerWaitMs);
    if (m_Text20->text() != Protocol::kConnectionAnswer) {
        funcWriteError(QStringLiteral("Error connecting to the Orvin, please check cable and settings"));
        funcClearStatus();
        return false;
    }
    funcClearStatus();
    return true;
}

void MainWindow::sendReadRun(int firstAddress, int count)
{
    for (int address = firstAddress; address < firstAddress + count; ++address) {
        funcSendString(Protocol::readCommand(address));
        MyPause(Protocol::kAnswerWaitMs);
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
    sendReadRun(PilotName::kFirstAddress, PilotName::kLength);
    const auto codes = Protocol::readRunValues(m_Text20->text(), PilotName::kLength);
    if (!codes) {
        // The answer stays in the buffer, so the controls stay disabled
        // until Reset: the user sees that something went wrong.
        funcWriteError(QStringLiteral("Error processing pilot name"));
        return false;
    }
    m_pilotName = PilotName::fromCodes(*codes);
    funcClearStatus();
    MyPause(Protocol::kAnswerWaitMs);
    funcClearStatus();
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
        funcClearStatus();
        const QList<int> codes = PilotName::codesFor(ui->txtPilot->text());
        for (int k = 0; k < PilotName::kLength; ++k) {
            transmitPaced(Protocol::writeCommand(PilotName::kFirstAddress + k, codes.at(k)));
            MyPause(Protocol::kAnswerWaitMs);
        }
        if (m_Text20->size() == PilotName::kLength * Protocol::kWriteAnswerLength) {
            funcClearStatus();
            funcWriteError(QStringLiteral("Pilot name is set"));
            refreshPilotName();
        } else {
            funcWriteError(QStringLiteral("Error setting pilot name"));
            funcClearStatus();
        }
    });
}

void MainWindow::btnVersie_Click()
{
    runOperation([this] {
        if (!funcCheckConnection())
            return;
        funcClearStatus();
        m_MSComm1->output(Protocol::kInformation);
        MyPause(Protocol::kAnswerWaitMs);
        if (const auto info = parseInstrumentInfo(m_Text20->text())) {
            ui->txtVersion->setText(info->version);
            ui->txtSerial->setText(info->serial);
            funcClearStatus();
        } else {
            funcWriteError(QStringLiteral("Error processing version"));
        }
        MyPause(15);
        refreshPilotName();
        funcClearStatus();
    });
}

std::optional<int> MainWindow::readFlightCount()
{
    sendReadRun(FlightRecord::kFlightCountAddress, 1);
    const auto values = Protocol::readRunValues(m_Text20->text(), 1);
    if (!values)
        return std::nullopt;
    return values->first();
}

std::optional<QString> MainWindow::readFlightRecord(qint16 flightNumber)
{
    sendReadRun(FlightRecord::recordAddress(flightNumber), FlightRecord::kRecordReads);
    const QString answer = m_Text20->text();
    if (!Protocol::readRunValues(answer, FlightRecord::kRecordReads))
        return std::nullopt;
    return answer;
}

FlightRecord::Decoded MainWindow::readDecodedFlight(qint16 flightNumber)
{
    // A failed read counts like a garbled record: both callers report them alike.
    const auto answer = readFlightRecord(flightNumber);
    if (!answer)
        return FlightRecord::Decoded {};
    return FlightRecord::decodeFlightRecord(flightNumber, *answer, QLocale::system().decimalPoint());
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

        if (const auto count = readFlightCount(); !count) {
            funcWriteError(kCountFailed);
        } else if (flight > *count) {
            funcWriteError(QStringLiteral("Only %1 flights in memory").arg(*count));
            funcClearStatus();
            return;
        }
        MyPause(Protocol::kAnswerWaitMs);
        funcClearStatus();
        funcClearStatus();

        const FlightRecord::Decoded decoded = readDecodedFlight(flight);
        if (decoded.status == FlightRecord::Status::Garbled) {
            funcWriteError(QStringLiteral("Error processing data, please check Orvin settings and try again"));
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
    for (QWidget *control : { static_cast<QWidget *>(ui->txtFileName), static_cast<QWidget *>(ui->cmdSaveFileName) }) {
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
        if (const auto count = readFlightCount(); !count) {
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
            if (!m_MSComm1->isOpen())
                break;
            funcClearStatus();
            ui->lblCounter->setText(QString::number(n));
            const FlightRecord::Decoded decoded = readDecodedFlight(qint16(n));
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
            funcClearStatus();
        }
        if (!m_MSComm1->isOpen()) {
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
    const QString path = DeviceMap::resolveDosPath(QStringLiteral("c:\\") + m_exportFileName + QStringLiteral(".txt"));
    if (!TextReport::writeFile(path, exportData())) {
        funcWriteError(QStringLiteral("Error exporting file to txt!"));
        return false;
    }
    return true;
}

bool MainWindow::WriteSpreadsheet()
{
    const QString path = Workbook::nextFreePath(DeviceMap::driveCFolder());
    if (!Workbook::write(path, exportData())) {
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
    for (QLineEdit *box : { ui->txtFlight, ui->txtDate, ui->txtStime, ui->txtDtime, ui->txtAltMax, ui->txtAltMin,
                            ui->txtGain, ui->txtVarioMax, ui->txtVarioMin, ui->txtSpeedMax, ui->txtSpeedMin })
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

void MainWindow::About_Click()
{
    if (!m_about)
        m_about = new AboutDialog(this);
    m_about->present();
}

void MainWindow::Exit_Click()
{
    m_closing = true;
    m_MSComm1->close();
    m_waiter->cancel();
    if (m_help)
        m_help->close();
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window releases the port; a running operation stops at
    // its current wait instead of running on behind a window that is gone.
    m_closing = true;
    m_waiter->cancel();
    m_MSComm1->close();
    event->accept();
}
