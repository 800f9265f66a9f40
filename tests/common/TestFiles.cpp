#include "TestFiles.h"

#include <QFile>

#include <sndfile.h>

#include <cmath>
#include <vector>

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool WriteSine(const QString& path, int format, int rate, int channels, double seconds, double frequency)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f) {
        return false;
    }
    const auto frames = static_cast<sf_count_t>(seconds * rate);
    std::vector<float> data(static_cast<std::size_t>(frames) * channels);
    for (sf_count_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            data[i * channels + c] = 0.5f * static_cast<float>(std::sin(2 * M_PI * frequency * i / rate));
        }
    }
    const bool ok = sf_writef_float(f, data.data(), frames) == frames;
    sf_close(f);
    return ok;
}
