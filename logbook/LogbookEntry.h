#pragma once

#include "instrument/FlightSummary.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>
#include <array>
#include <optional>

// A flight's values as numbers, in the one form the logbook keeps from the
// moment a flight is decoded or imported until it is shown or written out:
// times in minutes, heights in meters, rates in m/s, speeds in km/h. The
// locale only touches them where they are shown.
struct LogbookFlight
{
    QDate date;
    int startMinutes = 0; // after midnight
    int durationMinutes = 0;
    int qneMin = 0;
    int qneMax = 0;
    int heightDiffMax = 0;
    int totalGain = 0;
    double liftMax = 0; // one decimal
    double sinkMax = 0;
    int speedMin = 0;
    int speedMax = 0;
    // Fields 4 (QNE min) .. 11 (speed max) the flight does not have: bit
    // (1 << field) set. A flight read from the instrument has them all; one
    // entered by hand may have none.
    quint16 unknownFields = 0;

    bool operator==(const LogbookFlight &) const = default;

    bool has(int field) const { return !(unknownFields & (1u << field)); }

    // The one conversion from the decoder's texts (the rates under any
    // decimal separator). Nothing for a flight that is not whole or that
    // holds what no flight can: a date that does not exist, a clock time
    // past 23:59, a duration over 24 hours, heights that disagree.
    static std::optional<LogbookFlight> fromSummary(const FlightSummary &summary);

    // The value of a field of the flight field table (1 = date ... 11 =
    // speed max) as the number it is: int, double or QDate; an invalid
    // QVariant for a field the flight does not have.
    QVariant value(int field) const;
};

// How the pilot left the ground, and in which seat.
enum class LaunchMethod { Unset, Foot, Winch, Aerotow, SelfLaunch, Other };
enum class PilotRole { PilotInCommand, Dual, Instructor, Passenger };
constexpr int kRoleCount = 4;

// Flights, launches and time: what a logbook page, a year, a glider or a
// recency window adds up to.
struct FlightTotals
{
    qint64 flights = 0;
    qint64 launches = 0;
    qint64 minutes = 0;

    bool operator==(const FlightTotals &) const = default;
    FlightTotals &operator+=(const FlightTotals &o)
    {
        flights += o.flights;
        launches += o.launches;
        minutes += o.minutes;
        return *this;
    }
};

// A paper logbook carried over: what it held of the flights before asOf,
// by role.
struct OpeningBalance
{
    QDate asOf; // invalid: no opening balance
    std::array<FlightTotals, kRoleCount> byRole {};

    bool operator==(const OpeningBalance &) const = default;
    bool isEmpty() const { return !asOf.isValid(); }
    FlightTotals all() const
    {
        FlightTotals sum;
        for (const FlightTotals &t : byRole)
            sum += t;
        return sum;
    }
};

// One of the pilot's gliders, kept in the logbook; flights name it by name.
struct Glider
{
    qint64 id = 0;
    QString name;
    QString type;
    QString registration; // or serial number

    bool operator==(const Glider &) const = default;
};

// One flight of the pilot's logbook: its values, the pilot name that went
// with it and what the pilot wrote beside it.
struct LogbookEntry
{
    qint64 id = 0; // the store's row id; 0 for a flight not stored yet
    // The flight as the logbook has it: corrections applied.
    LogbookFlight flight;
    QString pilot;
    QString site; // take-off site
    QString glider;
    QString notes;
    QString landingSite;
    bool outlanding = false;
    LaunchMethod launch = LaunchMethod::Unset;
    int launches = 1;
    PilotRole role = PilotRole::PilotInCommand;
    // Entered by hand, not read from the instrument: every value is the
    // pilot's, nothing is a correction.
    bool byHand = false;
    // What the instrument recorded, for a field the pilot corrected in a
    // flight read from it (flight then holds the corrected value). Restoring
    // the instrument's value = copying it back into flight and clearing this.
    std::optional<QDate> instrumentDate;
    std::optional<int> instrumentStartMinutes;
    std::optional<int> instrumentDurationMinutes;

    bool operator==(const LogbookEntry &) const = default;
    bool isCorrected() const { return instrumentDate || instrumentStartMinutes || instrumentDurationMinutes; }
    // The flight as the instrument recorded it: its identity, by which a
    // flight read again is known.
    LogbookFlight recordedFlight() const
    {
        LogbookFlight f = flight;
        f.date = instrumentDate.value_or(f.date);
        f.startMinutes = instrumentStartMinutes.value_or(f.startMinutes);
        f.durationMinutes = instrumentDurationMinutes.value_or(f.durationMinutes);
        return f;
    }
};

// The columns the pilot fills in.
enum class NoteField { Site, Glider, Notes, LandingSite };
