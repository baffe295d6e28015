#pragma once

#include <QList>
#include <QString>
#include <optional>

// The instrument's wire format. Commands carry no terminator: "T" (connection
// test, answered "!"), "V" (information), "R" + six-digit address (read one
// byte, answered with 10 characters whose last three are the value 000..255)
// and "W" + address + three-digit value (write one byte, answered with 10
// characters). Answers have no end marker; they are judged by length after a
// fixed wait.
namespace Protocol {

constexpr int kAnswerWaitMs = 50;
constexpr int kCharPauseMs = 1;
constexpr int kReadCommandLength = 7;
constexpr int kWriteCommandLength = 10;
constexpr int kReadAnswerLength = 10;
constexpr int kWriteAnswerLength = 10;
constexpr int kInfoMinimumLength = 10;
inline const QString kConnectionTest = QStringLiteral("T");
inline const QString kConnectionAnswer = QStringLiteral("!");
inline const QString kInformation = QStringLiteral("V");

// "R000047" for address 47.
QString readCommand(int address);
// "W000208065" for the value 65 at address 208.
QString writeCommand(int address, int value);

// The characters of source with fill between each two: "1,2,3" for "123".
QString explode(const QString &source, const QString &fill);

// The values of a run of count reads: the buffer must hold exactly
// 10 x count characters and every value field (characters 8..10 of each
// answer) must be three decimal digits from 000 to 255; nullopt otherwise.
// The first seven characters of each answer are not examined. A count below
// 1 is never a run and gives nullopt.
std::optional<QList<int>> readRunValues(const QString &buffer, int count);

} // namespace Protocol
