#pragma once

#include "logbook/LogbookEntry.h"

#include <QDialog>
#include <memory>

namespace Ui {
class DeletedFlightsDialog;
}
class QPushButton;

// Edit, Deleted flights...: the flights deleted from the logbook, newest
// first; hands back the ones the pilot chose to restore.
class DeletedFlightsDialog : public QDialog
{
    Q_OBJECT
public:
    DeletedFlightsDialog(const QList<LogbookEntry> &deleted, QWidget *parent = nullptr);
    ~DeletedFlightsDialog() override;

    QList<qint64> chosenIds() const;

private:
    std::unique_ptr<Ui::DeletedFlightsDialog> ui;
    QList<LogbookEntry> m_deleted;
    QPushButton *m_restore;
};
