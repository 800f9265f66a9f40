#include "AudioOut.h"

#include "PulseCommon.h"
#include "SampleBuffer.h"

#include <fluidsynth.h>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

using PulseCommon::AwaitReady;
using PulseCommon::NowUs;
using PulseCommon::WallMinusMonotonicUs;

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr std::size_t kFrameBytes = sizeof(float) * kChannels;
// What the server holds ahead of the frame being heard. With the beat decided 45 ms ahead the
// two stay under 80 ms, and a beat's frame is nearly always placed before it is written.
constexpr pa_usec_t kTargetLatencyUs = 30000;
// A rewrite reaches the server's buffer within this time; a frame the server takes sooner than
// that cannot be rewritten.
constexpr std::int64_t kRewriteMarginUs = 5000;
// Voices are kept this long after their end, so that a rewrite can render them again.
constexpr double kKeepSeconds = 0.5;
constexpr std::size_t kMaxVoices = 64;
constexpr float kToneLevel = 0.25f;
constexpr float kSampleLevel = 0.9f;
constexpr double kEdgeMs = 1.5;
constexpr std::int64_t kReopenIntervalUs = 1'000'000;
// The server's timing is asked for on a timer of its own, at a period no quantum divides, so the
// questions fall at every phase of the server's cycle. PipeWire answers with the time of the
// question but the read position of its last cycle: an answer is early by the part of the cycle
// still to come, never late. The latest of the last kTimingWindow answers is the play time.
constexpr std::int64_t kTimingEveryUs = 47'000;
constexpr std::size_t kTimingWindow = 16;
constexpr int kAudioPriority = 20;
constexpr double kSynthHitSeconds = 2.0;
// What was played is kept this long (a power of two in frames), for a listener that takes the
// program's own sound out of what a microphone hears.
constexpr std::size_t kPlayedFrames = std::size_t{1} << 18;

enum class VoiceKind : std::uint8_t { Free, Tone, Sample };

struct Voice
{
    VoiceKind FKind = VoiceKind::Free;
    std::uint64_t FTag = 0;
    bool FCuts = false;
    std::int64_t FStart = 0; // absolute frame of the onset
    std::int64_t FLength = 0;
    std::int64_t FCut = INT64_MAX; // absolute frame where a newer cutting sound begins
    double FPhaseStep = 0;         // tone: cycles per frame
    float FGain = 1.0f;            // a subdivision's softer level
    std::shared_ptr<const SampleBuffer> FBuffer;
};

} // namespace

struct AudioOut::Impl
{
    mutable std::mutex FOpenMutex; // Open, Close and KeepOpen against each other
    bool FWanted = false;
    std::int64_t FLastAttemptUs = INT64_MIN;
    std::atomic<std::int64_t> FReopens{0};
    std::atomic<std::uint64_t> FGeneration{0};
    std::atomic<bool> FLost{false};
    std::atomic<bool> FReady{false};

    pa_threaded_mainloop* FLoop = nullptr;
    pa_context* FContext = nullptr;
    pa_stream* FStream = nullptr;

    std::atomic<std::int64_t> FUnderruns{0};
    std::atomic<float> FVolume{1.0f}; // set by the main thread, read by the stream's thread
    std::atomic<std::int64_t> FLate{0};
    std::atomic<std::int64_t> FLatencyUs{0};

    // Under the stream's lock.
    std::array<Voice, kMaxVoices> FVoices{};
    std::int64_t FWritten = 0; // frames written so far: the next frame to render
    std::vector<float> FRewrite;
    std::vector<float> FPlayed = std::vector<float>(kPlayedFrames, 0.0f); // mono, by frame modulo its size
    bool FPriorityAsked = false;
    pa_time_event* FTimingTimer = nullptr;
    // Each answer of the server: the steady time at which frame 0 would be heard.
    std::array<double, kTimingWindow> FOrigins{};
    // And the steady time at which the server took frame 0 from us (a sink reads ahead of what
    // it plays).
    std::array<double, kTimingWindow> FTakeOrigins{};
    std::size_t FOriginCount = 0;
    double FOrigin = 0; // the latest answer: when frame 0 is heard
    // The earliest answer: PipeWire takes a whole cycle's frames at its start, and this one
    // runs ahead of the play time by up to that cycle.
    double FTakeOrigin = 0;
    std::int64_t FWallOffsetUs = 0;
    std::int64_t FWallOffsetAt = INT64_MIN;

    // The built-in synth renders hits on request; its own lock.
    std::mutex FSynthMutex;
    fluid_settings_t* FSynthSettings = nullptr;
    fluid_synth_t* FSynth = nullptr;
    bool FSynthTried = false;
    int FSynthRate = 0;
    std::map<std::tuple<int, int, int, int>, std::shared_ptr<const SampleBuffer>> FHits;

    void Lock() const { pa_threaded_mainloop_lock(FLoop); }
    // The steady time at which the stream's frame 0 is heard; false without timing.
    bool Origin(double& origin) const;
    void Unlock() const { pa_threaded_mainloop_unlock(FLoop); }
    bool OpenStream();
    void CloseStream();

    // A context or stream changed state: a failed or ended one means the server is lost; the
    // thread waiting for it to become ready is woken either way.
    void StateChanged(bool ended);
    static void ContextState(pa_context* c, void* user);
    static void StreamState(pa_stream* s, void* user);
    static void StreamWrite(pa_stream* s, std::size_t bytes, void* user);
    static void StreamUnderflow(pa_stream* s, void* user);
    static void TimingAnswer(pa_stream* s, int success, void* user);
    static void TimingTimer(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* user);
    void AskTiming();
    void TakeTiming();
    void Render(float* out, std::int64_t start, int frames);
    // Renders [from, FWritten) again and writes it over what the server holds.
    void Rewrite(std::int64_t from);
    std::int64_t EarliestRewritable() const;
    void Place(Voice v, std::int64_t frame);
    // The last frame the server may have taken by steady time `us`.
    std::int64_t TakenByLocked(std::int64_t us) const
    {
        return static_cast<std::int64_t>(std::floor((static_cast<double>(us) - FTakeOrigin) * kRate / 1e6));
    }
};

AudioOut::AudioOut() : FImpl(std::make_unique<Impl>()) {}

AudioOut::~AudioOut()
{
    Close();
    if (FImpl->FSynth) {
        delete_fluid_synth(FImpl->FSynth);
    }
    if (FImpl->FSynthSettings) {
        delete_fluid_settings(FImpl->FSynthSettings);
    }
}

AudioOut& AudioOut::Instance()
{
    static AudioOut out;
    return out;
}

bool AudioOut::Open()
{
    Impl& d = *FImpl;
    std::lock_guard guard(d.FOpenMutex);
    d.FWanted = true;
    if (d.FLoop) {
        return true;
    }
    return d.OpenStream();
}

bool AudioOut::Impl::OpenStream()
{
    FLoop = pa_threaded_mainloop_new();
    if (!FLoop) {
        return false;
    }
    FContext = pa_context_new(pa_threaded_mainloop_get_api(FLoop), "Tiktakon");
    if (!FContext) {
        CloseStream();
        return false;
    }
    pa_context_set_state_callback(FContext, &ContextState, this);
    // Never start a server of our own: a desktop without one gets silence, not a surprise daemon.
    if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(FLoop) < 0) {
        CloseStream();
        return false;
    }
    Lock();
    const auto fail = [this] {
        Unlock();
        CloseStream();
        return false;
    };
    if (!AwaitReady(
            FLoop, [this] { return pa_context_get_state(FContext); }, PA_CONTEXT_READY,
            [](pa_context_state_t state) { return PA_CONTEXT_IS_GOOD(state) != 0; })) {
        return fail();
    }
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kRate, kChannels};
    FStream = pa_stream_new(FContext, "Beat", &format, nullptr);
    if (!FStream) {
        return fail();
    }
    pa_stream_set_state_callback(FStream, &StreamState, this);
    pa_stream_set_write_callback(FStream, &StreamWrite, this);
    pa_stream_set_underflow_callback(FStream, &StreamUnderflow, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &format));
    // No pre-buffering: a server that runs dry keeps playing silence and moves on with the clock,
    // so the beats after it stay on their frames; with it, playback would halt until refilled and
    // every later beat would come late by the gap.
    attr.prebuf = 0;
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    FWritten = 0;
    FOriginCount = 0;
    FPriorityAsked = false;
    for (Voice& v : FVoices) {
        v = Voice{};
    }
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(FStream, nullptr, &attr, flags, nullptr, nullptr) < 0 ||
        !AwaitReady(
            FLoop, [this] { return pa_stream_get_state(FStream); }, PA_STREAM_READY,
            [](pa_stream_state_t state) { return PA_STREAM_IS_GOOD(state) != 0; })) {
        return fail();
    }
    if (const pa_buffer_attr* granted = pa_stream_get_buffer_attr(FStream)) {
        FRewrite.assign(static_cast<std::size_t>(granted->maxlength / sizeof(float)) + 2 * kRate, 0.0f);
    }
    AskTiming();
    FTimingTimer = pa_context_rttime_new(FContext, pa_rtclock_now() + kTimingEveryUs, &TimingTimer, this);
    FGeneration.fetch_add(1);
    FLost = false;
    FReady = true;
    Unlock();
    return true;
}

void AudioOut::Impl::CloseStream()
{
    FReady = false;
    if (FLoop) {
        pa_threaded_mainloop_stop(FLoop);
    }
    if (FTimingTimer) {
        pa_threaded_mainloop_get_api(FLoop)->time_free(FTimingTimer);
        FTimingTimer = nullptr;
    }
    // Closing on purpose is not losing the server: no state reports from here on.
    if (FStream) {
        pa_stream_set_state_callback(FStream, nullptr, nullptr);
        pa_stream_set_write_callback(FStream, nullptr, nullptr);
        pa_stream_set_underflow_callback(FStream, nullptr, nullptr);
        pa_stream_disconnect(FStream);
        pa_stream_unref(FStream);
        FStream = nullptr;
    }
    PulseCommon::Release(FContext, FLoop);
    // The stream's thread is gone: what it held can go too.
    for (Voice& v : FVoices) {
        v = Voice{};
    }
}

void AudioOut::Close()
{
    Impl& d = *FImpl;
    std::lock_guard guard(d.FOpenMutex);
    d.FWanted = false;
    d.CloseStream();
    d.FLost = false;
}

bool AudioOut::IsOpen() const
{
    return FImpl->FReady.load();
}

void AudioOut::KeepOpen()
{
    Impl& d = *FImpl;
    std::lock_guard guard(d.FOpenMutex);
    // A stream that never opened (no server at start) is looked for too: the server may come later.
    if (!d.FWanted || (d.FLoop && !d.FLost.load())) {
        return;
    }
    const std::int64_t now = NowUs();
    if (d.FLastAttemptUs != INT64_MIN && now - d.FLastAttemptUs < kReopenIntervalUs) {
        return;
    }
    d.FLastAttemptUs = now;
    const bool lost = d.FLost.load();
    d.CloseStream();
    if (d.OpenStream()) {
        d.FReopens.fetch_add(lost ? 1 : 0);
    } else {
        d.FLost = lost;
    }
}

std::int64_t AudioOut::Reopens() const
{
    return FImpl->FReopens.load();
}

std::uint64_t AudioOut::Generation() const
{
    return FImpl->FGeneration.load();
}

int AudioOut::SampleRate() const
{
    return IsOpen() ? kRate : 0;
}

std::int64_t AudioOut::Underruns() const
{
    return FImpl->FUnderruns.load();
}

void AudioOut::SetVolumePercent(int percent)
{
    // Loudness follows the square of the setting better than the setting itself.
    const float share = static_cast<float>(std::clamp(percent, 0, 100)) / 100.0f;
    FImpl->FVolume.store(share * share, std::memory_order_relaxed);
}

float AudioOut::Volume() const
{
    return FImpl->FVolume.load(std::memory_order_relaxed);
}

std::int64_t AudioOut::LatencyUs() const
{
    return FImpl->FLatencyUs.load();
}

std::int64_t AudioOut::LateVoices() const
{
    return FImpl->FLate.load();
}

bool AudioOut::Impl::Origin(double& origin) const
{
    if (!FReady.load()) {
        return false;
    }
    Lock();
    const bool ok = FOriginCount > 0;
    origin = FOrigin;
    Unlock();
    return ok;
}

bool AudioOut::FrameAt(std::int64_t us, double& frame) const
{
    double origin = 0;
    if (!FImpl->Origin(origin)) {
        return false;
    }
    frame = (static_cast<double>(us) - origin) * kRate / 1e6;
    return true;
}

bool AudioOut::TimeAt(double frame, std::int64_t& us) const
{
    double origin = 0;
    if (!FImpl->Origin(origin)) {
        return false;
    }
    us = std::llround(origin + frame * 1e6 / kRate);
    return true;
}

bool AudioOut::CopyPlayed(std::int64_t from, int frames, float* mono) const
{
    const Impl& d = *FImpl;
    if (!IsOpen() || frames <= 0 || static_cast<std::size_t>(frames) > kPlayedFrames) {
        return false;
    }
    d.Lock();
    // Only frames written and still kept; frames before the stream's start were silence.
    const bool ok = from + frames <= d.FWritten && from + static_cast<std::int64_t>(kPlayedFrames) > d.FWritten;
    if (ok) {
        for (int i = 0; i < frames; ++i) {
            const std::int64_t f = from + i;
            mono[i] = f < 0 ? 0.0f : d.FPlayed[static_cast<std::size_t>(f) & (kPlayedFrames - 1)];
        }
    }
    d.Unlock();
    return ok;
}

// ---- placing and withdrawing sounds ----

std::int64_t AudioOut::Impl::EarliestRewritable() const
{
    if (FOriginCount == 0) {
        return FWritten;
    }
    return std::max<std::int64_t>(0, TakenByLocked(NowUs() + kRewriteMarginUs) + 1);
}

void AudioOut::Impl::Place(Voice v, std::int64_t frame)
{
    // A stream whose first frame is not yet heard puts "as soon as possible" at that frame.
    const std::int64_t earliest = std::max<std::int64_t>(0, EarliestRewritable());
    v.FStart = frame < 0 ? std::min(earliest, FWritten) : frame;
    if (v.FStart < earliest && frame >= 0 && v.FStart < FWritten) {
        FLate.fetch_add(1, std::memory_order_relaxed);
        v.FStart = earliest;
    }
    if (v.FCuts) {
        // Like the platform's PlaySound: a newer sound cuts the one before it at its onset.
        for (Voice& o : FVoices) {
            if (o.FKind != VoiceKind::Sample || !o.FCuts) {
                continue;
            }
            if (o.FStart <= v.FStart) {
                o.FCut = std::min(o.FCut, v.FStart);
            } else {
                v.FCut = std::min(v.FCut, o.FStart);
            }
        }
    }
    const std::int64_t start = v.FStart;
    for (Voice& slot : FVoices) {
        if (slot.FKind == VoiceKind::Free) {
            slot = std::move(v);
            if (start < FWritten) {
                Rewrite(start);
            }
            return;
        }
    }
    // No free voice: the sound is skipped rather than waited for.
}

void AudioOut::PlayTone(int frequency, int milliseconds, std::int64_t frame, std::uint64_t tag, float gain)
{
    Impl& d = *FImpl;
    if (!IsOpen() || frequency <= 0 || milliseconds <= 0) {
        return;
    }
    Voice v;
    v.FKind = VoiceKind::Tone;
    v.FTag = tag;
    v.FLength = static_cast<std::int64_t>(milliseconds) * kRate / 1000;
    v.FPhaseStep = static_cast<double>(frequency) / kRate;
    v.FGain = gain;
    d.Lock();
    d.Place(std::move(v), frame);
    d.Unlock();
}

void AudioOut::PlaySample(std::shared_ptr<const SampleBuffer> buffer, std::int64_t frame, std::uint64_t tag,
                          bool cuts, float gain)
{
    Impl& d = *FImpl;
    if (!IsOpen() || !buffer || buffer->FrameCount() == 0) {
        return;
    }
    Voice v;
    v.FKind = VoiceKind::Sample;
    v.FTag = tag;
    v.FCuts = cuts;
    v.FGain = gain;
    v.FLength = static_cast<std::int64_t>(buffer->FrameCount());
    v.FBuffer = std::move(buffer);
    d.Lock();
    d.Place(std::move(v), frame);
    d.Unlock();
}

bool AudioOut::Withdraw(std::uint64_t tag)
{
    Impl& d = *FImpl;
    if (tag == 0 || !IsOpen()) {
        return true;
    }
    d.Lock();
    std::int64_t first = INT64_MAX;
    for (const Voice& v : d.FVoices) {
        if (v.FKind != VoiceKind::Free && v.FTag == tag) {
            first = std::min(first, v.FStart);
        }
    }
    if (first == INT64_MAX) {
        d.Unlock();
        return true;
    }
    if (first < d.FWritten && first < d.EarliestRewritable()) {
        d.Unlock();
        return false;
    }
    std::vector<std::shared_ptr<const SampleBuffer>> freed;
    for (Voice& v : d.FVoices) {
        if (v.FKind != VoiceKind::Free && v.FTag == tag) {
            freed.push_back(std::move(v.FBuffer));
            v = Voice{};
        }
    }
    // A sound that the withdrawn one cut plays on as if it had never come.
    for (Voice& o : d.FVoices) {
        if (o.FKind != VoiceKind::Sample || !o.FCuts || o.FCut == INT64_MAX || o.FCut < first) {
            continue;
        }
        o.FCut = INT64_MAX;
        for (const Voice& n : d.FVoices) {
            if (n.FKind == VoiceKind::Sample && n.FCuts && n.FStart > o.FStart) {
                o.FCut = std::min(o.FCut, n.FStart);
            }
        }
    }
    if (first < d.FWritten) {
        d.Rewrite(first);
    }
    d.Unlock();
    return true; // the buffers are freed here, outside the stream's lock
}

// ---- the stream's thread ----

void AudioOut::Impl::StateChanged(bool ended)
{
    if (ended) {
        FLost = true;
        FReady = false;
    }
    pa_threaded_mainloop_signal(FLoop, 0);
}

void AudioOut::Impl::ContextState(pa_context* c, void* user)
{
    const pa_context_state_t state = pa_context_get_state(c);
    static_cast<Impl*>(user)->StateChanged(state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED);
}

void AudioOut::Impl::StreamState(pa_stream* s, void* user)
{
    const pa_stream_state_t state = pa_stream_get_state(s);
    static_cast<Impl*>(user)->StateChanged(state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED);
}

void AudioOut::Impl::StreamUnderflow(pa_stream*, void* user)
{
    static_cast<Impl*>(user)->FUnderruns.fetch_add(1, std::memory_order_relaxed);
}

void AudioOut::Impl::TimingAnswer(pa_stream*, int success, void* user)
{
    if (success) {
        static_cast<Impl*>(user)->TakeTiming();
    }
}

void AudioOut::Impl::AskTiming()
{
    if (pa_operation* op = pa_stream_update_timing_info(FStream, &TimingAnswer, this)) {
        pa_operation_unref(op);
    }
}

void AudioOut::Impl::TimingTimer(pa_mainloop_api*, pa_time_event* e, const struct timeval*, void* user)
{
    auto& d = *static_cast<Impl*>(user);
    if (d.FStream && pa_stream_get_state(d.FStream) == PA_STREAM_READY) {
        d.AskTiming();
    }
    pa_context_rttime_restart(d.FContext, e, pa_rtclock_now() + kTimingEveryUs);
}

void AudioOut::Impl::TakeTiming()
{
    const pa_timing_info* ti = pa_stream_get_timing_info(FStream);
    if (!ti || ti->read_index_corrupt || ti->write_index_corrupt) {
        return;
    }
    const std::int64_t now = NowUs();
    if (FWallOffsetAt == INT64_MIN || now - FWallOffsetAt > 1'000'000) {
        // The wall clock may be stepped or slewed: its offset is read afresh every second.
        FWallOffsetUs = WallMinusMonotonicUs();
        FWallOffsetAt = now;
    }
    const std::int64_t stampUs =
        static_cast<std::int64_t>(ti->timestamp.tv_sec) * 1'000'000LL + ti->timestamp.tv_usec - FWallOffsetUs;
    // At `stamp` the server had read our stream up to read_index; that frame is heard sink_usec later.
    const double readFrame = static_cast<double>(ti->read_index) / kFrameBytes;
    const double taken = static_cast<double>(stampUs) - readFrame * 1e6 / kRate;
    FTakeOrigins[FOriginCount % kTimingWindow] = taken;
    FOrigins[FOriginCount % kTimingWindow] = taken + static_cast<double>(ti->sink_usec);
    ++FOriginCount;
    const auto n = static_cast<std::ptrdiff_t>(std::min(FOriginCount, kTimingWindow));
    // A stream moved against the clock (an underrun) shows at once in the latest answer and
    // leaves the window within kTimingWindow answers.
    FOrigin = *std::max_element(FOrigins.begin(), FOrigins.begin() + n);
    FTakeOrigin = *std::min_element(FTakeOrigins.begin(), FTakeOrigins.begin() + n);
    const double writeFrame = static_cast<double>(ti->write_index) / kFrameBytes;
    FLatencyUs.store(static_cast<std::int64_t>((writeFrame - readFrame) * 1e6 / kRate) +
                         static_cast<std::int64_t>(ti->sink_usec),
                     std::memory_order_relaxed);
}

void AudioOut::Impl::StreamWrite(pa_stream* s, std::size_t bytes, void* user)
{
    auto& d = *static_cast<Impl*>(user);
    if (!d.FPriorityAsked) {
        d.FPriorityAsked = true;
        // Real-time scheduling where the system allows it; otherwise the thread stays as it is.
        sched_param param{};
        param.sched_priority = kAudioPriority;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }
    while (bytes >= kFrameBytes) {
        void* data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(s, &data, &size) < 0 || !data) {
            return;
        }
        size -= size % kFrameBytes;
        const int frames = static_cast<int>(size / kFrameBytes);
        d.Render(static_cast<float*>(data), d.FWritten, frames);
        if (pa_stream_write(s, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            return;
        }
        d.FWritten += frames;
        bytes -= size;
    }
    if (d.FOriginCount == 0) {
        d.AskTiming(); // the first answers come from here, before the timer's first turn
    }
}

void AudioOut::Impl::Rewrite(std::int64_t from)
{
    from = std::max(from, EarliestRewritable());
    if (from >= FWritten || !FStream) {
        return;
    }
    const auto frames = static_cast<std::size_t>(FWritten - from);
    if (frames * kChannels > FRewrite.size()) {
        return;
    }
    Render(FRewrite.data(), from, static_cast<int>(frames));
    const auto bytes = frames * kFrameBytes;
    pa_stream_write(FStream, FRewrite.data(), bytes, nullptr, -static_cast<std::int64_t>(bytes),
                    PA_SEEK_RELATIVE);
}

void AudioOut::Impl::Render(float* out, std::int64_t start, int frames)
{
    std::fill(out, out + static_cast<std::ptrdiff_t>(kChannels) * frames, 0.0f);
    const std::int64_t end = start + frames;
    const double edge = kEdgeMs * kRate / 1000.0;
    const std::int64_t fade = kRate / 1000; // 1 ms fade when cut
    const auto keep = static_cast<std::int64_t>(kKeepSeconds * kRate);
    for (Voice& v : FVoices) {
        if (v.FKind == VoiceKind::Free) {
            continue;
        }
        const std::int64_t stop =
            v.FCut == INT64_MAX ? v.FStart + v.FLength : std::min(v.FStart + v.FLength, v.FCut + fade);
        if (stop + keep < start) {
            // Long over, and out of reach of any rewrite: the slot is free again. Every buffer
            // is also held by its cache, so dropping this reference frees nothing here.
            v = Voice{};
            continue;
        }
        if (v.FStart >= end) {
            continue;
        }
        const std::int64_t from = std::max(start, v.FStart);
        const std::int64_t to = std::min(end, stop);
        for (std::int64_t f = from; f < to; ++f) {
            const std::int64_t pos = f - v.FStart;
            double gain = v.FGain;
            if (f >= v.FCut) {
                gain *= 1.0 - static_cast<double>(f - v.FCut) / static_cast<double>(fade);
            }
            float* o = out + kChannels * (f - start);
            if (v.FKind == VoiceKind::Tone) {
                const double rise = std::min(1.0, (static_cast<double>(pos) + 0.5) / edge);
                const double fall = std::min(1.0, (static_cast<double>(v.FLength - pos) - 0.5) / edge);
                gain *= std::min(rise, fall);
                const double phase = static_cast<double>(pos) * v.FPhaseStep;
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
    }
    const float volume = FVolume.load(std::memory_order_relaxed);
    if (volume != 1.0f) {
        for (float* o = out; o != out + static_cast<std::ptrdiff_t>(kChannels) * frames; ++o) {
            *o *= volume;
        }
    }
    for (int i = 0; i < frames; ++i) {
        FPlayed[static_cast<std::size_t>(start + i) & (kPlayedFrames - 1)] = out[kChannels * i];
    }
}

// ---- the built-in synth ----

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

std::shared_ptr<const SampleBuffer> AudioOut::SynthHit(std::uint8_t channel, std::uint8_t key,
                                                       std::uint8_t velocity)
{
    Impl& d = *FImpl;
    std::lock_guard guard(d.FSynthMutex);
    const auto id = std::make_tuple(kRate, int{channel}, int{key}, int{velocity});
    if (auto found = d.FHits.find(id); found != d.FHits.end()) {
        return found->second;
    }
    if (!d.FSynth) {
        if (d.FSynthTried) {
            return nullptr;
        }
        d.FSynthTried = true;
        const std::string soundFont = SynthSoundFont();
        if (soundFont.empty()) {
            return nullptr;
        }
        // FluidSynth reports to stderr by default; a missing or broken SoundFont is silent here.
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
            fluid_set_log_function(level, nullptr, nullptr);
        }
        d.FSynthSettings = new_fluid_settings();
        if (!d.FSynthSettings) {
            return nullptr;
        }
        fluid_settings_setnum(d.FSynthSettings, "synth.sample-rate", kRate);
        fluid_settings_setnum(d.FSynthSettings, "synth.gain", 0.4);
        fluid_settings_setint(d.FSynthSettings, "synth.cpu-cores", 1);
        d.FSynth = new_fluid_synth(d.FSynthSettings);
        if (!d.FSynth || fluid_synth_sfload(d.FSynth, soundFont.c_str(), 1) == FLUID_FAILED) {
            if (d.FSynth) {
                delete_fluid_synth(d.FSynth);
                d.FSynth = nullptr;
            }
            return nullptr;
        }
    }
    // One hit from silence, as the synth plays it: note-on and note-off on the same frame.
    fluid_synth_system_reset(d.FSynth);
    const int ch = channel & 0x0F;
    fluid_synth_noteon(d.FSynth, ch, key, velocity);
    fluid_synth_noteoff(d.FSynth, ch, key);
    const auto frames = static_cast<std::size_t>(kSynthHitSeconds * kRate);
    std::vector<float> left(frames), right(frames);
    fluid_synth_write_float(d.FSynth, static_cast<int>(frames), left.data(), 0, 1, right.data(), 0, 1);
    // Cut the silent tail, so that the voice ends when the sound does.
    std::size_t used = frames;
    while (used > 0 && std::abs(left[used - 1]) < 1e-5f && std::abs(right[used - 1]) < 1e-5f) {
        --used;
    }
    auto hit = std::make_shared<SampleBuffer>();
    hit->FRate = kRate;
    hit->FSamples.resize(2 * used);
    for (std::size_t i = 0; i < used; ++i) {
        // The mixer scales samples by its sample level; the synth's own level is kept.
        hit->FSamples[2 * i] = left[i] / kSampleLevel;
        hit->FSamples[2 * i + 1] = right[i] / kSampleLevel;
    }
    std::shared_ptr<const SampleBuffer> result = hit;
    d.FHits.emplace(id, result);
    return result;
}
