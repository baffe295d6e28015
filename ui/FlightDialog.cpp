#include "ui/FlightDialog.h"
#include "ui_FlightDialog.h"

#include "logbook/LogbookText.h"
#include "logbook/PilotLogbook.h"

#include <QCompleter>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>

namespace {

constexpr int kFirstSummaryField = 4; // QNE min
constexpr int kLastSummaryField = 11; // speed max
constexpr int kLiftField = 8;
constexpr int kSinkField = 9;

// "hh:mm" or "h:mm": hours and minutes; nothing when the text is no such
// time.
std::optional<int> minutesOf(const QString &text, int mostHours)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2}):([0-5]\\d)$"));
    const auto match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int hours = match.captured(1).toInt();
    const int minutes = hours * 60 + match.captured(2).toInt();
    if (hours > mostHours)
        return std::nullopt;
    return minutes;
}

std::optional<int> clockOf(const QString &text)
{
    return minutesOf(text, 23);
}

// At most 24 hours, as the instrument records them.
std::optional<int> durationOf(const QString &text)
{
    const auto minutes = minutesOf(text, 24);
    return minutes && *minutes <= 24 * 60 ? minutes : std::nullopt;
}

std::optional<QDate> dateOf(const QString &text)
{
    const QString t = text.trimmed();
    const QDate date = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    return t.size() == 10 && date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

// A summary value as typed: whole meters or km/h, or a rate with one
// decimal after a point or a comma. Empty: not known (std::nullopt inside
// an engaged optional); nothing at all: not a value.
std::optional<std::optional<double>> summaryValueOf(const QString &text, int field)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::optional<double>();
    const bool rate = field == kLiftField || field == kSinkField;
    static const QRegularExpression whole(QStringLiteral("^-?\\d{1,5}$"));
    static const QRegularExpression decimal(QStringLiteral("^(-?)(\\d{1,3})(?:[.,](\\d))?$"));
    if (!rate) {
        if (!whole.match(t).hasMatch())
            return std::nullopt;
        return std::optional<double>(t.toInt());
    }
    const auto match = decimal.match(t);
    if (!match.hasMatch())
        return std::nullopt;
    // In tenths, so that 2.5 is the same number whichever separator was typed.
    const int tenths = match.captured(2).toInt() * 10 + match.captured(3).toInt();
    return std::optional<double>((match.captured(1).isEmpty() ? tenths : -tenths) / 10.0);
}

// What a field that must not be negative cannot hold.
bool mayBeNegative(int field)
{
    switch (field) {
    case 7: // total gain
    case 10: // speed min
    case 11: // speed max
        return false;
    default:
        return true;
    }
}

const char *const kSummaryNames[] = { "QNE min", "QNE max", "Height diff max", "Total gain", "Lift max",
    "Sink max", "Speed min", "Speed max" };

} // namespace

FlightDialog::FlightDialog(const LogbookEntry &entry, const QStringList &gliderNames, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::FlightDialog>())
    , m_original(entry)
{
    ui->setupUi(this);
    const bool adding = entry.id == 0;
    const bool byHand = adding || entry.byHand;
    setWindowTitle(adding ? tr("Add flight") : tr("Edit flight"));
    ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setAccessibleName(adding ? tr("Add the flight") : tr("Save the flight"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));

    for (int m = int(LaunchMethod::Unset); m <= int(LaunchMethod::Other); ++m) {
        const QString text = LogbookText::launchText(LaunchMethod(m));
        ui->cmbLaunch->addItem(text.isEmpty() ? tr("(not given)") : text, m);
    }
    for (int r = 0; r < kRoleCount; ++r)
        ui->cmbRole->addItem(LogbookText::roleText(PilotRole(r)), r);

    auto *completer = new QCompleter(gliderNames, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    ui->edtGlider->setCompleter(completer);
    for (QLineEdit *edit : { ui->edtSite, ui->edtLandingSite, ui->edtGlider })
        edit->setMaxLength(PilotLogbook::kMaxNoteLength);

    // Room for a whole date beside the instrument's value.
    const int fieldWidth = fontMetrics().horizontalAdvance(QStringLiteral("8888-88-88MMM"));
    for (QLineEdit *edit : { ui->edtDate, ui->edtStart, ui->edtDuration })
        edit->setMinimumWidth(fieldWidth);

    const LogbookFlight &f = entry.flight;
    ui->edtDate->setText(f.date.isValid() ? LogbookText::dateText(f.date) : QString());
    ui->edtStart->setText(adding ? QString() : LogbookText::clockText(f.startMinutes));
    ui->edtDuration->setText(adding ? QString() : LogbookText::hoursText(f.durationMinutes));
    ui->edtSite->setText(entry.site);
    ui->edtLandingSite->setText(entry.landingSite);
    ui->chkOutlanding->setChecked(entry.outlanding);
    ui->edtGlider->setText(entry.glider);
    ui->cmbLaunch->setCurrentIndex(qMax(0, ui->cmbLaunch->findData(int(entry.launch))));
    ui->spnLaunches->setValue(entry.launches);
    ui->cmbRole->setCurrentIndex(qMax(0, ui->cmbRole->findData(int(entry.role))));
    ui->edtNotes->setPlainText(entry.notes);

    const QString point = QLocale::system().decimalPoint();
    for (int field = kFirstSummaryField; field <= kLastSummaryField; ++field) {
        QLineEdit *edit = summaryEdit(field);
        edit->setText(adding || !f.has(field) ? QString() : LogbookText::fieldText(f, field, point));
        // What the instrument measured is not the pilot's to change; it
        // stays in the tab order so that it can be read.
        edit->setReadOnly(!byHand);
    }
    ui->grpSummary->setTitle(byHand ? tr("Summary values (empty: not known)")
                                    : tr("Summary values (as the instrument recorded them)"));

    // The instrument's values of the fields a pilot may correct.
    const LogbookFlight recorded = entry.recordedFlight();
    m_corrected = {
        { ui->edtDate, ui->lblDateRecorded, ui->btnRestoreDate, LogbookText::dateText(recorded.date) },
        { ui->edtStart, ui->lblStartRecorded, ui->btnRestoreStart,
            LogbookText::clockText(recorded.startMinutes) },
        { ui->edtDuration, ui->lblDurationRecorded, ui->btnRestoreDuration,
            LogbookText::hoursText(recorded.durationMinutes) },
    };
    if (byHand)
        m_corrected.clear();
    for (const Corrected &c : std::as_const(m_corrected)) {
        connect(c.edit, &QLineEdit::textChanged, this, &FlightDialog::showCorrections);
        connect(c.restore, &QPushButton::clicked, this, [this, c] {
            c.edit->setText(c.instrumentText);
            c.edit->setFocus();
        });
    }
    showCorrections();
    ui->lblProblem->hide();

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &FlightDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    ui->edtDate->setFocus();
}

FlightDialog::~FlightDialog() = default;

QLineEdit *FlightDialog::summaryEdit(int field) const
{
    QLineEdit *const edits[] = { ui->edtQneMin, ui->edtQneMax, ui->edtHeightDiff, ui->edtTotalGain,
        ui->edtLift, ui->edtSink, ui->edtSpeedMin, ui->edtSpeedMax };
    return edits[field - kFirstSummaryField];
}

void FlightDialog::showCorrections()
{
    // A field is shown as corrected while it says something else than the
    // instrument recorded; the button puts the instrument's value back.
    for (int i = 0; i < int(m_corrected.size()); ++i) {
        const Corrected &c = m_corrected.at(i);
        bool same = false;
        if (i == 0)
            same = dateOf(c.edit->text()) == dateOf(c.instrumentText);
        else if (i == 1)
            same = clockOf(c.edit->text()) == clockOf(c.instrumentText);
        else
            same = durationOf(c.edit->text()) == durationOf(c.instrumentText);
        c.recorded->setText(same ? QString() : tr("Instrument recorded %1").arg(c.instrumentText));
        c.recorded->setVisible(!same);
        c.restore->setVisible(!same);
        c.edit->setAccessibleDescription(
            same ? QString() : tr("Corrected; the instrument recorded %1").arg(c.instrumentText));
    }
    if (m_corrected.isEmpty()) {
        for (QWidget *w : { static_cast<QWidget *>(ui->lblDateRecorded),
                 static_cast<QWidget *>(ui->btnRestoreDate), static_cast<QWidget *>(ui->lblStartRecorded),
                 static_cast<QWidget *>(ui->btnRestoreStart), static_cast<QWidget *>(ui->lblDurationRecorded),
                 static_cast<QWidget *>(ui->btnRestoreDuration) })
            w->hide();
    }
}

QString FlightDialog::problemAndFocus(QWidget **focus) const
{
    const auto fail = [focus](QWidget *w, const QString &text) {
        *focus = w;
        return text;
    };
    if (!dateOf(ui->edtDate->text()))
        return fail(ui->edtDate, tr("Type the date as yyyy-mm-dd, for example 2004-04-18."));
    if (!clockOf(ui->edtStart->text()))
        return fail(ui->edtStart, tr("Type the take-off time as hh:mm, from 00:00 to 23:59."));
    if (!durationOf(ui->edtDuration->text()))
        return fail(ui->edtDuration, tr("Type the duration as hh:mm, at most 24:00."));
    if (ui->edtNotes->toPlainText().size() > PilotLogbook::kMaxNoteLength)
        return fail(ui->edtNotes,
            tr("The notes are too long: at most %1 characters are kept.").arg(PilotLogbook::kMaxNoteLength));
    if (m_corrected.isEmpty() && (m_original.id == 0 || m_original.byHand)) {
        std::array<std::optional<double>, kLastSummaryField + 1> values {};
        for (int field = kFirstSummaryField; field <= kLastSummaryField; ++field) {
            QLineEdit *edit = summaryEdit(field);
            const auto value = summaryValueOf(edit->text(), field);
            const QString name = tr(kSummaryNames[field - kFirstSummaryField]);
            if (!value)
                return fail(edit,
                    field == kLiftField || field == kSinkField
                        ? tr("%1 must be a number with at most one decimal, such as 2.5, or empty.").arg(name)
                        : tr("%1 must be a whole number, or empty.").arg(name));
            if (*value && **value < 0 && !mayBeNegative(field))
                return fail(edit, tr("%1 cannot be below zero.").arg(name));
            values[size_t(field)] = *value;
        }
        if (values[4] && values[5] && *values[4] > *values[5])
            return fail(ui->edtQneMin, tr("QNE min cannot be above QNE max."));
        if (values[10] && values[11] && *values[10] > *values[11])
            return fail(ui->edtSpeedMin, tr("Speed min cannot be above speed max."));
    }
    *focus = nullptr;
    return {};
}

QString FlightDialog::problem() const
{
    QWidget *focus = nullptr;
    return problemAndFocus(&focus);
}

void FlightDialog::accept()
{
    QWidget *focus = nullptr;
    const QString text = problemAndFocus(&focus);
    ui->lblProblem->setText(text);
    ui->lblProblem->setVisible(!text.isEmpty());
    if (focus) {
        focus->setFocus();
        return;
    }
    QDialog::accept();
}

LogbookEntry FlightDialog::entry() const
{
    LogbookEntry e = m_original;
    const bool byHand = m_original.id == 0 || m_original.byHand;
    e.byHand = byHand;
    e.flight.date = dateOf(ui->edtDate->text()).value_or(QDate());
    e.flight.startMinutes = clockOf(ui->edtStart->text()).value_or(0);
    e.flight.durationMinutes = durationOf(ui->edtDuration->text()).value_or(0);
    e.site = ui->edtSite->text().trimmed();
    e.landingSite = ui->edtLandingSite->text().trimmed();
    e.outlanding = ui->chkOutlanding->isChecked();
    e.glider = ui->edtGlider->text().trimmed();
    e.launch = LaunchMethod(ui->cmbLaunch->currentData().toInt());
    e.launches = ui->spnLaunches->value();
    e.role = PilotRole(ui->cmbRole->currentData().toInt());
    e.notes = ui->edtNotes->toPlainText();
    if (byHand) {
        e.instrumentDate.reset();
        e.instrumentStartMinutes.reset();
        e.instrumentDurationMinutes.reset();
        e.flight.unknownFields = 0;
        for (int field = kFirstSummaryField; field <= kLastSummaryField; ++field) {
            const auto value = summaryValueOf(summaryEdit(field)->text(), field).value_or(std::nullopt);
            if (!value)
                e.flight.unknownFields |= quint16(1u << field);
            const double v = value.value_or(0);
            switch (field) {
            case 4:
                e.flight.qneMin = int(v);
                break;
            case 5:
                e.flight.qneMax = int(v);
                break;
            case 6:
                e.flight.heightDiffMax = int(v);
                break;
            case 7:
                e.flight.totalGain = int(v);
                break;
            case kLiftField:
                e.flight.liftMax = v;
                break;
            case kSinkField:
                e.flight.sinkMax = v;
                break;
            case 10:
                e.flight.speedMin = int(v);
                break;
            default:
                e.flight.speedMax = int(v);
                break;
            }
        }
        return e;
    }
    // A value equal to the instrument's is no correction.
    const LogbookFlight recorded = m_original.recordedFlight();
    e.instrumentDate = e.flight.date != recorded.date ? std::optional<QDate>(recorded.date) : std::nullopt;
    e.instrumentStartMinutes = e.flight.startMinutes != recorded.startMinutes
        ? std::optional<int>(recorded.startMinutes)
        : std::nullopt;
    e.instrumentDurationMinutes = e.flight.durationMinutes != recorded.durationMinutes
        ? std::optional<int>(recorded.durationMinutes)
        : std::nullopt;
    return e;
}
