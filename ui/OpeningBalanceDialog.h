#pragma once

#include "logbook/LogbookEntry.h"

#include <QDialog>
#include <array>
#include <memory>
#include <optional>

namespace Ui {
class OpeningBalanceDialog;
}
class QLineEdit;
class QSpinBox;

// Edit, Opening balance...: what a paper logbook held before this logbook
// began (flights, launches and hours per role, as of a date). Hands back
// the balance chosen; an empty one when the pilot carries nothing over.
class OpeningBalanceDialog : public QDialog
{
    Q_OBJECT
public:
    // firstFlight: the date the form suggests for a new balance (the
    // logbook's first flight; today when it has none).
    OpeningBalanceDialog(const OpeningBalance &balance, const QDate &firstFlight, QWidget *parent = nullptr);
    ~OpeningBalanceDialog() override;

    OpeningBalance balance() const;

    // Minutes of hours typed as "H:MM" or whole hours "H" ("" is 0);
    // nullopt for anything else.
    static std::optional<qint64> minutesOf(const QString &hours);

private:
    void updateState();

    struct RoleFields
    {
        QSpinBox *flights = nullptr;
        QSpinBox *launches = nullptr;
        QLineEdit *hours = nullptr;
    };

    std::unique_ptr<Ui::OpeningBalanceDialog> ui;
    std::array<RoleFields, kRoleCount> m_fields;
};
