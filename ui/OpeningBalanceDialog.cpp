#include "ui/OpeningBalanceDialog.h"
#include "ui_OpeningBalanceDialog.h"

#include "logbook/LogbookText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>

namespace {

const QRegularExpression &hoursPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,6})(?::([0-5]\\d))?$"));
    return pattern;
}

} // namespace

OpeningBalanceDialog::OpeningBalanceDialog(
    const OpeningBalance &balance, const QDate &firstFlight, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::OpeningBalanceDialog>())
{
    ui->setupUi(this);
    ui->dateAsOf->setDate(
        balance.isEmpty() ? (firstFlight.isValid() ? firstFlight : QDate::currentDate()) : balance.asOf);

    const QStringList heads { tr("Flights"), tr("Launches"), tr("Hours") };
    for (int c = 0; c < heads.size(); ++c)
        ui->gridRoles->addWidget(new QLabel(heads.at(c), this), 0, c + 1);
    for (int r = 0; r < kRoleCount; ++r) {
        const QString role = LogbookText::roleText(PilotRole(r));
        auto *label = new QLabel(role + QLatin1Char(':'), this);
        RoleFields &f = m_fields[r];
        f.flights = new QSpinBox(this);
        f.launches = new QSpinBox(this);
        f.hours = new QLineEdit(this);
        f.flights->setObjectName(QStringLiteral("spnFlights%1").arg(r));
        f.launches->setObjectName(QStringLiteral("spnLaunches%1").arg(r));
        f.hours->setObjectName(QStringLiteral("txtHours%1").arg(r));
        for (QSpinBox *spin : { f.flights, f.launches })
            spin->setRange(0, 999999);
        f.flights->setAccessibleName(tr("Flights, %1").arg(role));
        f.launches->setAccessibleName(tr("Launches, %1").arg(role));
        f.hours->setAccessibleName(tr("Hours, %1").arg(role));
        f.hours->setPlaceholderText(QStringLiteral("0:00"));
        f.hours->setValidator(new QRegularExpressionValidator(hoursPattern(), f.hours));
        label->setBuddy(f.flights);
        ui->gridRoles->addWidget(label, r + 1, 0);
        ui->gridRoles->addWidget(f.flights, r + 1, 1);
        ui->gridRoles->addWidget(f.launches, r + 1, 2);
        ui->gridRoles->addWidget(f.hours, r + 1, 3);

        const FlightTotals &t = balance.byRole.at(r);
        f.flights->setValue(int(t.flights));
        f.launches->setValue(int(t.launches));
        if (t.minutes)
            f.hours->setText(
                QStringLiteral("%1:%2").arg(t.minutes / 60).arg(t.minutes % 60, 2, 10, QLatin1Char('0')));
        // Launches follow the flights until the pilot types another number
        // (a winch day may have more launches than flights).
        connect(f.flights, &QSpinBox::valueChanged, this, [&f, last = f.flights->value()](int value) mutable {
            if (f.launches->value() == last)
                f.launches->setValue(value);
            last = value;
        });
        connect(f.hours, &QLineEdit::textChanged, this, &OpeningBalanceDialog::updateState);
    }
    // Tab goes across a role's row, then to the next role.
    QWidget *previous = ui->dateAsOf;
    for (const RoleFields &f : m_fields) {
        for (QWidget *w : { static_cast<QWidget *>(f.flights), static_cast<QWidget *>(f.launches),
                 static_cast<QWidget *>(f.hours) }) {
            setTabOrder(previous, w);
            previous = w;
        }
    }
    setTabOrder(previous, ui->buttons);

    ui->chkCarryOver->setChecked(!balance.isEmpty());
    connect(ui->chkCarryOver, &QCheckBox::toggled, this, &OpeningBalanceDialog::updateState);
    connect(ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateState();
}

OpeningBalanceDialog::~OpeningBalanceDialog() = default;

std::optional<qint64> OpeningBalanceDialog::minutesOf(const QString &hours)
{
    const QString text = hours.trimmed();
    if (text.isEmpty())
        return 0;
    const QRegularExpressionMatch m = hoursPattern().match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toLongLong() * 60 + m.captured(2).toInt();
}

void OpeningBalanceDialog::updateState()
{
    const bool on = ui->chkCarryOver->isChecked();
    ui->dateAsOf->setEnabled(on);
    bool readable = true;
    for (const RoleFields &f : m_fields) {
        for (QWidget *w : { static_cast<QWidget *>(f.flights), static_cast<QWidget *>(f.launches),
                 static_cast<QWidget *>(f.hours) })
            w->setEnabled(on);
        readable = readable && minutesOf(f.hours->text()).has_value();
    }
    // "12:" or "3:7" is hours half typed: OK waits for the minutes.
    ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(!on || readable);
}

OpeningBalance OpeningBalanceDialog::balance() const
{
    OpeningBalance b;
    if (!ui->chkCarryOver->isChecked())
        return b;
    b.asOf = ui->dateAsOf->date();
    for (int r = 0; r < kRoleCount; ++r) {
        const RoleFields &f = m_fields.at(r);
        b.byRole[r] = FlightTotals { f.flights->value(), f.launches->value(),
            minutesOf(f.hours->text()).value_or(0) };
    }
    return b;
}
