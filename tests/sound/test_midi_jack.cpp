// The bytes TMidiTick sends to an external port, received on a private JACK server.
#include "Midi.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <RtMidi.h>

#include <memory>
#include <vector>

namespace {

using Message = std::vector<unsigned char>;

// An input port on JACK that keeps what reaches it.
class Receiver final
{
public:
    Receiver() : FIn(std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "TiktakonTest"))
    {
        FIn->openVirtualPort("in");
    }
    std::vector<Message> Take(std::size_t count, int timeoutMs)
    {
        std::vector<Message> got;
        QElapsedTimer timer;
        timer.start();
        Message m;
        while (timer.elapsed() < timeoutMs) {
            FIn->getMessage(&m);
            if (!m.empty()) {
                got.push_back(m);
                if (got.size() >= count) {
                    break;
                }
            } else {
                QThread::msleep(2);
            }
        }
        // Anything more that arrives soon after is also kept, so extra bytes show.
        QThread::msleep(50);
        for (FIn->getMessage(&m); !m.empty(); FIn->getMessage(&m)) {
            got.push_back(m);
        }
        return got;
    }

private:
    std::unique_ptr<RtMidiIn> FIn;
};

int DeviceOf(const QString& part)
{
    const QStringList names = MidiOutputNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].contains(part)) {
            return i;
        }
    }
    return -1;
}

// How many of our output ports JACK holds.
int OurOutputs()
{
    RtMidiIn probe(RtMidi::UNIX_JACK, "TiktakonProbe");
    int count = 0;
    for (unsigned i = 0; i < probe.getPortCount(); ++i) {
        if (QString::fromStdString(probe.getPortName(i)).contains(QStringLiteral("Tiktakon MIDI Out"))) {
            ++count;
        }
    }
    return count;
}

} // namespace

class TestMidiJack final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER"),
                 "the test needs the private JACK server");
    }

    void playSendsNoteOnThenNoteOff_data()
    {
        QTest::addColumn<int>("given");
        QTest::addColumn<int>("key");
        QTest::newRow("acoustic snare") << 38 << 38;
        QTest::newRow("claves") << 75 << 75;
        QTest::newRow("clamped low") << 20 << 35;
        QTest::newRow("clamped high") << 100 << 81;
    }
    void playSendsNoteOnThenNoteOff()
    {
        QFETCH(int, given);
        QFETCH(int, key);
        Receiver receiver;
        const int device = DeviceOf(QStringLiteral("TiktakonTest"));
        QVERIFY2(device > 0, qPrintable(MidiOutputNames().join(QLatin1Char('|'))));
        TMidiTick tick(static_cast<std::uint32_t>(device), static_cast<std::uint8_t>(given), 9);
        QVERIFY(tick.IsOpen());
        // The connection is made in one of the server's next cycles (later on a busy machine):
        // a beat that gets through shows it is there.
        bool connected = false;
        for (int attempt = 0; attempt < 50 && !connected; ++attempt) {
            tick.Play(12345);
            connected = !receiver.Take(2, 100).empty();
        }
        QVERIFY(connected);
        for (int beat = 0; beat < 3; ++beat) {
            tick.Play(12345); // a moment does not delay an external port
            QThread::msleep(30);
        }
        const auto got = receiver.Take(6, 2000);
        const auto k = static_cast<unsigned char>(key);
        std::vector<Message> expected;
        for (int beat = 0; beat < 3; ++beat) {
            expected.push_back({0x99, k, 0x7F});
            expected.push_back({0x89, k, 0x7F});
        }
        QCOMPARE(got, expected);
    }

    void freedOutputLeavesNoPort()
    {
        Receiver receiver;
        const int device = DeviceOf(QStringLiteral("TiktakonTest"));
        QVERIFY(device > 0);
        const int before = OurOutputs();
        auto first = std::make_unique<TMidiTick>(static_cast<std::uint32_t>(device), 56, 9);
        QVERIFY(first->IsOpen());
        QCOMPARE(OurOutputs(), before + 1);
        first.reset();
        TMidiTick second(static_cast<std::uint32_t>(device), 56, 9);
        QVERIFY(second.IsOpen());
        QCOMPARE(OurOutputs(), before + 1);
        QThread::msleep(100);
        second.Play();
        const auto got = receiver.Take(2, 2000);
        QCOMPARE(got, (std::vector<Message>{{0x99, 56, 0x7F}, {0x89, 56, 0x7F}}));
    }
};

QTEST_GUILESS_MAIN(TestMidiJack)
#include "test_midi_jack.moc"
