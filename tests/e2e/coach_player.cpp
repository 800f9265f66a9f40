// A synthetic player for the end-to-end test of the timing coach. It records a sink's monitor
// from start to end, follows the metronome's clicks heard there, plays a take of hits at planned
// offsets to those clicks into the same sink, and afterwards takes each hit's true offset from its
// own recording: the recording less the take (placed by the measured playback-to-recording delay)
// leaves the clicks alone, whose first samples are their starts.
//
// Prints one line per hit and a summary:
//   hit <index> <drum|guitar> <true offset ms> <planned offset ms>
//   clicks <n> period <frames> underflows <n> overflows <n>
// Exits 1 with a message on stderr when it heard no clicks, could not align the take, or a stream
// ran dry or over during the take; 2 on bad arguments.
// Usage: coach_player [--hits N] [--offsets "MS MS ..."] [--every BEATS] [--follow CLICKS]
//                     [--sink NAME] [--source NAME] [--save FILE] [--save-take FILE]
// --save writes the recording, --save-take what was played (both raw float, 48 kHz mono).
// The server is the one PULSE_SERVER names.
#include "SyntheticTake.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr double kFramesPerMs = kRate / 1000.0;
constexpr float kNoiseRms = 0.002f;
constexpr float kFarLevel = 0.3f;
// Hits this close to a click are played no louder than the click, so the coach cannot tell them
// from it by level alone.
constexpr double kNearMs = 3.0;
constexpr double kNearShare = 0.8;
// The noise fades in and out, so that its own start and end are no onsets to the coach.
constexpr std::int64_t kFadeFrames = kRate / 10;
// The noise right after the fade-in is the probe the playback delay is measured with.
constexpr std::int64_t kProbeFrom = kFadeFrames;
constexpr std::int64_t kProbeLength = kRate / 5;
// Recorded silence outside the clicks is exact zero; the first sound above this is the take's.
constexpr float kOnsetLevel = 1e-3f;
// The first sample of a click rises 0.5/72 of its level (1.5 ms edges): far above this, while
// what is left after taking out the take stays far below.
constexpr float kFirstSample = 1e-4f;
constexpr std::int64_t kPlaybackMs = 250;
// A hit is put into the take this long before it is written out at the latest.
constexpr std::int64_t kLeadFrames = kRate;
constexpr std::int64_t kMinLeadFrames = kRate / 5;
constexpr std::int64_t kTailFrames = kRate; // recorded after the take
constexpr int kClickMargin = 32;

struct Options
{
    int FHits = 20;
    int FEvery = 2;
    int FFollow = 4;
    double FWaitSeconds = 10;
    std::vector<double> FOffsets{-40, -25, -12, -3, -1, 0, 1, 3, 7, 15, 28, 40};
    std::string FSink = "player";
    std::string FSource = "player.monitor";
    std::string FSave;
    std::string FSaveTake;
};

struct Click
{
    std::int64_t FStart;
    std::int64_t FEnd; // one past its last loud sample
    float FPeak;
};

// Clicks in a signal fed sample by sample: one begins where the signal rises above `detect` after
// at least 10 ms below it; its start is walked back to the first sample above `fine`, as the
// tone's edge begins at a small fraction of its level. A sound already running when the signal
// begins is no click.
class ClickFinder
{
public:
    ClickFinder(float detect, float fine) : FDetect(detect), FFine(fine) {}

    template <typename Value> void Feed(std::int64_t to, Value value)
    {
        for (; FNext < to; ++FNext) {
            const float v = std::fabs(value(FNext));
            if (v <= FDetect) {
                ++FQuiet;
                if (FOpen && FQuiet >= kQuietFrames) {
                    FOpen = false;
                }
                continue;
            }
            if (FOpen) {
                FClicks.back().FEnd = FNext + 1;
                FClicks.back().FPeak = std::max(FClicks.back().FPeak, v);
            } else if (FQuiet >= kQuietFrames) {
                std::int64_t start = FNext;
                while (start > 0 && FNext - start < kWalkBack && std::fabs(value(start - 1)) > FFine) {
                    --start;
                }
                FClicks.push_back({start, FNext + 1, v});
                FOpen = true;
            }
            FQuiet = 0;
        }
    }

    const std::vector<Click>& Clicks() const { return FClicks; }
    bool Open() const { return FOpen; }

private:
    static constexpr std::int64_t kQuietFrames = kRate / 100;
    static constexpr std::int64_t kWalkBack = 200;
    float FDetect;
    float FFine;
    std::int64_t FNext = 0;
    std::int64_t FQuiet = 0;
    bool FOpen = false;
    std::vector<Click> FClicks;
};

struct Hit
{
    double FPlanned = 0;
    SyntheticTake::Attack FAttack = SyntheticTake::Attack::Drum;
    std::int64_t FBeat = 0;  // the click it is played to, counted from the first click heard
    std::int64_t FFrame = 0; // its start in the playback stream
    std::int64_t FLength = 0;
    float FPeak = 0; // as heard
};

enum class Phase { Connecting, Following, Aligning, Playing, Done };

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class Player
{
public:
    explicit Player(Options options);
    ~Player();
    int Run();

private:
    void Fail(const std::string& why);
    void Step();
    void Follow();
    void StartPlayback();
    void Align();
    void Refine();
    void Play();
    void ScheduleHits();
    bool InPredictedClick(std::int64_t frame) const;
    float Residual(std::int64_t frame) const;
    int Analyse();
    void Save() const;

    static void ContextState(pa_context* context, void* self);
    static void StreamState(pa_stream* stream, void* self);
    static void Read(pa_stream* stream, std::size_t bytes, void* self);
    static void Write(pa_stream* stream, std::size_t bytes, void* self);
    static void Underflow(pa_stream* stream, void* self);
    static void Overflow(pa_stream* stream, void* self);

    Options FOptions;
    pa_mainloop* FLoop = nullptr;
    pa_context* FContext = nullptr;
    pa_stream* FRecord = nullptr;
    pa_stream* FPlay = nullptr;
    Phase FPhase = Phase::Connecting;
    std::string FFailure;
    std::int64_t FStartMs = 0;
    std::int64_t FPhaseMs = 0;

    std::vector<float> FRecorded;
    int FHoles = 0;
    int FRecordOverflows = 0;

    // The clicks on the recording before the take, then on the recording less the take.
    ClickFinder FHeard{0.02f, kFirstSample};
    ClickFinder FLive{0.02f, 1e-3f};
    double FPeriod = 0;
    std::int64_t FFirstClick = 0;
    std::int64_t FClickLength = 0;
    float FClickPeak = 0;

    // Everything the playback stream plays, from its first frame; written up to FWritten.
    std::vector<float> FPlayed;
    std::int64_t FWritten = 0;
    std::int64_t FEnd = -1;     // where the take's stream ends, once known
    std::int64_t FTakeEnd = -1; // where its last hit ends
    std::int64_t FRecordedAtPlay = 0;
    std::int64_t FScan = 0;
    std::int64_t FProbeOnset = 0; // the first played sample loud enough to be heard as the take's start
    std::int64_t FCoarse = -1;
    std::int64_t FLag = -1; // the recording's frame of the playback stream's frame 0
    double FGain = 1;

    std::vector<Hit> FHits;
    std::size_t FNextHit = 0;
    std::int64_t FFirstBeat = 0;
    int FUnderflows = 0;
    int FPlayOverflows = 0;
};

Player::Player(Options options) : FOptions(std::move(options))
{
    // The offsets in turn; the attacks by turns, drum first.
    for (int i = 0; i < FOptions.FHits; ++i) {
        Hit hit;
        hit.FPlanned = FOptions.FOffsets[static_cast<std::size_t>(i) % FOptions.FOffsets.size()];
        hit.FAttack = i % 2 == 0 ? SyntheticTake::Attack::Drum : SyntheticTake::Attack::Guitar;
        FHits.push_back(hit);
    }
}

Player::~Player()
{
    for (pa_stream* s : {FRecord, FPlay}) {
        if (s) {
            pa_stream_set_state_callback(s, nullptr, nullptr);
            pa_stream_disconnect(s);
            pa_stream_unref(s);
        }
    }
    if (FContext) {
        pa_context_set_state_callback(FContext, nullptr, nullptr);
        pa_context_disconnect(FContext);
        pa_context_unref(FContext);
    }
    if (FLoop) {
        pa_mainloop_free(FLoop);
    }
}

void Player::Fail(const std::string& why)
{
    if (FFailure.empty()) {
        FFailure = why;
    }
}

void Player::ContextState(pa_context* context, void* self)
{
    auto& p = *static_cast<Player*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY && p.FPhase == Phase::Connecting) {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRate, 1};
        p.FRecord = pa_stream_new(context, "coach_player recording", &format, nullptr);
        if (!p.FRecord) {
            p.Fail("could not make the recording stream");
            return;
        }
        pa_stream_set_state_callback(p.FRecord, &StreamState, self);
        pa_stream_set_read_callback(p.FRecord, &Read, self);
        pa_stream_set_overflow_callback(p.FRecord, &Overflow, self);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(20000, &format));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(p.FRecord, p.FOptions.FSource.c_str(), &attr, flags) < 0) {
            p.Fail(std::string("could not record ") + p.FOptions.FSource + ": " +
                   pa_strerror(pa_context_errno(context)));
            return;
        }
        p.FPhase = Phase::Following;
        p.FPhaseMs = NowMs();
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        p.Fail(std::string("the sound server connection failed: ") + pa_strerror(pa_context_errno(context)));
    }
}

void Player::StreamState(pa_stream* stream, void* self)
{
    auto& p = *static_cast<Player*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        p.Fail(std::string(stream == p.FRecord ? "the recording" : "the playback") +
               " stream failed: " + pa_strerror(pa_context_errno(p.FContext)));
    }
}

void Player::Read(pa_stream* stream, std::size_t, void* self)
{
    auto& p = *static_cast<Player*>(self);
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &bytes) < 0) {
            p.Fail("could not read the recording stream");
            return;
        }
        if (bytes == 0) {
            break;
        }
        const std::size_t frames = bytes / sizeof(float);
        if (data) {
            const auto* samples = static_cast<const float*>(data);
            p.FRecorded.insert(p.FRecorded.end(), samples, samples + frames);
        } else {
            // Lost data: kept as silence so later frames keep their places, but the run is spoiled.
            ++p.FHoles;
            p.FRecorded.resize(p.FRecorded.size() + frames, 0.0f);
        }
        pa_stream_drop(stream);
    }
}

void Player::Write(pa_stream* stream, std::size_t bytes, void* self)
{
    auto& p = *static_cast<Player*>(self);
    const std::int64_t limit = p.FEnd >= 0 ? p.FEnd : static_cast<std::int64_t>(p.FPlayed.size());
    const std::int64_t frames =
        std::min(static_cast<std::int64_t>(bytes / sizeof(float)), limit - p.FWritten);
    if (frames <= 0) {
        if (p.FEnd < 0) {
            p.Fail("the take ran longer than its buffer");
        }
        return;
    }
    if (pa_stream_write(stream, p.FPlayed.data() + p.FWritten,
                        static_cast<std::size_t>(frames) * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        p.Fail("could not write the playback stream");
        return;
    }
    p.FWritten += frames;
}

void Player::Underflow(pa_stream* stream, void* self)
{
    auto& p = *static_cast<Player*>(self);
    // Running dry once all was written, after the last hit, is the take's end (PipeWire places it
    // a little before the last frame); before that, it moves the take against the recording.
    const std::int64_t at = pa_stream_get_underflow_index(stream);
    const bool atEnd = p.FEnd >= 0 && p.FWritten >= p.FEnd &&
                       (at < 0 || at / static_cast<std::int64_t>(sizeof(float)) >= p.FTakeEnd);
    if (atEnd) {
        return;
    }
    ++p.FUnderflows;
    std::fprintf(stderr, "coach_player: the playback stream ran dry at frame %lld (%lld written)\n",
                 static_cast<long long>(at / static_cast<std::int64_t>(sizeof(float))),
                 static_cast<long long>(p.FWritten));
}

void Player::Overflow(pa_stream* stream, void* self)
{
    auto& p = *static_cast<Player*>(self);
    if (stream == p.FPlay) {
        ++p.FPlayOverflows;
    } else {
        ++p.FRecordOverflows;
    }
    std::fprintf(stderr, "coach_player: the %s stream overflowed\n",
                 stream == p.FPlay ? "playback" : "recording");
}

int Player::Run()
{
    FStartMs = NowMs();
    FLoop = pa_mainloop_new();
    FContext = pa_context_new(pa_mainloop_get_api(FLoop), "coach_player");
    if (!FContext) {
        std::fprintf(stderr, "coach_player: could not make a sound server context\n");
        return 1;
    }
    pa_context_set_state_callback(FContext, &ContextState, this);
    if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        std::fprintf(stderr, "coach_player: no sound server: %s\n", pa_strerror(pa_context_errno(FContext)));
        return 1;
    }
    while (FPhase != Phase::Done && FFailure.empty()) {
        // Woken at least every 50 ms, so that a server that stops sending is noticed.
        if (pa_mainloop_prepare(FLoop, 50000) < 0 || pa_mainloop_poll(FLoop) < 0 ||
            pa_mainloop_dispatch(FLoop) < 0) {
            Fail("the sound server's main loop failed");
            break;
        }
        Step();
    }
    Save();
    if (!FFailure.empty()) {
        std::fprintf(stderr, "coach_player: %s\n", FFailure.c_str());
        return 1;
    }
    return Analyse();
}

void Player::Step()
{
    if (FHoles > 0) {
        Fail("the recording stream lost data");
        return;
    }
    const std::int64_t phaseMs = NowMs() - FPhaseMs;
    switch (FPhase) {
    case Phase::Connecting:
        if (NowMs() - FStartMs > 5000) {
            Fail("no connection to the sound server within 5 s");
        }
        break;
    case Phase::Following:
        Follow();
        if (FPhase == Phase::Following && phaseMs > static_cast<std::int64_t>(FOptions.FWaitSeconds * 1000)) {
            Fail("heard " + std::to_string(FHeard.Clicks().size()) + " clicks on " + FOptions.FSource +
                 " within " + std::to_string(static_cast<int>(FOptions.FWaitSeconds)) + " s, needed " +
                 std::to_string(FOptions.FFollow) + " (is the metronome running into the sink?)");
        }
        break;
    case Phase::Aligning:
        Align();
        if (FPhase == Phase::Aligning && phaseMs > 5000) {
            Fail("the take's start was not heard on " + FOptions.FSource + " within 5 s");
        }
        break;
    case Phase::Playing:
        Play();
        break;
    case Phase::Done:
        break;
    }
}

void Player::Follow()
{
    FHeard.Feed(static_cast<std::int64_t>(FRecorded.size()), [this](std::int64_t f) { return FRecorded[f]; });
    // Only whole clicks: their lengths bound where clicks sound.
    const auto& clicks = FHeard.Clicks();
    const std::size_t whole = clicks.size() - (FHeard.Open() ? 1 : 0);
    if (clicks.empty() || whole < static_cast<std::size_t>(FOptions.FFollow) || whole < 2) {
        return;
    }
    const Click& first = clicks.front();
    const Click& last = clicks[whole - 1];
    FPeriod = static_cast<double>(last.FStart - first.FStart) / static_cast<double>(whole - 1);
    for (std::size_t i = 0; i < whole; ++i) {
        if (i > 0 &&
            std::fabs(static_cast<double>(clicks[i].FStart - clicks[i - 1].FStart) - FPeriod) > 2.0) {
            Fail("the clicks heard are not evenly spaced: " + std::to_string(clicks[i - 1].FStart) + ", " +
                 std::to_string(clicks[i].FStart) + " against a mean period of " + std::to_string(FPeriod));
            return;
        }
        FClickLength = std::max(FClickLength, clicks[i].FEnd - clicks[i].FStart);
        FClickPeak = std::max(FClickPeak, clicks[i].FPeak);
    }
    FFirstClick = first.FStart;
    std::fprintf(stderr, "coach_player: heard %zu clicks, period %.3f frames, %.1f ms long, peak %.4f\n",
                 whole, FPeriod, FClickLength / kFramesPerMs, FClickPeak);
    if (FPeriod < 2.0 * (FClickLength + kClickMargin) || FPeriod > 4.0 * kRate) {
        Fail("the clicks' period of " + std::to_string(FPeriod) + " frames is out of range");
        return;
    }
    // A hit half a beat or more away from its click would be nearer to another.
    for (const Hit& hit : FHits) {
        if (std::fabs(hit.FPlanned) * kFramesPerMs >= FPeriod / 2 - 1) {
            Fail("the offset " + std::to_string(hit.FPlanned) + " ms is half a beat or more");
            return;
        }
    }
    StartPlayback();
}

void Player::StartPlayback()
{
    // Room for the delay measurement, the take and its tail, with ample spare.
    const auto frames =
        static_cast<std::size_t>(30 * kRate + (FOptions.FHits * FOptions.FEvery + 8) * FPeriod);
    FPlayed.assign(frames, 0.0f);
    SyntheticTake::AddNoise(FPlayed, kNoiseRms, 12345);
    for (std::int64_t i = 0; i < kFadeFrames; ++i) {
        FPlayed[i] *= static_cast<float>(i) / kFadeFrames;
    }
    // The server may scale the take on its way to the monitor (PipeWire mixes mono into the stereo
    // sink and back at 3 dB up): up to 4 times as loud, its first sound heard above kOnsetLevel
    // is at or after the first played one above a quarter of it.
    FProbeOnset = 0;
    while (std::fabs(FPlayed[FProbeOnset]) <= kOnsetLevel / 4) {
        ++FProbeOnset;
    }

    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRate, 1};
    FPlay = pa_stream_new(FContext, "coach_player take", &format, nullptr);
    if (!FPlay) {
        Fail("could not make the playback stream");
        return;
    }
    pa_stream_set_state_callback(FPlay, &StreamState, this);
    pa_stream_set_write_callback(FPlay, &Write, this);
    pa_stream_set_underflow_callback(FPlay, &Underflow, this);
    pa_stream_set_overflow_callback(FPlay, &Overflow, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kPlaybackMs * 1000, &format));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    FRecordedAtPlay = static_cast<std::int64_t>(FRecorded.size());
    FScan = FRecordedAtPlay;
    if (pa_stream_connect_playback(FPlay, FOptions.FSink.c_str(), &attr, PA_STREAM_DONT_MOVE, nullptr,
                                   nullptr) < 0) {
        Fail("could not play into " + FOptions.FSink + ": " + pa_strerror(pa_context_errno(FContext)));
        return;
    }
    FPhase = Phase::Aligning;
    FPhaseMs = NowMs();
}

bool Player::InPredictedClick(std::int64_t frame) const
{
    const double phase = std::fmod(static_cast<double>(frame - FFirstClick + kClickMargin), FPeriod);
    const double inside = phase < 0 ? phase + FPeriod : phase;
    return inside <= static_cast<double>(FClickLength + 2 * kClickMargin);
}

void Player::Align()
{
    const auto recorded = static_cast<std::int64_t>(FRecorded.size());
    if (FCoarse < 0) {
        // Between the clicks the sink was silent until the take's noise came: its first sound there
        // gives the delay roughly, never too short.
        for (; FScan < recorded; ++FScan) {
            if (std::fabs(FRecorded[FScan]) > kOnsetLevel && !InPredictedClick(FScan)) {
                FCoarse = FScan - FProbeOnset;
                std::fprintf(stderr, "coach_player: the take first heard at recording frame %lld\n",
                             static_cast<long long>(FScan));
                break;
            }
        }
        if (FCoarse < 0) {
            return;
        }
    }
    if (recorded >= FCoarse + kProbeFrom + kProbeLength + 64) {
        Refine();
    }
}

void Player::Refine()
{
    // The exact delay: the probe of noise matched against the recording at every delay from the
    // rough one back by 200 ms, the clicks' places left out. Noise matches at one delay only.
    const std::int64_t high = FCoarse;
    const std::int64_t low = std::max<std::int64_t>(0, FCoarse - kRate / 5);
    std::vector<char> click(static_cast<std::size_t>(high - low + kProbeLength + 1));
    for (std::size_t i = 0; i < click.size(); ++i) {
        click[i] = InPredictedClick(low + kProbeFrom + static_cast<std::int64_t>(i)) ? 1 : 0;
    }
    double best = -1e9;
    double second = -1e9;
    std::int64_t bestLag = -1;
    for (std::int64_t lag = low; lag <= high; ++lag) {
        double cross = 0;
        double energy = 0;
        for (std::int64_t n = kProbeFrom; n < kProbeFrom + kProbeLength; ++n) {
            if (click[static_cast<std::size_t>(n + lag - low - kProbeFrom)]) {
                continue;
            }
            const double played = FPlayed[n];
            cross += played * FRecorded[n + lag];
            energy += played * played;
        }
        const double match = energy > 0 ? cross / energy : 0;
        if (match > best) {
            second = std::max(second, best);
            best = match;
            bestLag = lag;
        } else {
            second = std::max(second, match);
        }
    }
    if (bestLag < 0) {
        Fail("the take's probe could not be matched");
        return;
    }
    double residual = 0;
    double energy = 0;
    std::int64_t count = 0;
    for (std::int64_t n = kProbeFrom; n < kProbeFrom + kProbeLength; ++n) {
        if (InPredictedClick(n + bestLag)) {
            continue;
        }
        const double d = FRecorded[n + bestLag] - best * FPlayed[n];
        residual += d * d;
        energy += static_cast<double>(FPlayed[n]) * FPlayed[n];
        ++count;
    }
    const double residualRms = std::sqrt(residual / std::max<std::int64_t>(count, 1));
    const double probeRms = std::sqrt(energy / std::max<std::int64_t>(count, 1));
    std::fprintf(
        stderr,
        "coach_player: playback frame 0 is recording frame %lld (gain %.6f, residual rms %.2e against "
        "the probe's %.2e, next best match %.3f)\n",
        static_cast<long long>(bestLag), best, residualRms, probeRms, second);
    if (best < 0.5 || best > 2.0 || second > 0.2 * best || residualRms > kFirstSample) {
        Fail("the take could not be aligned with the recording (match " + std::to_string(best) + ", next " +
             std::to_string(second) + ", residual rms " + std::to_string(residualRms) + ")");
        return;
    }
    FLag = bestLag;
    FGain = best;
    FPhase = Phase::Playing;
    FPhaseMs = NowMs();
}

float Player::Residual(std::int64_t frame) const
{
    const std::int64_t n = frame - FLag;
    const float played = n >= 0 && n < FWritten ? FPlayed[n] : 0.0f;
    return FRecorded[frame] - static_cast<float>(FGain) * played;
}

void Player::Play()
{
    const auto recorded = static_cast<std::int64_t>(FRecorded.size());
    FLive.Feed(recorded, [this](std::int64_t f) { return Residual(f); });
    ScheduleHits();
    if (FEnd >= 0 && FWritten >= FEnd && recorded >= FEnd + FLag + kTailFrames) {
        FPhase = Phase::Done;
        return;
    }
    const auto expectedMs =
        static_cast<std::int64_t>((FOptions.FHits * FOptions.FEvery + 4) * FPeriod / kFramesPerMs) + 10000;
    if (NowMs() - FPhaseMs > expectedMs) {
        Fail("the take did not end in time (is the sink running?)");
    }
}

void Player::ScheduleHits()
{
    const auto& clicks = FLive.Clicks().empty() ? FHeard.Clicks() : FLive.Clicks();
    const Click& last = clicks.back();
    // The clicks are counted from the first one heard; the latest one heard predicts the next.
    const std::int64_t lastBeat = std::llround(static_cast<double>(last.FStart - FFirstClick) / FPeriod);
    const auto clickAt = [&](std::int64_t beat) {
        return last.FStart + std::llround(static_cast<double>(beat - lastBeat) * FPeriod);
    };
    while (FNextHit < FHits.size()) {
        Hit& hit = FHits[FNextHit];
        const std::int64_t offset = std::llround(hit.FPlanned * kFramesPerMs);
        if (FNextHit == 0) {
            FFirstBeat = lastBeat + 1;
            while (clickAt(FFirstBeat) + offset - FLag < FWritten + kMinLeadFrames) {
                ++FFirstBeat;
            }
        }
        hit.FBeat = FFirstBeat + static_cast<std::int64_t>(FNextHit) * FOptions.FEvery;
        const std::int64_t frame = clickAt(hit.FBeat) + offset - FLag;
        if (frame - FWritten > kLeadFrames) {
            return;
        }
        if (frame < FWritten) {
            Fail("hit " + std::to_string(FNextHit) + " came too late to be played at its place");
            return;
        }
        std::vector<float> sound(static_cast<std::size_t>(
            hit.FAttack == SyntheticTake::Attack::Drum ? kRate / 4 : kRate * 6 / 10));
        const auto seed = static_cast<std::uint32_t>(1000 + FNextHit);
        SyntheticTake::AddHit(sound, 0, hit.FAttack, 1.0f, seed);
        float peak = 0;
        for (float s : sound) {
            peak = std::max(peak, std::fabs(s));
        }
        // Near a click, the hit's peak as heard (through the server's gain) sits below the click's;
        // elsewhere it is played at the usual level.
        const float level = std::fabs(hit.FPlanned) <= kNearMs
                                ? static_cast<float>(kNearShare * FClickPeak / (FGain * peak))
                                : kFarLevel;
        if (frame + static_cast<std::int64_t>(sound.size()) + kTailFrames >
            static_cast<std::int64_t>(FPlayed.size())) {
            Fail("the take ran longer than its buffer");
            return;
        }
        for (std::size_t i = 0; i < sound.size(); ++i) {
            FPlayed[static_cast<std::size_t>(frame) + i] += level * sound[i];
        }
        hit.FFrame = frame;
        hit.FLength = static_cast<std::int64_t>(sound.size());
        hit.FPeak = static_cast<float>(FGain * level * peak);
        ++FNextHit;
        if (FNextHit == FHits.size()) {
            // The noise fades out well after the last hit has died away.
            FTakeEnd = frame + hit.FLength;
            FEnd = FTakeEnd + kRate / 2;
            for (std::int64_t i = 0; i < kFadeFrames; ++i) {
                FPlayed[FEnd - kFadeFrames + i] *= static_cast<float>(kFadeFrames - i) / kFadeFrames;
            }
        }
    }
}

void Player::Save() const
{
    const auto write = [](const std::string& path, const float* samples, std::size_t count) {
        if (path.empty()) {
            return;
        }
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(samples, sizeof(float), count, file) != count) {
            std::fprintf(stderr, "coach_player: could not write %s\n", path.c_str());
        }
        if (file) {
            std::fclose(file);
        }
    };
    write(FOptions.FSave, FRecorded.data(), FRecorded.size());
    write(FOptions.FSaveTake, FPlayed.data(), static_cast<std::size_t>(FWritten));
}

// Up to a few lines of each kind of fault on stderr, then only their count.
class Faults
{
public:
    template <typename... Args> void Report(int kind, const char* format, Args... args)
    {
        if (++FCount[kind] <= kShown) {
            std::fprintf(stderr, format, args...);
        }
    }
    int Count(int kind) const { return FCount[kind]; }
    void Summary(int kind, const char* what) const
    {
        if (FCount[kind] > kShown) {
            std::fprintf(stderr, "coach_player: ... %d %s in all\n", FCount[kind], what);
        }
    }

private:
    static constexpr int kShown = 5;
    int FCount[3] = {0, 0, 0};
};

int Player::Analyse()
{
    const auto recorded = static_cast<std::int64_t>(FRecorded.size());
    std::vector<float> residual(FRecorded.size());
    for (std::int64_t f = 0; f < recorded; ++f) {
        residual[f] = Residual(f);
    }
    // The clicks alone, found again from the start at the finest level.
    ClickFinder finder(0.01f, kFirstSample);
    finder.Feed(recorded, [&](std::int64_t f) { return residual[f]; });
    std::vector<Click> clicks = finder.Clicks();
    if (finder.Open()) {
        clicks.pop_back();
    }
    const auto span = FClickLength + kClickMargin;
    while (!clicks.empty() && clicks.back().FStart + span > recorded) {
        clicks.pop_back();
    }
    if (clicks.size() < 2) {
        std::fprintf(stderr, "coach_player: only %zu clicks in the recording less the take\n", clicks.size());
        return 1;
    }
    Faults faults;
    enum { kEdgeFault, kCopyFault, kHitFault };

    // Each click's first sample begins its edge: the edge's magnitude, a straight line over its
    // first 1 ms, comes back to zero half a sample before it.
    double worstEdge = 0;
    for (const Click& c : clicks) {
        double si = 0, sy = 0, sii = 0, siy = 0;
        constexpr int kEdge = 48;
        for (int i = 0; i < kEdge; ++i) {
            const double y = std::fabs(residual[c.FStart + i]);
            si += i;
            sy += y;
            sii += static_cast<double>(i) * i;
            siy += i * y;
        }
        const double slope = (kEdge * siy - si * sy) / (kEdge * sii - si * si);
        const double intercept = (sy - slope * si) / kEdge;
        double misfit = 0;
        for (int i = 0; i < kEdge; ++i) {
            misfit = std::max(misfit, std::fabs(std::fabs(residual[c.FStart + i]) - (intercept + slope * i)));
        }
        const double zero = slope > 0 ? -intercept / slope : -1e9;
        if (slope <= 0 || std::fabs(zero + 0.5) > 0.5 || misfit > 0.02 * slope * kEdge + kFirstSample) {
            faults.Report(kEdgeFault,
                          "coach_player: the click at recording frame %lld does not begin with a linear edge "
                          "(zero at %+.2f samples, slope %.2e, misfit %.2e)\n",
                          static_cast<long long>(c.FStart), zero, slope, misfit);
        } else {
            worstEdge = std::max(worstEdge, std::fabs(zero + 0.5));
        }
    }

    // The clicks are copies of each other: each one, where a hit overlapped it too, must match one
    // heard alone, or the take was not taken out exactly.
    const auto overlapsHit = [&](std::int64_t from, std::int64_t to) {
        for (std::size_t i = 0; i < FNextHit; ++i) {
            const std::int64_t start = FHits[i].FFrame + FLag;
            if (start < to && start + FHits[i].FLength > from) {
                return true;
            }
        }
        return false;
    };
    std::vector<std::int64_t> templates;
    int compared = 0;
    int uncompared = 0;
    double worstCopy = 0;
    for (const Click& c : clicks) {
        double bestDiff = 1e9;
        for (std::int64_t t : templates) {
            double diff = 0;
            for (std::int64_t i = -kClickMargin; i < span; ++i) {
                diff =
                    std::max(diff, static_cast<double>(std::fabs(residual[c.FStart + i] - residual[t + i])));
            }
            bestDiff = std::min(bestDiff, diff);
        }
        const bool overlapped = overlapsHit(c.FStart - kClickMargin, c.FStart + span);
        if (bestDiff < 5 * kFirstSample) {
            ++compared;
            worstCopy = std::max(worstCopy, bestDiff);
        } else if (!overlapped) {
            templates.push_back(c.FStart);
        } else if (templates.empty()) {
            ++uncompared;
        } else {
            faults.Report(
                kCopyFault,
                "coach_player: the click at recording frame %lld, under a hit, matches no click heard "
                "alone (by %.2e)\n",
                static_cast<long long>(c.FStart), bestDiff);
        }
    }

    // Around each hit, away from the clicks, nothing may be left; and one frame either way must
    // leave the hit's noise and attack behind: the take sits exactly where it was measured to.
    const auto inClick = [&](std::int64_t f) {
        for (const Click& c : clicks) {
            if (f >= c.FStart - 2 && f < c.FStart + span) {
                return true;
            }
        }
        return false;
    };
    double worstRms = 0;
    double worstPeak = 0;
    double worstShift = 1e9;
    for (std::size_t i = 0; i < FNextHit; ++i) {
        const Hit& hit = FHits[i];
        const std::int64_t from = std::max<std::int64_t>(hit.FFrame + FLag - kRate / 20, FLag);
        const std::int64_t to =
            std::min<std::int64_t>(hit.FFrame + FLag + hit.FLength + kRate / 20, recorded);
        std::vector<char> skip(static_cast<std::size_t>(to - from));
        for (std::int64_t f = from; f < to; ++f) {
            skip[f - from] = inClick(f) ? 1 : 0;
        }
        double energy[3] = {0, 0, 0};
        double peak = 0;
        double take = 0;
        std::int64_t count = 0;
        for (std::int64_t f = from; f < to; ++f) {
            if (skip[f - from]) {
                continue;
            }
            for (int s = -1; s <= 1; ++s) {
                const std::int64_t n = f - FLag + s;
                const float played = n >= 0 && n < FWritten ? FPlayed[n] : 0.0f;
                const double d = FRecorded[f] - FGain * played;
                energy[s + 1] += d * d;
                if (s == 0) {
                    peak = std::max(peak, std::fabs(d));
                    take += static_cast<double>(played) * played;
                }
            }
            ++count;
        }
        const double rms = std::sqrt(energy[1] / std::max<std::int64_t>(count, 1));
        const double shift = std::min(energy[0], energy[2]) / std::max(energy[1], 1e-30);
        worstRms = std::max(worstRms, rms);
        worstPeak = std::max(worstPeak, peak);
        worstShift = std::min(worstShift, shift);
        if (count < kRate / 10 || rms > kFirstSample / 4 || peak > 5 * kFirstSample || shift < 100) {
            faults.Report(
                kHitFault,
                "coach_player: hit %zu is not taken out of the recording (residual rms %.2e, peak %.2e "
                "against the take's rms %.2e; one frame off leaves %.1f times as much)\n",
                i, rms, peak, std::sqrt(take / std::max<std::int64_t>(count, 1)), shift);
        }
    }
    std::fprintf(
        stderr,
        "coach_player: around the hits the recording less the take is at most rms %.2e, peak %.2e; one "
        "frame off it is at least %.0f times the energy\n",
        worstRms, worstPeak, worstShift);
    faults.Summary(kEdgeFault, "clicks without a linear edge");
    faults.Summary(kCopyFault, "clicks under a hit unlike any heard alone");
    faults.Summary(kHitFault, "hits not taken out");
    std::fprintf(
        stderr,
        "coach_player: %zu clicks; %d with a linear edge, starting within %.2f samples of the expected "
        "half sample; %d match one heard alone (worst by %.2e), %d unlike any, %d not compared\n",
        clicks.size(), static_cast<int>(clicks.size()) - faults.Count(kEdgeFault), worstEdge, compared,
        worstCopy, faults.Count(kCopyFault), uncompared);
    bool ok = faults.Count(kEdgeFault) + faults.Count(kCopyFault) + faults.Count(kHitFault) == 0;

    std::vector<std::int64_t> gaps;
    for (std::size_t i = 1; i < clicks.size(); ++i) {
        gaps.push_back(clicks[i].FStart - clicks[i - 1].FStart);
    }
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    const std::int64_t period = gaps[gaps.size() / 2];

    const int overflows = FPlayOverflows + FRecordOverflows;
    if (FNextHit < FHits.size()) {
        std::fprintf(stderr, "coach_player: only %zu of %zu hits were played\n", FNextHit, FHits.size());
        ok = false;
    }
    if (FUnderflows > 0 || overflows > 0) {
        std::fprintf(stderr, "coach_player: %d underflows and %d overflows during the take\n", FUnderflows,
                     overflows);
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "coach_player: the truth cannot be taken from this recording\n");
        return 1;
    }

    double worstDrift = 0;
    for (std::size_t i = 0; i < FHits.size(); ++i) {
        const Hit& hit = FHits[i];
        const std::int64_t start = hit.FFrame + FLag;
        const Click* nearest = &clicks.front();
        for (const Click& c : clicks) {
            if (std::llabs(start - c.FStart) < std::llabs(start - nearest->FStart)) {
                nearest = &c;
            }
        }
        const double truth = static_cast<double>(start - nearest->FStart) / kFramesPerMs;
        worstDrift = std::max(worstDrift, std::fabs(truth - hit.FPlanned));
        std::printf("hit %zu %s %.3f %g\n", i, SyntheticTake::Name(hit.FAttack), truth, hit.FPlanned);
        std::fprintf(stderr, "coach_player: hit %zu at recording frame %lld, click at %lld, peak %.3f\n", i,
                     static_cast<long long>(start), static_cast<long long>(nearest->FStart), hit.FPeak);
    }
    std::printf("clicks %zu period %lld underflows %d overflows %d\n", clicks.size(),
                static_cast<long long>(period), FUnderflows, overflows);
    std::fprintf(stderr, "coach_player: the true offsets are within %.3f ms of the planned ones\n",
                 worstDrift);
    return 0;
}

[[noreturn]] void Usage(const char* why)
{
    std::fprintf(stderr,
                 "coach_player: %s\nusage: coach_player [--hits N] [--offsets \"MS MS ...\"] [--every BEATS] "
                 "[--follow CLICKS] [--sink NAME] [--source NAME] [--save FILE] [--save-take FILE]\n",
                 why);
    std::exit(2);
}

int Whole(const char* text, int low, int high)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) {
        Usage("a whole number out of range");
    }
    return static_cast<int>(value);
}

} // namespace

int main(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            Usage(("unknown or incomplete argument " + arg).c_str());
        }
        const char* value = argv[++i];
        if (arg == "--hits") {
            options.FHits = Whole(value, 1, 1000);
        } else if (arg == "--every") {
            options.FEvery = Whole(value, 1, 16);
        } else if (arg == "--follow") {
            options.FFollow = Whole(value, 2, 64);
        } else if (arg == "--offsets") {
            options.FOffsets.clear();
            std::string text = value;
            std::replace(text.begin(), text.end(), ',', ' ');
            std::istringstream in(text);
            double ms = 0;
            while (in >> ms) {
                if (std::fabs(ms) > 200) {
                    Usage("an offset beyond 200 ms");
                }
                options.FOffsets.push_back(ms);
            }
            if (!in.eof() || options.FOffsets.empty()) {
                Usage("the offsets are not a list of numbers");
            }
        } else if (arg == "--sink") {
            options.FSink = value;
        } else if (arg == "--source") {
            options.FSource = value;
        } else if (arg == "--save") {
            options.FSave = value;
        } else if (arg == "--save-take") {
            options.FSaveTake = value;
        } else {
            Usage(("unknown argument " + arg).c_str());
        }
    }
    Player player(options);
    return player.Run();
}
