#pragma once

#include "HitDetector.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// Listens to the player against the beat. What the input hears is set against what the program
// played: the program's own clicks are found in the input by correlation with what it played,
// which gives the delay from the output to the input (output, air, input) to the sample, and
// are taken out of the signal; the hits left are found and each is set against the nearest beat
// or subdivision, all on the output's sample clock.
//
// AddBeat, SetDelay and the readers may be called on any thread; Input runs on one listening
// thread (never the audio server's).
class TimingCoach final
{
public:
    static constexpr int Rate = 48000;

    // A beat as the scheduler laid it, on the output's frames.
    struct Beat
    {
        double FFrame = 0;
        double FSpanFrames = 0; // the interval after it
        int FSubdivision = 1;
        int FPosition = 0;
        bool FSilent = false;   // a silent bar, or muted: nothing to hear or to take out
        bool FCountIn = false;
        int FTempo = 0;
        int FBar = 0; // bar number from 1; 0 in the count-in
    };
    struct Hit
    {
        double FOutFrame = 0;  // the hit on the output's frames
        double FOffsetMs = 0;  // against the nearest beat or subdivision; negative is early
        int FPosition = 0;     // the beat of the bar it belongs to
        bool FSilentBar = false;
        int FBar = 0;
        float FPeak = 0;
    };
    struct Figures
    {
        int FHits = 0;
        double FMeanMs = 0;   // rushing (negative) or dragging
        double FSpreadMs = 0; // standard deviation: steadiness
        std::array<double, 8> FBeatMeanMs{};
        std::array<int, 8> FBeatHits{};
        std::optional<double> FDriftBpm; // the player's tempo against the click in silent bars
    };

    // What the output played from an output frame on; false when it is not (or no longer) there.
    using PlayedReader = std::function<bool(std::int64_t from, int frames, float* mono)>;

    explicit TimingCoach(PlayedReader played);

    void AddBeat(const Beat& beat);
    // The delay from the output's frames to the input's (input frame = output frame + delay),
    // from the servers' timing and a calibration; the clicks found in the input refine it.
    void SetDelay(double frames);
    double Delay() const;
    bool DelayFromClicks() const; // the clicks were found in the input: the delay is measured
    // Added to every offset: the user's own correction in milliseconds.
    void SetManualOffsetMs(double ms);

    // The listening thread: the input's frames in order. Hits found are appended to `hits`.
    void Input(std::int64_t frame, const float* samples, int count, std::vector<Hit>& hits);

    // Calibration: clicks played at these output frames are looked for in the input over a wide
    // window; once all are heard, the delay found (the median) or nothing when they were not.
    void Calibrate(const std::vector<std::int64_t>& clickFrames);
    std::optional<std::optional<double>> CalibrationResult();

    Figures Snapshot() const;
    std::vector<Hit> Hits() const;
    void Reset();

private:
    struct Pending
    {
        std::int64_t FOutFrame;
        bool FCalibration;
    };
    void Locate(const Pending& click);
    std::optional<std::pair<double, double>> Correlate(std::int64_t outFrame, std::int64_t lowLag,
                                                       std::int64_t highLag) const;
    float InputAt(std::int64_t frame) const;
    void Score(double inFrame, float peak, std::vector<Hit>& hits);

    PlayedReader FPlayed;
    HitDetector FDetector{Rate};
    mutable std::mutex FMutex; // guards what other threads read or set
    std::vector<Beat> FBeats;   // the recent beats, oldest first
    std::vector<Pending> FClicks; // clicks to find in the input
    std::vector<double> FCalibrationDelays;
    std::size_t FCalibrationLeft = 0;
    std::size_t FCalibrationTotal = 0;
    std::optional<std::optional<double>> FCalibrationResult;
    double FDelay = 0;
    bool FLocked = false;
    std::vector<double> FGains;
    double FGain = 0;
    double FManualMs = 0;
    std::vector<Hit> FHits;

    // Listening thread only.
    std::vector<float> FInput = std::vector<float>(std::size_t{1} << 17, 0.0f); // by frame modulo
    std::int64_t FInputEnd = 0; // frames received so far
    std::int64_t FProcessed = INT64_MIN; // frames looked for hits so far
    std::vector<float> FReference;
    std::vector<float> FResidual;
    std::vector<HitDetector::Hit> FFound;
};
