#include "BeatRules.h"

int BarNumber(int beatCounter, int beatsPerBar)
{
    return (beatCounter - 1) / beatsPerBar + 1;
}

std::uint32_t DrummerRandom::Draw(std::uint32_t n)
{
    FState = FState * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(FState) * n) >> 32);
}
