#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <limits>

// One practice session as the timing coach measured it: how early or late the player's hits
// came against the beat. Offsets are in milliseconds, negative for early.
struct PracticeSession
{
    QByteArray FProfileId; // the profile's 16-byte practice id; empty when played without a profile
    QString FProfileName;
    QDateTime FStart; // UTC
    int FDurationSeconds = 0;
    int FTempo = 0;       // BPM
    int FSubdivision = 1; // clicks per beat, 1..4
    int FHitCount = 0;
    double FMeanOffsetMs = 0;
    double FSpreadMs = 0;         // standard deviation of the offsets
    QList<double> FBeatOffsetsMs; // the mean offset of each beat of the bar, at most 8
    double FSilentDriftBpm = std::numeric_limits<double>::quiet_NaN(); // NaN: no silent bars
};
