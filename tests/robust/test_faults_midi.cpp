// The MIDI port removed while open: a private JACK server is stopped under an open TMidiTick on
// one of its ports. Playing, opening and closing then neither crash nor hang.
#include "Midi.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <RtMidi.h>

#include <memory>

namespace {

const QString ServerName = QStringLiteral("tiktakon-faults-%1").arg(QCoreApplication::applicationPid());

bool Server(const QString& command, const QString& dir)
{
    return QProcess::execute(QStringLiteral(TIKTAKON_SOUND_SCRIPTS "/jack-server.sh"),
                             {command, ServerName, dir}) == 0;
}

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

} // namespace

class TestFaultsMidi final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

private slots:
    void initTestCase()
    {
        qputenv("JACK_DEFAULT_SERVER", ServerName.toLocal8Bit());
        qputenv("JACK_NO_START_SERVER", "1");
        QVERIFY(Server(QStringLiteral("start"), FDir.path()));
    }

    void cleanupTestCase() { Server(QStringLiteral("stop"), FDir.path()); }

    void portRemovedWhileOpen()
    {
        auto receiver = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "TiktakonFaults");
        receiver->openVirtualPort("in");
        const int device = DeviceOf(QStringLiteral("TiktakonFaults"));
        QVERIFY(device > 0);
        auto tick = std::make_unique<TMidiTick>(static_cast<std::uint32_t>(device), 75, 9);
        QVERIFY(tick->IsOpen());
        tick->Play();
        std::vector<unsigned char> message;
        QElapsedTimer wait;
        wait.start();
        while (message.empty() && wait.elapsed() < 3000) {
            QThread::msleep(5);
            receiver->getMessage(&message);
        }
        QCOMPARE(message, (std::vector<unsigned char>{0x99, 75, 127}));

        QVERIFY(Server(QStringLiteral("stop"), FDir.path()));
        QElapsedTimer gone;
        gone.start();
        // The beat goes on: every hit returns at once.
        for (int i = 0; i < 20; ++i) {
            tick->Play();
            QThread::msleep(20);
        }
        // The port list, a new output on the vanished port and the closing do not wait on the server.
        const QStringList names = MidiOutputNames();
        QVERIFY(!names.isEmpty());
        TMidiTick again(static_cast<std::uint32_t>(device), 75, 9);
        again.Play();
        tick.reset();
        // RtMidi crashes closing a JACK client of a vanished server; the test's own input is left.
        static_cast<void>(receiver.release());
        QVERIFY2(gone.elapsed() < 10000, qPrintable(QString::number(gone.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestFaultsMidi)
#include "test_faults_midi.moc"
