// Reads a recording of the null sink and prints the clicks found in it, for the end-to-end tests:
//   count N
//   click <seconds> <frequency Hz> <length ms>   (one line per click)
// Usage: clicks RECORDING.wav [threshold]
#include "SoundAnalysis.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: clicks RECORDING.wav [threshold]\n");
        return 2;
    }
    const Recording recording = ReadRecording(QString::fromLocal8Bit(argv[1]));
    if (recording.FRate <= 0) {
        std::fprintf(stderr, "clicks: cannot read %s\n", argv[1]);
        return 1;
    }
    const double threshold = argc > 2 ? std::atof(argv[2]) : 0.05;
    const std::vector<Onset> onsets = FindOnsets(recording, threshold);
    std::printf("count %zu\n", onsets.size());
    for (const Onset& onset : onsets) {
        std::printf("click %.6f %.1f %.1f\n", onset.FFrame / recording.FRate, onset.FFrequency, onset.FLengthMs);
    }
    return 0;
}
