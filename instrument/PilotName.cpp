#include "instrument/PilotName.h"

#include "instrument/CodePage.h"

namespace PilotName {

QString fromCodes(const QList<int> &codes)
{
    QString name;
    name.reserve(codes.size());
    for (const int code : codes)
        name.append(CodePage::charFor(code));
    return name;
}

QList<int> codesFor(const QString &typed)
{
    constexpr int kSpace = 32;
    QList<int> codes;
    codes.reserve(kLength);
    for (qsizetype i = 0; i < typed.size() && codes.size() < kLength; ++i) {
        const QChar c = typed.at(i);
        if (c.isHighSurrogate() && i + 1 < typed.size() && typed.at(i + 1).isLowSurrogate()) {
            // Nothing outside the basic plane has a code; the pair is one character.
            codes.append(CodePage::kReplacementCode);
            ++i;
            continue;
        }
        // Upper case when the code page has the upper-case letter ("é" -> "É");
        // otherwise keep the character ("µ" whose capital is Greek Mu).
        int code = CodePage::codeFor(c.toUpper().unicode());
        if (code == CodePage::kReplacementCode && c.toUpper() != QLatin1Char('?'))
            code = CodePage::codeFor(c.unicode());
        codes.append(code);
    }
    while (codes.size() < kLength)
        codes.append(kSpace);
    return codes;
}

} // namespace PilotName
