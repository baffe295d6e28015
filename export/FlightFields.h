#pragma once

#include "export/CellValue.h"
#include "instrument/FlightSummary.h"

#include <QString>
#include <array>

// One row per field of a FlightSummary, in the order of the report's and the
// workbook's columns: everything a view needs to show the field. Show flight
// and Clear Flight Data find their boxes here, the text report its column
// heads, the workbook its header cells and what kind of value each cell is.
// A new field is one more row.
struct FlightField
{
    const char *name;
    // The member; null for the flight number, which is not text.
    QString FlightSummary::*text;
    // The main window's box that shows it.
    const char *box;
    // Clear Flight Data empties it (the height difference box takes typing
    // and keeps what it holds).
    bool cleared;
    // The three head lines of the report's column.
    std::array<const char *, 3> reportHead;
    // A wide report column spans two tab stops: a text shorter than one tab
    // stop is followed by a second tab.
    bool reportWide;
    // The workbook's two header rows: the value's name and its unit.
    const char *sheetName;
    const char *sheetUnit;
    // The column is fitted to its two header texts.
    bool sheetFitted;
    CellValue::Kind cell;
    // The pilot's logbook: the column head of its table and files, and its
    // column in the database; null for the flight number, which is only the
    // memory slot the flight was read from.
    const char *logbookHead;
    const char *logbookColumn;

    // The field's text; the flight number as a plain decimal.
    QString valueOf(const FlightSummary &s) const { return text ? s.*text : QString::number(s.flightNumber); }
};

namespace FlightFields {

using CellValue::Kind;

// clang-format off
inline const std::array<FlightField, 12> kAll { {
    //  name             member                          box                 cleared  report head                          wide   sheet name         unit      fitted cell  logbook head        column
    { "flightNumber",  nullptr,                        "txtFlight",        true,  { "Fl.",    "No.",        "" },      false, "Flight",          "number", false, Kind::Number, nullptr,           nullptr             },
    { "date",          &FlightSummary::date,           "txtDate",          true,  { "Date",   "yyyy-mm-dd", "" },      true,  "Date",            "",       false, Kind::Date, "Date",            "date"              },
    { "startTime",     &FlightSummary::startTime,      "txtStime",         true,  { "Start",  "time",       "hh:mm" }, false, "Start time",      "hh:mm",  true,  Kind::TimeOfDay, "Start time",      "start_minutes"     },
    { "duration",      &FlightSummary::duration,       "txtDtime",         true,  { "Dura-",  "tion",       "hh:mm" }, false, "Duration",        "hh:mm",  false, Kind::Duration, "Duration",        "duration_minutes"  },
    { "qneMin",        &FlightSummary::qneMin,         "txtAltMin",        true,  { "QNE",    "min",        "meter" }, false, "QNE min",         "meter",  false, Kind::Number, "QNE min",         "qne_min"           },
    { "qneMax",        &FlightSummary::qneMax,         "txtAltMax",        true,  { "QNE",    "max",        "meter" }, false, "QNE max",         "meter",  false, Kind::Number, "QNE max",         "qne_max"           },
    { "heightDiffMax", &FlightSummary::heightDiffMax,  "txtHeightdiffmax", false, { "Height", "diff max",   "meter" }, true,  "Height Diff max", "meter",  true,  Kind::Number, "Height diff max", "height_diff_max"   },
    { "totalGain",     &FlightSummary::totalGain,      "txtGain",          true,  { "Total",  "gain",       "meter" }, false, "Total gain",      "meter",  true,  Kind::Number, "Total gain",      "total_gain"        },
    { "liftMax",       &FlightSummary::liftMax,        "txtVarioMax",      true,  { "Lift",   "max",        "m/s" },   false, "Lift max",        "m/s",    false, Kind::Number, "Lift max",        "lift_max"          },
    { "sinkMax",       &FlightSummary::sinkMax,        "txtVarioMin",      true,  { "Sink",   "max",        "m/s" },   false, "Sink max",        "m/s",    true,  Kind::Number, "Sink max",        "sink_max"          },
    { "speedMin",      &FlightSummary::speedMin,       "txtSpeedMin",      true,  { "Speed",  "min",        "km/h" },  false, "Speed min",       "km/h",   true,  Kind::Number, "Speed min",       "speed_min"         },
    { "speedMax",      &FlightSummary::speedMax,       "txtSpeedMax",      true,  { "Speed",  "max",        "km/h" },  false, "speed max",       "km/h",   true,  Kind::Number, "Speed max",       "speed_max"         },
} };
// clang-format on

} // namespace FlightFields
