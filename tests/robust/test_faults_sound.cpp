// The sound server gone while sounds are being played, and back again: nothing crashes or hangs,
// and the sound comes back by itself. Runs its own private PulseAudio server, which it stops and
// starts again in the middle.
#include "AudioOut.h"
#include "Midi.h"
#include "SoundAnalysis.h"
#include "Voices.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

bool Server(const QString& command, const QString& dir)
{
    return QProcess::execute(QStringLiteral(TIKTAKON_SOUND_SCRIPTS "/pulse-server.sh"), {command, dir}) == 0;
}

} // namespace

class TestFaultsSound final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FServer;
    std::unique_ptr<TMidiTick> FSynth;

    // One beat every 250 ms for `ms`, as the beat handler sounds it; returns the longest call.
    qint64 Beats(int mode, int ms)
    {
        qint64 longest = 0;
        QElapsedTimer total;
        total.start();
        while (total.elapsed() < ms) {
            QElapsedTimer call;
            call.start();
            // As the window's timer does: a stream lost with its server is looked for again.
            AudioOut::Instance().KeepOpen();
            PlayBeatSound(mode, QString(), QString(), FSynth.get(), false, -1);
            longest = std::max(longest, call.elapsed());
            QThread::msleep(250);
        }
        return longest;
    }

    int RecordedSounds(int mode, const QString& name)
    {
        SinkRecorder recorder;
        const QString path = FDir->filePath(name);
        if (!recorder.Start(path, 1000)) {
            return -1;
        }
        Beats(mode, 2500);
        QThread::msleep(300);
        recorder.Stop();
        const Recording r = ReadRecording(path);
        const auto found = static_cast<int>(FindOnsets(r, 0.02, 30.0).size());
        qInfo("%s: %d sounds in %.1f s", qPrintable(name), found,
              r.FRate > 0 ? double(r.FSamples.size()) / r.FRate : 0.0);
        return found;
    }

private slots:
    void initTestCase()
    {
        FDir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/tiktakon-pulse-XXXXXX"));
        FServer = FDir->filePath(QStringLiteral("pulse"));
        QVERIFY(Server(QStringLiteral("start"), FServer));
        qputenv("PULSE_SERVER", ("unix:" + FServer + "/native").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", (FServer + "/run").toLocal8Bit());
        qputenv("PULSE_CONFIG", (FServer + "/cfg/pulse/daemon.conf").toLocal8Bit());
        QVERIFY(AudioOut::Instance().Open());
    }

    void cleanupTestCase()
    {
        FSynth.reset();
        AudioOut::Instance().Close();
        Server(QStringLiteral("stop"), FServer);
    }

    void soundComesBackAfterTheServerWasGone_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("PC tone") << 1;
        QTest::newRow("system gong") << 2;
        QTest::newRow("built-in MIDI synth") << 3;
    }
    void soundComesBackAfterTheServerWasGone()
    {
        QFETCH(int, mode);
        AudioOut& out = AudioOut::Instance();
        if (mode == 3) {
            FSynth = std::make_unique<TMidiTick>(0, 75, 9);
            QVERIFY(FSynth->IsOpen());
        }
        QVERIFY(out.IsOpen());
        QThread::msleep(500);
        QVERIFY(RecordedSounds(mode, QStringLiteral("before.wav")) >= 6);

        const std::int64_t reopens = out.Reopens();
        QVERIFY(Server(QStringLiteral("stop"), FServer));
        // The beat goes on with no server: every sound request returns at once.
        const qint64 longestWhileGone = Beats(mode, 3000);
        QVERIFY2(longestWhileGone < 2000, qPrintable(QString::number(longestWhileGone)));

        QVERIFY(Server(QStringLiteral("start"), FServer));
        QElapsedTimer back;
        back.start();
        while (out.Reopens() == reopens && back.elapsed() < 20000) {
            Beats(mode, 200);
        }
        QCOMPARE(out.Reopens(), reopens + 1);
        QVERIFY(out.IsOpen());
        QThread::msleep(500);
        QVERIFY(RecordedSounds(mode, QStringLiteral("after.wav")) >= 6);
        FSynth.reset();
    }

    void closedOutputStaysClosed()
    {
        // After Close nothing opens the device again behind the program's back.
        AudioOut& out = AudioOut::Instance();
        out.Close();
        Beats(1, 1200);
        QVERIFY(!out.IsOpen());
        QVERIFY(out.Open());
    }
};

QTEST_GUILESS_MAIN(TestFaultsSound)
#include "test_faults_sound.moc"
