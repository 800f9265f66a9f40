#include "Voices.h"

#include "AudioOut.h"
#include "Midi.h"
#include "TickSource.h"
#include "WaveCache.h"

#include <algorithm>
#include <cmath>

namespace {

// Waves are decoded at the stream's rate; before a stream opens, at the rate it will have.
int DecodeRate()
{
    const int rate = AudioOut::Instance().SampleRate();
    return rate > 0 ? rate : 48000;
}

// The own-sound rule's buffer: the file, or the default beep when it is missing, a folder or
// cannot be decoded, as the platform plays it when it cannot play the file.
std::shared_ptr<const SampleBuffer> WaveOrBeep(const QString& path, int rate)
{
    std::shared_ptr<const SampleBuffer> buffer;
    if (WaveCache::FileExists(path)) {
        buffer = WaveCache::Load(path, rate);
    }
    return buffer ? buffer : WaveCache::DefaultBeep(rate);
}

} // namespace

void SoundTone(int frequency, int milliseconds, std::int64_t frame)
{
    AudioOut::Instance().PlayTone(frequency, milliseconds, frame);
}

void SoundDefaultBeep(std::int64_t frame)
{
    AudioOut& out = AudioOut::Instance();
    if (out.IsOpen()) {
        out.PlaySample(WaveCache::DefaultBeep(out.SampleRate()), frame);
    }
}

void SoundWaveFile(const QString& path, std::int64_t frame)
{
    AudioOut& out = AudioOut::Instance();
    if (out.IsOpen()) {
        out.PlaySample(WaveOrBeep(path, out.SampleRate()), frame);
    }
}

void PlayBeatSound(int mode, const QString& path1, const QString& path2, TMidiTick* midiTick, bool accented,
                   std::int64_t frame)
{
    switch (mode) {
    case 1:
        SoundTone(accented ? 500 : 440, 50, frame);
        break;
    case 2:
        SoundDefaultBeep(frame);
        break;
    case 3:
        if (midiTick) {
            midiTick->Play(frame);
        }
        break;
    case 4:
        SoundWaveFile(accented ? path2 : path1, frame);
        break;
    default:
        break;
    }
}

void BeatSounds::Prepare(int mode, const QString& path1, const QString& path2,
                         std::shared_ptr<TMidiTick> midiTick, SubdivisionSound subdivision)
{
    Plan plan;
    plan.FMode = mode;
    const int rate = DecodeRate();
    if (mode == 2) {
        plan.FNormal = plan.FAccent = WaveCache::DefaultBeep(rate);
    } else if (mode == 4) {
        plan.FNormal = WaveOrBeep(path1, rate);
        plan.FAccent = WaveOrBeep(path2, rate);
    }
    const double share = std::clamp(subdivision.FLevel, 0, 100) / 100.0;
    plan.FSubGain = static_cast<float>(share * share);
    plan.FSubVelocity = static_cast<std::uint8_t>(subdivision.FLevel <= 0 ? 0 : std::max(1L, std::lround(127 * share)));
    plan.FSubNote = static_cast<std::uint8_t>(std::clamp(subdivision.FNote, 35, 81));
    if (midiTick && plan.FSubVelocity > 0) {
        // Rendered here, not on the clock's thread at its first hit.
        midiTick->CacheNote(plan.FSubNote, plan.FSubVelocity);
    }
    plan.FMidi = std::move(midiTick);
    std::lock_guard lock(FMutex);
    FPlan = std::move(plan);
}

BeatSounds::Plan BeatSounds::Current()
{
    std::lock_guard lock(FMutex);
    return FPlan;
}

int BeatSounds::StreamRate(std::uint64_t& generation)
{
    AudioOut& out = AudioOut::Instance();
    generation = out.Generation();
    return out.SampleRate();
}

bool BeatSounds::FrameAt(std::int64_t us, double& frame)
{
    return AudioOut::Instance().FrameAt(us, frame);
}

bool BeatSounds::TimeAt(double frame, std::int64_t& us)
{
    return AudioOut::Instance().TimeAt(frame, us);
}

void BeatSounds::Place(const Plan& plan, const BeatDecision& beat, std::int64_t frame)
{
    AudioOut& out = AudioOut::Instance();
    switch (plan.FMode) {
    case 1:
        out.PlayTone(beat.FAccented ? 500 : 440, 50, frame, beat.FId);
        break;
    case 2:
    case 4:
        out.PlaySample(beat.FAccented ? plan.FAccent : plan.FNormal, frame, beat.FId);
        break;
    case 3:
        if (plan.FMidi && plan.FMidi->OnStream()) {
            plan.FMidi->Play(frame, beat.FId);
        }
        break;
    default:
        break;
    }
}

std::uint64_t BeatSounds::SubdivisionTag(const BeatDecision& beat, int k)
{
    return (std::uint64_t{1} << 63) | (beat.FId << 2) | static_cast<std::uint64_t>(k);
}

void BeatSounds::PlaceSubdivision(const Plan& plan, const BeatDecision& beat, int k, std::int64_t frame)
{
    // Softer than the beat and never cutting its sound: the tone an octave up, the same gong or
    // wave at the subdivision's level, the MIDI mode's own instrument at it as velocity.
    AudioOut& out = AudioOut::Instance();
    const std::uint64_t tag = SubdivisionTag(beat, k);
    switch (plan.FMode) {
    case 1:
        out.PlayTone(880, 30, frame, tag, plan.FSubGain);
        break;
    case 2:
    case 4:
        out.PlaySample(plan.FNormal, frame, tag, false, plan.FSubGain);
        break;
    case 3:
        if (plan.FMidi && plan.FSubVelocity > 0) {
            plan.FMidi->PlayNote(plan.FSubNote, plan.FSubVelocity, frame, tag);
        }
        break;
    default:
        break;
    }
}

void BeatSounds::Sound(const BeatDecision& beat, std::int64_t frame)
{
    if (beat.FMute) {
        return;
    }
    if (frame == NoFrame) {
        // No place on the stream yet (none open, or its timing not yet known): it sounds when heard.
        std::lock_guard lock(FMutex);
        FDeferred = beat.FId;
        return;
    }
    if (frame < 0) {
        return; // before the stream's first frame is heard: nothing can sound it
    }
    const Plan plan = Current();
    Place(plan, beat, frame);
    if (External(plan)) {
        return; // an external port's subdivisions are sent when each is due
    }
    // At exact fractions of the beat's frames, the carried fraction included.
    for (int k = 1; k < beat.FSubdivision; ++k) {
        PlaceSubdivision(plan, beat, k, std::llround(beat.FFrame + beat.FSpanFrames * k / beat.FSubdivision));
    }
}

bool BeatSounds::External(const Plan& plan)
{
    return plan.FMode == 3 && plan.FMidi && !plan.FMidi->OnStream();
}

bool BeatSounds::SoundsNow(const BeatDecision& beat)
{
    bool deferred;
    {
        std::lock_guard lock(FMutex);
        deferred = FDeferred == beat.FId;
    }
    // Only on a stream that is being heard now: on one whose sink has not yet played its first
    // frame (a server just started) "as soon as possible" would be that first frame, off the beat.
    double heard = -1;
    return deferred && AudioOut::Instance().FrameAt(SteadyTickSource::Instance().NowUs(), heard) && heard >= 0;
}

void BeatSounds::Heard(const BeatDecision& beat)
{
    if (beat.FMute) {
        return;
    }
    const Plan plan = Current();
    if (SoundsNow(beat)) {
        Place(plan, beat, -1);
    }
    if (External(plan)) {
        plan.FMidi->Play();
    }
}

void BeatSounds::HeardSubdivision(const BeatDecision& beat, int k)
{
    if (beat.FMute) {
        return;
    }
    const Plan plan = Current();
    if (External(plan) || SoundsNow(beat)) {
        PlaceSubdivision(plan, beat, k, -1);
    }
}

bool BeatSounds::Withdraw(const BeatDecision& beat)
{
    AudioOut& out = AudioOut::Instance();
    if (!out.Withdraw(beat.FId)) {
        return false;
    }
    WithdrawSubdivisions(beat, 1);
    return true;
}

void BeatSounds::WithdrawSubdivisions(const BeatDecision& beat, int k)
{
    for (; k < beat.FSubdivision; ++k) {
        AudioOut::Instance().Withdraw(SubdivisionTag(beat, k));
    }
}
