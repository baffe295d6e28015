#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// The 8-bit code page the instrument's texts and the text report use:
// Windows-1252. Conversions are per character, so a text of n characters is
// always n bytes and the reverse.
namespace CodePage {

constexpr int kReplacementCode = 63; // "?"

// The character of one code 0..255. The five codes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the Latin-1 character of
// that code, so that they survive being read and written back. A code outside
// 0..255 gives "?".
QChar charFor(int code);

// The code of one Unicode character, or 63 when the code page has none.
int codeFor(char32_t character);

// The text in the code page, one byte per character; a character without a
// code (a surrogate pair counting as one character) becomes "?".
QByteArray encode(const QString &text);

} // namespace CodePage
