#pragma once

#include <QString>
#include <QtGlobal>

// The decoded summary of one logged flight. Every field but the number is
// text in the exact form the display, the report and the workbook show.
struct FlightSummary
{
    qint16 flightNumber = 0;
    QString date; // yyyy-mm-dd
    QString startTime; // hh:mm
    QString duration; // hh:mm (more hour digits from 100 hours on)
    QString qneMin; // whole meters, may be negative
    QString qneMax; // whole meters, may be negative
    QString heightDiffMax; // qneMax - qneMin, whole meters
    QString totalGain; // whole meters
    QString liftMax; // m/s, shortest decimal form
    QString sinkMax; // m/s, shortest decimal form
    QString speedMin; // km/h
    QString speedMax; // km/h

    bool operator==(const FlightSummary &) const = default;
};
