#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Finds the player's hits in a mono signal: aubio's onset detector on hops of 64 samples finds
// them, and each is placed to the sample in the time domain, at the start of its attack (where
// it first rises clear of the noise before its peak). Used by one thread.
class HitDetector final
{
public:
    struct Hit
    {
        double FFrame = 0; // absolute frame of the attack's start
        float FPeak = 0;
    };

    static constexpr int Hop = 64;

    // The energy method at 0.5 found every hit of the synthetic takes (drum- and guitar-like, on
    // earlier hits' tails, quiet ones among them) with no false one; hfc, complex, specflux and kl
    // missed between 3 and 53 % of them (bench/coach_bench).
    explicit HitDetector(int rate, const char* method = "energy", float threshold = 0.5f);
    ~HitDetector();
    HitDetector(const HitDetector&) = delete;
    HitDetector& operator=(const HitDetector&) = delete;

    // False when aubio could not be opened (or knows no such method): nothing is ever found.
    bool Works() const;

    // Frames [frame, frame + count) in order; the hits whose attack is now complete are appended.
    void Process(std::int64_t frame, const float* samples, int count, std::vector<Hit>& hits);

private:
    void Refine(std::int64_t candidate, std::vector<Hit>& hits);
    float At(std::int64_t frame) const;

    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
