// TMidiTick's note rules, the instrument table and the device list, without a sound server.
#include "AudioOut.h"
#include "Midi.h"

#include <QSet>
#include <QtTest>

class TestMidi final : public QObject
{
    Q_OBJECT

private slots:
    void setNoteClampsToPercussionKeys_data()
    {
        QTest::addColumn<int>("given");
        QTest::addColumn<int>("kept");
        QTest::newRow("zero") << 0 << 35;
        QTest::newRow("below") << 34 << 35;
        QTest::newRow("lowest") << 35 << 35;
        QTest::newRow("claves") << 75 << 75;
        QTest::newRow("highest") << 81 << 81;
        QTest::newRow("above") << 82 << 81;
        QTest::newRow("top of byte") << 255 << 81;
    }
    void setNoteClampsToPercussionKeys()
    {
        QFETCH(int, given);
        QFETCH(int, kept);
        TMidiTick tick(0, static_cast<std::uint8_t>(given), 9);
        QVERIFY(tick.IsOpen());
        QCOMPARE(int(tick.FNote()), kept);
        QCOMPARE(tick.CacheCalls(), 1); // the note starts at 0, so creating always caches
        TMidiTick later(0, 60, 9);
        later.SetNote(static_cast<std::uint8_t>(given));
        QCOMPARE(int(later.FNote()), kept);
    }

    void cacheOnlyOnChangedNote()
    {
        TMidiTick tick(0xFFFFFFFFu, 35, 9);
        QVERIFY(tick.IsOpen());
        QCOMPARE(tick.FDeviceId(), 0xFFFFFFFFu);
        QCOMPARE(int(tick.FChannel()), 9);
        QCOMPARE(tick.CacheCalls(), 1);
        tick.SetNote(35);
        tick.SetNote(10); // clamps to the note it has
        QCOMPARE(tick.CacheCalls(), 1);
        tick.SetNote(75);
        QCOMPARE(tick.CacheCalls(), 2);
        tick.SetNote(200);
        tick.SetNote(81);
        QCOMPARE(tick.CacheCalls(), 3);
    }

    void deviceThatCannotOpenIsSilent()
    {
        const auto missing = static_cast<std::uint32_t>(MidiOutputNames().size() + 5);
        TMidiTick tick(missing, 20, 9);
        QVERIFY(!tick.IsOpen());
        QCOMPARE(int(tick.FNote()), 35);
        QCOMPARE(tick.CacheCalls(), 0);
        tick.SetNote(50);
        QCOMPARE(tick.CacheCalls(), 0);
        tick.Play();
        tick.Play(1234);
    }

    void builtInSynthIsDeviceZero()
    {
        const QStringList names = MidiOutputNames();
        QVERIFY(!names.isEmpty());
        QVERIFY(names.front().contains(QStringLiteral("FluidSynth")));
        QVERIFY(!AudioOut::SynthSoundFont().empty());
        TMidiTick tick(0, 75, 9);
        QVERIFY(tick.IsOpen());
        tick.Play(); // rendered into the dummy device
    }

    void instrumentTableCoversEveryKeyOnce()
    {
        QCOMPARE(MidiInstrumentEntries.size(), std::size_t(47));
        QCOMPARE(QString::fromLatin1(MidiInstrumentEntries[0]), QStringLiteral("38 Acoustic Snare"));
        QCOMPARE(QString::fromLatin1(MidiInstrumentEntries[5]), QStringLiteral("75 Claves"));
        QCOMPARE(QString::fromLatin1(MidiInstrumentEntries[10]), QStringLiteral("40 Electric snare"));
        QCOMPARE(QString::fromLatin1(MidiInstrumentEntries[46]), QStringLiteral("58 Vibraslap"));
        QSet<int> keys;
        for (const char* entry : MidiInstrumentEntries) {
            const QString text = QString::fromLatin1(entry);
            QCOMPARE(text.at(2), QLatin1Char(' '));
            bool ok = false;
            const int key = text.left(2).toInt(&ok);
            QVERIFY2(ok && key >= 35 && key <= 81, entry);
            QVERIFY2(!keys.contains(key), entry);
            keys.insert(key);
            QVERIFY(text.size() > 3);
        }
        QCOMPARE(keys.size(), 47);
    }
};

QTEST_GUILESS_MAIN(TestMidi)
#include "test_midi.moc"
