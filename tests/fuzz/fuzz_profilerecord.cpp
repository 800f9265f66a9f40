// The profile record read from any 160 bytes, and the Windows-1250 names both ways.
#include "FuzzCheck.h"
#include "ProfileRecord.h"

#include <QByteArray>
#include <QList>

#include <algorithm>

namespace {

std::int32_t LittleEndian(const TProfileRecord::Bytes& bytes, int at)
{
    return static_cast<std::int32_t>(std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
                                     std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24);
}

void CheckRecord(const TProfileRecord::Bytes& bytes)
{
    TProfileRecord record;
    record.Raw() = bytes;

    FUZZ_CHECK(record.Number() == LittleEndian(bytes, 0));
    FUZZ_CHECK(record.Rhythm() == LittleEndian(bytes, 32));
    FUZZ_CHECK(record.Tempo() == LittleEndian(bytes, 36));
    FUZZ_CHECK(record.Silent() == bytes[40] && record.AccentsOn() == bytes[41]);
    FUZZ_CHECK(std::equal(bytes.begin() + 42, bytes.begin() + 50, record.AccentFlags().begin()));

    // The name never reaches past its 25 stored characters, whatever the length byte says.
    const QString name = record.Name();
    const int length = std::min<int>(bytes[4], TProfileRecord::NameMax);
    FUZZ_CHECK(name.size() == length);
    FUZZ_CHECK(ToWindows1250(name) == QByteArray(reinterpret_cast<const char*>(bytes.data() + 5), length));

    // Setting every field to what was read changes nothing; setting the name again keeps its
    // characters, fixes the length byte and clears the unused rest of the name.
    TProfileRecord copy = record;
    copy.SetNumber(record.Number());
    copy.SetRhythm(record.Rhythm());
    copy.SetTempo(record.Tempo());
    copy.SetSilent(record.Silent());
    copy.SetAccentsOn(record.AccentsOn());
    copy.SetAccentFlags(record.AccentFlags());
    FUZZ_CHECK(copy.Raw() == bytes);
    copy.SetName(name);
    FUZZ_CHECK(copy.Name() == name);
    for (int i = 0; i < TProfileRecord::Size; ++i) {
        if (i == 4)
            FUZZ_CHECK(copy.Raw()[i] == length);
        else if (i >= 5 + length && i < 5 + TProfileRecord::NameMax)
            FUZZ_CHECK(copy.Raw()[i] == 0);
        else
            FUZZ_CHECK(copy.Raw()[i] == bytes[i]);
    }
}

void CheckCodePage(const QByteArray& input)
{
    // Every byte is a character of its own and comes back as the same byte.
    const QString decoded = FromWindows1250(input);
    FUZZ_CHECK(decoded.size() == input.size());
    FUZZ_CHECK(ToWindows1250(decoded) == input);

    // Any text: one byte per character, each the character itself or '?'.
    const QString text = QString::fromUtf8(input);
    const QList<uint> codePoints = text.toUcs4();
    const QByteArray encoded = ToWindows1250(text);
    FUZZ_CHECK(encoded.size() == codePoints.size());
    const QString back = FromWindows1250(encoded);
    for (qsizetype i = 0; i < codePoints.size(); ++i)
        FUZZ_CHECK(back.at(i).unicode() == codePoints[i] || back.at(i) == u'?');
    FUZZ_CHECK(ToWindows1250(back) == encoded);

    // A name set from any text keeps its first 25 characters as the code page holds them.
    TProfileRecord record;
    record.SetName(text);
    FUZZ_CHECK(record.Name() == back.left(TProfileRecord::NameMax));
    FUZZ_CHECK(record.Raw()[4] == std::min<qsizetype>(encoded.size(), TProfileRecord::NameMax));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TProfileRecord::Bytes bytes{};
    std::copy_n(data, std::min<std::size_t>(size, bytes.size()), bytes.begin());
    CheckRecord(bytes);
    CheckCodePage(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
