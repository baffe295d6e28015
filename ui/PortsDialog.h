#pragma once

#include "link/PortCatalog.h"

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The "Ports and Folder" window: which serial device stands behind COM1 to
// COM4 and which folder behind c:. It shows the links of the device map,
// offers the devices detected now and any path the user types or browses to,
// and says beside each port whether its device can be used. The list and the
// states follow adapters being plugged in and out while it is open.
//
// OK writes the links that changed into the device map and closes the window;
// when a link cannot be written the window says so and stays open, with the
// map unchanged. Cancel and Esc change nothing.
class PortsDialog : public QDialog
{
    Q_OBJECT

public:
    // openDevice: the device the main window has open (SerialLink::openDevice()),
    // shown as "in use by this program"; catalog: where detected devices come from.
    explicit PortsDialog(QWidget *parent = nullptr, const QString &openDevice = QString(),
        PortCatalog catalog = PortCatalog());
    ~PortsDialog() override;

    void setOpenDevice(const QString &device);

    // After OK: the ports (1..4) whose link changed, and whether c: changed.
    QList<int> changedPorts() const { return m_changedPorts; }
    bool driveCChanged() const { return m_driveCChanged; }

    // What the row of COMn would keep: a device path or by-id name, empty for
    // the built-in port.
    QString chosenDevice(int portNumber) const;
    QString chosenFolder() const { return m_folder; }
    void setChosenFolder(const QString &folder);

    // Looks for devices again and tries every chosen one; a timer calls it
    // while the window is open.
    void refresh();

    void accept() override;

private:
    struct Row
    {
        QLabel *name = nullptr;
        QComboBox *devices = nullptr;
        QLabel *state = nullptr;
        QString original; // the link's target when the window opened; empty: no link
        QString chosen;
    };

    void buildRow(int index);
    void fillRow(int index);
    void onRowChosen(int index);
    void updateState(int index);
    void chooseFolder();
    QString askOtherDevice(const QString &start);

    PortCatalog m_catalog;
    QString m_openDevice;
    QList<SerialDeviceInfo> m_detected;
    QList<Row> m_rows;
    QString m_originalFolder;
    QString m_folder;
    QLineEdit *m_folderText = nullptr;
    QPushButton *m_folderButton = nullptr;
    QLabel *m_error = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QTimer *m_rescan = nullptr;
    QList<int> m_changedPorts;
    bool m_driveCChanged = false;
};
