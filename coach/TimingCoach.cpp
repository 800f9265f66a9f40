#include "TimingCoach.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr std::size_t kInputMask = (std::size_t{1} << 17) - 1;
// The part of a click that is looked for: from 2 ms before its frame to 83 ms after, its end
// included (a tone's periods alike, only its edges tell one period from the next).
constexpr int kClickLead = 96;
constexpr int kClickLength = 4096;
// Once locked, the delay is looked for this close to the last one; before, this wide; in a
// calibration, wider still.
constexpr std::int64_t kNarrow = 48;
constexpr std::int64_t kWide = 4800;
constexpr std::int64_t kCalibrationWide = 9600;
// A click counts as found when it explains most of what the input holds there.
constexpr double kFoundCorrelation = 0.8;
constexpr std::size_t kBeatsKept = 64;
// The hits are looked for this far behind the input, so that a click is located (and can be
// taken out) before the detector sees it.
constexpr std::int64_t kLag = kClickLead + kClickLength + 2 * kWide;

} // namespace

TimingCoach::TimingCoach(PlayedReader played) : FPlayed(std::move(played)) {}

void TimingCoach::AddBeat(const Beat& beat)
{
    std::lock_guard lock(FMutex);
    FBeats.push_back(beat);
    if (FBeats.size() > kBeatsKept) {
        FBeats.erase(FBeats.begin());
    }
    if (beat.FSilent) {
        return;
    }
    for (int k = 0; k < std::max(1, beat.FSubdivision); ++k) {
        FClicks.push_back({std::llround(beat.FFrame + beat.FSpanFrames * k / std::max(1, beat.FSubdivision)), false});
    }
}

void TimingCoach::SetDelay(double frames)
{
    std::lock_guard lock(FMutex);
    FDelay = frames;
    FLocked = false;
}

double TimingCoach::Delay() const
{
    std::lock_guard lock(FMutex);
    return FDelay;
}

bool TimingCoach::DelayFromClicks() const
{
    std::lock_guard lock(FMutex);
    return FLocked;
}

void TimingCoach::SetManualOffsetMs(double ms)
{
    std::lock_guard lock(FMutex);
    FManualMs = ms;
}

void TimingCoach::Calibrate(const std::vector<std::int64_t>& clickFrames)
{
    std::lock_guard lock(FMutex);
    FCalibrationDelays.clear();
    FCalibrationLeft = clickFrames.size();
    FCalibrationTotal = clickFrames.size();
    FCalibrationResult.reset();
    for (std::int64_t frame : clickFrames) {
        FClicks.push_back({frame, true});
    }
}

std::optional<std::optional<double>> TimingCoach::CalibrationResult()
{
    std::lock_guard lock(FMutex);
    auto result = FCalibrationResult;
    FCalibrationResult.reset();
    return result;
}

void TimingCoach::Reset()
{
    std::lock_guard lock(FMutex);
    FHits.clear();
    FBeats.clear();
}

float TimingCoach::InputAt(std::int64_t frame) const
{
    if (frame < 0 || frame >= FInputEnd || FInputEnd - frame > static_cast<std::int64_t>(kInputMask)) {
        return 0.0f;
    }
    return FInput[static_cast<std::size_t>(frame) & kInputMask];
}

// The lag (input frame minus output frame) in [lowLag, highLag] at which what was played from
// `outFrame` on best matches the input, with the normalised correlation there; nothing when the
// output was silent or not kept.
std::optional<std::pair<double, double>> TimingCoach::Correlate(std::int64_t outFrame, std::int64_t lowLag,
                                                                std::int64_t highLag) const
{
    std::vector<float> ref(kClickLength);
    if (!FPlayed(outFrame - kClickLead, kClickLength, ref.data())) {
        return std::nullopt;
    }
    const double refEnergy = std::inner_product(ref.begin(), ref.end(), ref.begin(), 0.0);
    if (refEnergy < 1e-6) {
        return std::nullopt;
    }
    // The input over every lag looked at, and its running energy: each lag is judged by the
    // normalised correlation, so a periodic click one period off (as loud, but not as like) loses.
    const std::int64_t first = outFrame - kClickLead + lowLag;
    const auto span = static_cast<std::size_t>(highLag - lowLag + kClickLength);
    std::vector<float> in(span);
    std::vector<double> energy(span + 1, 0.0);
    for (std::size_t i = 0; i < span; ++i) {
        in[i] = InputAt(first + static_cast<std::int64_t>(i));
        energy[i + 1] = energy[i] + static_cast<double>(in[i]) * in[i];
    }
    double best = 0;
    std::int64_t bestLag = 0;
    for (std::int64_t lag = lowLag; lag <= highLag; ++lag) {
        const auto at = static_cast<std::size_t>(lag - lowLag);
        const double inEnergy = energy[at + kClickLength] - energy[at];
        if (inEnergy <= 0) {
            continue;
        }
        double dot = 0;
        for (int i = 0; i < kClickLength; ++i) {
            dot += ref[static_cast<std::size_t>(i)] * in[at + static_cast<std::size_t>(i)];
        }
        const double score = dot / std::sqrt(refEnergy * inEnergy);
        if (score > best) {
            best = score;
            bestLag = lag;
        }
    }
    if (best <= 0) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<double>(bestLag), best);
}

void TimingCoach::Locate(const Pending& click)
{
    double delay;
    bool locked;
    {
        std::lock_guard lock(FMutex);
        delay = FDelay;
        locked = FLocked;
    }
    const auto d = static_cast<std::int64_t>(std::llround(delay));
    const std::int64_t reach = click.FCalibration ? kCalibrationWide : locked ? kNarrow : kWide;
    const auto found = Correlate(click.FOutFrame, d - reach, d + reach);
    std::lock_guard lock(FMutex);
    if (click.FCalibration) {
        if (found && found->second >= kFoundCorrelation) {
            FCalibrationDelays.push_back(found->first);
        }
        if (FCalibrationLeft > 0 && --FCalibrationLeft == 0) {
            std::vector<double> delays = FCalibrationDelays;
            // Most of the clicks heard, or the calibration failed (nothing, or an echo).
            if (delays.size() * 2 > FCalibrationTotal && delays.size() >= 2) {
                std::sort(delays.begin(), delays.end());
                FCalibrationResult = std::optional<double>(delays[delays.size() / 2]);
            } else {
                FCalibrationResult = std::optional<double>();
            }
        }
        return;
    }
    if (!found || found->second < kFoundCorrelation) {
        return;
    }
    FDelay = found->first;
    FLocked = true;
    // The click's level in the input: what is taken out of it.
    std::vector<float> ref(kClickLength);
    if (FPlayed(click.FOutFrame - kClickLead, kClickLength, ref.data())) {
        const std::int64_t base = click.FOutFrame - kClickLead + static_cast<std::int64_t>(found->first);
        double dot = 0;
        double energy = 0;
        for (int i = 0; i < kClickLength; ++i) {
            dot += ref[static_cast<std::size_t>(i)] * InputAt(base + i);
            energy += static_cast<double>(ref[static_cast<std::size_t>(i)]) * ref[static_cast<std::size_t>(i)];
        }
        // The median of the last few: a hit on the click adds to one of them only.
        FGains.push_back(std::clamp(dot / energy, 0.0, 8.0));
        if (FGains.size() > 5) {
            FGains.erase(FGains.begin());
        }
        std::vector<double> sorted = FGains;
        std::sort(sorted.begin(), sorted.end());
        FGain = sorted[sorted.size() / 2];
    }
}

void TimingCoach::Input(std::int64_t frame, const float* samples, int count, std::vector<Hit>& hits)
{
    for (int i = 0; i < count; ++i) {
        FInput[static_cast<std::size_t>(frame + i) & kInputMask] = samples[i];
    }
    FInputEnd = frame + count;

    // Clicks whose whole window (and the search around it) is now in the input.
    std::vector<Pending> due;
    {
        std::lock_guard lock(FMutex);
        const auto d = static_cast<std::int64_t>(std::llround(FDelay));
        for (auto it = FClicks.begin(); it != FClicks.end();) {
            const std::int64_t reach = it->FCalibration ? kCalibrationWide : FLocked ? kNarrow : kWide;
            if (it->FOutFrame - kClickLead + d + reach + kClickLength <= FInputEnd) {
                due.push_back(*it);
                it = FClicks.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Pending& click : due) {
        Locate(click);
    }

    // The program's own sound taken out, as far as the input hears it, behind the clicks located.
    const std::int64_t ready = FInputEnd - kLag;
    if (FProcessed == INT64_MIN) {
        FProcessed = frame;
    }
    while (FProcessed < ready) {
        const int n = static_cast<int>(std::min<std::int64_t>(ready - FProcessed, 1024));
        double delay;
        double gain;
        {
            std::lock_guard lock(FMutex);
            delay = FDelay;
            gain = FLocked ? FGain : 0.0;
        }
        FReference.assign(static_cast<std::size_t>(n), 0.0f);
        FResidual.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            FResidual[static_cast<std::size_t>(i)] = InputAt(FProcessed + i);
        }
        if (gain > 0 && FPlayed(FProcessed - std::llround(delay), n, FReference.data())) {
            for (int i = 0; i < n; ++i) {
                FResidual[static_cast<std::size_t>(i)] -=
                    static_cast<float>(gain) * FReference[static_cast<std::size_t>(i)];
            }
        }
        FFound.clear();
        FDetector.Process(FProcessed, FResidual.data(), n, FFound);
        for (const HitDetector::Hit& h : FFound) {
            Score(h.FFrame, h.FPeak, hits);
        }
        FProcessed += n;
    }
}

void TimingCoach::Score(double inFrame, float peak, std::vector<Hit>& hits)
{
    std::lock_guard lock(FMutex);
    const double outFrame = inFrame - FDelay;
    // The nearest beat or subdivision.
    double bestDistance = 1e18;
    Hit hit;
    hit.FOutFrame = outFrame;
    hit.FPeak = peak;
    for (const Beat& b : FBeats) {
        const int n = std::max(1, b.FSubdivision);
        const bool last = &b == &FBeats.back();
        for (int k = 0; k < n || (last && k == n); ++k) {
            // k == n after the last beat: the next beat's place, for a hit early on a beat not yet laid.
            const double at = b.FFrame + b.FSpanFrames * k / n;
            const double distance = outFrame - at;
            if (std::abs(distance) < std::abs(bestDistance)) {
                bestDistance = distance;
                hit.FPosition = k == n ? -1 : b.FPosition;
                hit.FSilentBar = b.FSilent;
                hit.FBar = b.FBar;
            }
        }
    }
    if (FBeats.empty() || hit.FPosition < 0 || std::abs(bestDistance) > Rate) {
        return; // no beat near: the beat is not running, or the hit is early on one yet to come
    }
    hit.FOffsetMs = bestDistance * 1000.0 / Rate + FManualMs;
    FHits.push_back(hit);
    hits.push_back(hit);
}

std::vector<TimingCoach::Hit> TimingCoach::Hits() const
{
    std::lock_guard lock(FMutex);
    return FHits;
}

TimingCoach::Figures TimingCoach::Snapshot() const
{
    std::lock_guard lock(FMutex);
    Figures f;
    f.FHits = static_cast<int>(FHits.size());
    if (FHits.empty()) {
        return f;
    }
    double sum = 0;
    for (const Hit& h : FHits) {
        sum += h.FOffsetMs;
        const auto p = static_cast<std::size_t>(std::clamp(h.FPosition, 0, 7));
        f.FBeatMeanMs[p] += h.FOffsetMs;
        ++f.FBeatHits[p];
    }
    f.FMeanMs = sum / f.FHits;
    double squares = 0;
    for (const Hit& h : FHits) {
        squares += (h.FOffsetMs - f.FMeanMs) * (h.FOffsetMs - f.FMeanMs);
    }
    f.FSpreadMs = std::sqrt(squares / f.FHits);
    for (std::size_t p = 0; p < 8; ++p) {
        if (f.FBeatHits[p] > 0) {
            f.FBeatMeanMs[p] /= f.FBeatHits[p];
        }
    }
    // In the silent bars: the offset's slope over time is how far the player's tempo moved.
    double n = 0, st = 0, so = 0, stt = 0, sto = 0;
    int tempo = 0;
    for (const Hit& h : FHits) {
        if (!h.FSilentBar) {
            continue;
        }
        const double t = h.FOutFrame / Rate;
        n += 1;
        st += t;
        so += h.FOffsetMs;
        stt += t * t;
        sto += t * h.FOffsetMs;
    }
    for (const Beat& b : FBeats) {
        tempo = b.FTempo > 0 ? b.FTempo : tempo;
    }
    if (n >= 3 && tempo > 0 && n * stt - st * st > 1e-9) {
        const double slope = (n * sto - st * so) / (n * stt - st * st); // ms of lateness per second
        f.FDriftBpm = tempo / (1.0 + slope / 1000.0) - tempo;
    }
    return f;
}
