#pragma once

#include <QProcess>
#include <QString>

#include <cstdint>
#include <vector>

// Reading back what reached the null sink: a recording of its monitor and the sounds found in it.
// Shared by the sound tests and the timing benchmark.

struct Recording
{
    std::vector<float> FSamples; // mono
    int FRate = 0;
};

// One sound found in a recording.
struct Onset
{
    double FFrame = 0;    // where the level first crossed the threshold, to a fraction of a sample
    double FLengthMs = 0; // until the level stays below the threshold
    double FPeak = 0;
    double FFrequency = 0; // over the first 40 ms, from rising zero crossings; 0 when too few
};

// Reads a wav file written by parecord; empty on failure.
Recording ReadRecording(const QString& path);

// Sounds that start after at least `quietMs` below `threshold`.
std::vector<Onset> FindOnsets(const Recording& r, double threshold, double quietMs = 20.0);

// Records the null sink's monitor with parecord into a float32 mono 48 kHz wav file.
class SinkRecorder final
{
public:
    ~SinkRecorder();
    // Starts parecord and waits `leadMs` so that the first sound is never lost.
    bool Start(const QString& path, int leadMs = 300);
    // Ends the recording (parecord finishes the file on SIGINT).
    bool Stop();

private:
    QProcess FProcess;
};
