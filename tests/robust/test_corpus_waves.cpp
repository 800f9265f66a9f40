// Sound files of every kind the user may pick: every WAV sample format libsndfile writes, mono and
// stereo, 8 to 192 kHz, decode to a buffer at the stream's rate; empty, cut, foreign and huge
// files either play what they hold or give nothing to play (the default beep), without reading a
// huge file whole and without writing anything.
#include "SampleBuffer.h"
#include "TestFiles.h"
#include "WaveCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int StreamRate = 48000;

void PutLe(QByteArray& b, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        b += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// A plain PCM WAV header that announces `dataBytes` of samples.
QByteArray WavHeader(int channels, quint32 rate, int bits, quint32 dataBytes)
{
    QByteArray h("RIFF");
    PutLe(h, 36 + quint64(dataBytes), 4);
    h += "WAVEfmt ";
    PutLe(h, 16, 4);
    PutLe(h, 1, 2);
    PutLe(h, quint64(channels), 2);
    PutLe(h, rate, 4);
    PutLe(h, quint64(rate) * quint64(channels) * quint64(bits / 8), 4);
    PutLe(h, quint64(channels * bits / 8), 2);
    PutLe(h, quint64(bits), 2);
    h += "data";
    PutLe(h, dataBytes, 4);
    return h;
}

void WriteBytes(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

double Peak(const SampleBuffer& b)
{
    double peak = 0;
    for (const float s : b.FSamples) {
        peak = std::max(peak, double(std::abs(s)));
    }
    return peak;
}

// Bytes this process has read from files so far, and its peak of resident memory.
qint64 ProcValue(const char* file, const char* key)
{
    QFile f(QString::fromLatin1(file));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return -1;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(key)) {
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

void ResetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) {
        f.write("5");
    }
}

// Names, sizes and modification times of a folder's files: what decoding must leave alone.
QStringList Snapshot(const QString& dir)
{
    QStringList out;
    for (const QFileInfo& info :
         QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        out << QStringLiteral("%1 %2 %3")
                   .arg(info.fileName())
                   .arg(info.size())
                   .arg(info.lastModified().toMSecsSinceEpoch());
    }
    return out;
}

} // namespace

class TestCorpusWaves final : public QObject
{
    Q_OBJECT

private slots:
    void init() { WaveCache::Clear(); }

    void everyWavSampleFormatDecodesAtTheStreamRate_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        const std::pair<const char*, int> subtypes[] = {
            {"PCM u8", SF_FORMAT_PCM_U8},       {"PCM 16", SF_FORMAT_PCM_16},
            {"PCM 24", SF_FORMAT_PCM_24},       {"PCM 32", SF_FORMAT_PCM_32},
            {"float", SF_FORMAT_FLOAT},         {"double", SF_FORMAT_DOUBLE},
            {"u-law", SF_FORMAT_ULAW},          {"A-law", SF_FORMAT_ALAW},
            {"IMA ADPCM", SF_FORMAT_IMA_ADPCM}, {"MS ADPCM", SF_FORMAT_MS_ADPCM},
            {"GSM 6.10", SF_FORMAT_GSM610},     {"PCM s8", SF_FORMAT_PCM_S8}};
        const std::pair<const char*, int> containers[] = {{"WAV", SF_FORMAT_WAV}, {"WAVEX", SF_FORMAT_WAVEX}};
        int rows = 0;
        for (const auto& [container, major] : containers) {
            for (const auto& [name, subtype] : subtypes) {
                for (const int rate :
                     {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000}) {
                    for (const int channels : {1, 2}) {
                        SF_INFO info{};
                        info.format = major | subtype;
                        info.samplerate = rate;
                        info.channels = channels;
                        if (!sf_format_check(&info)) {
                            continue; // a combination libsndfile does not know for this container
                        }
                        QTest::addRow("%s %s %d Hz %s", container, name, rate,
                                      channels == 1 ? "mono" : "stereo")
                            << (major | subtype) << rate << channels;
                        ++rows;
                    }
                }
            }
        }
        QVERIFY(rows > 100);
    }
    void everyWavSampleFormatDecodesAtTheStreamRate()
    {
        QFETCH(int, format);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("zvuk.wav"));
        if (!WriteSine(path, format, rate, channels, 0.25, 440.0)) {
            // libsndfile accepts the format but cannot write it here (GSM outside 8 kHz mono).
            QSKIP("libsndfile cannot write this combination");
        }
        const QStringList before = Snapshot(dir.path());
        const auto buffer = WaveCache::Load(path, StreamRate);
        QVERIFY(buffer);
        QCOMPARE(buffer->FRate, StreamRate);
        // As long as the file says it is (block formats pad the last block), at the stream's rate.
        SF_INFO info{};
        SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
        QVERIFY(f);
        sf_close(f);
        QVERIFY(info.frames >= sf_count_t(0.25 * rate));
        const double expected = double(info.frames) * StreamRate / rate;
        QVERIFY2(
            std::abs(double(buffer->FrameCount()) - expected) <= 2,
            qPrintable(QStringLiteral("%1 frames, %2 expected").arg(buffer->FrameCount()).arg(expected)));
        const double peak = Peak(*buffer);
        // The sine's level, within what the codec does to it (GSM is a speech codec and overshoots).
        const bool speechCodec = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_GSM610;
        QVERIFY2(peak > 0.3 && peak < (speechCodec ? 1.1 : 0.75), qPrintable(QString::number(peak)));
        QCOMPARE(Snapshot(dir.path()), before);
    }

    void damagedAndForeignFilesPlayWhatTheyHoldOrNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // Frames at the stream rate it must give; 0: nothing to play (the default beep sounds).
        QTest::addColumn<int>("frames");

        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.wav"));
        QVERIFY(WriteSine(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 0.25, 440.0));
        QFile f(good);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray wav = f.readAll();
        QCOMPARE(wav.size(), 44 + 12000 * 2);

        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("RIFF only") << wav.left(4) << 0;
        QTest::newRow("header cut in the format chunk") << wav.left(30) << 0;
        QTest::newRow("header without samples") << wav.left(44) << 0;
        QTest::newRow("one sample frame") << wav.left(46) << 1;
        QTest::newRow("samples cut at half") << wav.left(44 + 6000 * 2) << 6000;
        QTest::newRow("samples cut mid-frame") << wav.left(44 + 6000 * 2 + 1) << 6000;
        QTest::newRow("data size larger than the file")
            << WavHeader(1, 48000, 16, 48000 * 2 * 10) + wav.mid(44) << 12000;
        QTest::newRow("no channels") << WavHeader(0, 48000, 16, 24000) + wav.mid(44) << 0;
        QTest::newRow("sample rate 0") << WavHeader(1, 0, 16, 24000) + wav.mid(44) << 0;
        QTest::newRow("text") << QByteArray("Toto není zvuk, jen text.\n") << 0;
        QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0",
                                           29)
                             << 0;
        QByteArray random(64 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(8);
        for (char& c : random) {
            c = static_cast<char>(generator.bounded(256));
        }
        QTest::newRow("random bytes") << random << 0;
        QTest::newRow("RIFF header then random bytes") << wav.left(12) + random << 0;
    }
    void damagedAndForeignFilesPlayWhatTheyHoldOrNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, frames);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("poškozený.wav"));
        WriteBytes(path, bytes);
        const QStringList before = Snapshot(dir.path());
        QVERIFY(WaveCache::FileExists(path));
        const auto buffer = WaveCache::Load(path, StreamRate);
        if (frames == 0) {
            QVERIFY(!buffer);
        } else {
            QVERIFY(buffer);
            QCOMPARE(buffer->FRate, StreamRate);
            QCOMPARE(int(buffer->FrameCount()), frames);
        }
        // A file that cannot play is remembered, not decoded again at every beat.
        const int decodes = WaveCache::DecodeCount();
        WaveCache::Load(path, StreamRate);
        QCOMPARE(WaveCache::DecodeCount(), decodes);
        QCOMPARE(Snapshot(dir.path()), before);
        // The default beep is always there to stand in.
        const auto beep = WaveCache::DefaultBeep(StreamRate);
        QVERIFY(beep && beep->FrameCount() > 0 && beep->FRate == StreamRate);
    }

    void hugeSparseFileIsNotReadWhole_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<bool>("plays");
        QTest::newRow("stereo 44.1 kHz") << 2 << quint32(44100) << true;
        QTest::newRow("mono 192 kHz") << 1 << quint32(192000) << true;
        QTest::newRow("1024 channels") << 1024 << quint32(44100) << true;
        QTest::newRow("absurd sample rate") << 2 << quint32(2'000'000'000) << false;
    }
    void hugeSparseFileIsNotReadWhole()
    {
        QFETCH(int, channels);
        QFETCH(quint32, rate);
        QFETCH(bool, plays);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("obří.wav"));
        constexpr qint64 Size = 2LL * 1024 * 1024 * 1024;
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            const quint32 dataBytes = quint32(Size - 44) / quint32(2 * channels) * quint32(2 * channels);
            f.write(WavHeader(channels, rate, 16, dataBytes));
            QVERIFY(f.resize(Size)); // sparse: the samples are a hole of zeros
        }
        QCOMPARE(QFileInfo(path).size(), Size);
        const QStringList before = Snapshot(dir.path());

        ResetPeakMemory();
        const qint64 residentBefore = ProcValue("/proc/self/status", "VmRSS:");
        const qint64 readBefore = ProcValue("/proc/self/io", "rchar:");
        const auto buffer = WaveCache::Load(path, StreamRate);
        const qint64 read = ProcValue("/proc/self/io", "rchar:") - readBefore;
        const qint64 peakGrowthKb = ProcValue("/proc/self/status", "VmHWM:") - residentBefore;
        qInfo("read %lld bytes, peak memory grew by %lld kB", read, peakGrowthKb);

        QCOMPARE(bool(buffer), plays);
        if (buffer) {
            QCOMPARE(buffer->FRate, StreamRate);
            // At most the longest stretch that is ever decoded.
            QVERIFY(buffer->FrameCount() > 0);
            QVERIFY(buffer->FrameCount() <= std::size_t(WaveCache::kMaxSeconds * StreamRate) + 1);
        }
        // A 2 GB file read whole would show here: a decode reads and holds a bounded stretch.
        QVERIFY2(read < 128LL * 1024 * 1024, qPrintable(QString::number(read)));
        QVERIFY2(peakGrowthKb < 160 * 1024, qPrintable(QString::number(peakGrowthKb)));
        QCOMPARE(Snapshot(dir.path()), before);
    }
};

QTEST_MAIN(TestCorpusWaves)
#include "test_corpus_waves.moc"
