#pragma once

#include <QList>
#include <QString>

// The pilot name is eight bytes at 208..215, one Windows-1252 code per byte,
// upper case and padded with spaces when this program writes it.
namespace PilotName {

constexpr int kFirstAddress = 208;
constexpr int kLength = 8;

// The name as the instrument holds it: one character per code, nothing trimmed.
// The codes Windows-1252 leaves undefined give their Latin-1 characters, so
// the name always has one character per byte; a code outside 0..255 gives "?".
QString fromCodes(const QList<int> &codes);

// The eight codes to write for a typed name: upper case, at most eight
// characters, padded with 32; a character without a Windows-1252 code is 63 ("?").
// Upper-casing is per character and never changes the length; a character
// whose capital has no code keeps its own code ("µ"). A character outside
// the basic plane (a surrogate pair) counts as one character and becomes 63.
QList<int> codesFor(const QString &typed);

} // namespace PilotName
