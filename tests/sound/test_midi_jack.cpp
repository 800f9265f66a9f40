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

// Plays beats until `wanted` of them have arrived whole, each as exactly {note-on, note-off}.
// On a loaded machine the server may drop a cycle, and what the receiver had in it is lost with
// it; a beat of which nothing, or only its note-on, arrived is played again (a few times at
// most). Anything else (a wrong byte, a message too many, note-off first) is a fault: the
// returned text says what came. The first beats may also go out before the connection is made.
QString PlayWholeBeats(TMidiTick& tick, Receiver& receiver, const Message& on, const Message& off,
                       int wanted, int attempts)
{
    const std::vector<Message> whole{on, off};
    int complete = 0;
    for (int attempt = 0; attempt < attempts && complete < wanted; ++attempt) {
        tick.Play(12345); // a moment does not delay an external port
        const bool connecting = complete == 0;
        const auto got = receiver.Take(2, connecting ? 100 : 2000);
        // While connecting, a beat played earlier may arrive late, together with this one.
        std::size_t pairs = 0;
        while (2 * pairs + 1 < got.size() && got[2 * pairs] == on && got[2 * pairs + 1] == off) {
            ++pairs;
        }
        const bool wholeBeats = pairs > 0 && 2 * pairs == got.size();
        if (got == whole || (connecting && wholeBeats)) {
            complete += static_cast<int>(pairs);
        } else if (!got.empty() && got != std::vector<Message>{on}) {
            QStringList texts;
            for (const Message& m : got) {
                QStringList bytes;
                for (unsigned char b : m) {
                    bytes << QString::number(b, 16);
                }
                texts << bytes.join(QLatin1Char(' '));
            }
            return QStringLiteral("beat %1 brought: %2").arg(attempt).arg(texts.join(QStringLiteral(" | ")));
        }
    }
    return complete >= wanted ? QString() : QStringLiteral("only %1 whole beats arrived").arg(complete);
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
        // the beats played before it are not counted.
        const auto k = static_cast<unsigned char>(key);
        const QString fault = PlayWholeBeats(tick, receiver, {0x99, k, 0x7F}, {0x89, k, 0x7F}, 3, 50);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
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
        const QString fault = PlayWholeBeats(second, receiver, {0x99, 56, 0x7F}, {0x89, 56, 0x7F}, 1, 50);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }
};

QTEST_GUILESS_MAIN(TestMidiJack)
#include "test_midi_jack.moc"
