// Reads a recording of the null sink and prints the clicks found in it, for the end-to-end tests:
//   rate R
//   samples N                                    (the recording's length)
//   count N
//   click <seconds> <frequency Hz> <length ms> <peak>   (one line per click)
// With --frames a click's place is its onset's sample index instead of seconds, to a thousandth of
// a sample, so that a script can check every spacing against a whole number of samples.
// Usage: clicks [--frames] RECORDING.wav [threshold]
#include "SoundAnalysis.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[])
{
    const bool frames = argc > 1 && std::strcmp(argv[1], "--frames") == 0;
    if (frames) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: clicks [--frames] RECORDING.wav [threshold]\n");
        return 2;
    }
    const Recording recording = ReadRecording(QString::fromLocal8Bit(argv[1]));
    if (recording.FRate <= 0) {
        std::fprintf(stderr, "clicks: cannot read %s\n", argv[1]);
        return 1;
    }
    const double threshold = argc > 2 ? std::atof(argv[2]) : 0.05;
    const std::vector<Onset> onsets = FindOnsets(recording, threshold);
    std::printf("rate %d\nsamples %zu\ncount %zu\n", recording.FRate, recording.FSamples.size(),
                onsets.size());
    for (const Onset& onset : onsets) {
        if (frames) {
            std::printf("click %.3f %.1f %.1f %.4f\n", onset.FFrame, onset.FFrequency, onset.FLengthMs, onset.FPeak);
        } else {
            std::printf("click %.6f %.1f %.1f %.4f\n", onset.FFrame / recording.FRate, onset.FFrequency,
                        onset.FLengthMs, onset.FPeak);
        }
    }
    return 0;
}
