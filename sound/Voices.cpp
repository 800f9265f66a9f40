#include "Voices.h"

#include "AudioOut.h"
#include "Midi.h"
#include "TickSource.h"
#include "WaveCache.h"

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
                         std::shared_ptr<TMidiTick> midiTick)
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
    Place(Current(), beat, frame);
}

void BeatSounds::Heard(const BeatDecision& beat)
{
    if (beat.FMute) {
        return;
    }
    const Plan plan = Current();
    bool deferred;
    {
        std::lock_guard lock(FMutex);
        deferred = FDeferred == beat.FId;
    }
    // Only on a stream that is being heard now: on one whose sink has not yet played its first
    // frame (a server just started) "as soon as possible" would be that first frame, off the beat.
    double heard = -1;
    if (deferred && AudioOut::Instance().FrameAt(SteadyTickSource::Instance().NowUs(), heard) && heard >= 0) {
        Place(plan, beat, -1);
    }
    if (plan.FMode == 3 && plan.FMidi && !plan.FMidi->OnStream()) {
        plan.FMidi->Play();
    }
}

bool BeatSounds::Withdraw(const BeatDecision& beat)
{
    return AudioOut::Instance().Withdraw(beat.FId);
}
