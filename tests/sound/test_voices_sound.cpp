// What each sound mode really plays, recorded from a private PulseAudio null sink.
#include "AudioOut.h"
#include "Midi.h"
#include "SampleBuffer.h"
#include "SoundAnalysis.h"
#include "Voices.h"
#include "WaveCache.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr double kThreshold = 0.05;

std::int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool WriteSine(const QString& path, double seconds, double frequency)
{
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f) {
        return false;
    }
    std::vector<float> data(static_cast<std::size_t>(seconds * info.samplerate));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * frequency * i / info.samplerate));
    }
    const bool ok = sf_writef_float(f, data.data(), static_cast<sf_count_t>(data.size())) ==
                    static_cast<sf_count_t>(data.size());
    sf_close(f);
    return ok;
}

} // namespace

// Judges the last recording before its sounds: feeding the server is the program's work, so a
// server that ran dry fails the test; a recorder that lost data leaves nothing to judge.
#define JUDGE_RECORDING()                                                                                    \
    do {                                                                                                     \
        if (!FFault.isEmpty()) {                                                                             \
            QFAIL(qPrintable(FFault));                                                                       \
        }                                                                                                    \
        if (!FVoid.isEmpty()) {                                                                              \
            QSKIP(qPrintable(FVoid));                                                                        \
        }                                                                                                    \
    } while (false)

class TestVoicesSound final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    QString FSinePath;
    QString FLongPath;
    Onset FBell;
    QString FFault; // why the last recording fails the test: the server ran dry, or it was not made
    QString FVoid;  // why the last recording proves nothing: the recorder lost data

    // Records while `play` runs; `play` gets the first beat's frame of the stream, 200 ms ahead.
    // What went wrong is left in FFault or FVoid for JUDGE_RECORDING().
    std::vector<Onset> Record(const std::function<void(std::int64_t)>& play, int tailMs = 500)
    {
        FFault.clear();
        FVoid.clear();
        SinkRecorder recorder;
        const QString path = FDir.filePath(QStringLiteral("rec-%1.wav").arg(NowUs()));
        if (!recorder.Start(path)) {
            FFault = QStringLiteral("the recorder did not start");
            return {};
        }
        const std::int64_t underruns = AudioOut::Instance().Underruns();
        double first = 0;
        if (!AudioOut::Instance().FrameAt(NowUs() + 200000, first)) {
            FFault = QStringLiteral("the stream has no frame for the first beat");
            return {};
        }
        play(static_cast<std::int64_t>(first));
        QThread::msleep(static_cast<unsigned long>(tailMs));
        const bool recorded = recorder.Stop();
        const std::int64_t dry = AudioOut::Instance().Underruns() - underruns;
        if (dry != 0) {
            FFault = QStringLiteral("the sound server ran dry %1 time(s) during the recording").arg(dry);
            return {};
        }
        // parecord completes its file only when it ends on the signal.
        const Recording recording = recorded ? ReadRecording(path) : Recording{};
        if (recording.FRate == 0) {
            FVoid = QStringLiteral("the recorder lost its recording; it proves nothing");
            return {};
        }
        return FindOnsets(recording, kThreshold);
    }

    // Plays `beats` beats `intervalMs` apart as the clock places them, each at its frame.
    std::vector<Onset> RecordBeats(int beats, int intervalMs,
                                   const std::function<void(int, std::int64_t)>& beat)
    {
        return Record(
            [&](std::int64_t first) {
                for (int k = 0; k < beats; ++k) {
                    beat(k, first + std::int64_t(k) * intervalMs * 48);
                }
            },
            beats * intervalMs + 500);
    }

    bool IsBell(const Onset& o) const
    {
        return std::abs(o.FFrequency - FBell.FFrequency) < 0.02 * FBell.FFrequency &&
               std::abs(o.FLengthMs - FBell.FLengthMs) < 25.0;
    }

    // Onsets of the same sound `stride` beats apart (different sounds rise differently).
    static void CheckSpacing(const std::vector<Onset>& onsets, int intervalMs, std::size_t stride = 1)
    {
        // Each sound is placed on its frame: every spacing is the beats' spacing to the sample.
        const double expected = intervalMs * 48.0 * static_cast<double>(stride);
        for (std::size_t i = stride; i < onsets.size(); ++i) {
            const double spacing = onsets[i].FFrame - onsets[i - stride].FFrame;
            QVERIFY2(std::abs(spacing - expected) <= 1.0, qPrintable(QString::number(spacing)));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "the test needs the private sound server");
        AudioOut& out = AudioOut::Instance();
        QVERIFY(out.Open());
        QCOMPARE(out.SampleRate(), 48000);
        QElapsedTimer timer;
        timer.start();
        // A null sink idle for a while takes about a second to play a new stream's first frame.
        double frame = -1;
        while ((!out.FrameAt(NowUs(), frame) || frame < 0) && timer.elapsed() < 10000) {
            QThread::msleep(50);
        }
        QVERIFY(out.FrameAt(NowUs(), frame) && frame >= 0);
        FSinePath = FDir.filePath(QStringLiteral("own.wav"));
        QVERIFY(WriteSine(FSinePath, 0.08, 1000.0));
        FLongPath = FDir.filePath(QStringLiteral("long.wav"));
        QVERIFY(WriteSine(FLongPath, 1.0, 600.0));
        // Decoded ahead, so that a slow first decode (a sanitizer build, a busy machine) cannot
        // start a test's first sound late and move its onset or shorten what is heard of it.
        QVERIFY(WaveCache::Load(FSinePath, AudioOut::Instance().SampleRate()));
        QVERIFY(WaveCache::Load(FLongPath, AudioOut::Instance().SampleRate()));

        // The default beep as the sink plays it: the sound the own-sound fallbacks must match.
        const auto beep = WaveCache::DefaultBeep(48000);
        QVERIFY(beep);
        const auto reference = Record([](std::int64_t first) { SoundDefaultBeep(first); });
        JUDGE_RECORDING();
        QCOMPARE(reference.size(), std::size_t(1));
        FBell = reference.front();
        QVERIFY(std::abs(FBell.FFrequency - 1000.0) > 100.0);
        // Its tail fades below the threshold, so it sounds somewhat shorter than it is.
        const double beepMs = 1000.0 * static_cast<double>(beep->FrameCount()) / 48000;
        QVERIFY2(FBell.FLengthMs > beepMs / 3 && FBell.FLengthMs <= beepMs + 5,
                 qPrintable(QStringLiteral("%1 of %2 ms").arg(FBell.FLengthMs).arg(beepMs)));
    }

    void cleanupTestCase() { AudioOut::Instance().Close(); }

    void toneModeGivesPitchByAccent()
    {
        const auto onsets = RecordBeats(8, 300, [](int k, std::int64_t moment) {
            PlayBeatSound(1, QString(), QString(), nullptr, k % 4 == 0, moment);
        });
        JUDGE_RECORDING();
        QCOMPARE(onsets.size(), std::size_t(8));
        for (std::size_t k = 0; k < onsets.size(); ++k) {
            const double expected = k % 4 == 0 ? 500.0 : 440.0;
            QVERIFY2(std::abs(onsets[k].FFrequency - expected) < 3.0,
                     qPrintable(QString::number(onsets[k].FFrequency)));
            QVERIFY2(std::abs(onsets[k].FLengthMs - 50.0) < 3.0,
                     qPrintable(QString::number(onsets[k].FLengthMs)));
        }
        CheckSpacing(onsets, 300);
    }

    void ownSoundPlaysFileAndDefaultForMissingAccent()
    {
        const QString missing = FDir.filePath(QStringLiteral("missing.wav"));
        const auto onsets = RecordBeats(6, 300, [&](int k, std::int64_t moment) {
            PlayBeatSound(4, FSinePath, missing, nullptr, k % 2 == 1, moment);
        });
        JUDGE_RECORDING();
        QCOMPARE(onsets.size(), std::size_t(6));
        for (std::size_t k = 0; k < onsets.size(); ++k) {
            if (k % 2 == 0) {
                QVERIFY2(std::abs(onsets[k].FFrequency - 1000.0) < 5.0,
                         qPrintable(QString::number(onsets[k].FFrequency)));
                QVERIFY2(std::abs(onsets[k].FLengthMs - 80.0) < 5.0,
                         qPrintable(QString::number(onsets[k].FLengthMs)));
            } else {
                QVERIFY2(IsBell(onsets[k]), qPrintable(QString::number(onsets[k].FFrequency)));
            }
        }
        CheckSpacing(onsets, 300, 2);
    }

    void systemGongAndFolderGiveDefaultBeep()
    {
        const auto onsets = RecordBeats(4, 400, [&](int k, std::int64_t moment) {
            if (k < 2) {
                PlayBeatSound(2, QString(), QString(), nullptr, k == 1, moment);
            } else {
                PlayBeatSound(4, FDir.path(), QString(), nullptr, false, moment);
            }
        });
        JUDGE_RECORDING();
        QCOMPARE(onsets.size(), std::size_t(4));
        for (const Onset& o : onsets) {
            QVERIFY2(IsBell(o), qPrintable(QString::number(o.FFrequency)));
        }
    }

    void builtInSynthSoundsAtEveryBeat()
    {
        TMidiTick tick(0, 75, 9);
        QVERIFY(tick.IsOpen());
        const auto onsets = RecordBeats(6, 300, [&](int k, std::int64_t moment) {
            PlayBeatSound(3, QString(), QString(), &tick, k == 0, moment);
        });
        JUDGE_RECORDING();
        QCOMPARE(onsets.size(), std::size_t(6));
        for (const Onset& o : onsets) {
            QVERIFY(o.FPeak > 0.08);
        }
        CheckSpacing(onsets, 300);
        // Without an output nothing sounds and nothing fails.
        const auto silent = RecordBeats(2, 300, [&](int, std::int64_t moment) {
            PlayBeatSound(3, QString(), QString(), nullptr, false, moment);
            PlayBeatSound(0, FSinePath, FSinePath, &tick, false, moment);
            PlayBeatSound(7, FSinePath, FSinePath, &tick, true, moment);
        });
        JUDGE_RECORDING();
        QCOMPARE(silent.size(), std::size_t(0));
    }

    void soundsWithoutMomentStartAtOnce()
    {
        TMidiTick tick(0xFFFFFFFFu, 75, 9);
        const auto onsets = Record([&](std::int64_t) {
            SoundTone(440, 50, -1);
            QThread::msleep(400);
            SoundDefaultBeep(-1);
            QThread::msleep(400);
            tick.Play();
            QThread::msleep(400);
            SoundWaveFile(FSinePath, -1);
        });
        JUDGE_RECORDING();
        QCOMPARE(onsets.size(), std::size_t(4));
        QVERIFY(std::abs(onsets[0].FFrequency - 440.0) < 3.0);
        QVERIFY(IsBell(onsets[1]));
        QVERIFY(onsets[2].FPeak > 0.08);
        QVERIFY(std::abs(onsets[3].FFrequency - 1000.0) < 5.0);
    }

    void newWaveCutsThePreviousOne()
    {
        const auto onsets = Record(
            [&](std::int64_t first) {
                SoundWaveFile(FLongPath, first);
                SoundWaveFile(FSinePath, first + 200 * 48);
            },
            1300);
        // One sound: 200 ms of the long file, then the short file; nothing of the long one after.
        JUDGE_RECORDING();
        QCOMPARE(onsets.size(), std::size_t(1));
        QVERIFY2(std::abs(onsets[0].FLengthMs - 280.0) < 10.0,
                 qPrintable(QString::number(onsets[0].FLengthMs)));
    }
};

QTEST_GUILESS_MAIN(TestVoicesSound)
#include "test_voices_sound.moc"
