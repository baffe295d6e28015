#include "ui/PortsDialog.h"

#include "link/DeviceMap.h"
#include "link/PortProbe.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int portCount = 4;
constexpr int rescanMs = 1500;

// What an entry of a port's list stands for.
enum EntryKind { BuiltIn, Detected, Kept, Typed, Other };
constexpr int pathRole = Qt::UserRole;
constexpr int kindRole = Qt::UserRole + 1;

// "~/.config/..." reads easier than the full path of the home folder.
QString shortFolderName(const QString &folder)
{
    const QString home = QDir::homePath() + QLatin1Char('/');
    if (folder.startsWith(home))
        return QStringLiteral("~/") + folder.mid(home.size());
    return QDir::toNativeSeparators(folder);
}

} // namespace

PortsDialog::PortsDialog(QWidget *parent, const QString &openDevice, PortCatalog catalog)
    : QDialog(parent)
    , m_catalog(std::move(catalog))
    , m_openDevice(openDevice)
{
    setWindowTitle(QStringLiteral("Ports and Folder"));
    setObjectName(QStringLiteral("frmPorts"));
    setModal(true);

    auto *intro
        = new QLabel(QStringLiteral("Choose the serial device behind each port, and the folder where "
                                    "reports and workbooks are saved. The choices are kept as links in %1.")
                         .arg(shortFolderName(DeviceMap::directory())),
            this);
    intro->setObjectName(QStringLiteral("lblIntro"));
    intro->setWordWrap(true);

    auto *grid = new QGridLayout;
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 2);
    m_rows.resize(portCount);
    m_detected = m_catalog.devices();
    for (int i = 0; i < portCount; ++i) {
        buildRow(i);
        grid->addWidget(m_rows[i].name, i, 0);
        grid->addWidget(m_rows[i].devices, i, 1);
        grid->addWidget(m_rows[i].state, i, 2);
    }

    m_originalFolder = DeviceMap::driveCFolder();
    m_folder = m_originalFolder;
    auto *folderLabel = new QLabel(QStringLiteral("&Reports folder (c:):"), this);
    m_folderText = new QLineEdit(QDir::toNativeSeparators(m_folder), this);
    m_folderText->setObjectName(QStringLiteral("txtFolder"));
    m_folderText->setReadOnly(true);
    m_folderText->setAccessibleName(QStringLiteral("Reports folder"));
    folderLabel->setBuddy(m_folderText);
    m_folderButton = new QPushButton(QStringLiteral("C&hoose..."), this);
    m_folderButton->setObjectName(QStringLiteral("cmdChooseFolder"));
    m_folderButton->setAccessibleName(QStringLiteral("Choose the reports folder"));
    m_folderButton->setAutoDefault(false);
    grid->addWidget(folderLabel, portCount, 0);
    grid->addWidget(m_folderText, portCount, 1);
    grid->addWidget(m_folderButton, portCount, 2, Qt::AlignLeft);

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("lblError"));
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_error->setFocusPolicy(Qt::StrongFocus);
    m_error->setAccessibleName(QStringLiteral("Problem"));
    m_error->hide();

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName(QStringLiteral("buttons"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    layout->addWidget(m_error);
    layout->addStretch();
    layout->addWidget(m_buttons);

    // Reading order: each port's list then its state, the folder, the buttons.
    QWidget *previous = nullptr;
    auto chain = [&previous](QWidget *next) {
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    };
    for (const Row &row : std::as_const(m_rows)) {
        chain(row.devices);
        chain(row.state);
    }
    chain(m_folderText);
    chain(m_folderButton);
    chain(m_error);
    chain(m_buttons->button(QDialogButtonBox::Ok));
    chain(m_buttons->button(QDialogButtonBox::Cancel));

    connect(m_buttons, &QDialogButtonBox::accepted, this, &PortsDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &PortsDialog::reject);
    connect(m_folderButton, &QPushButton::clicked, this, &PortsDialog::chooseFolder);
    for (int i = 0; i < portCount; ++i) {
        connect(m_rows[i].devices, &QComboBox::currentIndexChanged, this, [this, i] { onRowChosen(i); });
        updateState(i);
    }

    m_rescan = new QTimer(this);
    m_rescan->setInterval(rescanMs);
    connect(m_rescan, &QTimer::timeout, this, &PortsDialog::refresh);
    m_rescan->start();
    m_rows[0].devices->setFocus();
}

PortsDialog::~PortsDialog() = default;

void PortsDialog::setOpenDevice(const QString &device)
{
    m_openDevice = device;
    for (int i = 0; i < portCount; ++i)
        updateState(i);
}

void PortsDialog::buildRow(int index)
{
    Row &row = m_rows[index];
    const int portNumber = index + 1;
    row.original = DeviceMap::linkTarget(DeviceMap::comLinkName(portNumber));
    row.chosen = row.original;

    row.name = new QLabel(QStringLiteral("COM&%1:").arg(portNumber), this);
    row.devices = new QComboBox(this);
    row.devices->setObjectName(QStringLiteral("cmbCom%1").arg(portNumber));
    row.devices->setAccessibleName(QStringLiteral("Device for COM%1").arg(portNumber));
    row.devices->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    row.devices->setMinimumContentsLength(50);
    row.name->setBuddy(row.devices);
    row.state = new QLabel(this);
    row.state->setObjectName(QStringLiteral("lblState%1").arg(portNumber));
    row.state->setAccessibleName(QStringLiteral("State of COM%1").arg(portNumber));
    row.state->setWordWrap(true);
    // Selectable by keyboard, so that Tab stops on it and a screen reader
    // reads the state right after the port's list.
    row.state->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    row.state->setFocusPolicy(Qt::StrongFocus);
    // Room for the longer states to wrap onto few lines.
    row.state->setMinimumWidth(row.state->fontMetrics().averageCharWidth() * 26);
    fillRow(index);
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
        list->setItemData(list->count() - 1, path, pathRole);
        list->setItemData(list->count() - 1, kind, kindRole);
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
        if (list->itemData(i, kindRole).toInt() != Other
            && list->itemData(i, pathRole).toString() == row.chosen) {
            list->setCurrentIndex(i);
            break;
        }
    }
}

QString PortsDialog::chosenDevice(int portNumber) const
{
    return m_rows.at(portNumber - 1).chosen;
}

void PortsDialog::onRowChosen(int index)
{
    Row &row = m_rows[index];
    QComboBox *list = row.devices;
    if (list->currentData(kindRole).toInt() == Other) {
        const QString start = row.chosen.isEmpty() ? DeviceMap::builtInDevice(index + 1) : row.chosen;
        const QString typed = askOtherDevice(start);
        if (!typed.isEmpty())
            row.chosen = typed;
        fillRow(index);
    } else {
        row.chosen = list->currentData(pathRole).toString();
    }
    m_error->hide();
    updateState(index);
}

QString PortsDialog::askOtherDevice(const QString &start)
{
    QDialog ask(this);
    ask.setWindowTitle(QStringLiteral("Other Device"));
    ask.setObjectName(QStringLiteral("frmOtherDevice"));
    auto *label = new QLabel(QStringLiteral("&Path of the serial device:"), &ask);
    auto *path = new QLineEdit(start, &ask);
    path->setObjectName(QStringLiteral("txtOtherDevice"));
    path->setAccessibleName(QStringLiteral("Path of the serial device"));
    path->setMinimumWidth(path->fontMetrics().averageCharWidth() * 40);
    label->setBuddy(path);
    auto *browse = new QPushButton(QStringLiteral("&Browse..."), &ask);
    browse->setObjectName(QStringLiteral("cmdBrowseDevice"));
    browse->setAutoDefault(false);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    auto *line = new QHBoxLayout;
    line->addWidget(path, 1);
    line->addWidget(browse);
    auto *layout = new QVBoxLayout(&ask);
    layout->addWidget(label);
    layout->addLayout(line);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    connect(browse, &QPushButton::clicked, &ask, [&ask, path] {
        const QString picked = QFileDialog::getOpenFileName(&ask, QStringLiteral("Choose a Serial Device"),
            QFileInfo(path->text()).absolutePath(), QString(), nullptr, QFileDialog::DontResolveSymlinks);
        if (!picked.isEmpty())
            path->setText(picked);
    });
    if (ask.exec() != QDialog::Accepted)
        return QString();
    return path->text().trimmed();
}

void PortsDialog::updateState(int index)
{
    Row &row = m_rows[index];
    const QString device = row.chosen.isEmpty() ? DeviceMap::builtInDevice(index + 1) : row.chosen;
    const QString text = portStateText(probePort(device, m_openDevice));
    if (row.state->text() == text)
        return;
    row.state->setText(text);
    row.state->setAccessibleDescription(text);
    row.devices->setAccessibleDescription(text);
}

void PortsDialog::refresh()
{
    const QList<SerialDeviceInfo> detected = m_catalog.devices();
    if (detected != m_detected) {
        m_detected = detected;
        for (int i = 0; i < portCount; ++i)
            fillRow(i);
    }
    for (int i = 0; i < portCount; ++i)
        updateState(i);
}

void PortsDialog::setChosenFolder(const QString &folder)
{
    m_folder = QDir::cleanPath(folder);
    m_folderText->setText(QDir::toNativeSeparators(m_folder));
    m_error->hide();
}

void PortsDialog::chooseFolder()
{
    const QString folder
        = QFileDialog::getExistingDirectory(this, QStringLiteral("Choose the Reports Folder"), m_folder);
    if (!folder.isEmpty())
        setChosenFolder(folder);
}

void PortsDialog::accept()
{
    QList<DeviceMap::LinkChange> changes;
    QList<int> ports;
    for (int i = 0; i < portCount; ++i) {
        const Row &row = m_rows.at(i);
        if (row.chosen == row.original)
            continue;
        changes.append({ DeviceMap::comLinkName(i + 1), row.chosen });
        ports << i + 1;
    }
    const bool folderChanged = m_folder != m_originalFolder;
    if (folderChanged)
        changes.append({ DeviceMap::driveCLinkName(), m_folder });

    QString problem;
    if (!DeviceMap::writeLinks(changes, &problem)) {
        m_error->setText(problem + QStringLiteral(". Nothing was changed."));
        m_error->show();
        m_error->setFocus();
        return;
    }
    m_changedPorts = ports;
    m_driveCChanged = folderChanged;
    m_rescan->stop();
    QDialog::accept();
}
