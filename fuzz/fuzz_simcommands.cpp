// The simulated instrument's command parser and model: whatever reaches the
// terminal, however it is split into reads, gives the same commands and one
// well-formed answer per command. Also the fault lines of its control input.

#include "fuzz/FuzzCheck.h"
#include "sim/CommandParser.h"
#include "sim/SimFault.h"
#include "sim/SimModel.h"

#include <QRegularExpression>

namespace {

bool isCommand(const QByteArray &command)
{
    static const QRegularExpression pattern(QStringLiteral("^(T|V|R[0-9]{6}|W[0-9]{9})$"));
    return pattern.match(QString::fromLatin1(command)).hasMatch();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    CommandParser whole;
    const QList<QByteArray> commands = whole.feed(input);
    for (const QByteArray &command : commands)
        FUZZ_CHECK(isCommand(command));
    // What is left over is the start of a read or write command.
    const QByteArray pending = whole.pending();
    FUZZ_CHECK(pending.isEmpty() || pending.size() < 10);
    FUZZ_CHECK(pending.isEmpty()
        || isCommand(
            pending + QByteArray(pending.startsWith('R') ? 7 - pending.size() : 10 - pending.size(), '0')));

    // The terminal may hand the bytes over in any pieces.
    CommandParser pieces;
    QList<QByteArray> pieceCommands;
    const qsizetype step = data[0] % 11 + 1;
    for (qsizetype at = 0; at < input.size(); at += step)
        pieceCommands += pieces.feed(input.mid(at, step));
    FUZZ_CHECK(pieceCommands == commands);
    FUZZ_CHECK(pieces.pending() == pending);

    // Without faults every command gets its answer at once.
    SimModel instrument;
    const QList<Reply> replies = instrument.receive(input);
    FUZZ_CHECK(replies.size() == commands.size());
    for (qsizetype i = 0; i < replies.size(); ++i) {
        const QByteArray &command = commands.at(i);
        const QByteArray &answer = replies.at(i).bytes;
        FUZZ_CHECK(!replies.at(i).hangUp);
        switch (command.front()) {
        case 'T':
            FUZZ_CHECK(answer == "!");
            break;
        case 'V':
            FUZZ_CHECK(answer == SimModel::defaultInfo);
            break;
        case 'R':
            FUZZ_CHECK(answer.size() == 10 && answer.startsWith(command));
            FUZZ_CHECK(answer.mid(7).toInt() >= 0 && answer.mid(7).toInt() <= 255);
            break;
        default:
            FUZZ_CHECK(answer == command);
            break;
        }
    }

    // A fault line typed at the simulator's control input: refused or sound.
    QString error;
    if (const auto fault = SimFault::parse(QString::fromLatin1(input), &error)) {
        FUZZ_CHECK(error.isEmpty());
        FUZZ_CHECK(
            fault->target == "*" || QStringLiteral("TVRW").contains(QLatin1Char(fault->target.front())));
        FUZZ_CHECK(fault->remaining == -1 || fault->remaining >= 1);
        FUZZ_CHECK(fault->amount >= 0);
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }
    return 0;
}
