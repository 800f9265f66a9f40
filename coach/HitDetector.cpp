#include "HitDetector.h"

#include <aubio/aubio.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <mutex>

namespace {

// aubio is opened when the coach first listens, not linked: it brings about 140 libraries
// (FFmpeg's among them), which took 21 ms of every start of the program.
struct Aubio
{
    decltype(&new_aubio_onset) FNewOnset = nullptr;
    decltype(&aubio_onset_set_threshold) FSetThreshold = nullptr;
    decltype(&aubio_onset_set_minioi_ms) FSetMinIoiMs = nullptr;
    decltype(&aubio_onset_do) FDo = nullptr;
    decltype(&aubio_onset_get_last) FGetLast = nullptr;
    decltype(&del_aubio_onset) FDelOnset = nullptr;
    decltype(&new_fvec) FNewFvec = nullptr;
    decltype(&del_fvec) FDelFvec = nullptr;
    bool FLoaded = false;
};

const Aubio& LoadAubio()
{
    static Aubio aubio;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen(TIKTAKON_AUBIO_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "tiktakon: %s\n", dlerror());
            return;
        }
        const auto get = [library](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            return function != nullptr;
        };
        aubio.FLoaded = get(aubio.FNewOnset, "new_aubio_onset") &&
                        get(aubio.FSetThreshold, "aubio_onset_set_threshold") &&
                        get(aubio.FSetMinIoiMs, "aubio_onset_set_minioi_ms") && get(aubio.FDo, "aubio_onset_do") &&
                        get(aubio.FGetLast, "aubio_onset_get_last") && get(aubio.FDelOnset, "del_aubio_onset") &&
                        get(aubio.FNewFvec, "new_fvec") && get(aubio.FDelFvec, "del_fvec");
        // The library stays open for the life of the program.
    });
    return aubio;
}

// The signal kept for placing hits: about 170 ms at 48 kHz.
constexpr std::size_t kKeep = 8192;
// Where the attack's start is looked for around aubio's estimate, and how long it waits after it.
constexpr std::int64_t kBefore = 1536;
constexpr std::int64_t kAfter = 768;
// An attack begins after this many samples below the threshold (longer than the gaps a
// low-pitched hit's own zero crossings leave).
constexpr int kQuietRun = 48;
// The envelope's reach: half a period of the lowest guitar string.
constexpr std::int64_t kEnvelope = 288;
// Quieter than this (−36 dBFS) is background, whatever rang before it.
constexpr float kQuietest = 0.015f;
// Two hits closer than this are one.
constexpr double kMinGapMs = 30.0;

} // namespace

struct HitDetector::Impl
{
    int FRate;
    const Aubio* FAubio = nullptr;
    aubio_onset_t* FOnset = nullptr;
    fvec_t* FIn = nullptr;
    fvec_t* FOut = nullptr;
    int FFill = 0;
    bool FStarted = false;
    std::int64_t FFirst = 0;        // the absolute frame aubio's count begins at
    std::int64_t FNext = 0;         // the next frame expected
    std::int64_t FFed = 0;          // samples aubio has had
    std::vector<float> FRing = std::vector<float>(kKeep, 0.0f);
    std::deque<std::int64_t> FPending; // aubio's onsets, waiting for the rest of their attack
    double FLastHit = -1e18;
};

HitDetector::HitDetector(int rate, const char* method, float threshold) : FImpl(std::make_unique<Impl>())
{
    Impl& d = *FImpl;
    d.FRate = rate;
    const Aubio& aubio = LoadAubio();
    d.FAubio = &aubio;
    if (!aubio.FLoaded) {
        return; // without aubio no hit is found; the reason went to the error output once
    }
    d.FOnset = aubio.FNewOnset(method, 4 * Hop, Hop, static_cast<uint_t>(rate));
    if (!d.FOnset) {
        return;
    }
    aubio.FSetThreshold(d.FOnset, threshold);
    aubio.FSetMinIoiMs(d.FOnset, static_cast<smpl_t>(kMinGapMs));
    d.FIn = aubio.FNewFvec(Hop);
    d.FOut = aubio.FNewFvec(1);
}

HitDetector::~HitDetector()
{
    const Impl& d = *FImpl;
    if (d.FOnset) {
        d.FAubio->FDelOnset(d.FOnset);
        d.FAubio->FDelFvec(d.FIn);
        d.FAubio->FDelFvec(d.FOut);
    }
}

bool HitDetector::Works() const
{
    return FImpl->FOnset != nullptr;
}

float HitDetector::At(std::int64_t frame) const
{
    return FImpl->FRing[static_cast<std::size_t>(frame) % kKeep];
}

void HitDetector::Process(std::int64_t frame, const float* samples, int count, std::vector<Hit>& hits)
{
    Impl& d = *FImpl;
    if (!d.FOnset) {
        return;
    }
    if (!d.FStarted) {
        d.FStarted = true;
        d.FFirst = frame;
        d.FNext = frame;
    }
    for (int i = 0; i < count; ++i) {
        const std::int64_t f = frame + i;
        d.FRing[static_cast<std::size_t>(f) % kKeep] = samples[i];
        d.FIn->data[d.FFill++] = samples[i];
        if (d.FFill == Hop) {
            d.FFill = 0;
            d.FAubio->FDo(d.FOnset, d.FIn, d.FOut);
            d.FFed += Hop;
            // Right at the start aubio's delay correction can wrap below zero: no such onset.
            const auto last = static_cast<std::int64_t>(d.FAubio->FGetLast(d.FOnset));
            if (d.FOut->data[0] != 0 && last <= d.FFed) {
                d.FPending.push_back(d.FFirst + last);
            }
        }
        d.FNext = f + 1;
        while (!d.FPending.empty() && d.FPending.front() + kAfter <= d.FNext) {
            const std::int64_t candidate = d.FPending.front();
            d.FPending.pop_front();
            Refine(candidate, hits);
        }
    }
}

void HitDetector::Refine(std::int64_t candidate, std::vector<Hit>& hits)
{
    Impl& d = *FImpl;
    const std::int64_t from = std::max(candidate - kBefore, d.FNext - static_cast<std::int64_t>(kKeep) + 1);
    if (from < d.FFirst) {
        return; // the detector's start-up: nothing before it to set the attack against
    }
    const std::int64_t to = std::min(candidate + kAfter, d.FNext);
    if (to - from < 2 * kQuietRun) {
        return;
    }
    // The attack's peak near aubio's estimate, and the noise before the window.
    std::int64_t peakAt = candidate;
    float peak = 0;
    for (std::int64_t f = std::max(from, candidate - kBefore / 4); f < to; ++f) {
        if (std::abs(At(f)) > peak) {
            peak = std::abs(At(f));
            peakAt = f;
        }
    }
    std::vector<float> before;
    for (std::int64_t f = from; f < from + kBefore / 3; ++f) {
        before.push_back(std::abs(At(f)));
    }
    std::nth_element(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(before.size() * 9 / 10),
                     before.end());
    const float noise = before[before.size() * 9 / 10];
    if (peak < kQuietest || peak < 1.5f * noise) {
        return; // nothing standing out of what rang before, or the room's own hiss: not a hit
    }
    // A fifth of the way from what rang before (noise, an earlier hit's tail) up to the peak.
    const float threshold = noise + 0.2f * (peak - noise);
    // The envelope: the largest magnitude over the last few milliseconds, so that a low note's
    // own zero crossings are no quiet run. From the peak back to the last quiet run: the attack
    // begins right after it, where the signal first reaches the threshold.
    const auto envelopeAt = [this](std::int64_t f) {
        float e = 0;
        for (std::int64_t g = f - kEnvelope + 1; g <= f; ++g) {
            e = std::max(e, std::abs(At(g)));
        }
        return e;
    };
    std::int64_t start = -1;
    int quiet = 0;
    for (std::int64_t f = peakAt; f >= from + kEnvelope; --f) {
        if (envelopeAt(f) < threshold) {
            if (++quiet == kQuietRun) {
                start = f + kQuietRun;
                break;
            }
        } else {
            quiet = 0;
        }
    }
    if (start < 0) {
        return;
    }
    while (start < peakAt && std::abs(At(start)) < threshold) {
        ++start;
    }
    // To a fraction of a sample: where the rise crosses the threshold.
    const float a = std::abs(At(start - 1));
    const float b = std::abs(At(start));
    const double exact = static_cast<double>(start - 1) + (b > a ? (threshold - a) / (b - a) : 1.0);
    if (exact - d.FLastHit < kMinGapMs * d.FRate / 1000.0) {
        return;
    }
    d.FLastHit = exact;
    hits.push_back({exact, peak});
}
