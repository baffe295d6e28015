#include "ui/DeletedFlightsDialog.h"
#include "ui_DeletedFlightsDialog.h"

#include "logbook/LogbookText.h"

#include <QHeaderView>
#include <QPushButton>

DeletedFlightsDialog::DeletedFlightsDialog(const QList<LogbookEntry> &deleted, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::DeletedFlightsDialog>())
    , m_deleted(deleted)
{
    ui->setupUi(this);
    m_restore = ui->buttons->addButton(tr("&Restore"), QDialogButtonBox::AcceptRole);
    m_restore->setEnabled(false);

    QTableWidget *table = ui->tblDeleted;
    table->setColumnCount(6);
    table->setHorizontalHeaderLabels(
        { tr("Date"), tr("Start"), tr("Duration"), tr("Site"), tr("Glider"), tr("Notes") });
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setRowCount(int(deleted.size()));
    for (int r = 0; r < int(deleted.size()); ++r) {
        const LogbookEntry &e = deleted.at(r);
        const QStringList cells { LogbookText::dateText(e.flight.date),
            LogbookText::clockText(e.flight.startMinutes), LogbookText::hoursText(e.flight.durationMinutes),
            e.site, e.glider, e.notes };
        for (int c = 0; c < int(cells.size()); ++c)
            table->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
    table->resizeColumnsToContents();

    connect(ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this] { m_restore->setEnabled(!chosenIds().isEmpty()); });
}

DeletedFlightsDialog::~DeletedFlightsDialog() = default;

QList<qint64> DeletedFlightsDialog::chosenIds() const
{
    QList<qint64> ids;
    for (const QModelIndex &index : ui->tblDeleted->selectionModel()->selectedRows())
        ids.append(m_deleted.at(index.row()).id);
    return ids;
}
