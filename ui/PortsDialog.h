#pragma once

#include "link/DeviceMap.h"
#include "link/PortCatalog.h"
#include "link/PortProbe.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QTimer;

namespace Ui {
class frmPorts;
}

// The "Ports and Folder" window: which serial device stands behind COM1 to
// COM4 and which folder behind c:. It shows the links of the device map,
// offers the devices detected now and any path the user types or browses to,
// and says beside each port whether its device can be used. The list and the
// states follow adapters being plugged in and out while it is open; the
// devices are looked at off the window thread, so a stuck one shows "Not
// responding" instead of freezing the window.
//
// OK and Cancel close the window; after OK, choice() says what to write into
// the device map (DeviceMap::apply). When that fails, showProblem() says so
// and the window can be shown again as it was.
class PortsDialog : public QDialog
{
    Q_OBJECT

public:
    // How a device is looked at; tests give a slow one.
    using Probe = std::function<PortState(const QString &device, const QString &openHere)>;

    // openDevice: the device the main window has open (SerialLink::openDevice()),
    // shown as "in use by this program"; catalog: where detected devices come from.
    explicit PortsDialog(QWidget *parent = nullptr, const QString &openDevice = QString(),
        PortCatalog catalog = PortCatalog(), Probe probe = defaultProbe);
    ~PortsDialog() override;

    static PortState defaultProbe(const QString &device, const QString &openHere)
    {
        return PortProbe::probe(device, openHere);
    }

    void setOpenDevice(const QString &device);

    // The rows the user changed since the window opened.
    DeviceMap::Choice choice() const;

    void setChosenFolder(const QString &folder);

    // Why the choice could not be kept, shown in the window until the next
    // change.
    void showProblem(const QString &problem);

    // Looks for devices again and asks for the state of every chosen one; a
    // timer calls it while the window is shown.
    void refresh();

private:
    struct Row
    {
        QComboBox *devices = nullptr;
        QLabel *state = nullptr;
        QString original; // the link's target when the window opened; empty: no link
        QString chosen; // a device path or by-id name; empty: the built-in port
        int asked = 0; // the question whose answer the row waits for
        bool answered = true;
    };

    void fillRow(int index);
    void onRowChosen(int index);
    void askState(int index);
    void onAnswered(int question, PortState state);
    void showState(int index, PortState state);
    void chooseFolder();
    QString askOtherDevice(const QString &start);

    std::unique_ptr<Ui::frmPorts> m_ui;
    PortCatalog m_catalog;
    Probe m_probe;
    PortProbe::Runner *m_runner = nullptr;
    QString m_openDevice;
    QList<SerialDeviceInfo> m_detected;
    std::array<Row, DeviceMap::kPortCount> m_rows;
    int m_questions = 0;
    QString m_originalFolder;
    QString m_folder;
    QTimer *m_rescan = nullptr;
};
