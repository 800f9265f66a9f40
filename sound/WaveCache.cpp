#include "WaveCache.h"

#include "SampleBuffer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Entry
{
    QDateTime FModified;
    qint64 FSize = 0;
    int FRate = 0;
    std::shared_ptr<const SampleBuffer> FBuffer;
};

QHash<QString, Entry>& Cache()
{
    static QHash<QString, Entry> cache;
    return cache;
}

int gDecodeCount = 0;

// Stereo from any channel count: mono to both sides, the first two channels as left and right,
// further channels spread evenly onto both.
std::vector<float> ToStereo(const std::vector<float>& in, int channels, sf_count_t frames)
{
    std::vector<float> out(static_cast<std::size_t>(frames) * 2);
    for (sf_count_t f = 0; f < frames; ++f) {
        const float* s = in.data() + f * channels;
        float l = s[0];
        float r = channels > 1 ? s[1] : s[0];
        if (channels > 2) {
            float rest = 0;
            for (int c = 2; c < channels; ++c) {
                rest += s[c];
            }
            rest /= static_cast<float>(channels - 2);
            l = (l + rest) * 0.5f;
            r = (r + rest) * 0.5f;
        }
        out[2 * f] = l;
        out[2 * f + 1] = r;
    }
    return out;
}

std::shared_ptr<const SampleBuffer> Resampled(std::vector<float> stereo, int fromRate, int toRate)
{
    auto buffer = std::make_shared<SampleBuffer>();
    buffer->FRate = toRate;
    if (fromRate == toRate) {
        buffer->FSamples = std::move(stereo);
        return buffer;
    }
    // Band-limited resampling; the sound keeps its own length.
    const std::size_t frames = stereo.size() / 2;
    const auto wanted =
        static_cast<std::size_t>(std::llround(static_cast<double>(frames) * toRate / fromRate));
    buffer->FSamples.assign(wanted * 2 + 2, 0.0f);
    SRC_DATA data{};
    data.data_in = stereo.data();
    data.input_frames = static_cast<long>(frames);
    data.data_out = buffer->FSamples.data();
    data.output_frames = static_cast<long>(wanted + 1);
    data.src_ratio = static_cast<double>(toRate) / fromRate;
    if (src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 2) != 0) {
        return nullptr;
    }
    buffer->FSamples.resize(std::min(static_cast<std::size_t>(data.output_frames_gen), wanted) * 2);
    return buffer;
}

// No sound file uses more; a header that claims more is not a sound this program can play.
constexpr int kMaxFileRate = 768000;
// What one decode reads at most, in samples of all channels together (30 s of 8 channels at
// 192 kHz): a header that claims a thousand channels must not make a huge file read whole.
constexpr sf_count_t kMaxInputSamples = sf_count_t(30) * 192000 * 8;
// Frames read per step: the memory a decode needs beyond its result stays small.
constexpr sf_count_t kChunkSamples = 65536;

std::shared_ptr<const SampleBuffer> Decode(const QString& path, int rate)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        return nullptr;
    }
    std::shared_ptr<const SampleBuffer> result;
    if (info.channels > 0 && info.samplerate > 0 && info.samplerate <= kMaxFileRate && info.frames > 0) {
        // A long file is cut short rather than read whole into memory.
        const sf_count_t limit = static_cast<sf_count_t>(WaveCache::kMaxSeconds * info.samplerate);
        const sf_count_t wanted = std::min({info.frames, limit, kMaxInputSamples / info.channels});
        // Read in steps and made stereo at once, so only the stereo sound is ever held whole.
        const sf_count_t step = std::max<sf_count_t>(1, kChunkSamples / info.channels);
        std::vector<float> raw(static_cast<std::size_t>(step * info.channels));
        std::vector<float> stereo;
        stereo.reserve(static_cast<std::size_t>(wanted) * 2);
        sf_count_t done = 0;
        while (done < wanted) {
            const sf_count_t got = sf_readf_float(file, raw.data(), std::min(step, wanted - done));
            if (got <= 0) {
                break;
            }
            const std::vector<float> part = ToStereo(raw, info.channels, got);
            stereo.insert(stereo.end(), part.begin(), part.end());
            done += got;
        }
        if (done > 0) {
            result = Resampled(std::move(stereo), info.samplerate, rate);
        }
        // Too short to leave a single frame at the stream's rate: nothing to play.
        if (result && result->FrameCount() == 0) {
            result = nullptr;
        }
    }
    sf_close(file);
    return result;
}

} // namespace

namespace WaveCache {

bool FileExists(const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

std::shared_ptr<const SampleBuffer> Load(const QString& path, int rate)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || rate <= 0) {
        return nullptr;
    }
    const QString key = info.absoluteFilePath();
    const QDateTime modified = info.lastModified();
    auto& cache = Cache();
    auto it = cache.find(key);
    if (it != cache.end() && it->FModified == modified && it->FSize == info.size() && it->FRate == rate) {
        return it->FBuffer;
    }
    ++gDecodeCount;
    Entry entry;
    entry.FModified = modified;
    entry.FSize = info.size();
    entry.FRate = rate;
    entry.FBuffer = Decode(key, rate);
    // A file that cannot be decoded is remembered too, so each beat does not try again.
    cache.insert(key, entry);
    return entry.FBuffer;
}

QString DefaultBeepPath()
{
    const QString relative = QStringLiteral("sounds/freedesktop/stereo/bell.oga");
    QString found = QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
    if (found.isEmpty() && FileExists(QStringLiteral("/usr/share/") + relative)) {
        found = QStringLiteral("/usr/share/") + relative;
    }
    return found;
}

std::shared_ptr<const SampleBuffer> SynthesisedBell(int rate)
{
    static std::shared_ptr<const SampleBuffer> cached;
    if (cached && cached->FRate == rate) {
        return cached;
    }
    // A struck bell: a few inharmonic partials decaying over a third of a second.
    auto buffer = std::make_shared<SampleBuffer>();
    buffer->FRate = rate;
    const int frames = rate * 35 / 100;
    buffer->FSamples.resize(static_cast<std::size_t>(frames) * 2);
    const double partials[][3] = {{880.0, 0.5, 9.0}, {1760.0 * 1.19, 0.25, 14.0}, {880.0 * 2.76, 0.15, 20.0}};
    for (int f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        double s = 0;
        for (const auto& p : partials) {
            s += p[1] * std::exp(-p[2] * t) * std::sin(2 * M_PI * p[0] * t);
        }
        const double attack = std::min(1.0, t / 0.002);
        const float v = static_cast<float>(0.6 * s * attack);
        buffer->FSamples[2 * f] = v;
        buffer->FSamples[2 * f + 1] = v;
    }
    cached = buffer;
    return cached;
}

std::shared_ptr<const SampleBuffer> DefaultBeep(int rate)
{
    if (rate <= 0) {
        return nullptr;
    }
    const QString theme = DefaultBeepPath();
    if (!theme.isEmpty()) {
        if (auto bell = Load(theme, rate)) {
            return bell;
        }
    }
    return SynthesisedBell(rate);
}

int DecodeCount()
{
    return gDecodeCount;
}

void Clear()
{
    Cache().clear();
}

} // namespace WaveCache
