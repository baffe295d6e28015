#include "ui/PortsDialog.h"

#include "ui_OtherDeviceDialog.h"
#include "ui_PortsDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kRescanMs = 1500;

// What an entry of a port's list stands for.
enum EntryKind { BuiltIn, Detected, Kept, Typed, Other };
constexpr int kPathRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;

// "~/.config/..." reads easier than the full path of the home folder.
QString shortFolderName(const QString &folder)
{
    const QString home = QDir::homePath() + QLatin1Char('/');
    if (folder.startsWith(home))
        return QStringLiteral("~/") + folder.mid(home.size());
    return QDir::toNativeSeparators(folder);
}

} // namespace

PortsDialog::PortsDialog(QWidget *parent, const QString &openDevice, PortCatalog catalog, Probe probe)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::frmPorts>())
    , m_catalog(std::move(catalog))
    , m_probe(std::move(probe))
    , m_runner(new PortProbe::Runner(this))
    , m_openDevice(openDevice)
{
    m_ui->setupUi(this);
    m_ui->lblIntro->setText(
        QStringLiteral("Choose the serial device behind each port, and the folder where "
                       "reports and workbooks are saved. The choices are kept as links in %1.")
            .arg(shortFolderName(DeviceMap::directory())));
    m_ui->lblError->hide();
    setTabOrder(m_ui->lblError, m_ui->buttons->button(QDialogButtonBox::Ok));
    setTabOrder(m_ui->buttons->button(QDialogButtonBox::Ok), m_ui->buttons->button(QDialogButtonBox::Cancel));

    static_assert(DeviceMap::kPortCount == 4, "the window's layout has a row for each port");
    const std::array<QComboBox *, DeviceMap::kPortCount> lists
        = { m_ui->cmbCom1, m_ui->cmbCom2, m_ui->cmbCom3, m_ui->cmbCom4 };
    const std::array<QLabel *, DeviceMap::kPortCount> states
        = { m_ui->lblState1, m_ui->lblState2, m_ui->lblState3, m_ui->lblState4 };
    m_detected = m_catalog.devices();
    for (int i = 0; i < DeviceMap::kPortCount; ++i) {
        Row &row = m_rows[i];
        row.devices = lists[i];
        row.state = states[i];
        row.original = DeviceMap::linkTarget(DeviceMap::comLinkName(i + 1));
        row.chosen = row.original;
        // Room for the longer states to wrap onto few lines.
        row.state->setMinimumWidth(row.state->fontMetrics().averageCharWidth() * 26);
        fillRow(i);
        connect(row.devices, &QComboBox::currentIndexChanged, this, [this, i] { onRowChosen(i); });
        askState(i);
    }

    m_originalFolder = DeviceMap::driveCFolder();
    m_folder = m_originalFolder;
    m_ui->txtFolder->setText(QDir::toNativeSeparators(m_folder));

    connect(m_ui->cmdChooseFolder, &QPushButton::clicked, this, &PortsDialog::chooseFolder);
    connect(m_runner, &PortProbe::Runner::answered, this, &PortsDialog::onAnswered);
    m_rescan = new QTimer(this);
    m_rescan->setInterval(kRescanMs);
    connect(m_rescan, &QTimer::timeout, this, &PortsDialog::refresh);
    m_rescan->start();
    m_rows[0].devices->setFocus();
}

PortsDialog::~PortsDialog() = default;

void PortsDialog::setOpenDevice(const QString &device)
{
    m_openDevice = device;
    for (int i = 0; i < DeviceMap::kPortCount; ++i)
        askState(i);
}

void PortsDialog::fillRow(int index)
{
    Row &row = m_rows[index];
    QComboBox *list = row.devices;
    const QSignalBlocker blocker(list);
    list->clear();
    QStringList present;
    auto add = [&](const QString &text, const QString &path, EntryKind kind) {
        list->addItem(text);
        list->setItemData(list->count() - 1, path, kPathRole);
        list->setItemData(list->count() - 1, kind, kKindRole);
        present << path;
    };

    add(QStringLiteral("Built-in port (%1)").arg(DeviceMap::builtInDevice(index + 1)), QString(), BuiltIn);
    for (const SerialDeviceInfo &device : std::as_const(m_detected)) {
        if (!present.contains(device.storedName()))
            add(device.displayText(), device.storedName(), Detected);
    }
    // A link the user made to something not listed is shown as it is, so
    // that OK keeps it.
    if (!row.original.isEmpty() && !present.contains(row.original))
        add(row.original + QStringLiteral(" (as set now)"), row.original, Kept);
    if (!row.chosen.isEmpty() && !present.contains(row.chosen))
        add(row.chosen, row.chosen, Typed);
    add(QStringLiteral("Other device..."), QString(), Other);

    for (int i = 0; i < list->count(); ++i) {
        if (list->itemData(i, kKindRole).toInt() != Other
            && list->itemData(i, kPathRole).toString() == row.chosen) {
            list->setCurrentIndex(i);
            break;
        }
    }
}

DeviceMap::Choice PortsDialog::choice() const
{
    DeviceMap::Choice chosen;
    for (int i = 0; i < DeviceMap::kPortCount; ++i) {
        if (m_rows[i].chosen != m_rows[i].original)
            chosen.ports.insert(i + 1, m_rows[i].chosen);
    }
    if (m_folder != m_originalFolder)
        chosen.folder = m_folder;
    return chosen;
}

void PortsDialog::onRowChosen(int index)
{
    Row &row = m_rows[index];
    QComboBox *list = row.devices;
    if (list->currentData(kKindRole).toInt() == Other) {
        const QString start = row.chosen.isEmpty() ? DeviceMap::builtInDevice(index + 1) : row.chosen;
        const QString typed = askOtherDevice(start);
        if (!typed.isEmpty())
            row.chosen = typed;
        fillRow(index);
    } else {
        row.chosen = list->currentData(kPathRole).toString();
    }
    m_ui->lblError->hide();
    askState(index);
}

QString PortsDialog::askOtherDevice(const QString &start)
{
    QDialog ask(this);
    Ui::frmOtherDevice form;
    form.setupUi(&ask);
    form.txtOtherDevice->setText(start);
    form.txtOtherDevice->setMinimumWidth(form.txtOtherDevice->fontMetrics().averageCharWidth() * 40);
    connect(form.cmdBrowseDevice, &QPushButton::clicked, &ask, [&ask, path = form.txtOtherDevice] {
        const QString picked = QFileDialog::getOpenFileName(&ask, QStringLiteral("Choose a Serial Device"),
            QFileInfo(path->text()).absolutePath(), QString(), nullptr, QFileDialog::DontResolveSymlinks);
        if (!picked.isEmpty())
            path->setText(picked);
    });
    if (ask.exec() != QDialog::Accepted)
        return QString();
    return form.txtOtherDevice->text().trimmed();
}

void PortsDialog::askState(int index)
{
    Row &row = m_rows[index];
    const QString device = row.chosen.isEmpty() ? DeviceMap::builtInDevice(index + 1) : row.chosen;
    const int question = ++m_questions;
    row.asked = question;
    row.answered = false;
    m_runner->start(
        question, [probe = m_probe, device, openHere = m_openDevice] { return probe(device, openHere); });
    QTimer::singleShot(PortProbe::kTimeLimitMs, this, [this, index, question] {
        if (m_rows[index].asked == question && !m_rows[index].answered)
            showState(index, PortState::NotResponding);
    });
}

void PortsDialog::onAnswered(int question, PortState state)
{
    // An answer to an earlier question of a row (its choice changed since)
    // is of no interest any more.
    for (int i = 0; i < DeviceMap::kPortCount; ++i) {
        if (m_rows[i].asked == question) {
            m_rows[i].answered = true;
            showState(i, state);
        }
    }
}

void PortsDialog::showState(int index, PortState state)
{
    Row &row = m_rows[index];
    const QString text = PortProbe::stateText(state);
    if (row.state->text() == text)
        return;
    row.state->setText(text);
    row.state->setAccessibleDescription(text);
    row.devices->setAccessibleDescription(text);
}

void PortsDialog::refresh()
{
    if (!isVisible())
        return;
    const QList<SerialDeviceInfo> detected = m_catalog.devices();
    if (detected != m_detected) {
        m_detected = detected;
        for (int i = 0; i < DeviceMap::kPortCount; ++i)
            fillRow(i);
    }
    // A row still waiting for its answer (a stuck device) is not asked
    // again: every question takes a thread until the device answers.
    for (int i = 0; i < DeviceMap::kPortCount; ++i) {
        if (m_rows[i].answered)
            askState(i);
    }
}

void PortsDialog::setChosenFolder(const QString &folder)
{
    m_folder = QDir::cleanPath(folder);
    m_ui->txtFolder->setText(QDir::toNativeSeparators(m_folder));
    m_ui->lblError->hide();
}

void PortsDialog::chooseFolder()
{
    const QString folder
        = QFileDialog::getExistingDirectory(this, QStringLiteral("Choose the Reports Folder"), m_folder);
    if (!folder.isEmpty())
        setChosenFolder(folder);
}

void PortsDialog::showProblem(const QString &problem)
{
    m_ui->lblError->setText(problem);
    m_ui->lblError->show();
    m_ui->lblError->setFocus();
}
