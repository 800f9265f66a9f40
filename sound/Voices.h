#pragma once

#include "BeatOutput.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

class TMidiTick;
struct SampleBuffer;

// What each sound mode plays. `frame` places the sound on the audio stream's frames, or -1 for
// "as soon as it can be heard" (the Test button). Nothing here blocks or reports an error.

// Beep(freq, ms): a short square tone like a PC speaker.
void SoundTone(int frequency, int milliseconds, std::int64_t frame);
// MessageBeep(0): the desktop's default alert.
void SoundDefaultBeep(std::int64_t frame);
// The own-sound rule: an existing file (not a folder) plays, cutting the wave still playing;
// otherwise, or when it cannot be decoded, the default beep.
void SoundWaveFile(const QString& path, std::int64_t frame);

// One beat in sound mode `mode` (0 none, 1 tone, 2 system gong, 3 MIDI, 4 own sound).
void PlayBeatSound(int mode, const QString& path1, const QString& path2, TMidiTick* midiTick, bool accented,
                   std::int64_t frame);

// How the subdivisions between the beats sound: their level (0..100 %, as gain (level/100)² or as
// the MIDI velocity) and the percussion key of the MIDI mode.
struct SubdivisionSound
{
    int FLevel = 50;
    int FNote = 42;
};

// The beats' sounds as the clock plays them: prepared on the main thread from the settings
// (waves decoded, the synth's hit rendered), then placed by the clock thread at each beat's
// frame without touching a file. An external MIDI port is sent to at the beat's play time.
class BeatSounds final : public BeatOutput
{
public:
    // Main thread: what the beats from now on play.
    void Prepare(int mode, const QString& path1, const QString& path2, std::shared_ptr<TMidiTick> midiTick,
                 SubdivisionSound subdivision = {});

    int StreamRate(std::uint64_t& generation) override;
    bool FrameAt(std::int64_t us, double& frame) override;
    bool TimeAt(double frame, std::int64_t& us) override;
    void Sound(const BeatDecision& beat, std::int64_t frame) override;
    void Heard(const BeatDecision& beat) override;
    void HeardSubdivision(const BeatDecision& beat, int k) override;
    bool Withdraw(const BeatDecision& beat) override;
    void WithdrawSubdivisions(const BeatDecision& beat, int k) override;

    // The tag of subdivision k of a beat: apart from every beat's own.
    static std::uint64_t SubdivisionTag(const BeatDecision& beat, int k);

private:
    struct Plan
    {
        int FMode = 0;
        std::shared_ptr<const SampleBuffer> FNormal;
        std::shared_ptr<const SampleBuffer> FAccent;
        std::shared_ptr<TMidiTick> FMidi;
        float FSubGain = 0.25f;
        std::uint8_t FSubVelocity = 64; // 0: no note
        std::uint8_t FSubNote = 42;
    };
    Plan Current();
    void Place(const Plan& plan, const BeatDecision& beat, std::int64_t frame);
    void PlaceSubdivision(const Plan& plan, const BeatDecision& beat, int k, std::int64_t frame);
    // An external MIDI port: sent to at each play time, never placed ahead.
    static bool External(const Plan& plan);
    // A beat laid without a stream position that can now sound, as soon as it can be heard.
    bool SoundsNow(const BeatDecision& beat);

    std::mutex FMutex;
    Plan FPlan;
    std::uint64_t FDeferred = 0; // a beat decided without a stream position: sounds when heard
};
