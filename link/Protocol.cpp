#include "link/Protocol.h"

namespace Protocol {

namespace {

// The value of one read answer: its characters 8..10, three ASCII digits.
std::optional<int> answerValue(QStringView answer)
{
    const QStringView field = answer.sliced(kReadAnswerLength - 3, 3);
    int value = 0;
    for (const QChar c : field) {
        const char16_t u = c.unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        value = value * 10 + (u - u'0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

} // namespace

QString readCommand(int address)
{
    return QStringLiteral("R%1").arg(address, 6, 10, QLatin1Char('0'));
}

QString writeCommand(int address, int value)
{
    return QStringLiteral("W%1%2").arg(address, 6, 10, QLatin1Char('0')).arg(value, 3, 10, QLatin1Char('0'));
}

QString explode(const QString &source, const QString &fill)
{
    QString result;
    if (source.isEmpty())
        return result;
    result.reserve(source.size() + (source.size() - 1) * fill.size());
    for (qsizetype i = 0; i < source.size(); ++i) {
        if (i > 0)
            result += fill;
        result += source.at(i);
    }
    return result;
}

std::optional<QList<int>> readRunValues(const QString &buffer, int count)
{
    if (count < 1 || buffer.size() != qsizetype(kReadAnswerLength) * count)
        return std::nullopt;
    QList<int> values;
    values.reserve(count);
    for (int i = 0; i < count; ++i) {
        const auto value
            = answerValue(QStringView(buffer).sliced(qsizetype(i) * kReadAnswerLength, kReadAnswerLength));
        if (!value)
            return std::nullopt;
        values.append(*value);
    }
    return values;
}

} // namespace Protocol
