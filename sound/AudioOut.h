#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct SampleBuffer;

// The one audio output stream (SDL2), opened at program start and kept open, with a mixer
// of voices. The main thread queues commands; the audio callback never locks or allocates.
//
// Every member is called on the main thread. A moment is a steady-clock time in µs (the beat
// clock's tick moment); the sound starts at that moment plus LeadUs() on the stream's sample
// clock, consecutive moments keep their exact spacing in samples. A moment of -1 starts at the
// next buffer. Nothing here throws: without a device every voice is silent.
class AudioOut final
{
public:
    static AudioOut& Instance();
    // Opens the default device; false (and silence) when there is none. Safe to call again.
    bool Open();
    void Close();
    bool IsOpen() const;
    // A device lost while open (its sound server stopped) is closed and opened again, at most
    // once a second until it comes back; every sound request calls this, so the beat brings the
    // sound back by itself. Nothing happens after Close().
    void KeepOpen();
    // How often a lost device came back.
    std::int64_t Reopens() const;
    int SampleRate() const;
    // Times the stream ran dry: its offset against the steady clock moved at once, because the
    // server skipped frames that came too late or paused the stream until new ones came.
    std::int64_t Underruns() const;

    // A square tone like a PC speaker, with short edges against clicks.
    void PlayTone(int frequency, int milliseconds, std::int64_t momentUs);
    // A decoded sound; it cuts the sound of this kind still playing when it starts.
    void PlaySample(std::shared_ptr<const SampleBuffer> buffer, std::int64_t momentUs);
    // A MIDI short message for the built-in General MIDI synth, rendered at the moment's sample.
    void SynthMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::int64_t momentUs);
    // Loads the built-in synth with its SoundFont on first use; false when there is none.
    bool EnsureSynth();
    static std::string SynthSoundFont();

    // The fixed time from a tick's moment to its sound on the stream's clock.
    static constexpr std::int64_t LeadUs() { return 30000; }
    // Scheduled sounds whose command came after their sample had been mixed (started late).
    std::int64_t LateVoices() const;
    // True once the device runs steadily after opening (it starts in bursts and pauses); sounds
    // are placed exactly from then on.
    bool Steady() const;
    // The stream's rate in frames per second of the steady clock, as the stream's clock tracks it.
    double MeasuredRate() const;

private:
    AudioOut();
    ~AudioOut();
    void ReleaseReturned();
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
