// The stream's timeline on a real sound server (PulseAudio or PipeWire, whichever the environment
// names): sounds placed on frames come exactly where they were placed, and a sound taken back
// after the server already holds it is never heard.
#include "AudioOut.h"
#include "SoundAnalysis.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <chrono>
#include <cmath>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr double kThreshold = 0.05;

std::int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void SleepUntil(std::int64_t us)
{
    const std::int64_t wait = us - NowUs();
    if (wait > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(wait));
    }
}

// The id of this process's thread named `name`, or an empty string.
QString ThreadNamed(const QString& name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && QString::fromUtf8(comm.readAll()).trimmed() == name) {
            return tid;
        }
    }
    return {};
}

// The worst difference of consecutive onsets from `spacing`, in samples.
double WorstSpacing(const std::vector<Onset>& onsets, double spacing)
{
    double worst = 0;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        worst = std::max(worst, std::abs(onsets[i].FFrame - onsets[i - 1].FFrame - spacing));
    }
    return worst;
}

} // namespace

class TestStreamSound final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    int FRecordings = 0;

    // The frame heard `ms` from now.
    static std::int64_t FrameIn(int ms)
    {
        double frame = 0;
        if (!AudioOut::Instance().FrameAt(NowUs() + std::int64_t(ms) * 1000, frame)) {
            return -1;
        }
        return std::llround(frame);
    }

    std::vector<Onset> Recorded(const std::function<void()>& play, int tailMs)
    {
        SinkRecorder recorder;
        const QString path = FDir.filePath(QStringLiteral("rec%1.wav").arg(++FRecordings));
        if (!recorder.Start(path)) {
            return {};
        }
        play();
        QThread::msleep(static_cast<unsigned long>(tailMs));
        recorder.Stop();
        return FindOnsets(ReadRecording(path), kThreshold);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "the test needs a private sound server");
        AudioOut& out = AudioOut::Instance();
        QVERIFY(out.Open());
        // A null sink idle for a while takes about a second to play a new stream's first frame.
        QElapsedTimer timer;
        timer.start();
        while (FrameIn(0) < 0 && timer.elapsed() < 10000) {
            QThread::msleep(50);
        }
        QVERIFY(FrameIn(0) >= 0);
    }

    void cleanupTestCase() { AudioOut::Instance().Close(); }

    // 24 tones one 120 BPM interval apart, placed ahead: every interval exactly 24000 samples.
    void placedSoundsKeepTheirFramesExactly()
    {
        AudioOut& out = AudioOut::Instance();
        const std::int64_t underruns = out.Underruns();
        const auto onsets = Recorded(
            [&] {
                const std::int64_t first = FrameIn(300);
                QVERIFY(first > 0);
                for (int k = 0; k < 24; ++k) {
                    out.PlayTone(k % 4 == 0 ? 500 : 440, 50, first + std::int64_t(k) * 24000);
                }
            },
            12500);
        QCOMPARE(out.Underruns(), underruns);
        QCOMPARE(onsets.size(), std::size_t(24));
        const double worst = WorstSpacing(onsets, 24000.0);
        QVERIFY2(worst <= 1.0, qPrintable(QStringLiteral("worst interval off by %1 samples").arg(worst)));
    }

    // The stream's thread held still for 150 ms between two tones, as a starved thread would be:
    // the server runs dry, and the tones after it still sound on their frames, not late by the gap.
    void underrunKeepsTheFrames()
    {
        AudioOut& out = AudioOut::Instance();
        const QString tid = ThreadNamed(QStringLiteral("threaded-ml"));
        QVERIFY2(!tid.isEmpty(), "no thread of the sound server's client library");
        // The holder is a child of ours; tracing its parent needs this where ptrace is restricted.
        prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
        const std::int64_t underruns = out.Underruns();
        QString held;
        const auto onsets = Recorded(
            [&] {
                const std::int64_t first = FrameIn(300);
                QVERIFY(first > 0);
                for (int k = 0; k < 6; ++k) {
                    out.PlayTone(440, 50, first + std::int64_t(k) * 24000);
                }
                std::int64_t thirdUs = 0;
                QVERIFY(out.TimeAt(static_cast<double>(first + 2 * 24000), thirdUs));
                SleepUntil(thirdUs + 150'000);
                QProcess hold;
                hold.start(QStringLiteral(TIKTAKON_HOLDTHREAD),
                           {QString::number(getpid()), tid, QStringLiteral("150")});
                QVERIFY(hold.waitForFinished(5000));
                held = QString::fromUtf8(hold.readAllStandardOutput() + hold.readAllStandardError());
                QVERIFY2(hold.exitCode() == 0, qPrintable(held));
            },
            3500);
        QVERIFY2(out.Underruns() > underruns, qPrintable(QStringLiteral("the hold did not starve the stream: ") + held));
        QCOMPARE(onsets.size(), std::size_t(6));
        const double worst = WorstSpacing(onsets, 24000.0);
        QVERIFY2(worst <= 1.0, qPrintable(QStringLiteral("worst interval off by %1 samples").arg(worst)));
    }

    // The volume scales all the stream plays by its square: a tone at 50 % peaks at a quarter
    // of the level (-12 dB).
    void volumeScalesTheSound()
    {
        AudioOut& out = AudioOut::Instance();
        QList<double> peaks;
        for (int volume : {100, 50}) {
            out.SetVolumePercent(volume);
            const auto onsets = Recorded(
                [&] {
                    const std::int64_t frame = FrameIn(300);
                    QVERIFY(frame > 0);
                    out.PlayTone(440, 50, frame);
                },
                600);
            QCOMPARE(onsets.size(), std::size_t(1));
            peaks << onsets.front().FPeak;
        }
        out.SetVolumePercent(100);
        QVERIFY2(std::abs(peaks[1] / peaks[0] - 0.25) < 0.01,
                 qPrintable(QStringLiteral("peaks %1 and %2").arg(peaks[0]).arg(peaks[1])));
    }

    // A tone taken back `leadMs` before its play time, when the server already holds its frames
    // (the stream keeps about 30 ms written ahead): never heard. Closer than the rewrite margin it
    // can no longer be taken back, and says so.
    void withdrawnSoundIsNeverHeard_data()
    {
        QTest::addColumn<int>("leadMs");
        QTest::addColumn<bool>("withdraw");
        QTest::addColumn<bool>("taken");
        QTest::newRow("kept: heard") << 25 << false << false;
        QTest::newRow("25 ms ahead") << 25 << true << true;
        QTest::newRow("15 ms ahead") << 15 << true << true;
        QTest::newRow("2 ms ahead: too late") << 2 << true << false;
    }
    void withdrawnSoundIsNeverHeard()
    {
        QFETCH(int, leadMs);
        QFETCH(bool, withdraw);
        QFETCH(bool, taken);
        AudioOut& out = AudioOut::Instance();
        bool answer = false;
        const auto onsets = Recorded(
            [&] {
                const std::int64_t frame = FrameIn(300);
                QVERIFY(frame > 0);
                // A tone before it on the same stream shows that the recording works.
                out.PlayTone(500, 50, frame - 24000 / 2, 1);
                out.PlayTone(440, 50, frame, 2);
                std::int64_t playUs = 0;
                QVERIFY(out.TimeAt(static_cast<double>(frame), playUs));
                SleepUntil(playUs - std::int64_t(leadMs) * 1000);
                if (withdraw) {
                    answer = out.Withdraw(2);
                }
            },
            600);
        QCOMPARE(answer, taken);
        QVERIFY(!onsets.empty());
        QVERIFY(std::abs(onsets.front().FFrequency - 500.0) < 5.0);
        QCOMPARE(onsets.size(), std::size_t(taken ? 1 : 2));
    }
};

QTEST_GUILESS_MAIN(TestStreamSound)
#include "test_stream_sound.moc"
