#include "ProfileRecord.h"

#include <QByteArray>
#include <QList>
#include <QUuid>

#include <algorithm>

namespace {

// Field offsets of the stored record.
constexpr int NumberAt = 0;
constexpr int NameLengthAt = 4;
constexpr int NameCharsAt = 5;
constexpr int RhythmAt = 32;
constexpr int TempoAt = 36;
constexpr int SilentAt = 40;
constexpr int AccentsOnAt = 41;
constexpr int AccentFlagsAt = 42;
// The practice block in the reserved bytes 50..159: tag, version, id, the settings as 16-bit
// values, then a CRC-32.
constexpr int PracticeAt = 50;
constexpr std::array<std::uint8_t, 4> PracticeTag = {'T', 'K', 'C', 'V'};
constexpr std::uint8_t PracticeVersion = 1;
constexpr int PracticeVersionAt = PracticeAt + 4;
constexpr int PracticeIdAt = PracticeVersionAt + 1;
constexpr int PracticeFieldsAt = PracticeIdAt + 16;
constexpr int PracticeChecksumAt = PracticeFieldsAt + 2 * static_cast<int>(PracticeSettings::Fields.size());
static_assert(PracticeChecksumAt + 4 <= TProfileRecord::Size);

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Over the name (length byte and characters), rhythm and tempo, and the block before the sum.
std::uint32_t PracticeChecksum(const TProfileRecord::Bytes& bytes)
{
    std::uint32_t crc = Crc32(0, bytes.data() + NameLengthAt, 1 + TProfileRecord::NameMax);
    crc = Crc32(crc, bytes.data() + RhythmAt, 8);
    return Crc32(crc, bytes.data() + PracticeAt, PracticeChecksumAt - PracticeAt);
}

// Windows-1250, bytes 0x80..0xFF. The five bytes the code page leaves undefined (0x81, 0x83, 0x88,
// 0x90, 0x98) map to the C1 control of the same value, as Windows itself converts them, so every
// byte survives a round trip.
constexpr char16_t UpperHalf[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

char EncodeCodePoint(char32_t codePoint)
{
    if (codePoint < 0x80) {
        return static_cast<char>(codePoint);
    }
    const auto found = std::find(std::begin(UpperHalf), std::end(UpperHalf), codePoint);
    if (found == std::end(UpperHalf)) {
        return '?';
    }
    return static_cast<char>(0x80 + (found - std::begin(UpperHalf)));
}

// One stored character per code point; an unpaired surrogate counts as one character too.
QByteArray EncodeAtMost(const QString& text, qsizetype maxChars)
{
    QByteArray bytes;
    const QList<uint> codePoints = text.toUcs4();
    for (const uint codePoint : codePoints) {
        if (bytes.size() >= maxChars) {
            break;
        }
        bytes.append(EncodeCodePoint(codePoint));
    }
    return bytes;
}

std::int32_t GetInt32(const TProfileRecord::Bytes& bytes, int at)
{
    const std::uint32_t value = std::uint32_t(bytes[at]) | (std::uint32_t(bytes[at + 1]) << 8) |
                                (std::uint32_t(bytes[at + 2]) << 16) | (std::uint32_t(bytes[at + 3]) << 24);
    return static_cast<std::int32_t>(value);
}

void PutInt32(TProfileRecord::Bytes& bytes, int at, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    bytes[at] = std::uint8_t(bits & 0xFF);
    bytes[at + 1] = std::uint8_t((bits >> 8) & 0xFF);
    bytes[at + 2] = std::uint8_t((bits >> 16) & 0xFF);
    bytes[at + 3] = std::uint8_t((bits >> 24) & 0xFF);
}

} // namespace

std::optional<TProfileRecord::PracticeBlock> TProfileRecord::Practice() const
{
    if (!std::equal(PracticeTag.begin(), PracticeTag.end(), FBytes.begin() + PracticeAt) ||
        FBytes[PracticeVersionAt] != PracticeVersion ||
        static_cast<std::uint32_t>(GetInt32(FBytes, PracticeChecksumAt)) != PracticeChecksum(FBytes)) {
        return std::nullopt;
    }
    PracticeBlock block;
    std::copy_n(FBytes.begin() + PracticeIdAt, block.FId.size(), block.FId.begin());
    int at = PracticeFieldsAt;
    for (const PracticeSettings::Field& field : PracticeSettings::Fields) {
        block.FSettings.*field.FMember = static_cast<std::int16_t>(FBytes[at] | FBytes[at + 1] << 8);
        at += 2;
    }
    block.FSettings = block.FSettings.Clamped();
    return block;
}

void TProfileRecord::SetPractice(const PracticeBlock& block)
{
    std::copy(PracticeTag.begin(), PracticeTag.end(), FBytes.begin() + PracticeAt);
    FBytes[PracticeVersionAt] = PracticeVersion;
    std::copy(block.FId.begin(), block.FId.end(), FBytes.begin() + PracticeIdAt);
    const PracticeSettings settings = block.FSettings.Clamped();
    int at = PracticeFieldsAt;
    for (const PracticeSettings::Field& field : PracticeSettings::Fields) {
        const auto value = static_cast<std::uint16_t>(settings.*field.FMember);
        FBytes[at] = static_cast<std::uint8_t>(value & 0xFF);
        FBytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
        at += 2;
    }
    PutInt32(FBytes, PracticeChecksumAt, static_cast<std::int32_t>(PracticeChecksum(FBytes)));
}

TProfileRecord::PracticeId TProfileRecord::NewPracticeId()
{
    const QByteArray bytes = QUuid::createUuid().toRfc4122();
    PracticeId id{};
    std::copy_n(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::min<qsizetype>(bytes.size(), 16),
                id.begin());
    return id;
}

QByteArray ToWindows1250(const QString& text)
{
    return EncodeAtMost(text, text.size());
}

QString FromWindows1250(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text.append(value < 0x80 ? QChar(value) : QChar(UpperHalf[value - 0x80]));
    }
    return text;
}

TProfileRecord::TProfileRecord() = default;

std::int32_t TProfileRecord::Number() const
{
    return GetInt32(FBytes, NumberAt);
}

void TProfileRecord::SetNumber(std::int32_t number)
{
    PutInt32(FBytes, NumberAt, number);
}

QString TProfileRecord::Name() const
{
    // A longer length byte cannot come from this program; never read past the 25 stored characters.
    const int length = std::min<int>(FBytes[NameLengthAt], NameMax);
    return FromWindows1250(QByteArray(reinterpret_cast<const char*>(FBytes.data() + NameCharsAt), length));
}

void TProfileRecord::SetName(const QString& name)
{
    const QByteArray bytes = EncodeAtMost(name, NameMax);
    FBytes[NameLengthAt] = static_cast<std::uint8_t>(bytes.size());
    // Characters past the length are zeroed, so no tail of an older, longer name stays in the file.
    for (int i = 0; i < NameMax; ++i) {
        FBytes[NameCharsAt + i] = i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
    }
}

std::int32_t TProfileRecord::Rhythm() const
{
    return GetInt32(FBytes, RhythmAt);
}

void TProfileRecord::SetRhythm(std::int32_t rhythm)
{
    PutInt32(FBytes, RhythmAt, rhythm);
}

std::int32_t TProfileRecord::Tempo() const
{
    return GetInt32(FBytes, TempoAt);
}

void TProfileRecord::SetTempo(std::int32_t tempo)
{
    PutInt32(FBytes, TempoAt, tempo);
}

std::uint8_t TProfileRecord::Silent() const
{
    return FBytes[SilentAt];
}

void TProfileRecord::SetSilent(std::uint8_t silent)
{
    FBytes[SilentAt] = silent;
}

std::uint8_t TProfileRecord::AccentsOn() const
{
    return FBytes[AccentsOnAt];
}

void TProfileRecord::SetAccentsOn(std::uint8_t accentsOn)
{
    FBytes[AccentsOnAt] = accentsOn;
}

std::array<std::uint8_t, 8> TProfileRecord::AccentFlags() const
{
    std::array<std::uint8_t, 8> flags{};
    std::copy_n(FBytes.begin() + AccentFlagsAt, flags.size(), flags.begin());
    return flags;
}

void TProfileRecord::SetAccentFlags(const std::array<std::uint8_t, 8>& flags)
{
    std::copy(flags.begin(), flags.end(), FBytes.begin() + AccentFlagsAt);
}
