#pragma once

#include <cstddef>
#include <vector>

// A decoded sound, ready for the mixer: interleaved stereo float at the stream's rate.
// Immutable once built; the main thread shares it with the audio thread by shared_ptr.
struct SampleBuffer final
{
    std::vector<float> FSamples; // left, right, left, right, ...
    int FRate = 0;
    std::size_t FrameCount() const { return FSamples.size() / 2; }
};
