#include "ui/GlidersDialog.h"
#include "ui_GlidersDialog.h"

#include "logbook/PilotLogbook.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSet>

GlidersDialog::GlidersDialog(const QList<Glider> &gliders, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::GlidersDialog>())
    , m_gliders(gliders)
{
    ui->setupUi(this);
    QTableWidget *table = ui->tblGliders;
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels({ tr("Name"), tr("Type"), tr("Registration or serial") });
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setRowCount(int(m_gliders.size()));
    for (int r = 0; r < int(m_gliders.size()); ++r)
        showRow(r);
    for (QLineEdit *edit : { ui->edtName, ui->edtType, ui->edtRegistration }) {
        edit->setMaxLength(PilotLogbook::kMaxNoteLength);
        connect(edit, &QLineEdit::textEdited, this, &GlidersDialog::editChosen);
    }
    ui->lblGliderProblem->hide();

    connect(
        table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &GlidersDialog::showChosen);
    connect(ui->btnAddGlider, &QPushButton::clicked, this, &GlidersDialog::addGlider);
    connect(ui->btnRemoveGlider, &QPushButton::clicked, this, &GlidersDialog::removeChosen);
    connect(ui->buttons, &QDialogButtonBox::accepted, this, &GlidersDialog::accept);
    connect(ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!m_gliders.isEmpty())
        table->selectRow(0);
    showChosen();
}

GlidersDialog::~GlidersDialog() = default;

void GlidersDialog::showRow(int row)
{
    const Glider &g = m_gliders.at(row);
    const QStringList cells { g.name, g.type, g.registration };
    for (int c = 0; c < int(cells.size()); ++c) {
        QTableWidgetItem *item = ui->tblGliders->item(row, c);
        if (!item)
            ui->tblGliders->setItem(row, c, item = new QTableWidgetItem);
        item->setText(cells.at(c));
    }
}

int GlidersDialog::chosenRow() const
{
    const int row = ui->tblGliders->currentRow();
    return row >= 0 && row < int(m_gliders.size()) ? row : -1;
}

void GlidersDialog::showChosen()
{
    const int row = chosenRow();
    const Glider g = row >= 0 ? m_gliders.at(row) : Glider();
    ui->edtName->setText(g.name);
    ui->edtType->setText(g.type);
    ui->edtRegistration->setText(g.registration);
    for (QWidget *w : { static_cast<QWidget *>(ui->edtName), static_cast<QWidget *>(ui->edtType),
             static_cast<QWidget *>(ui->edtRegistration), static_cast<QWidget *>(ui->btnRemoveGlider) })
        w->setEnabled(row >= 0);
}

void GlidersDialog::editChosen()
{
    const int row = chosenRow();
    if (row < 0)
        return;
    Glider &g = m_gliders[row];
    g.name = ui->edtName->text().trimmed();
    g.type = ui->edtType->text().trimmed();
    g.registration = ui->edtRegistration->text().trimmed();
    showRow(row);
}

void GlidersDialog::addGlider()
{
    m_gliders.append(Glider());
    const int row = int(m_gliders.size()) - 1;
    ui->tblGliders->setRowCount(row + 1);
    showRow(row);
    ui->tblGliders->selectRow(row);
    showChosen();
    ui->edtName->setFocus();
}

void GlidersDialog::removeChosen()
{
    const int row = chosenRow();
    if (row < 0)
        return;
    m_gliders.removeAt(row);
    ui->tblGliders->removeRow(row);
    showChosen();
    ui->tblGliders->setFocus();
}

QString GlidersDialog::problem() const
{
    QSet<QString> names;
    for (const Glider &g : m_gliders) {
        if (g.name.isEmpty())
            return tr("Every glider needs a name.");
        const QString folded = g.name.toCaseFolded();
        if (names.contains(folded))
            return tr("Two gliders are named \"%1\": give each its own name.").arg(g.name);
        names.insert(folded);
    }
    return {};
}

void GlidersDialog::accept()
{
    const QString text = problem();
    ui->lblGliderProblem->setText(text);
    ui->lblGliderProblem->setVisible(!text.isEmpty());
    if (text.isEmpty())
        QDialog::accept();
}

GlidersDialog::Changes GlidersDialog::changesBetween(const QList<Glider> &before, const QList<Glider> &after)
{
    Changes changes;
    QHash<qint64, Glider> was;
    for (const Glider &g : before)
        was.insert(g.id, g);
    QSet<qint64> kept;
    for (const Glider &g : after) {
        if (g.id == 0 || !was.contains(g.id)) {
            changes.added.append(g);
            continue;
        }
        kept.insert(g.id);
        if (was.value(g.id) != g)
            changes.changed.append(g);
    }
    for (const Glider &g : before) {
        if (!kept.contains(g.id))
            changes.removed.append(g.id);
    }
    return changes;
}
