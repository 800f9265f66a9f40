#include "AudioOut.h"

#include "SampleBuffer.h"
#include "SpscQueue.h"

#include <SDL.h>
#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int kPreferredRate = 48000;
constexpr int kBufferFrames = 256;
constexpr std::size_t kMaxVoices = 64;
constexpr std::size_t kMaxSynthEvents = 128;
constexpr float kToneLevel = 0.25f;
constexpr float kSampleLevel = 0.9f;
constexpr double kEdgeMs = 1.5;
// Scheduled onsets keep the spacing of their moments exactly (converted with the device's measured
// drift); they are pulled toward the stream's clock only when they stray more than the dead band,
// and then by at most kMaxStepFrames per onset, too little to hear in the beat.
constexpr double kDeadBandUs = 1000.0;
constexpr double kMaxStepFrames = 2.0;
constexpr double kResyncUs = 20000.0;
constexpr std::int64_t kChainGapUs = 10'000'000;
// The built-in synth is rendered this long after its last message, then it sleeps.
constexpr double kSynthTailSeconds = 4.0;
// A lost device (the sound server went away) is tried again this often.
constexpr std::int64_t kReopenIntervalUs = 1'000'000;

constexpr int kAudioPriority = 20;

std::int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

enum class CommandType : std::uint8_t { None, Tone, Sample, Synth, AttachSynth };

struct Command
{
    CommandType FType = CommandType::None;
    std::int64_t FMomentUs = -1;
    float FFrequency = 0;
    std::int64_t FFrames = 0;
    std::uint8_t FMidi[3] = {0, 0, 0};
    std::shared_ptr<const SampleBuffer> FBuffer;
    fluid_synth_t* FSynth = nullptr;
};

enum class VoiceKind : std::uint8_t { Free, Tone, Sample };

struct Voice
{
    VoiceKind FKind = VoiceKind::Free;
    std::int64_t FStart = 0; // absolute frame of the onset
    std::int64_t FLength = 0;
    std::int64_t FCut = INT64_MAX; // absolute frame where a newer sound of the kind cuts in
    double FPhaseStep = 0;         // tone: cycles per frame
    std::shared_ptr<const SampleBuffer> FBuffer;
};

struct SynthEvent
{
    std::int64_t FFrame = 0;
    std::uint8_t FMidi[3] = {0, 0, 0};
};

// Relates the stream's sample clock to the steady clock. Each callback gives a time t at which
// frame F was asked for; x = t - F / rate is the stream's offset, plus how late that callback
// came. Callbacks can be late (the server or this thread was held up) but never early, so the
// lower envelope of x is the offset itself, free of the callbacks' jitter. The envelope rises
// slowly (a device slower than the steady clock) and falls at once (a faster one). A sudden fall
// means the server skipped frames that came too late; a lasting rise means the stream stalled
// and lost time: both are underruns, and the envelope follows the stream's new offset.
struct StreamClock
{
    static constexpr double kRisePpm = 200.0;
    static constexpr double kJumpUs = 1000.0;
    static constexpr double kStallUs = 2000.0;
    static constexpr double kWindowUs = 500000.0;
    static constexpr double kSettleUs = 1000000.0;
    static constexpr double kMinBaselineUs = 5000000.0;
    static constexpr double kMaxDeviationPpm = 2000.0;
    static constexpr double kSlewPpm = 10.0; // per second

    bool FValid = false;
    int FRate = 0;
    double FUsPerFrame = 0;
    double FEnvelope = 0;
    double FLastT = 0;
    double FResetAt = 0;
    double FWindowStart = 0;
    double FWindowMin = 0;
    double FJumps = 0; // sum of the offset's sudden moves, kept out of the rate
    // Once a second the offset (without its sudden moves), for the drift over the last half minute.
    struct Mark
    {
        std::int64_t FFrame = 0;
        double FOffset = 0;
        double FTime = 0;
    };
    static constexpr std::size_t kMarks = 32;
    std::array<Mark, kMarks> FMarks{};
    std::size_t FMarkCount = 0; // marks taken so far; the ring keeps the last kMarks
    double FRatio = 1.0;        // device frames per nominal frame of the steady clock, as measured
    double FSmoothRatio = 1.0;  // the same, moved toward the measure by a few ppm a second

    void Reset(double t, std::int64_t frame, int rate)
    {
        FRate = rate;
        FUsPerFrame = 1e6 / rate;
        FEnvelope = t - frame * FUsPerFrame;
        FLastT = t;
        FResetAt = t;
        FWindowStart = t;
        FWindowMin = FEnvelope;
        FJumps = 0;
        FMarkCount = 0;
        FRatio = 1.0;
        FSmoothRatio = 1.0;
        FValid = true;
    }
    // The device has been running steadily for a while (it starts in bursts and pauses).
    bool Settled(double t, std::int64_t frame) const { return t - FResetAt > kSettleUs && frame > FRate; }
    // Returns true when the stream lost or skipped time since the last callback.
    bool Update(double t, std::int64_t frame)
    {
        const double x = t - frame * FUsPerFrame;
        const bool settled = Settled(t, frame);
        FEnvelope += kRisePpm * 1e-6 * (t - FLastT);
        FLastT = t;
        bool underrun = false;
        if (x < FEnvelope) {
            if (FEnvelope - x > kJumpUs) {
                underrun = settled;
                FJumps += x - FEnvelope;
            }
            FEnvelope = x;
        }
        FWindowMin = std::min(FWindowMin, x);
        if (t - FWindowStart >= kWindowUs) {
            if (FWindowMin - FEnvelope > kStallUs) {
                underrun = underrun || settled;
                FJumps += FWindowMin - FEnvelope;
                FEnvelope = FWindowMin;
            }
            FWindowStart = t;
            FWindowMin = x;
        }
        const Mark* last = FMarkCount > 0 ? &FMarks[(FMarkCount - 1) % kMarks] : nullptr;
        if (settled && (!last || t - last->FTime >= 1e6)) {
            FMarks[FMarkCount % kMarks] = Mark{frame, FEnvelope - FJumps, t};
            ++FMarkCount;
            // The offset's slope over the marks kept is the device's drift against the steady clock.
            const Mark& oldest = FMarks[FMarkCount > kMarks ? FMarkCount % kMarks : 0];
            if (t - oldest.FTime >= kMinBaselineUs) {
                const double elapsed = (frame - oldest.FFrame) * FUsPerFrame;
                const double drift = (FEnvelope - FJumps) - oldest.FOffset;
                const double limit = kMaxDeviationPpm * 1e-6;
                FRatio = std::clamp(elapsed / (elapsed + drift), 1.0 - limit, 1.0 + limit);
            }
            // Spacing follows the drift slowly, so that the measure's noise never reaches a beat.
            FSmoothRatio += std::clamp(FRatio - FSmoothRatio, -kSlewPpm * 1e-6, kSlewPpm * 1e-6);
        }
        return underrun;
    }
    double FrameAt(double timeUs) const { return (timeUs - FEnvelope) / FUsPerFrame; }
    double Rate() const { return FRate * FSmoothRatio; }
};

} // namespace

struct AudioOut::Impl
{
    SDL_AudioDeviceID FDevice = 0;
    int FRate = 0;
    bool FSdlInit = false;
    fluid_settings_t* FSynthSettings = nullptr;
    fluid_synth_t* FSynthMain = nullptr; // owned by the main thread, used by the audio thread once attached
    bool FSynthTried = false;
    // Main thread: the program wants the stream (Open was called, Close was not), when the
    // device was last tried again, and how often it came back.
    bool FWanted = false;
    bool FLost = false;
    std::int64_t FLastAttemptUs = INT64_MIN;
    std::int64_t FReopens = 0;

    SpscQueue<Command, 512> FCommands;                            // main -> audio
    SpscQueue<std::shared_ptr<const SampleBuffer>, 512> FReturns; // audio -> main, freed there

    std::atomic<std::int64_t> FUnderruns{0};
    std::atomic<std::int64_t> FLate{0};
    std::atomic<double> FMeasuredRate{0};
    std::atomic<bool> FSteady{false};

    // Audio thread only.
    std::array<Voice, kMaxVoices> FVoices{};
    std::array<SynthEvent, kMaxSynthEvents> FSynthEvents{};
    std::size_t FSynthEventCount = 0;
    fluid_synth_t* FSynth = nullptr;
    std::int64_t FSynthAwakeUntil = -1;
    std::vector<float> FScratchL, FScratchR;
    std::int64_t FFrame = 0;
    StreamClock FLoop;
    bool FPriorityAsked = false;
    bool FChainValid = false;
    std::int64_t FChainMoment = 0;
    double FChainFrame = 0;

    static void Callback(void* user, Uint8* stream, int len);
    void Mix(float* out, int frames);
    std::int64_t FrameForMoment(std::int64_t momentUs, std::int64_t bufferStart);
    void Accept(Command& c, std::int64_t bufferStart);
    void StartVoice(Voice v);
    void ReturnBuffer(std::shared_ptr<const SampleBuffer>& b);
    void RenderVoices(float* out, std::int64_t start, int frames);
    void RenderSynth(float* out, std::int64_t start, int frames);
};

AudioOut::AudioOut() : FImpl(std::make_unique<Impl>()) {}

AudioOut::~AudioOut()
{
    Close();
}

AudioOut& AudioOut::Instance()
{
    static AudioOut out;
    return out;
}

bool AudioOut::Open()
{
    Impl& d = *FImpl;
    d.FWanted = true;
    if (d.FDevice != 0) {
        return true;
    }
    // SDL asks PulseAudio for a single buffer of latency, which underruns; libpulse reads this.
    // At 20 ms a machine waking late from idle underran now and then, each time moving a click
    // by up to 20 ms; at 40 ms far more rarely, and its fewer wake-ups keep the idle stream under
    // 1 % CPU. The click then comes about 65 ms after the tick.
    setenv("PULSE_LATENCY_MSEC", "40", 0);
    if (!d.FSdlInit) {
        // SDL would take SIGINT and SIGTERM for an event queue nobody reads: Ctrl+C and the
        // desktop's request to stop would then be lost.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return false;
        }
        d.FSdlInit = true;
    }
    SDL_AudioSpec want{};
    want.freq = kPreferredRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kBufferFrames;
    want.callback = &Impl::Callback;
    want.userdata = &d;
    SDL_AudioSpec have{};
    d.FDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (d.FDevice == 0) {
        return false;
    }
    d.FRate = have.freq;
    // Room for the largest callback SDL may ask for, so the synth never needs to allocate.
    const std::size_t scratch = std::max<std::size_t>(have.samples, kBufferFrames) * 4;
    d.FScratchL.assign(scratch, 0.0f);
    d.FScratchR.assign(scratch, 0.0f);
    d.FFrame = 0;
    d.FLoop = StreamClock{};
    d.FChainValid = false;
    d.FSteady = false;
    SDL_PauseAudioDevice(d.FDevice, 0);
    return true;
}

void AudioOut::Close()
{
    Impl& d = *FImpl;
    d.FWanted = false;
    d.FLost = false;
    if (d.FDevice != 0) {
        SDL_CloseAudioDevice(d.FDevice); // joins the audio thread
        d.FDevice = 0;
    }
    // The audio thread is gone: what it held can be freed here.
    Command c;
    while (d.FCommands.Pop(c)) {
        c = Command{};
    }
    for (Voice& v : d.FVoices) {
        v = Voice{};
    }
    ReleaseReturned();
    d.FSynth = nullptr;
    d.FSynthEventCount = 0;
    if (d.FSynthMain) {
        delete_fluid_synth(d.FSynthMain);
        d.FSynthMain = nullptr;
    }
    if (d.FSynthSettings) {
        delete_fluid_settings(d.FSynthSettings);
        d.FSynthSettings = nullptr;
    }
    d.FSynthTried = false;
    d.FRate = 0;
    if (d.FSdlInit) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        d.FSdlInit = false;
    }
}

bool AudioOut::IsOpen() const
{
    return FImpl->FDevice != 0;
}

void AudioOut::KeepOpen()
{
    Impl& d = *FImpl;
    if (!d.FWanted) {
        return;
    }
    // SDL marks a device whose server went away as stopped and never revives it.
    if (d.FDevice != 0) {
        if (SDL_GetAudioDeviceStatus(d.FDevice) != SDL_AUDIO_STOPPED) {
            return;
        }
        d.FLost = true;
    }
    const std::int64_t now = NowUs();
    if (d.FLastAttemptUs != INT64_MIN && now - d.FLastAttemptUs < kReopenIntervalUs) {
        return;
    }
    d.FLastAttemptUs = now;
    // The audio subsystem too, so that its connection to the server is made afresh.
    const bool lost = d.FLost;
    Close();
    if (Open()) {
        d.FReopens += lost ? 1 : 0;
    } else {
        d.FLost = lost;
    }
}

std::int64_t AudioOut::Reopens() const
{
    return FImpl->FReopens;
}

int AudioOut::SampleRate() const
{
    return FImpl->FRate;
}

std::int64_t AudioOut::Underruns() const
{
    return FImpl->FUnderruns.load();
}

std::int64_t AudioOut::LateVoices() const
{
    return FImpl->FLate.load();
}

bool AudioOut::Steady() const
{
    return FImpl->FSteady.load();
}

double AudioOut::MeasuredRate() const
{
    return FImpl->FMeasuredRate.load();
}

void AudioOut::ReleaseReturned()
{
    std::shared_ptr<const SampleBuffer> b;
    while (FImpl->FReturns.Pop(b)) {
        b.reset();
    }
}

void AudioOut::PlayTone(int frequency, int milliseconds, std::int64_t momentUs)
{
    KeepOpen();
    ReleaseReturned();
    if (!IsOpen() || frequency <= 0 || milliseconds <= 0) {
        return;
    }
    Command c;
    c.FType = CommandType::Tone;
    c.FMomentUs = momentUs;
    c.FFrequency = static_cast<float>(frequency);
    c.FFrames = static_cast<std::int64_t>(milliseconds) * FImpl->FRate / 1000;
    FImpl->FCommands.Push(c);
}

void AudioOut::PlaySample(std::shared_ptr<const SampleBuffer> buffer, std::int64_t momentUs)
{
    KeepOpen();
    ReleaseReturned();
    if (!IsOpen() || !buffer || buffer->FrameCount() == 0) {
        return;
    }
    Command c;
    c.FType = CommandType::Sample;
    c.FMomentUs = momentUs;
    c.FBuffer = std::move(buffer);
    FImpl->FCommands.Push(c); // when full the buffer stays here and is freed on return
}

void AudioOut::SynthMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                            std::int64_t momentUs)
{
    KeepOpen();
    ReleaseReturned();
    if (!IsOpen() || !EnsureSynth()) {
        return;
    }
    Command c;
    c.FType = CommandType::Synth;
    c.FMomentUs = momentUs;
    c.FMidi[0] = status;
    c.FMidi[1] = data1;
    c.FMidi[2] = data2;
    FImpl->FCommands.Push(c);
}

std::string AudioOut::SynthSoundFont()
{
    struct stat st
    {
    };
    for (const char* path : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"}) {
        if (stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
            return path;
        }
    }
    return {};
}

bool AudioOut::EnsureSynth()
{
    Impl& d = *FImpl;
    if (d.FSynthMain) {
        return true;
    }
    if (d.FSynthTried || !IsOpen()) {
        return false;
    }
    d.FSynthTried = true;
    const std::string soundFont = SynthSoundFont();
    if (soundFont.empty()) {
        return false;
    }
    // FluidSynth reports to stderr by default; a missing or broken SoundFont is silent here.
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
        fluid_set_log_function(level, nullptr, nullptr);
    }
    d.FSynthSettings = new_fluid_settings();
    if (!d.FSynthSettings) {
        return false;
    }
    fluid_settings_setnum(d.FSynthSettings, "synth.sample-rate", d.FRate);
    // Only the audio thread touches the synth once attached: no lock inside it.
    fluid_settings_setint(d.FSynthSettings, "synth.threadsafe-api", 0);
    fluid_settings_setnum(d.FSynthSettings, "synth.gain", 0.4);
    fluid_settings_setint(d.FSynthSettings, "synth.cpu-cores", 1);
    fluid_synth_t* synth = new_fluid_synth(d.FSynthSettings);
    if (!synth) {
        return false;
    }
    if (fluid_synth_sfload(synth, soundFont.c_str(), 1) == FLUID_FAILED) {
        delete_fluid_synth(synth);
        return false;
    }
    Command c;
    c.FType = CommandType::AttachSynth;
    c.FSynth = synth;
    if (!d.FCommands.Push(c)) {
        delete_fluid_synth(synth);
        return false;
    }
    d.FSynthMain = synth;
    return true;
}

// ---- audio thread ----

void AudioOut::Impl::Callback(void* user, Uint8* stream, int len)
{
    auto& d = *static_cast<Impl*>(user);
    d.Mix(reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)));
}

void AudioOut::Impl::ReturnBuffer(std::shared_ptr<const SampleBuffer>& b)
{
    if (b && FReturns.Push(b)) {
        b = nullptr;
    }
}

std::int64_t AudioOut::Impl::FrameForMoment(std::int64_t momentUs, std::int64_t bufferStart)
{
    if (momentUs < 0 || !FLoop.FValid) {
        return bufferStart;
    }
    const double direct = FLoop.FrameAt(static_cast<double>(momentUs + AudioOut::LeadUs()));
    double frame = direct;
    if (FChainValid && momentUs >= FChainMoment && momentUs - FChainMoment <= kChainGapUs) {
        // The previous onset plus the spacing of the moments in samples, nudged toward the
        // stream's clock only beyond the dead band: consecutive beats keep their exact spacing.
        const double spacing = static_cast<double>(momentUs - FChainMoment) * FLoop.Rate() / 1e6;
        const double predicted = FChainFrame + spacing;
        const double error = direct - predicted;
        const double deadBand = kDeadBandUs * FRate / 1e6;
        if (std::abs(error) <= kResyncUs * FRate / 1e6) {
            const double maxStep = kMaxStepFrames;
            double step = 0;
            if (error > deadBand) {
                step = std::min(error - deadBand, maxStep);
            } else if (error < -deadBand) {
                step = std::max(error + deadBand, -maxStep);
            }
            frame = predicted + step;
        }
    }
    if (momentUs >= FChainMoment || !FChainValid) {
        FChainValid = true;
        FChainMoment = momentUs;
        FChainFrame = frame;
    }
    auto start = static_cast<std::int64_t>(std::llround(frame));
    if (start < bufferStart) {
        FLate.fetch_add(1, std::memory_order_relaxed);
        start = bufferStart;
    }
    return start;
}

void AudioOut::Impl::StartVoice(Voice v)
{
    if (v.FKind == VoiceKind::Sample) {
        // Like the platform's PlaySound: a newer sound cuts the one before it at its onset.
        for (Voice& o : FVoices) {
            if (o.FKind != VoiceKind::Sample) {
                continue;
            }
            if (o.FStart <= v.FStart) {
                o.FCut = std::min(o.FCut, v.FStart);
            } else {
                v.FCut = std::min(v.FCut, o.FStart);
            }
        }
    }
    for (Voice& slot : FVoices) {
        if (slot.FKind == VoiceKind::Free && !slot.FBuffer) {
            slot = std::move(v);
            return;
        }
    }
    ReturnBuffer(v.FBuffer); // no free voice: skip the sound rather than wait
}

void AudioOut::Impl::Accept(Command& c, std::int64_t bufferStart)
{
    switch (c.FType) {
    case CommandType::Tone: {
        Voice v;
        v.FKind = VoiceKind::Tone;
        v.FStart = FrameForMoment(c.FMomentUs, bufferStart);
        v.FLength = c.FFrames;
        v.FPhaseStep = c.FFrequency / FRate;
        StartVoice(std::move(v));
        break;
    }
    case CommandType::Sample: {
        Voice v;
        v.FKind = VoiceKind::Sample;
        v.FStart = FrameForMoment(c.FMomentUs, bufferStart);
        v.FLength = static_cast<std::int64_t>(c.FBuffer->FrameCount());
        v.FBuffer = std::move(c.FBuffer);
        StartVoice(std::move(v));
        break;
    }
    case CommandType::Synth:
        if (FSynth && FSynthEventCount < kMaxSynthEvents) {
            SynthEvent& e = FSynthEvents[FSynthEventCount++];
            e.FFrame = FrameForMoment(c.FMomentUs, bufferStart);
            std::copy(std::begin(c.FMidi), std::end(c.FMidi), std::begin(e.FMidi));
            // Keep events in frame order; equal frames keep their arrival order (note-on first).
            for (std::size_t i = FSynthEventCount - 1;
                 i > 0 && FSynthEvents[i - 1].FFrame > FSynthEvents[i].FFrame; --i) {
                std::swap(FSynthEvents[i - 1], FSynthEvents[i]);
            }
        }
        break;
    case CommandType::AttachSynth:
        FSynth = c.FSynth;
        break;
    case CommandType::None:
        break;
    }
    ReturnBuffer(c.FBuffer);
    c.FType = CommandType::None;
}

void AudioOut::Impl::RenderVoices(float* out, std::int64_t start, int frames)
{
    const std::int64_t end = start + frames;
    const double edge = kEdgeMs * FRate / 1000.0;
    const std::int64_t fade = std::max<std::int64_t>(1, FRate / 1000); // 1 ms fade when cut
    for (Voice& v : FVoices) {
        if (v.FKind == VoiceKind::Free) {
            continue;
        }
        const std::int64_t stop =
            v.FCut == INT64_MAX ? v.FStart + v.FLength : std::min(v.FStart + v.FLength, v.FCut + fade);
        if (v.FStart >= end) {
            continue;
        }
        const std::int64_t from = std::max(start, v.FStart);
        const std::int64_t to = std::min(end, stop);
        for (std::int64_t f = from; f < to; ++f) {
            const std::int64_t pos = f - v.FStart;
            double gain = 1.0;
            if (f >= v.FCut) {
                gain = 1.0 - static_cast<double>(f - v.FCut) / fade;
            }
            float* o = out + 2 * (f - start);
            if (v.FKind == VoiceKind::Tone) {
                const double rise = std::min(1.0, (pos + 0.5) / edge);
                const double fall = std::min(1.0, (v.FLength - pos - 0.5) / edge);
                gain *= std::min(rise, fall);
                const double phase = pos * v.FPhaseStep;
                const float s =
                    (phase - std::floor(phase) < 0.5 ? kToneLevel : -kToneLevel) * static_cast<float>(gain);
                o[0] += s;
                o[1] += s;
            } else {
                const float* src = v.FBuffer->FSamples.data() + 2 * pos;
                o[0] += src[0] * kSampleLevel * static_cast<float>(gain);
                o[1] += src[1] * kSampleLevel * static_cast<float>(gain);
            }
        }
        if (stop <= end) {
            v.FKind = VoiceKind::Free;
        }
    }
    // Finished sounds go back to the main thread to be freed; a full queue retries next time.
    for (Voice& v : FVoices) {
        if (v.FKind == VoiceKind::Free && v.FBuffer) {
            ReturnBuffer(v.FBuffer);
        }
    }
}

void AudioOut::Impl::RenderSynth(float* out, std::int64_t start, int frames)
{
    if (!FSynth) {
        return;
    }
    const std::int64_t end = start + frames;
    std::int64_t pos = start;
    std::size_t used = 0;
    auto render = [&](std::int64_t upTo) {
        if (upTo <= pos) {
            return;
        }
        if (pos < FSynthAwakeUntil) {
            const int n = static_cast<int>(upTo - pos);
            float* l = FScratchL.data();
            float* r = FScratchR.data();
            std::fill(l, l + n, 0.0f);
            std::fill(r, r + n, 0.0f);
            fluid_synth_write_float(FSynth, n, l, 0, 1, r, 0, 1);
            float* o = out + 2 * (pos - start);
            for (int i = 0; i < n; ++i) {
                o[2 * i] += l[i];
                o[2 * i + 1] += r[i];
            }
        }
        pos = upTo;
    };
    // Split the render at each message's frame so the hit starts on its own sample.
    while (used < FSynthEventCount && FSynthEvents[used].FFrame < end) {
        const SynthEvent& e = FSynthEvents[used];
        render(std::max(e.FFrame, start));
        const int channel = e.FMidi[0] & 0x0F;
        switch (e.FMidi[0] & 0xF0) {
        case 0x90:
            fluid_synth_noteon(FSynth, channel, e.FMidi[1], e.FMidi[2]);
            break;
        case 0x80:
            fluid_synth_noteoff(FSynth, channel, e.FMidi[1]);
            break;
        default:
            break;
        }
        FSynthAwakeUntil =
            std::max(FSynthAwakeUntil, pos + static_cast<std::int64_t>(kSynthTailSeconds * FRate));
        ++used;
    }
    render(end);
    if (used > 0) {
        std::move(FSynthEvents.begin() + used, FSynthEvents.begin() + FSynthEventCount, FSynthEvents.begin());
        FSynthEventCount -= used;
    }
}

void AudioOut::Impl::Mix(float* out, int frames)
{
    if (!FPriorityAsked) {
        FPriorityAsked = true;
        // Real-time scheduling where the system allows it; otherwise the thread stays as it is.
        sched_param param{};
        param.sched_priority = kAudioPriority;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }
    const std::int64_t now = NowUs();
    const std::int64_t start = FFrame;
    if (!FLoop.FValid) {
        FLoop.Reset(static_cast<double>(now), start, FRate);
    } else {
        if (FLoop.Update(static_cast<double>(now), start)) {
            FUnderruns.fetch_add(1, std::memory_order_relaxed);
            // The stream's offset moved: the next onset is placed afresh so that it keeps its
            // distance in time, not in frames, to the one before.
            FChainValid = false;
        }
        FMeasuredRate.store(FLoop.Rate(), std::memory_order_relaxed);
        FSteady.store(FLoop.Settled(static_cast<double>(now), start), std::memory_order_relaxed);
    }

    Command c;
    while (FCommands.Pop(c)) {
        Accept(c, start);
    }

    std::fill(out, out + 2 * frames, 0.0f);
    // The scratch buffers bound one synth render; a larger callback is mixed in parts.
    const int chunk = static_cast<int>(FScratchL.size());
    for (int done = 0; done < frames; done += chunk) {
        const int n = std::min(chunk, frames - done);
        RenderSynth(out + 2 * done, start + done, n);
    }
    RenderVoices(out, start, frames);
    FFrame += frames;
}
