#include "instrument/CodePage.h"

#include <QHash>
#include <QStringDecoder>
#include <array>

namespace CodePage {

namespace {

using Table = std::array<char16_t, 256>;

const Table &decodeTable()
{
    static const Table table = [] {
        Table t {};
        for (int code = 0; code < 256; ++code) {
            // One decoder per byte: a byte the decoder cannot map must not
            // shift or swallow its neighbours.
            QStringDecoder decoder("windows-1252");
            const char byte = char(code);
            const QString decoded = decoder.isValid() ? decoder.decode(QByteArrayView(&byte, 1)) : QString();
            t[code] = (decoded.size() == 1 && !decoder.hasError()) ? decoded.at(0).unicode() : char16_t(code);
        }
        return t;
    }();
    return table;
}

const QHash<char32_t, int> &encodeTable()
{
    static const QHash<char32_t, int> table = [] {
        QHash<char32_t, int> t;
        const Table &chars = decodeTable();
        for (int code = 0; code < 256; ++code)
            t.insert(chars[code], code);
        return t;
    }();
    return table;
}

} // namespace

QChar charFor(int code)
{
    if (code < 0 || code > 255)
        return QChar(char16_t(kReplacementCode));
    return QChar(decodeTable()[code]);
}

int codeFor(char32_t character)
{
    return encodeTable().value(character, kReplacementCode);
}

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            bytes.append(char(kReplacementCode));
            ++i;
            continue;
        }
        bytes.append(char(codeFor(c.unicode())));
    }
    return bytes;
}

} // namespace CodePage
