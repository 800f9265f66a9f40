// The own-sound file rules: which names count as files, decoding, conversion and the cache.
#include "SampleBuffer.h"
#include "TestFiles.h"
#include "WaveCache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sndfile.h>

#include <cmath>
#include <vector>

namespace {

// Frequency of one channel of a stereo buffer, from its rising zero crossings.
double Frequency(const SampleBuffer& b, int channel, double seconds)
{
    double first = -1, last = -1;
    int cycles = -1;
    const auto end = std::min(b.FrameCount(), static_cast<std::size_t>(seconds * b.FRate));
    for (std::size_t i = 1; i < end; ++i) {
        const float p = b.FSamples[2 * (i - 1) + channel];
        const float q = b.FSamples[2 * i + channel];
        if (p < 0 && q >= 0) {
            const double x = (i - 1) + (-p) / (q - p);
            if (first < 0) {
                first = x;
            }
            last = x;
            ++cycles;
        }
    }
    return cycles > 0 ? cycles * b.FRate / (last - first) : 0.0;
}

} // namespace

class TestWaves final : public QObject
{
    Q_OBJECT

private slots:
    void init() { WaveCache::Clear(); }

    void existenceRule()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("click.wav"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString folder = dir.filePath(QStringLiteral("sounds.wav"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(WaveCache::FileExists(file));
        QVERIFY(!WaveCache::FileExists(QString()));
        QVERIFY(!WaveCache::FileExists(dir.filePath(QStringLiteral("missing.wav"))));
        QVERIFY(!WaveCache::FileExists(folder));
        QVERIFY(!WaveCache::Load(folder, 48000));
        QVERIFY(!WaveCache::Load(file, 48000)); // empty: exists but cannot be decoded
    }

    void decodesToStereoAtStreamRate_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("blockSeconds"); // a format that stores whole blocks pads the end
        QTest::newRow("pcm16 mono 44.1k")
            << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 44100 << 1 << "a.wav" << 0.0;
        QTest::newRow("float stereo 48k")
            << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 48000 << 2 << "b.wav" << 0.0;
        QTest::newRow("pcm24 3ch 22.05k")
            << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 22050 << 3 << "c.wav" << 0.0;
        QTest::newRow("ima adpcm mono 8k")
            << (SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM) << 8000 << 1 << "d.wav" << 505.0 / 8000;
        QTest::newRow("vorbis stereo 44.1k")
            << (SF_FORMAT_OGG | SF_FORMAT_VORBIS) << 44100 << 2 << "e.oga" << 0.0;
    }
    void decodesToStereoAtStreamRate()
    {
        QFETCH(int, format);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QString, name);
        QFETCH(double, blockSeconds);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(WriteSine(path, format, rate, channels, 0.4, 600.0));
        const auto buffer = WaveCache::Load(path, 48000);
        QVERIFY(buffer);
        QCOMPARE(buffer->FRate, 48000);
        const double frames = static_cast<double>(buffer->FrameCount());
        QVERIFY2(frames > 0.4 * 48000 - 2 && frames < (0.4 + blockSeconds) * 48000 + 2,
                 qPrintable(QString::number(frames)));
        QVERIFY(std::abs(Frequency(*buffer, 0, 0.35) - 600.0) < 3.0);
        QVERIFY(std::abs(Frequency(*buffer, 1, 0.35) - 600.0) < 3.0);
    }

    void longFileIsCutShort()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.wav"));
        QVERIFY(
            WriteSine(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, WaveCache::kMaxSeconds + 10, 300.0));
        const auto buffer = WaveCache::Load(path, 8000);
        QVERIFY(buffer);
        QCOMPARE(buffer->FrameCount(), std::size_t(WaveCache::kMaxSeconds * 8000));
    }

    void cacheFollowsModificationTime()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tick.wav"));
        QVERIFY(WriteSine(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 0.2, 500.0));
        const int before = WaveCache::DecodeCount();
        const auto first = WaveCache::Load(path, 48000);
        const auto again = WaveCache::Load(path, 48000);
        QVERIFY(first);
        QCOMPARE(again.get(), first.get());
        QCOMPARE(WaveCache::DecodeCount(), before + 1);

        // A new file under the same name, with another modification time, is decoded afresh.
        QVERIFY(WriteSine(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 0.3, 900.0));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        f.close();
        const auto changed = WaveCache::Load(path, 48000);
        QVERIFY(changed);
        QVERIFY(changed.get() != first.get());
        QCOMPARE(WaveCache::DecodeCount(), before + 2);
        QVERIFY(std::abs(Frequency(*changed, 0, 0.25) - 900.0) < 3.0);
        QVERIFY(std::abs(Frequency(*first, 0, 0.15) - 500.0) < 3.0); // the old buffer is untouched
    }

    void defaultBeepIsTheThemeBellOrABuiltInOne()
    {
        const auto beep = WaveCache::DefaultBeep(48000);
        QVERIFY(beep);
        QVERIFY(beep->FrameCount() > 48000 / 20);
        const QString theme = WaveCache::DefaultBeepPath();
        if (!theme.isEmpty()) {
            QCOMPARE(beep.get(), WaveCache::Load(theme, 48000).get());
        }
        const auto bell = WaveCache::SynthesisedBell(44100);
        QCOMPARE(bell->FRate, 44100);
        float peak = 0;
        for (float s : bell->FSamples) {
            peak = std::max(peak, std::abs(s));
        }
        QVERIFY(peak > 0.1f && peak <= 1.0f);
    }
};

QTEST_GUILESS_MAIN(TestWaves)
#include "test_waves.moc"
