#include "ui/AboutDialog.h"

#include "ui/AppInfo.h"
#include "ui/SystemInfo.h"
#include "ui_AboutDialog.h"

#include <QMessageBox>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::frmAbout>())
{
    AppInfo::initResources();
    m_ui->setupUi(this);
    setFixedSize(339, 244);
    setWindowIcon(appIcon());
    setWindowModality(Qt::ApplicationModal);

    connect(m_ui->cmdOK, &QPushButton::clicked, this, &AboutDialog::cmdOK_Click);
    connect(m_ui->cmdSysInfo, &QPushButton::clicked, this, &AboutDialog::cmdSysInfo_Click);
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::present()
{
    Form_Load();
    if (!isVisible()) {
        // show(), not exec(): a nested event loop here would hold up the
        // caller's own waits until the window is closed.
        setWindowModality(Qt::ApplicationModal);
        show();
        m_ui->cmdOK->setFocus();
    }
    raise();
    activateWindow();
}

void AboutDialog::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + QLatin1String(AppInfo::title));
    m_ui->lblVersion->setText(QStringLiteral("Version ") + AppInfo::versionText());
    m_ui->lblTitle->setText(QLatin1String(AppInfo::title));
    m_ui->lblDescription->setText(contactNote());
}

QString AboutDialog::contactNote()
{
    return QStringLiteral("Questions about this program are welcome by e-mail at support@tolmera.example.");
}

void AboutDialog::cmdOK_Click()
{
    accept();
}

void AboutDialog::cmdSysInfo_Click()
{
    StartSysInfo();
}

void AboutDialog::StartSysInfo()
{
    if (startSysInfoTool())
        return;

    auto *box = new QMessageBox(QMessageBox::NoIcon, QLatin1String(AppInfo::title),
        QStringLiteral("System Information Is Unavailable At This Time"), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("msgSysInfoUnavailable"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
