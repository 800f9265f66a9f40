#pragma once

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>

struct SampleBuffer;

// One open MIDI output: the built-in synth or an RtMidi port. Used by one thread at a time.
class MidiPort
{
public:
    virtual ~MidiPort() = default;
    // One short message. The built-in synth places it at `frame` of the audio stream (-1: as
    // soon as it can be heard), as a sound of beat `tag`; an external port sends it at once.
    virtual void Send(const std::uint8_t* bytes, std::size_t count, std::int64_t frame,
                      std::uint64_t tag) = 0;
    // True for the built-in synth, whose hits are placed on the stream's frames.
    virtual bool OnStream() const { return false; }
    // Prepares the sound of a percussion key (at a velocity) before its first hit.
    virtual void CacheDrumPatch(std::uint8_t key, std::uint8_t channel, std::uint8_t velocity = 0x7F) = 0;
};

namespace MidiPorts {

// The name of device 0.
QString BuiltInSynthName();
// Device 0 the built-in synth, then the output ports of the ALSA sequencer and of JACK.
QStringList Names();
// Opens device `deviceId` of Names() (0xFFFFFFFF: the default, the built-in synth); null on failure.
std::unique_ptr<MidiPort> Open(std::uint32_t deviceId);

} // namespace MidiPorts
