#pragma once

#include "logbook/LogbookEntry.h"

#include <QDialog>
#include <memory>

namespace Ui {
class GlidersDialog;
}

// Gliders...: the pilot's gliders (name, type, registration or serial),
// added, changed and removed here and handed back as a whole list; the
// window stores the difference. Names are what flights refer to, so each
// must be given and be unlike every other.
class GlidersDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GlidersDialog(const QList<Glider> &gliders, QWidget *parent = nullptr);
    ~GlidersDialog() override;

    // The list as the pilot left it: new gliders with id 0.
    QList<Glider> gliders() const { return m_gliders; }
    // What is wrong with the list; empty when it can be kept.
    QString problem() const;

    void accept() override;

    // What turns the list before into the list after.
    struct Changes
    {
        QList<Glider> added;
        QList<Glider> changed;
        QList<qint64> removed;
    };
    static Changes changesBetween(const QList<Glider> &before, const QList<Glider> &after);

private:
    void showRow(int row);
    void showChosen();
    void editChosen();
    void addGlider();
    void removeChosen();
    int chosenRow() const;

    std::unique_ptr<Ui::GlidersDialog> ui;
    QList<Glider> m_gliders;
};
