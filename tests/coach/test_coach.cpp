#include "HitDetector.h"
#include "SyntheticTake.h"
#include "TimingCoach.h"

#include <QtTest>

#include <cmath>

namespace {

using SyntheticTake::Attack;

constexpr int kRate = TimingCoach::Rate;
constexpr std::int64_t kInterval = 24000; // 120 BPM
constexpr std::int64_t kFirstBeat = 12000;
constexpr std::int64_t kDelay = 1234; // output to input, in frames

struct Planned
{
    int FBeat;
    double FOffsetMs;
    Attack FAttack;
};

// A take: the program's output (tone clicks on the beats and subdivisions) and what the input
// hears: the output `kDelay` frames later at `clickGain`, the player's hits, and noise.
struct Take
{
    std::vector<float> FOutput;
    std::vector<float> FInput;
    std::vector<Planned> FPlanned;
    std::vector<TimingCoach::Beat> FBeats;

    Take(int beats, int subdivision, double clickGain, const std::vector<double>& offsets, float hitLevel,
         float onClickLevel, bool drumsOnly = false)
        : FOutput(static_cast<std::size_t>(kFirstBeat + (beats + 2) * kInterval), 0.0f), FInput(FOutput.size(), 0.0f)
    {
        for (int k = 0; k < beats; ++k) {
            const std::int64_t frame = kFirstBeat + k * kInterval;
            for (int s = 0; s < subdivision; ++s) {
                SyntheticTake::AddToneClick(FOutput, frame + kInterval * s / subdivision, 0.25f);
            }
            TimingCoach::Beat b;
            b.FFrame = static_cast<double>(frame);
            b.FSpanFrames = static_cast<double>(kInterval);
            b.FSubdivision = subdivision;
            b.FPosition = k % 4;
            b.FTempo = 120;
            FBeats.push_back(b);
        }
        for (std::size_t i = 0; i < FOutput.size(); ++i) {
            if (i >= static_cast<std::size_t>(kDelay)) {
                FInput[i] = static_cast<float>(clickGain) * FOutput[i - static_cast<std::size_t>(kDelay)];
            }
        }
        // Beats 0 and 1 have no hit (only the clicks); from beat 2 on every other beat has one.
        for (int k = 2, i = 0; k < beats - 1; k += 2, ++i) {
            const double offset = offsets[static_cast<std::size_t>(i) % offsets.size()];
            const Attack attack = i % 2 == 0 || drumsOnly ? Attack::Drum : Attack::Guitar;
            const float level = std::abs(offset) <= 3 ? onClickLevel : hitLevel;
            const auto at = kFirstBeat + k * kInterval + kDelay + std::llround(offset * kRate / 1000.0);
            SyntheticTake::AddHit(FInput, at, attack, level, static_cast<std::uint32_t>(k));
            FPlanned.push_back({k, offset, attack});
        }
        SyntheticTake::AddNoise(FInput, 0.002f, 99);
    }

    bool Played(std::int64_t from, int frames, float* mono) const
    {
        for (int i = 0; i < frames; ++i) {
            const std::int64_t f = from + i;
            mono[i] = f >= 0 && f < static_cast<std::int64_t>(FOutput.size()) ? FOutput[static_cast<std::size_t>(f)] : 0.0f;
        }
        return true;
    }

    // Feeds the whole input in blocks, each beat told to the coach a little before it is heard.
    std::vector<TimingCoach::Hit> Listen(TimingCoach& coach, int block = 240)
    {
        std::vector<TimingCoach::Hit> hits;
        std::size_t nextBeat = 0;
        for (std::int64_t f = 0; f < static_cast<std::int64_t>(FInput.size()); f += block) {
            while (nextBeat < FBeats.size() && FBeats[nextBeat].FFrame < f + 4800) {
                coach.AddBeat(FBeats[nextBeat++]);
            }
            const int n = static_cast<int>(std::min<std::int64_t>(block, static_cast<std::int64_t>(FInput.size()) - f));
            coach.Input(f, FInput.data() + f, n, hits);
        }
        return hits;
    }
};

const std::vector<double> kOffsets = {-40, -25, -12, -3, -1, 0, 1, 3, 7, 15, 28, 40};

} // namespace

class TestCoach final : public QObject
{
    Q_OBJECT

private slots:
    // Every hit found and set against its beat, none of the program's clicks counted: with the
    // clicks loud in the input (taken out), with a hit on the click at or below its level, and
    // with the clicks not heard at all (headphones); from a delay guessed 29 ms wrong.
    void everyHitAndNoClick_data()
    {
        QTest::addColumn<double>("clickGain");
        QTest::addColumn<int>("subdivision");
        QTest::addColumn<bool>("calibrated");
        QTest::addColumn<float>("onClickLevel");
        QTest::newRow("clicks heard as loud as the hits") << 0.6 << 1 << false << 0.12f;
        QTest::newRow("hits on the click below its level") << 0.6 << 1 << false << 0.05f;
        QTest::newRow("clicks louder than the hits") << 1.2 << 1 << false << 0.2f;
        QTest::newRow("subdivisions in 2 heard too") << 0.6 << 2 << false << 0.12f;
        QTest::newRow("clicks not heard, calibrated") << 0.0 << 1 << true << 0.12f;
    }
    void everyHitAndNoClick()
    {
        QFETCH(double, clickGain);
        QFETCH(int, subdivision);
        QFETCH(bool, calibrated);
        QFETCH(float, onClickLevel);
        Take take(40, subdivision, clickGain, kOffsets, 0.2f, onClickLevel);
        TimingCoach coach([&take](std::int64_t from, int frames, float* mono) { return take.Played(from, frames, mono); });
        coach.SetDelay(calibrated ? kDelay : kDelay + 1400);
        const std::vector<TimingCoach::Hit> hits = take.Listen(coach);
        QStringList found;
        for (const TimingCoach::Hit& h : hits) {
            found << QString::number(h.FOffsetMs, 'f', 1);
        }
        QVERIFY2(hits.size() == take.FPlanned.size(),
                 qPrintable(QStringLiteral("%1 hits for %2 played: %3").arg(hits.size()).arg(take.FPlanned.size()).arg(found.join(' '))));
        if (clickGain > 0) {
            QCOMPARE(coach.Delay(), static_cast<double>(kDelay));
            QVERIFY(coach.DelayFromClicks());
        }
        double worstDrum = 0;
        double worstGuitar = 0;
        for (std::size_t i = 0; i < hits.size(); ++i) {
            const Planned& p = take.FPlanned[i];
            const double error = hits[i].FOffsetMs - p.FOffsetMs;
            QCOMPARE(hits[i].FPosition, p.FBeat % 4);
            (p.FAttack == Attack::Drum ? worstDrum : worstGuitar) =
                std::max(p.FAttack == Attack::Drum ? worstDrum : worstGuitar, std::abs(error));
        }
        qInfo("worst error: drum %.2f ms, guitar %.2f ms", worstDrum, worstGuitar);
        QVERIFY2(worstDrum <= 2.0, qPrintable(QString::number(worstDrum)));
        QVERIFY2(worstGuitar <= 5.0, qPrintable(QString::number(worstGuitar)));
    }

    // aubio is opened at run time: a known method works; a method aubio does not know leaves a
    // detector that finds nothing, without failing.
    void detectorOpensAubio()
    {
        const Take take(8, 1, 0.0, kOffsets, 0.2f, 0.12f);
        for (const char* method : {"energy", "no-such-method"}) {
            HitDetector detector(kRate, method);
            std::vector<HitDetector::Hit> hits;
            detector.Process(0, take.FInput.data(), static_cast<int>(take.FInput.size()), hits);
            const bool known = std::string(method) == "energy";
            QCOMPARE(detector.Works(), known);
            QCOMPARE(hits.size(), known ? take.FPlanned.size() : std::size_t(0));
        }
    }

    // The figures: mean (early is negative), spread, the mean per beat of the bar.
    void figuresOfTheTake()
    {
        // Drum hits 10 ms late on beat 3 of the bar, 20 ms early on beat 1.
        Take take(42, 1, 0.6, {10, -20}, 0.2f, 0.2f, true);
        TimingCoach coach([&take](std::int64_t from, int frames, float* mono) { return take.Played(from, frames, mono); });
        coach.SetDelay(kDelay);
        take.Listen(coach);
        const TimingCoach::Figures f = coach.Snapshot();
        QCOMPARE(f.FHits, static_cast<int>(take.FPlanned.size()));
        QVERIFY2(std::abs(f.FMeanMs + 5) < 0.2, qPrintable(QString::number(f.FMeanMs)));
        QVERIFY2(std::abs(f.FSpreadMs - 15) < 0.2, qPrintable(QString::number(f.FSpreadMs)));
        QCOMPARE(f.FBeatHits[1] + f.FBeatHits[3], 0); // hits on every other beat: beats 1 and 3 of 0..3
        QCOMPARE(f.FBeatHits[0], f.FBeatHits[2]);
        QVERIFY2(std::abs(f.FBeatMeanMs[2] - 10) < 0.2, qPrintable(QString::number(f.FBeatMeanMs[2])));
        QVERIFY2(std::abs(f.FBeatMeanMs[0] + 20) < 0.2, qPrintable(QString::number(f.FBeatMeanMs[0])));
        QVERIFY(!f.FDriftBpm);
    }

    // A calibration finds the delay to the sample from a few clicks; clicks the input never
    // hears give no delay at all.
    void calibrationFindsTheDelay_data()
    {
        QTest::addColumn<double>("clickGain");
        QTest::addColumn<bool>("found");
        QTest::newRow("heard") << 0.3 << true;
        QTest::newRow("not heard") << 0.0 << false;
    }
    void calibrationFindsTheDelay()
    {
        QFETCH(double, clickGain);
        QFETCH(bool, found);
        Take take(6, 1, clickGain, {0}, 0.0f, 0.0f);
        TimingCoach coach([&take](std::int64_t from, int frames, float* mono) { return take.Played(from, frames, mono); });
        coach.SetDelay(kDelay - 5000); // 104 ms off
        std::vector<std::int64_t> clicks;
        for (int k = 1; k < 5; ++k) {
            clicks.push_back(kFirstBeat + k * kInterval);
        }
        coach.Calibrate(clicks);
        std::vector<TimingCoach::Hit> hits;
        for (std::int64_t f = 0; f < static_cast<std::int64_t>(take.FInput.size()); f += 480) {
            const int n = static_cast<int>(std::min<std::int64_t>(480, static_cast<std::int64_t>(take.FInput.size()) - f));
            coach.Input(f, take.FInput.data() + f, n, hits);
        }
        const auto result = coach.CalibrationResult();
        QVERIFY(result.has_value());
        QCOMPARE(result->has_value(), found);
        if (found) {
            QCOMPARE(**result, static_cast<double>(kDelay));
        }
    }
};

QTEST_GUILESS_MAIN(TestCoach)
#include "test_coach.moc"
