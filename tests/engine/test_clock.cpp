#include "Clock.h"

#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace {

// A time line that moves only when the clock thread reads it or sleeps: each reading advances
// it by one microsecond, a sleep jumps to its end. Intervals come out exact and repeatable.
class FakeTime final : public TickSource
{
public:
    std::int64_t NowUs() override { return FNow.fetch_add(1) + 1; }
    void WaitUs(std::condition_variable&, std::unique_lock<std::mutex>&, std::int64_t us) override
    {
        FNow.fetch_add(us);
    }
    std::int64_t Peek() const { return FNow.load(); }
    void Advance(std::int64_t us) { FNow.fetch_add(us); }

private:
    std::atomic<std::int64_t> FNow{1'000'000};
};

// Stands in for the main thread's event queue: the test thread runs what the clock hands over.
class MainQueue final
{
public:
    TThread::Poster Poster()
    {
        return [this](std::function<void()> call) {
            {
                std::lock_guard lock(FMutex);
                FCalls.push_back(std::move(call));
            }
            FWake.notify_all();
        };
    }
    // Takes the next hand-over without running it; empty when none came within `ms`.
    std::function<void()> Take(int ms = 2000)
    {
        std::unique_lock lock(FMutex);
        if (!FWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !FCalls.empty(); })) {
            return {};
        }
        auto call = std::move(FCalls.front());
        FCalls.pop_front();
        return call;
    }
    bool RunNext(int ms = 2000)
    {
        auto call = Take(ms);
        if (!call) {
            return false;
        }
        call();
        return true;
    }

private:
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FCalls;
};

// A time line that stands still until the test moves it; the clock's waits are real short
// slices, so a move is seen at once.
class ManualTime final : public TickSource
{
public:
    std::int64_t NowUs() override { return FNow.load(); }
    void WaitUs(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t us) override
    {
        FWaits.fetch_add(1);
        wake.wait_for(lock, std::chrono::microseconds(std::min<std::int64_t>(us, 500)));
    }
    void Set(std::int64_t us) { FNow = us; }
    int Waits() const { return FWaits.load(); }

private:
    std::atomic<std::int64_t> FNow{1'000'000'000};
    std::atomic<int> FWaits{0};
};

// A stream at `rate` whose frame 0 is heard at steady time FOrigin, recording what the clock asks.
class FakeStream final : public BeatOutput
{
public:
    explicit FakeStream(int rate) : FRate(rate) {}
    int StreamRate(std::uint64_t& generation) override
    {
        generation = 1;
        return FRate;
    }
    bool FrameAt(std::int64_t us, double& frame) override
    {
        frame = static_cast<double>(us - FOrigin) * FRate / 1e6;
        return true;
    }
    bool TimeAt(double frame, std::int64_t& us) override
    {
        us = FOrigin + std::llround(frame * 1e6 / FRate);
        return true;
    }
    void Sound(const BeatDecision& beat, std::int64_t frame) override
    {
        std::lock_guard lock(FMutex);
        FSounds.push_back({beat.FId, frame});
        FBeats.push_back(beat);
    }
    std::vector<BeatDecision> FBeats;
    void Heard(const BeatDecision& beat) override
    {
        std::lock_guard lock(FMutex);
        FHeard.push_back(beat.FId);
    }
    void HeardSubdivision(const BeatDecision&, int k) override
    {
        std::lock_guard lock(FMutex);
        FSubsHeard.push_back(k);
    }
    void WithdrawSubdivisions(const BeatDecision&, int k) override
    {
        std::lock_guard lock(FMutex);
        FSubsWithdrawnFrom.push_back(k);
    }
    std::vector<int> SubsHeard()
    {
        std::lock_guard lock(FMutex);
        return FSubsHeard;
    }
    bool Withdraw(const BeatDecision& beat) override
    {
        std::lock_guard lock(FMutex);
        if (FRefuse) {
            return false;
        }
        FWithdrawn.push_back(beat.FId);
        return true;
    }
    std::size_t SoundCount()
    {
        std::lock_guard lock(FMutex);
        return FSounds.size();
    }
    std::size_t HeardCount()
    {
        std::lock_guard lock(FMutex);
        return FHeard.size();
    }
    std::vector<std::pair<std::uint64_t, std::int64_t>> Sounds()
    {
        std::lock_guard lock(FMutex);
        return FSounds;
    }
    std::vector<std::int64_t> Frames()
    {
        std::lock_guard lock(FMutex);
        std::vector<std::int64_t> frames;
        for (const auto& s : FSounds) {
            frames.push_back(s.second);
        }
        return frames;
    }

    const int FRate;
    const std::int64_t FOrigin = 999'000'000;
    bool FRefuse = false;
    std::mutex FMutex;
    std::vector<std::pair<std::uint64_t, std::int64_t>> FSounds;
    std::vector<std::uint64_t> FHeard;
    std::vector<std::uint64_t> FWithdrawn;
    std::vector<int> FSubsHeard;
    std::vector<int> FSubsWithdrawnFrom;
};

struct Fixture
{
    FakeTime time;
    MainQueue main;
    std::vector<std::int64_t> moments;
    std::vector<BeatDecision> beats;
    std::unique_ptr<TClock> clock;

    explicit Fixture(int bpm, BeatOutput* output = nullptr)
    {
        clock = std::make_unique<TClock>(true, main.Poster(), time, output);
        clock->SetTempo(bpm);
        clock->SetOnTick([this](TClock&, const BeatDecision& beat, std::int64_t playUs) {
            moments.push_back(playUs);
            beats.push_back(beat);
        });
    }
    void RunTicks(int count)
    {
        for (int i = 0; i < count; ++i) {
            QVERIFY(main.RunNext());
        }
    }
    void Shutdown() { clock->Shutdown(); }
};

// The same clock on a time line the test moves by hand, with a stream at 48 kHz.
struct ManualFixture
{
    ManualTime time;
    MainQueue main;
    FakeStream stream{48000};
    std::vector<BeatDecision> shown;
    std::unique_ptr<TClock> clock;

    explicit ManualFixture(int bpm)
    {
        clock = std::make_unique<TClock>(true, main.Poster(), time, &stream);
        clock->SetTempo(bpm);
        BeatSettings settings;
        settings.FBeatsPerBar = 4;
        clock->SetSettings(settings);
        clock->SetOnTick([this](TClock&, const BeatDecision& beat, std::int64_t) { shown.push_back(beat); });
    }
    // Resumes and returns once the clock waits on the time line: it has laid its grid.
    void Resume()
    {
        const int waits = time.Waits();
        clock->Resume();
        QTRY_VERIFY(time.Waits() > waits);
    }
    // Moves the time line to `us`, where the clock decides a beat, and waits for its sound: the
    // stream then holds `sounds` sounds in all.
    void DecideAt(std::int64_t us, std::size_t sounds)
    {
        time.Set(us);
        QTRY_COMPARE(stream.SoundCount(), sounds);
    }
    // Runs every hand-over that came so far.
    void Drain()
    {
        while (auto call = main.Take(30)) {
            call();
        }
    }
    ~ManualFixture() { clock->Shutdown(); }
};

} // namespace

class TestClock final : public QObject
{
    Q_OBJECT

private slots:
    void newClockIsSuspendedAtSixty()
    {
        MainQueue main;
        FakeTime time;
        TClock clock(true, main.Poster(), time);
        QCOMPARE(clock.FTempo(), 60);
        QCOMPARE(clock.FInterval(), 1000);
        QVERIFY(clock.Suspended());
        QCOMPARE(clock.SuspendCount(), 1);
    }

    void intervalsFollowTheTempo_data()
    {
        QTest::addColumn<int>("bpm");
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("60") << 60 << 1000;
        QTest::newRow("100") << 100 << 600;
        QTest::newRow("120") << 120 << 500;
        QTest::newRow("208") << 208 << 288;
        QTest::newRow("40") << 40 << 1500;
    }
    void intervalsFollowTheTempo()
    {
        QFETCH(int, bpm);
        QFETCH(int, intervalMs);
        Fixture f(bpm);
        QCOMPARE(f.clock->FInterval(), intervalMs);
        const std::int64_t resumedAt = f.time.Peek();
        f.clock->Resume();
        f.RunTicks(5);
        // Without a stream the steady clock lays the grid: the first beat one interval after the
        // start's reading, then every interval exactly, however late the thread woke.
        QVERIFY(f.moments.front() - (resumedAt + std::int64_t(intervalMs) * 1000) <= 2);
        for (std::size_t i = 1; i < f.moments.size(); ++i) {
            QCOMPARE(f.moments[i] - f.moments[i - 1], std::int64_t(intervalMs) * 1000);
        }
        f.Shutdown();
    }

    void beatsAreLaidInFramesWithTheFractionCarried_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bpm");
        QTest::newRow("208 at 44.1 kHz") << 44100 << 208; // 12700.8 frames
        QTest::newRow("120 at 48 kHz") << 48000 << 120;
        QTest::newRow("97 at 44.1 kHz") << 44100 << 97; // 618 ms: 27253.8 frames
    }
    void beatsAreLaidInFramesWithTheFractionCarried()
    {
        QFETCH(int, rate);
        QFETCH(int, bpm);
        FakeStream stream(rate);
        Fixture f(bpm, &stream);
        f.clock->Resume();
        f.RunTicks(40);
        const std::vector<std::int64_t> frames = stream.Frames();
        QVERIFY(frames.size() >= 40);
        const double step = (60000 / bpm) * static_cast<double>(rate) / 1000.0;
        // Each beat at the first beat's exact position plus k intervals, rounded once: no drift.
        double exact = 0;
        QVERIFY(stream.FrameAt(f.moments.front(), exact));
        for (std::size_t k = 0; k < frames.size(); ++k) {
            QVERIFY2(std::llabs(frames[k] - std::llround(exact + k * step)) <= 1,
                     qPrintable(QString::number(k)));
            if (k > 0) {
                const std::int64_t gap = frames[k] - frames[k - 1];
                QVERIFY(gap == std::int64_t(std::floor(step)) || gap == std::int64_t(std::ceil(step)));
            }
        }
        QCOMPARE(frames.back() - frames.front(),
                 std::llround(exact + (frames.size() - 1) * step) - std::llround(exact));
        f.Shutdown();
    }

    void sameTempoChangesNothing()
    {
        Fixture f(120);
        f.clock->SetTempo(120);
        QCOMPARE(f.clock->FInterval(), 500);
        QCOMPARE(f.clock->SuspendCount(), 1);
        QVERIFY(f.clock->Suspended());
    }

    void tempoChangeWhileStoppedStaysStopped()
    {
        Fixture f(120);
        f.clock->SetTempo(100);
        QCOMPARE(f.clock->FInterval(), 600);
        QVERIFY(f.clock->Suspended());
        QVERIFY(!f.main.Take(100));
    }

    void suspensionIsCounted()
    {
        Fixture f(208);
        f.clock->Resume();
        f.RunTicks(1);
        f.clock->Suspend();
        f.clock->Suspend();
        f.clock->Resume();
        QVERIFY(f.clock->Suspended());
        // A beat may already be on its way; it is dropped, and nothing follows it.
        while (auto call = f.main.Take(100)) {
            call();
        }
        QCOMPARE(f.moments.size(), std::size_t(1));
        f.clock->Resume();
        QVERIFY(!f.clock->Suspended());
        f.RunTicks(1);
        QCOMPARE(f.moments.size(), std::size_t(2));
        f.Shutdown();
    }

    void resumeAtCountZeroDoesNothing()
    {
        Fixture f(208);
        f.clock->Resume();
        f.clock->Resume();
        QCOMPARE(f.clock->SuspendCount(), 0);
        f.clock->Suspend();
        QVERIFY(f.clock->Suspended());
        f.Shutdown();
    }

    // Stop at a moment around the first beat (play time P, decided at P - look-ahead): a beat
    // decided but not yet heard is withdrawn: not shown, its sound taken back, the sequence as if
    // it had never been decided; a Start within the interval then keeps the grid.
    void stopWithdrawsTheBeatNotYetHeard_data()
    {
        QTest::addColumn<std::int64_t>("beforePlayUs");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<bool>("decided");
        QTest::addColumn<bool>("withdrawn");
        const std::int64_t ahead = TClock::LookAheadUs;
        QTest::newRow("just before it is decided") << ahead + 1 << false << false << false;
        QTest::newRow("as it is decided") << ahead << false << true << true;
        QTest::newRow("just outside the last safe moment") << TClock::MinLeadUs << false << true << true;
        QTest::newRow("too close to its play time") << TClock::MinLeadUs - 1 << false << true << false;
        QTest::newRow("the stream cannot take it back") << ahead << true << true << false;
    }
    void stopWithdrawsTheBeatNotYetHeard()
    {
        QFETCH(std::int64_t, beforePlayUs);
        QFETCH(bool, refuse);
        QFETCH(bool, decided);
        QFETCH(bool, withdrawn);
        ManualFixture f(120);
        f.stream.FRefuse = refuse;
        const std::int64_t start = f.time.NowUs();
        f.Resume();
        const std::int64_t play = start + 500'000;
        if (decided) {
            f.DecideAt(play - TClock::LookAheadUs, 1);
        }
        f.time.Set(play - beforePlayUs);
        if (!decided) {
            QTest::qWait(50);
            QCOMPARE(f.stream.SoundCount(), std::size_t(0));
        }
        const BeatSequence::State before = f.clock->SequenceState();
        f.clock->Suspend(); // Stop
        f.Drain();
        QVERIFY(f.shown.empty()); // nothing shows after Stop
        QCOMPARE(f.stream.FWithdrawn.size(), std::size_t(withdrawn ? 1 : 0));
        const BeatSequence::State after = f.clock->SequenceState();
        QCOMPARE(after.FCounter, withdrawn ? 0 : before.FCounter);
        QCOMPARE(after.FPosition, withdrawn ? 0 : before.FPosition);
        if (withdrawn) {
            // Started again within the interval: the withdrawn beat comes on its old frame.
            const std::int64_t oldFrame = f.stream.Sounds().front().second;
            f.time.Set(play - 30'000);
            f.Resume();
            QTRY_COMPARE(f.stream.SoundCount(), std::size_t(2));
            QCOMPARE(f.stream.Sounds().back().second, oldFrame);
            QVERIFY(f.stream.Sounds().back().first != f.stream.Sounds().front().first);
            f.Drain();
            QCOMPARE(f.shown.size(), std::size_t(1));
            QCOMPARE(f.shown.front().FCounter, 1);
        }
    }

    void withdrawalPutsBackTheDrummersDraw()
    {
        ManualFixture f(120);
        BeatSettings settings;
        settings.FBeatsPerBar = 1;
        settings.FRealDrummer = true;
        f.clock->SetSettings(settings);
        // Beats 1..4 by hand; beat 5 is the first chance of the drift, and its draw (0) moves it.
        for (int i = 0; i < 4; ++i) {
            f.clock->DecideNow();
        }
        const BeatSequence::State before = f.clock->SequenceState();
        const std::int64_t start = f.time.NowUs();
        f.Resume();
        f.DecideAt(start + 500'000 - TClock::LookAheadUs, 1);
        QCOMPARE(f.clock->FTempo(), 130);
        f.clock->Suspend();
        const BeatSequence::State after = f.clock->SequenceState();
        QCOMPARE(after.FRandom.State(), before.FRandom.State());
        QCOMPARE(after.FDrummer, false);
        QCOMPARE(f.clock->FTempo(), 120);
        QCOMPARE(f.clock->FInterval(), 500);
    }

    void tempoChangeKeepsTheDecidedBeatAndAppliesAfterIt()
    {
        ManualFixture f(120);
        const std::int64_t start = f.time.NowUs();
        f.Resume();
        f.DecideAt(start + 500'000 - TClock::LookAheadUs, 1);
        const std::int64_t first = f.stream.Sounds().front().second;
        f.clock->SetTempo(60);
        // Decided again on its own frame, under the new tempo.
        QTRY_COMPARE(f.stream.SoundCount(), std::size_t(2));
        QCOMPARE(f.stream.Sounds()[1].second, first);
        f.DecideAt(start + 500'000 + 1'000'000 - TClock::LookAheadUs, 3);
        QCOMPARE(f.stream.Sounds()[2].second - first, std::int64_t(48000));
    }

    // A beat's subdivisions divide the interval after it: each is due at k/n of it, after the
    // beat is heard and before the next beat is decided. Stop silences those still to come; a
    // new tempo, which applies from the next interval, lets them come.
    void subdivisionsComeAtFractionsOfTheInterval_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("after1"); // what happens once subdivision 1 is heard
        QTest::newRow("2, untouched") << 2 << "";
        QTest::newRow("3, untouched") << 3 << "";
        QTest::newRow("4, untouched") << 4 << "";
        QTest::newRow("4, stopped") << 4 << "stop";
        QTest::newRow("3, new tempo") << 3 << "tempo";
    }
    void subdivisionsComeAtFractionsOfTheInterval()
    {
        QFETCH(int, n);
        QFETCH(QString, after1);
        ManualFixture f(120);
        BeatSettings settings;
        settings.FBeatsPerBar = 4;
        settings.FPractice.FSubdivision = n;
        f.clock->SetSettings(settings);
        const std::int64_t start = f.time.NowUs();
        f.Resume();
        const std::int64_t play = start + 500'000;
        f.DecideAt(play - TClock::LookAheadUs, 1);
        const BeatDecision beat = f.stream.FBeats.front();
        QCOMPARE(beat.FSubdivision, n);
        QCOMPARE(beat.FSpanFrames, 24000.0);
        QCOMPARE(beat.FSpanUs, std::int64_t(500'000));
        QCOMPARE(std::llround(beat.FFrame), f.stream.Sounds().front().second);
        f.time.Set(play);
        QTRY_COMPARE(f.stream.HeardCount(), std::size_t(1));
        std::vector<int> expected;
        for (int k = 1; k < n; ++k) {
            const std::int64_t due = play + 500'000 * k / n - TClock::HeardEarlyUs;
            f.time.Set(due - 1000);
            QTest::qWait(20);
            QCOMPARE(f.stream.SubsHeard(), expected); // not before its time
            f.time.Set(due);
            expected.push_back(k);
            QTRY_COMPARE(f.stream.SubsHeard(), expected);
            if (k == 1 && after1 == "stop") {
                f.clock->Suspend();
                QCOMPARE(f.stream.FSubsWithdrawnFrom, std::vector<int>{2});
                f.time.Set(play + 500'000);
                QTest::qWait(30);
                QCOMPARE(f.stream.SubsHeard(), expected);
                return;
            }
            if (k == 1 && after1 == "tempo") {
                f.clock->SetTempo(60);
                QVERIFY(f.stream.FSubsWithdrawnFrom.empty());
            }
        }
        // Then the next beat, one whole interval after the first.
        f.DecideAt(play + 500'000 - TClock::LookAheadUs, 2);
        QCOMPARE(f.stream.Sounds()[1].second - f.stream.Sounds()[0].second, std::int64_t(24000));
    }

    void firstBeatAfterALongStopComesAtOnce()
    {
        ManualFixture f(40);
        const std::int64_t start = f.time.NowUs();
        f.Resume();
        f.DecideAt(start + 1'500'000 - TClock::LookAheadUs, 1);
        f.time.Set(start + 1'500'000);
        QTRY_COMPARE(f.stream.HeardCount(), std::size_t(1));
        f.clock->Suspend();
        f.time.Set(start + std::int64_t(5) * 3600 * 1'000'000); // five hours stopped
        const std::int64_t resumedAt = f.time.NowUs();
        f.Resume();
        QTRY_COMPARE(f.stream.SoundCount(), std::size_t(2));
        double frame = 0;
        QVERIFY(f.stream.FrameAt(resumedAt + TClock::LookAheadUs, frame));
        QVERIFY(std::llabs(f.stream.Sounds().back().second - std::llround(frame)) <= 1);
    }

    void noTickEventNoTick()
    {
        Fixture f(208);
        f.clock->SetOnTick(nullptr);
        const std::int64_t before = f.time.Peek();
        f.clock->Resume();
        QVERIFY(!f.main.Take(200));
        QVERIFY(f.time.Peek() - before > 288 * 1000); // time did pass on the clock's side
        f.Shutdown();
    }

    void shutdownEndsTheThread_data()
    {
        QTest::addColumn<int>("extraSuspends");
        QTest::addColumn<bool>("started");
        QTest::newRow("running") << 0 << true;
        QTest::newRow("stopped") << 1 << true;
        QTest::newRow("doubly suspended") << 2 << true;
        QTest::newRow("never started") << 0 << false;
    }
    void shutdownEndsTheThread()
    {
        QFETCH(int, extraSuspends);
        QFETCH(bool, started);
        Fixture f(100);
        if (started) {
            f.clock->Resume();
            f.RunTicks(1);
        }
        for (int i = 0; i < extraSuspends; ++i) {
            f.clock->Suspend();
        }
        f.Shutdown();
        // A beat handed over before the end is released without running.
        while (auto call = f.main.Take(20)) {
            call();
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.clock->Finished(), 150);
        QVERIFY(f.moments.size() <= 1);
    }

    void realTimeBeatsComeOnTheirGrid()
    {
        MainQueue main;
        std::vector<std::int64_t> moments;
        TClock clock(true, main.Poster());
        clock.SetTempo(300); // 200 ms
        clock.SetOnTick(
            [&](TClock&, const BeatDecision&, std::int64_t playUs) { moments.push_back(playUs); });
        clock.Resume();
        for (int i = 0; i < 4; ++i) {
            QVERIFY(main.RunNext(3000));
        }
        for (std::size_t i = 1; i < moments.size(); ++i) {
            QCOMPARE(moments[i] - moments[i - 1], std::int64_t(200'000));
        }
        clock.Shutdown();
        while (auto call = main.Take(20)) {
            call();
        }
        QTRY_VERIFY_WITH_TIMEOUT(clock.Finished(), 150);
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "test_clock.moc"
