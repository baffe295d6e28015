#pragma once

#include "logbook/LogbookEntry.h"

#include <QDialog>
#include <QStringList>
#include <memory>

namespace Ui {
class FlightDialog;
}
class QLabel;
class QLineEdit;
class QPushButton;

// Add flight... and Edit flight...: every field of one flight. A flight
// entered by hand is the pilot's in full, its summary values optional
// (empty: not known). A flight read from the instrument shows its summary
// values read-only; a date, take-off time or duration that differs from
// what the instrument recorded is shown as corrected, beside the
// instrument's value and a button that restores it. OK stays with the
// dialog, saying what to fix, until every field holds what the logbook
// can keep.
class FlightDialog : public QDialog
{
    Q_OBJECT
public:
    // entry.id 0: a new flight (entered by hand). gliderNames: what the
    // Glider field offers as the pilot types.
    FlightDialog(const LogbookEntry &entry, const QStringList &gliderNames, QWidget *parent = nullptr);
    ~FlightDialog() override;

    // The flight as the fields say, corrections marked against what the
    // instrument recorded. Meaningful once problem() is empty.
    LogbookEntry entry() const;
    // What is wrong with the fields, in a sentence; empty when nothing is.
    QString problem() const;

    void accept() override;

private:
    struct Corrected
    {
        QLineEdit *edit;
        QLabel *recorded;
        QPushButton *restore;
        QString instrumentText; // the instrument's value as the field writes it
    };
    // The summary field of flight field 4 (QNE min) .. 11 (speed max).
    QLineEdit *summaryEdit(int field) const;
    QString problemAndFocus(QWidget **focus) const;
    void showCorrections();

    std::unique_ptr<Ui::FlightDialog> ui;
    LogbookEntry m_original;
    QList<Corrected> m_corrected;
};
