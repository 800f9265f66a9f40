#pragma once

#include "Practice.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// One profile as stored in the profile file: 160 bytes, little-endian, fields at fixed offsets.
// Held as raw bytes so that everything an operation does not set is written back as it was read.
class TProfileRecord final
{
public:
    static constexpr int Size = 160;
    static constexpr int NameMax = 25;
    using Bytes = std::array<std::uint8_t, Size>;

    TProfileRecord(); // zero-filled

    std::int32_t Number() const;
    void SetNumber(std::int32_t number);
    // Windows-1250 text; a length byte above 25 reads as 25 characters.
    QString Name() const;
    // Cut to 25 characters, encoded in Windows-1250 ("?" for what it cannot hold).
    void SetName(const QString& name);
    std::int32_t Rhythm() const;
    void SetRhythm(std::int32_t rhythm);
    std::int32_t Tempo() const;
    void SetTempo(std::int32_t tempo);
    std::uint8_t Silent() const;
    void SetSilent(std::uint8_t silent);
    std::uint8_t AccentsOn() const;
    void SetAccentsOn(std::uint8_t accentsOn);
    std::array<std::uint8_t, 8> AccentFlags() const;
    void SetAccentFlags(const std::array<std::uint8_t, 8>& flags);

    // The practice settings saved with the profile, and the id that keeps its practice history
    // across renames, in the reserved bytes after the accent flags. They count only behind their
    // tag and version and with a checksum over them and the record's name, rhythm and tempo:
    // reserved bytes copied from another record, zeros or noise read as none.
    using PracticeId = std::array<std::uint8_t, 16>;
    struct PracticeBlock
    {
        PracticeSettings FSettings;
        PracticeId FId{};
    };
    std::optional<PracticeBlock> Practice() const;
    // Writes the block, sealed for the name, rhythm and tempo the record holds now.
    void SetPractice(const PracticeBlock& block);
    static PracticeId NewPracticeId();

    const Bytes& Raw() const { return FBytes; }
    Bytes& Raw() { return FBytes; }

private:
    Bytes FBytes{};
};

// Windows-1250 both ways; characters the code page cannot hold become '?'.
QByteArray ToWindows1250(const QString& text);
QString FromWindows1250(const QByteArray& bytes);
