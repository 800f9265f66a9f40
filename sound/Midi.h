#pragma once

#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

class MidiPort;

// One open MIDI output with one percussion key and one channel; plays one hit.
// Created and freed on the main thread; the beat's clock plays it while the main thread does not. A port that
// cannot be opened gives a silent object.
class TMidiTick final
{
public:
    // deviceId indexes MidiOutputNames(); 0xFFFFFFFF (-1) is the default port, the built-in synth.
    TMidiTick(std::uint32_t deviceId, std::uint8_t note, std::uint8_t channel);
    ~TMidiTick();
    TMidiTick(const TMidiTick&) = delete;
    TMidiTick& operator=(const TMidiTick&) = delete;

    void SetNote(std::uint8_t note);
    // Note-on then note-off at once, velocity 127. `frame` places the hit of the built-in synth on
    // the audio stream (-1: as soon as it can be heard), as a sound of beat `tag` (0: none);
    // external ports send at once.
    void Play(std::int64_t frame = -1, std::uint64_t tag = 0);
    // Any key at any velocity, the same way (a subdivision's instrument).
    void PlayNote(std::uint8_t note, std::uint8_t velocity, std::int64_t frame = -1, std::uint64_t tag = 0);
    // Prepares another key's sound at a velocity before its first hit.
    void CacheNote(std::uint8_t note, std::uint8_t velocity);
    // True for the built-in synth: its hits are placed ahead on the stream's frames, while an
    // external port is sent to at the beat's play time.
    bool OnStream() const;

    bool IsOpen() const;
    std::uint8_t FNote() const { return FNoteValue; }
    std::uint32_t FDeviceId() const { return FDeviceIdValue; }
    std::uint8_t FChannel() const { return FChannelValue; }
    // How often the drum patch was asked to be cached (a changed note while open).
    int CacheCalls() const { return FCacheCalls; }

private:
    std::unique_ptr<MidiPort> FHandle;
    std::uint8_t FChannelValue;
    std::uint32_t FDeviceIdValue;
    std::uint8_t FNoteValue = 0;
    int FCacheCalls = 0;
};

// The MIDI outputs in device-id order: the built-in General MIDI synth first, then every
// output port of the ALSA sequencer and of JACK that answers.
QStringList MidiOutputNames();

// The 47 percussion instruments as stored entries, key number, blank, name ("75 Claves").
extern const std::array<const char*, 47> MidiInstrumentEntries;
