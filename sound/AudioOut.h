#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct SampleBuffer;

// The one output stream to the sound server (PulseAudio, or PipeWire through its PulseAudio
// server), opened once and kept running, with a mixer of voices placed on its frames. The server
// reports when each frame is heard, which gives the beat its timeline.
//
// Any thread may call the members; they take the stream's lock only briefly. The stream's own
// thread renders with that lock held and never waits for anything else. Frames are counted from
// the stream's start; a frame of -1 means "as soon as it can be heard". Nothing here throws:
// without a server every voice is silent.
class AudioOut final
{
public:
    static AudioOut& Instance();
    // Connects to the sound server; false (and silence) when there is none. Safe to call again.
    bool Open();
    void Close();
    bool IsOpen() const;
    // A stream lost with its server is opened again, at most once a second until the server is
    // back. Called regularly on the main thread; nothing happens after Close().
    void KeepOpen();
    // How often a lost stream came back.
    std::int64_t Reopens() const;
    // Changes whenever a new stream starts counting its frames from 0.
    std::uint64_t Generation() const;
    int SampleRate() const;
    // Times the server ran out of our audio (its underflow reports).
    std::int64_t Underruns() const;
    // The volume the musician sets, 0..100 %: everything the stream plays is scaled by
    // (percent / 100)², from the next audio it renders; external MIDI ports scale the velocity.
    void SetVolumePercent(int percent);
    // That factor, 0..1.
    float Volume() const;
    // The latency the server reports for the stream: from a frame written to it being heard.
    std::int64_t LatencyUs() const;

    // What the stream played (its left channel, the volume applied) from frame `from` on, for a
    // listener that takes the program's own sound out of what it hears; false for frames not yet
    // written or no longer kept (about 5 s).
    bool CopyPlayed(std::int64_t from, int frames, float* mono) const;

    // The frame heard at steady-clock time `us`, and the reverse; false without timing.
    bool FrameAt(std::int64_t us, double& frame) const;
    bool TimeAt(double frame, std::int64_t& us) const;

    // A square tone like a PC speaker, with short edges against clicks. `tag` names the beat it
    // belongs to (0: none), for Withdraw; `gain` scales it (a subdivision is softer).
    void PlayTone(int frequency, int milliseconds, std::int64_t frame = -1, std::uint64_t tag = 0,
                  float gain = 1.0f);
    // A decoded sound. With `cuts`, it cuts the cutting sound still playing at its onset, as the
    // platform's PlaySound does; percussion hits overlap.
    void PlaySample(std::shared_ptr<const SampleBuffer> buffer, std::int64_t frame = -1,
                    std::uint64_t tag = 0, bool cuts = true, float gain = 1.0f);
    // Takes back every sound of beat `tag` not yet heard, rewriting what the server already holds;
    // false when one is too close to being heard.
    bool Withdraw(std::uint64_t tag);
    // Sounds placed after their frame had been written: written again, a little late if needed.
    std::int64_t LateVoices() const;

    // A General MIDI percussion hit of the built-in synth (note-on and note-off on one frame),
    // rendered once per key and velocity and kept; null without a SoundFont.
    std::shared_ptr<const SampleBuffer> SynthHit(std::uint8_t channel, std::uint8_t key,
                                                 std::uint8_t velocity);
    static std::string SynthSoundFont();

private:
    AudioOut();
    ~AudioOut();
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
