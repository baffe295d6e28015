#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class frmHelp;
}

class QGroupBox;

// The help window: a topic list and three pages (introduction, data cable
// wiring, FAQ), one visible at a time. It does not block the main window.
//
// It deletes itself when closed (Qt::WA_DeleteOnClose), so the main window
// keeps it in a QPointer, creates a new one when that is empty and otherwise
// brings the existing one forward; a new window always opens on "Introduction".
// The contents keep their size and place when the window is resized.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *parent = nullptr);
    ~HelpWindow() override;

    // Selects "Introduction" in the topic list, which shows its page.
    void Form_Load();

    // The page shown for a topic position, nullptr for a position without one.
    QGroupBox *pageAt(int position) const;

public slots:
    // Shows the page of topic position 0, 1 or 2 and hides the others. Any other
    // position leaves the pages as they are and reports "Programma fout" in a
    // non-blocking message box, object name "msgProgrammaFout".
    void lstHelpTopics_Click(int position);

private:
    std::unique_ptr<Ui::frmHelp> m_ui;
};
