#pragma once

#include "instrument/FlightSummary.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>
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

    bool operator==(const LogbookFlight &) const = default;

    // The one conversion from the decoder's texts (the rates under any
    // decimal separator). Nothing for a flight that is not whole or that
    // holds what no flight can: a date that does not exist, a clock time
    // past 23:59, a duration over 24 hours, heights that disagree.
    static std::optional<LogbookFlight> fromSummary(const FlightSummary &summary);

    // The value of a field of the flight field table (1 = date ... 11 =
    // speed max) as the number it is: int, double or QDate.
    QVariant value(int field) const;
};

// One flight of the pilot's logbook: its values, the pilot name that went
// with it and what the pilot wrote beside it.
struct LogbookEntry
{
    qint64 id = 0; // the store's row id; 0 for a flight not stored yet
    LogbookFlight flight;
    QString pilot;
    QString site;
    QString glider;
    QString notes;

    bool operator==(const LogbookEntry &) const = default;
};

// The columns the pilot fills in.
enum class NoteField { Site, Glider, Notes };
