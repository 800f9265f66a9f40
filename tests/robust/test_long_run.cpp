// Ten hours of beating at 208 BPM on a fake time line: the real window's beat handler and its
// one-second timer driven as the clock and the timer would drive them, with the real drummer on.
#include "AppFixture.h"

#include "BeatRules.h"
#include "Clock.h"
#include "SpinEdit.h"
#include "StatusTexts.h"

#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace {

// Resident pages of this process.
long ResidentKb()
{
    long size = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

class TestLongRun final : public QObject
{
    Q_OBJECT

private slots:
    void tenHoursAt208WithTheRealDrummer()
    {
        AppFixture f;
        TformMain& m = *f.FMain;
        m.SetSliderTempo(208);
        m.SpB_Beat->SetValue(4);
        m.SetRealDrummer(true);
        m.SetMuteChecked(true);
        QVERIFY(f.FMessages.isEmpty());
        const int base = m.FClock->FTempo();
        QCOMPARE(base, 208);

        // Start as the user does, then hold the clock thread still: the test is the time line.
        m.btnStartStopClick();
        QVERIFY(m.Running());
        m.FClock->Suspend();
        m.Timer->stop();

        constexpr std::int64_t TenHoursUs = 10LL * 3600 * 1'000'000;
        std::int64_t now = 0;
        std::int64_t nextBeat = 0;
        std::int64_t nextSecond = 1'000'000;
        int beats = 0;
        int seconds = 0;
        int rises = 0;
        int falls = 0;
        int wrongChances = 0;
        int wrongTempo = 0;
        long residentAfterWarmUp = 0;
        while (now < TenHoursUs) {
            if (nextBeat <= nextSecond) {
                now = nextBeat;
                const int before = m.FClock->FTempo();
                m.BeatNow();
                ++beats;
                const int after = m.FClock->FTempo();
                if (after != base && after != base + 10) {
                    ++wrongTempo;
                }
                if (after != before) {
                    // The drift moves only at the first beat of bars 5, 9, 13, ... (N = 4).
                    if (beats <= 1 || beats % 16 != 1) {
                        ++wrongChances;
                    }
                    (after > before ? rises : falls) += 1;
                    QCOMPARE(m.Image_Smile->isVisibleTo(&m), after > base);
                }
                // The clock's wait: just over its interval, which follows the drift.
                nextBeat = now + std::int64_t(m.FClock->FInterval()) * 1000 + 1;
            } else {
                now = nextSecond;
                m.TimerTimer();
                ++seconds;
                nextSecond += 1'000'000;
            }
            if (beats % 4096 == 0) {
                QCoreApplication::processEvents();
            }
            if (seconds == 600 && residentAfterWarmUp == 0) {
                residentAfterWarmUp = ResidentKb();
            }
        }
        QCoreApplication::processEvents();
        const long residentAtEnd = ResidentKb();

        QCOMPARE(seconds, 36000);
        QCOMPARE(f.Panel(2), QStringLiteral(" Čas:  10:00:00"));
        QCOMPARE(m.FRunTime, 36000);
        QCOMPARE(m.FBeatCounter, beats);
        QCOMPARE(f.Panel(1), BarCounterText(BarNumber(beats, 4)));
        QCOMPARE(m.FBeatPosition, beats % 4);
        QCOMPARE(wrongTempo, 0);
        QCOMPARE(wrongChances, 0);
        // One chance in three at every fourth bar: over 7800 chances the flips are plentiful,
        // and they alternate, so rises and falls differ by at most one.
        QVERIFY(rises > 1000);
        QVERIFY(std::abs(rises - falls) <= 1);
        QCOMPARE(m.FClock->FTempo() == base + 10, rises > falls);
        // 10 h at 208..218 BPM: between the two tempi's beat counts.
        QVERIFY(beats >= 36'000'000 / 288 && beats <= 36'000'000 / 275 + 1);
        // The spin box and slider keep the user's tempo through every drift.
        QCOMPARE(m.SliderTempo(), 208);
        QCOMPARE(m.SpEd_Time->Value(), 208);
        QVERIFY(f.FMessages.isEmpty());
        qInfo("%d beats, %d rises, %d falls; resident %ld kB after 10 min, %ld kB after 10 h", beats, rises,
              falls, residentAfterWarmUp, residentAtEnd);
        QVERIFY(residentAfterWarmUp > 0);
#ifndef __SANITIZE_ADDRESS__
        // AddressSanitizer holds freed memory back in its quarantine, so there it grows by design.
        QVERIFY2(residentAtEnd - residentAfterWarmUp < 4096, "memory grew during the run");
#endif
    }
};

QTEST_MAIN(TestLongRun)
#include "test_long_run.moc"
