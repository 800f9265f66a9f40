#pragma once

#include <cstdint>
#include <vector>

// A player made of numbers: hits of two kinds of attack laid into a signal at exact frames, for
// the listening tests and the benchmark.
namespace SyntheticTake {

enum class Attack { Drum, Guitar };

// A drum-like hit (a noise burst with a low body, full level at once) or a guitar-like one (a
// plucked string's harmonics rising over 4 ms), starting exactly at `frame`, peaking near `level`.
void AddHit(std::vector<float>& signal, std::int64_t frame, Attack attack, float level, std::uint32_t seed);
// Steady background noise at an RMS level.
void AddNoise(std::vector<float>& signal, float rms, std::uint32_t seed);
// The program's tone click as the tone mode plays it: 440 Hz square, 50 ms, 1.5 ms edges.
void AddToneClick(std::vector<float>& signal, std::int64_t frame, float level);

const char* Name(Attack attack);

} // namespace SyntheticTake
