#include "sim/SimModel.h"

#include <algorithm>

namespace {

QByteArray threeDigits(int v)
{
    return QByteArray::number(v).rightJustified(3, '0');
}

// The faults that change what is said come before those that change how much
// is said, so "the value digits" are always the last three of the true answer.
void replaceValueDigits(QByteArray &answer, const QByteArray &connectionReply, const QByteArray &digits)
{
    if (answer == "!")
        answer = connectionReply;
    else if (answer.size() >= 3)
        answer.replace(answer.size() - 3, 3, digits);
}

} // namespace

SimModel::SimModel(const MemoryImage &memory)
    : m_memory(memory)
{
}

QList<Reply> SimModel::receive(const QByteArray &input)
{
    QList<Reply> replies;
    if (m_hungUp)
        return replies;

    for (const QByteArray &command : m_parser.feed(input)) {
        QList<SimFault> hits;
        for (SimFault &fault : m_faults) {
            if (fault.aimsAt(command)) {
                hits.append(fault);
                if (fault.remaining > 0)
                    --fault.remaining;
            }
        }
        const auto has = [&hits](SimFault::Kind kind) {
            return std::any_of(
                hits.begin(), hits.end(), [kind](const SimFault &f) { return f.kind == kind; });
        };

        if (has(SimFault::Kind::HangUp)) {
            m_hungUp = true;
            m_parser.reset();
            replies.append(Reply { {}, 0, true });
            break;
        }

        QByteArray answer = execute(command);
        if (m_silent || has(SimFault::Kind::Silent))
            continue;

        int delay = m_answerDelayMs;
        for (const SimFault &f : hits) {
            if (f.kind == SimFault::Kind::Garble)
                replaceValueDigits(answer, "?", "2x5");
            else if (f.kind == SimFault::Kind::HighBit)
                replaceValueDigits(answer, "\xA1", "\xB2\xB5\xB5");
        }
        for (const SimFault &f : hits) {
            switch (f.kind) {
            case SimFault::Kind::Extra:
                answer += f.text;
                break;
            case SimFault::Kind::Short:
                answer.chop(f.amount);
                break;
            case SimFault::Kind::Long:
                answer += QByteArray(f.amount, '0');
                break;
            case SimFault::Kind::Late:
                delay = f.amount;
                break;
            default:
                break;
            }
        }
        if (!answer.isEmpty())
            replies.append(Reply { answer, delay, false });
    }
    return replies;
}

QByteArray SimModel::execute(const QByteArray &command)
{
    switch (command.front()) {
    case 'T':
        return "!";
    case 'V':
        return m_info;
    case 'R':
        return command + threeDigits(m_memory.byte(command.mid(1, 6).toInt()));
    case 'W': {
        const int address = command.mid(1, 6).toInt();
        const int value = command.mid(7, 3).toInt();
        if (address < MemoryImage::size && value <= 255)
            m_memory.setByte(address, quint8(value));
        return command;
    }
    }
    return {};
}
