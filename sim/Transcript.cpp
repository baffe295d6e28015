#include "sim/Transcript.h"

#include <QList>

namespace Transcript {

QByteArray escape(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = quint8(c);
        if (u >= 0x21 && u <= 0x7E && c != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += QByteArray::number(u, 16).rightJustified(2, '0');
        }
    }
    return out;
}

std::optional<QByteArray> unescape(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size() || text[i + 1] != 'x')
            return std::nullopt;
        bool ok = false;
        const QByteArray hex = text.mid(i + 2, 2);
        const int v = hex.toInt(&ok, 16);
        if (!ok || hex.size() != 2 || hex.startsWith('+') || hex.startsWith('-'))
            return std::nullopt;
        out += char(v);
        i += 3;
    }
    return out;
}

QByteArray formatLine(double seconds, bool received, const QByteArray &bytes)
{
    return QByteArray::number(seconds, 'f', 6) + (received ? " RX " : " TX ") + escape(bytes) + '\n';
}

std::optional<Line> parseLine(const QByteArray &rawLine)
{
    QByteArray line = rawLine;
    if (line.endsWith('\n'))
        line.chop(1);
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || (parts[1] != "RX" && parts[1] != "TX"))
        return std::nullopt;
    bool ok = false;
    Line result;
    result.seconds = parts[0].toDouble(&ok);
    if (!ok)
        return std::nullopt;
    result.received = parts[1] == "RX";
    const auto bytes = unescape(parts[2]);
    if (!bytes)
        return std::nullopt;
    result.bytes = *bytes;
    return result;
}

} // namespace Transcript
