#include "Clock.h"

#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

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

struct Fixture
{
    FakeTime time;
    MainQueue main;
    std::vector<std::int64_t> moments;
    std::unique_ptr<TClock> clock;

    explicit Fixture(int bpm)
    {
        clock = std::make_unique<TClock>(true, main.Poster(), time);
        clock->SetTempo(bpm);
        clock->SetOnTick([this](TClock&, std::int64_t moment) { moments.push_back(moment); });
    }
    void RunTicks(int count)
    {
        for (int i = 0; i < count; ++i) {
            QVERIFY(main.RunNext());
        }
    }
    void Shutdown()
    {
        clock->Shutdown();
    }
};

} // namespace

class TestClock final : public QObject
{
    Q_OBJECT

private slots:
    void newClockTicksOncePerSecond()
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
        // The first reading after the start is resumedAt + 1; a tick comes at the first reading
        // that exceeds the interval, never at an elapsed time equal to it.
        QCOMPARE(f.moments.front(), resumedAt + 1 + intervalMs * 1000 + 1);
        for (std::size_t i = 1; i < f.moments.size(); ++i) {
            QCOMPARE(f.moments[i] - f.moments[i - 1], std::int64_t(intervalMs) * 1000 + 1);
        }
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

    void newTempoAppliesFromTheNextInterval()
    {
        Fixture f(120);
        f.clock->Resume();
        f.RunTicks(1);
        f.clock->SetTempo(60);
        f.RunTicks(2);
        QCOMPARE(f.moments[2] - f.moments[1], std::int64_t(1000) * 1000 + 1);
        f.Shutdown();
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
        // A tick may already be on its way; it is dropped, and nothing follows it.
        if (auto call = f.main.Take(100)) {
            call();
        }
        QCOMPARE(f.moments.size(), std::size_t(1));
        QVERIFY(!f.main.Take(100));
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
        if (auto call = f.main.Take(100)) {
            call();
        }
        QVERIFY(f.moments.empty());
        QVERIFY(!f.main.Take(100));
        f.Shutdown();
    }

    void tickHandedOverBeforeSuspendIsDiscarded()
    {
        Fixture f(120);
        f.clock->Resume();
        auto pending = f.main.Take();
        QVERIFY(pending);
        f.clock->Suspend();
        pending();
        QVERIFY(f.moments.empty());
        // The clock thread was released and goes on once resumed.
        f.clock->Resume();
        f.RunTicks(1);
        QCOMPARE(f.moments.size(), std::size_t(1));
        f.Shutdown();
    }

    void firstTickAfterALongStopComesAtOnce()
    {
        Fixture f(40);
        f.clock->Resume();
        f.RunTicks(1);
        f.clock->Suspend();
        if (auto call = f.main.Take(100)) {
            call(); // handed over before the stop: dropped
        }
        QCOMPARE(f.moments.size(), std::size_t(1));
        f.time.Advance(std::int64_t(5) * 3600 * 1'000'000); // five hours stopped
        const std::int64_t resumedAt = f.time.Peek();
        f.clock->Resume();
        f.RunTicks(1);
        QVERIFY(f.moments[1] > resumedAt);
        QVERIFY(f.moments[1] - resumedAt < 100);
        // And the beat goes on at its interval from there.
        f.RunTicks(1);
        QCOMPARE(f.moments[2] - f.moments[1], std::int64_t(1500) * 1000 + 1);
        f.Shutdown();
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
        // A tick handed over before the end is released without running.
        while (auto call = f.main.Take(20)) {
            call();
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.clock->Finished(), 150);
        QVERIFY(f.moments.size() <= 1);
    }

    void realTimeTicksAtTheInterval()
    {
        MainQueue main;
        std::vector<std::int64_t> moments;
        TClock clock(true, main.Poster());
        clock.SetTempo(300); // 200 ms
        clock.SetOnTick([&](TClock&, std::int64_t moment) { moments.push_back(moment); });
        clock.Resume();
        for (int i = 0; i < 4; ++i) {
            QVERIFY(main.RunNext(3000));
        }
        for (std::size_t i = 1; i < moments.size(); ++i) {
            const std::int64_t gap = moments[i] - moments[i - 1];
            QVERIFY2(gap > 200'000, qPrintable(QString::number(gap)));
            QVERIFY2(gap < 600'000, qPrintable(QString::number(gap)));
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
