#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One fault the simulated instrument plays on its answers, written
// "KIND[:ARG] TARGET [N]":
//   silent          no answer
//   extra[:TEXT]    the answer followed by TEXT (\xNN escapes allowed), default "#"
//   short[:N]       the last N characters left off, default 1
//   long[:N]        N zeros appended, default 1
//   garble          the three value digits become "2x5"; "!" becomes "?"
//   highbit         the value digits sent with bit 7 set (0xB2 0xB5 0xB5); "!" as 0xA1
//   late:MS         the answer only after MS milliseconds
//   hangup          the instrument goes away: the terminal closes, nothing is answered
// TARGET is "*" for every command or the start of the commands it hits ("T",
// "V", "R000464", "R0002", "W000208"); N limits it to the first N of them.
struct SimFault
{
    enum class Kind { Silent, Extra, Short, Long, Garble, HighBit, Late, HangUp };

    Kind kind = Kind::Silent;
    QByteArray text; // extra: what follows the answer
    int amount = 0; // short, long: characters; late: milliseconds
    QByteArray target = "*";
    int remaining = -1; // commands still to hit; -1: no limit

    static std::optional<SimFault> parse(const QString &faultText, QString *error = nullptr);

    bool aimsAt(const QByteArray &command) const;
};
