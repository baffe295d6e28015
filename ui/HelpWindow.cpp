#include "ui/HelpWindow.h"

#include "ui/AppInfo.h"
#include "ui_HelpWindow.h"

#include <QMessageBox>

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::frmHelp>())
{
    AppInfo::initResources();
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(appIcon());

    connect(m_ui->lstHelpTopics, &QListWidget::currentRowChanged, this, &HelpWindow::lstHelpTopics_Click);

    Form_Load();
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::Form_Load()
{
    if (m_ui->lstHelpTopics->currentRow() == 0)
        lstHelpTopics_Click(0);
    else
        m_ui->lstHelpTopics->setCurrentRow(0);
}

QGroupBox *HelpWindow::pageAt(int position) const
{
    switch (position) {
    case 0:
        return m_ui->frmIntro;
    case 1:
        return m_ui->frmCable;
    case 2:
        return m_ui->frmFaq;
    default:
        return nullptr;
    }
}

void HelpWindow::lstHelpTopics_Click(int position)
{
    QGroupBox *shown = pageAt(position);
    if (!shown) {
        auto *box = new QMessageBox(QMessageBox::NoIcon, QLatin1String(AppInfo::title),
            QStringLiteral("Programma fout"), QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("msgProgrammaFout"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    for (QGroupBox *page : { m_ui->frmIntro, m_ui->frmCable, m_ui->frmFaq })
        page->setVisible(page == shown);
}
