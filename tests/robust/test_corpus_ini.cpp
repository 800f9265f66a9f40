// Damaged and foreign settings files read by the real window at start-up and written at close:
// every readable setting is taken, whatever is unreadable gives its default, and every line that
// is not one of the program's own keys goes back to the file byte for byte.
#include "AppFixture.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <string_view>

using namespace std::string_view_literals;

namespace {

// The settings the rows look at, as the window holds them after start-up.
struct Seen
{
    int rhythm;
    int tempo;
    int mode;
    QString wavePath1;
    TColor beatColour;
    bool lights;
    bool operator==(const Seen&) const = default;
};

// Printed by QCOMPARE when the settings differ.
char* toString(const Seen& s)
{
    return qstrdup(QStringLiteral("rhythm %1, tempo %2, mode %3, wave \"%4\", colour %5, lights %6")
                       .arg(s.rhythm)
                       .arg(s.tempo)
                       .arg(s.mode)
                       .arg(s.wavePath1)
                       .arg(s.beatColour)
                       .arg(s.lights)
                       .toUtf8()
                       .constData());
}

Seen Read(const TformMain& m)
{
    return {m.RhythmValue(), m.SliderTempo(), m.SoundMode(), m.WavePath1(), m.BeatColour(), m.LightsShown()};
}

const QByteArray Bom = "\xEF\xBB\xBF";

// Bytes with NULs in them, all of them.
QByteArray Raw(std::string_view bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

Q_DECLARE_METATYPE(QList<QByteArray>)

class TestCorpusIni final : public QObject
{
    Q_OBJECT

private slots:
    void damagedSettingsFileReadAndItsForeignLinesKept_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("rhythm");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("wavePath1");
        QTest::addColumn<int>("beatColour");
        QTest::addColumn<bool>("lights");
        // Pieces that are not the program's keys: each must stand in the closed file as it was.
        QTest::addColumn<QList<QByteArray>>("foreign");
        // The line ending of the lines the close adds.
        QTest::addColumn<QByteArray>("newLine");

        QTest::newRow("LF") << QByteArray(
                                   "[metro]\nrytmus=3\ntempo=150\n[cizi]\nklic=hodnota\n[zvuk]\nmode=2\n")
                            << 3 << 150 << 2 << QString() << 255 << true
                            << QList<QByteArray>{"[cizi]\nklic=hodnota\n"} << QByteArray("\n");
        QTest::newRow("CRLF") << QByteArray("[metro]\r\nrytmus=3\r\ntempo=150\r\n[cizi]\r\nklic=hodnota\r\n"
                                            "[zvuk]\r\nmode=2\r\n")
                              << 3 << 150 << 2 << QString() << 255 << true
                              << QList<QByteArray>{"[cizi]\r\nklic=hodnota\r\n"} << QByteArray("\r\n");
        QTest::newRow("mixed line ends")
            << QByteArray(
                   "[metro]\r\nrytmus=3\ntempo=150\r\n; poznámka\n[cizi]\r\nklic=hodnota\n[zvuk]\nmode=2\r\n")
            << 3 << 150 << 2 << QString() << 255 << true
            << QList<QByteArray>{"; poznámka\n", "[cizi]\r\nklic=hodnota\n"} << QByteArray("\r\n");
        // A byte-order mark from an editor does not hide the first section.
        QTest::newRow("UTF-8 BOM") << Bom + "[metro]\nrytmus=3\ntempo=150\n[zvuk]\nwavepath1=/tmp/ťuk.wav\n"
                                   << 3 << 150 << 1 << QStringLiteral("/tmp/ťuk.wav") << 255 << true
                                   << QList<QByteArray>{Bom + "[metro]\n"} << QByteArray("\n");
        QTest::newRow("keys before any section")
            << QByteArray("tempo=150\nmode=3\nrytmus=2\n[visual]\nsvetla=0\n") << 4 << 100 << 1 << QString()
            << 255 << false << QList<QByteArray>{"tempo=150\nmode=3\nrytmus=2\n[visual]\n"}
            << QByteArray("\n");
        QTest::newRow("duplicate sections, first wins")
            << QByteArray(
                   "[metro]\ntempo=150\n[barva]\ndoby=65280\n[metro]\ntempo=60\nrytmus=2\n[barva]\ndoby=1\n")
            << 4 << 150 << 1 << QString() << 65280 << true
            << QList<QByteArray>{"[metro]\ntempo=60\nrytmus=2\n[barva]\ndoby=1\n"} << QByteArray("\n");
        QTest::newRow("duplicate keys, first wins")
            << QByteArray("[metro]\ntempo=150\nTEMPO=60\n rytmus = 5 \nrytmus=2\n") << 5 << 150 << 1
            << QString() << 255 << true << QList<QByteArray>{"TEMPO=60\n", "rytmus=2\n"} << QByteArray("\n");
        const QByteArray longValue(10000, 'x');
        const QByteArray longPath = "/" + QByteArray(9999, 'p');
        QTest::newRow("lines of 10000 characters")
            << QByteArray("[cizi]\ndlouhy=" + longValue + "\n[" + QByteArray(10000, 's') +
                          "]\nk=v\n[zvuk]\nwavepath1=" + longPath + "\n[metro]\ntempo=120\n")
            << 4 << 120 << 1 << QString::fromLatin1(longPath.left(2047)) << 255 << true
            << QList<QByteArray>{"[cizi]\ndlouhy=" + longValue + "\n[" + QByteArray(10000, 's') + "]\nk=v\n"}
            << QByteArray("\n");
        QTest::newRow("NUL bytes") << Raw("[metro]\ntempo=1\0"
                                          "20\nrytmus=3\n[ci\0zi]\nk=v\0w\n[zvuk]\nmode=\0\n"sv)
                                   << 3 << 100 << 1 << QString() << 255 << true
                                   << QList<QByteArray>{Raw("[ci\0zi]\nk=v\0w\n"sv)} << QByteArray("\n");
        QTest::newRow("no final newline")
            << QByteArray("[cizi]\nk=v\n[metro]\ntempo=150") << 4 << 150 << 1 << QString() << 255 << true
            << QList<QByteArray>{"[cizi]\nk=v\n"} << QByteArray("\n");
        QTest::newRow("foreign section last, no final newline")
            << QByteArray("[metro]\r\ntempo=150\r\n[cizi]\r\nk=v") << 4 << 150 << 1 << QString() << 255
            << true << QList<QByteArray>{"[cizi]\r\nk=v"} << QByteArray("\r\n");
        QTest::newRow("empty file") << QByteArray() << 4 << 100 << 1 << QString() << 255 << true
                                    << QList<QByteArray>{} << QByteArray("\n");
        QTest::newRow("only blank lines and comments")
            << QByteArray("\n\n   \n;[metro]\n;tempo=150\n") << 4 << 100 << 1 << QString() << 255 << true
            << QList<QByteArray>{"\n\n   \n;[metro]\n;tempo=150\n"} << QByteArray("\n");
        QByteArray binary;
        for (int i = 0; i < 4096; ++i) {
            binary += static_cast<char>((i * 7919 + 13) % 256 == '\n' ? 'n' : (i * 7919 + 13) % 256);
        }
        QTest::newRow("binary garbage") << binary << 4 << 100 << 1 << QString() << 255 << true
                                        << QList<QByteArray>{binary} << QByteArray("\n");
        QTest::newRow("unreadable values give defaults")
            << QByteArray(
                   "[metro]\nrytmus=\ntempo=0x\n[zvuk]\nmode=abc\n[barva]\ndoby=$\n[visual]\nsvetla=zero\n")
            << 4 << 100 << 1 << QString() << 255 << true << QList<QByteArray>{} << QByteArray("\n");
    }
    void damagedSettingsFileReadAndItsForeignLinesKept()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, rhythm);
        QFETCH(int, tempo);
        QFETCH(int, mode);
        QFETCH(QString, wavePath1);
        QFETCH(int, beatColour);
        QFETCH(bool, lights);
        QFETCH(QList<QByteArray>, foreign);
        QFETCH(QByteArray, newLine);
        const Seen expected{rhythm, tempo, mode, wavePath1, static_cast<TColor>(beatColour), lights};

        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("tiktakon.ini"));
        QVERIFY(WriteAll(ini, file));
        {
            AppFixture f(false, dir.path());
            QCOMPARE(Read(*f.FMain), expected);
            // Reading never writes.
            QCOMPARE(ReadAll(ini), file);
            f.Close();
            QVERIFY2(f.FMessages.isEmpty(), qPrintable(f.FMessages.join(u'|')));
        }
        const QByteArray closed = ReadAll(ini);
        qsizetype from = 0;
        for (const QByteArray& piece : foreign) {
            const qsizetype at = closed.indexOf(piece, from);
            QVERIFY2(at >= 0, piece.left(80).constData());
            from = at + piece.size();
        }
        QVERIFY(closed.contains("selected=-1" + newLine));
        QVERIFY(closed.contains("tempo=" + QByteArray::number(tempo) + newLine));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("profiles.mtr"), QStringLiteral("tiktakon.ini")}));

        // The closed file reads back to the same settings, and a second close changes nothing.
        AppFixture again(false, dir.path());
        QCOMPARE(Read(*again.FMain), expected);
        again.Close();
        QVERIFY(again.FMessages.isEmpty());
        QCOMPARE(ReadAll(ini), closed);
    }
};

QTEST_MAIN(TestCorpusIni)
#include "test_corpus_ini.moc"
