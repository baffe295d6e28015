#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmAbout;
}

// The About window: title, version, contact note and credits, and a button
// that starts the system's information tool.
//
// The main window keeps one instance (created on first use, parented to it) and
// calls present() for every "About". present() returns at once: the window is
// application-modal, so the main window takes no input while it is open, but
// the event loop the caller is already in keeps running (an operation waiting
// on the instrument goes on). OK, Enter, Esc or the close box hide it again.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    // Runs Form_Load and shows the window application-modal without blocking.
    // Showing it again while it is open only brings it forward.
    void present();

    // Fills the caption and the labels that depend on the build.
    void Form_Load();

    // Starts the system information tool, or says in a (non-blocking) message
    // box, object name "msgSysInfoUnavailable", that there is none. The About
    // window stays open either way.
    void StartSysInfo();

    // The sentence shown in lblDescription.
    static QString contactNote();

public slots:
    void cmdOK_Click();
    void cmdSysInfo_Click();

private:
    std::unique_ptr<Ui::frmAbout> m_ui;
};
