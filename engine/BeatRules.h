#pragma once

#include <cstdint>

// Bar number of the beat with counter c in bars of n beats: beats 1, n+1, 2n+1 ... begin bars 1, 2, 3 ...
int BarNumber(int beatCounter, int beatsPerBar);

// The real drummer's own generator: state 0 at program start, never seeded from the time.
class DrummerRandom final
{
public:
    // A draw below n: the upper half of the 64-bit product of the new state and n.
    std::uint32_t Draw(std::uint32_t n);
    std::uint32_t State() const { return FState; }

private:
    std::uint32_t FState = 0;
};
