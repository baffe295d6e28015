#pragma once

#include <QByteArray>

#include <optional>

// The simulator's record of the line: one text line per chunk read from or
// written to the terminal,
//
//     <seconds since start, 6 decimals> RX|TX <bytes>
//
// RX is what the instrument received, TX what it sent. Bytes 0x21..0x7E other
// than the backslash stand as they are; every other byte (space included) is
// written as \xNN with two lower-case hex digits, so a line never contains a
// space inside its byte field and can be split at the first two spaces.
namespace Transcript {

struct Line
{
    double seconds = 0;
    bool received = false;
    QByteArray bytes;
};

QByteArray escape(const QByteArray &bytes);
// Reverses escape(); also accepts plain spaces and upper-case hex, so people can
// type it in control lines. nullopt for a backslash not followed by xNN.
std::optional<QByteArray> unescape(const QByteArray &text);

QByteArray formatLine(double seconds, bool received, const QByteArray &bytes);
// nullopt for anything that is not a chunk line (comments start with "#").
std::optional<Line> parseLine(const QByteArray &line);

} // namespace Transcript
