#pragma once

#include "instrument/FlightSummary.h"

#include <QList>
#include <QString>

// One flight of the pilot's logbook: the summary as the instrument gave it
// (its flightNumber is the memory slot it was read from and means nothing
// later), the pilot name that went with it, and what the pilot wrote beside
// it.
struct LogbookEntry
{
    qint64 id = 0; // the store's row id; 0 for a flight not stored yet
    FlightSummary flight;
    QString pilot;
    QString site;
    QString glider;
    QString notes;

    bool operator==(const LogbookEntry &) const = default;
};

// The columns the pilot fills in.
enum class NoteField { Site, Glider, Notes };
