#pragma once

#include <QString>

#include <memory>

struct SampleBuffer;

// Decoded sound files, kept by path and modification time, converted to the stream's rate and
// to stereo. Main thread only.
namespace WaveCache {

// The longest stretch of a file that is decoded; the rest of a longer file is not read.
constexpr double kMaxSeconds = 30.0;

// True for an existing file that is not a folder; false for an empty or missing name.
bool FileExists(const QString& path);
// The file decoded at `rate`, from the cache while the file's modification time is unchanged;
// null when it cannot be decoded.
std::shared_ptr<const SampleBuffer> Load(const QString& path, int rate);
// The desktop's default alert sound at `rate`: the sound theme's bell, or a built-in bell.
std::shared_ptr<const SampleBuffer> DefaultBeep(int rate);
// A built-in bell at `rate` (used where the sound theme is missing).
std::shared_ptr<const SampleBuffer> SynthesisedBell(int rate);
// The sound theme file the default beep uses; empty when none is installed.
QString DefaultBeepPath();
// How many files were decoded (not taken from the cache) so far.
int DecodeCount();
void Clear();

} // namespace WaveCache
