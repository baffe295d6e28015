// The pilot name: the codes the instrument sends back turned into a name,
// and any typed text turned into the eight codes to write.

#include "fuzz/FuzzCheck.h"
#include "instrument/CodePage.h"
#include "instrument/PilotName.h"
#include "link/Protocol.h"

namespace {

// Every character of the name keeps its own code when upper-cased.
bool isUpperCaseInCodePage(const QString &name)
{
    for (const QChar c : name) {
        if (c.toUpper() != c && CodePage::codeFor(c.toUpper().unicode()) != CodePage::kReplacementCode)
            return false;
    }
    return true;
}

void checkCodes(const QList<int> &codes)
{
    FUZZ_CHECK(codes.size() == PilotName::kLength);
    for (const int code : codes)
        FUZZ_CHECK(code >= 0 && code <= 255);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A name read: eight bytes of value fields as the instrument would send them.
    if (size >= PilotName::kLength) {
        QList<int> codes;
        for (int i = 0; i < PilotName::kLength; ++i)
            codes.append(data[i]);
        const QString name = PilotName::fromCodes(codes);
        FUZZ_CHECK(name.size() == PilotName::kLength);
        for (int i = 0; i < PilotName::kLength; ++i)
            FUZZ_CHECK(CodePage::codeFor(name.at(i).unicode()) == codes.at(i));
        FUZZ_CHECK(
            CodePage::encode(name) == QByteArray(reinterpret_cast<const char *>(data), PilotName::kLength));
        // Saving a name read from the instrument writes the same bytes back,
        // unless saving upper-cases one of its letters.
        if (isUpperCaseInCodePage(name))
            FUZZ_CHECK(PilotName::codesFor(name) == codes);
        checkCodes(PilotName::codesFor(name));
    }

    // Codes outside 0..255 (a value field the decoder should never pass on) still give one character each.
    QList<int> wide;
    for (size_t i = 0; i + 1 < size && wide.size() < 16; i += 2)
        wide.append(int(int16_t(data[i] | data[i + 1] << 8)));
    const QString wideName = PilotName::fromCodes(wide);
    FUZZ_CHECK(wideName.size() == wide.size());
    for (int i = 0; i < wide.size(); ++i) {
        if (wide[i] < 0 || wide[i] > 255)
            FUZZ_CHECK(wideName.at(i) == QLatin1Char('?'));
    }

    // Whatever is typed, eight codes 0..255, and saving what was saved changes nothing.
    for (const QString &typed : { Fuzz::utf16(data, size), Fuzz::latin1(data, size) }) {
        const QList<int> codes = PilotName::codesFor(typed);
        checkCodes(codes);
        FUZZ_CHECK(PilotName::codesFor(PilotName::fromCodes(codes)) == codes);
        // A short name is padded with spaces.
        for (qsizetype i = typed.size(); i < PilotName::kLength; ++i)
            FUZZ_CHECK(codes.at(i) == 32);
        // The write commands for the name are well formed.
        for (int k = 0; k < PilotName::kLength; ++k) {
            const QString command = Protocol::writeCommand(PilotName::kFirstAddress + k, codes.at(k));
            FUZZ_CHECK(command.size() == Protocol::kWriteCommandLength
                && Fuzz::isAsciiDigits(QStringView(command).sliced(1)));
        }
    }
    return 0;
}
