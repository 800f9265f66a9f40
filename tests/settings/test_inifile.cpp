#include "Error.h"
#include "IniFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void readInteger_data();
    void readInteger();
    void readString_data();
    void readString();
    void readBoolTakesAnyNonZeroAsTrue();
    void missingFileGivesDefaults();

    void write_data();
    void write();
    void writeRoundTripsThroughRead();
    void writeKeepsFileMode();
    void readOnlyFileFailsAndStaysUnchanged();
    void readOnlyDirectoryFailsAndLeavesNoFile();
    void missingDirectoryFails();

private:
    QTemporaryDir FDir;
    QString Path() const { return FDir.filePath(QStringLiteral("tiktakon.ini")); }
};

void TestIniFile::readInteger_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("def");
    QTest::addColumn<int>("expected");

    const QByteArray base = "[zvuk]\nmode=";
    QTest::newRow("decimal") << base + "42\n"
                             << "zvuk"
                             << "mode" << 7 << 42;
    QTest::newRow("negative") << base + "-1\n"
                              << "zvuk"
                              << "mode" << 7 << -1;
    QTest::newRow("0x3") << base + "0x3\n"
                         << "zvuk"
                         << "mode" << 7 << 3;
    QTest::newRow("0X1f") << base + "0X1f\n"
                          << "zvuk"
                          << "mode" << 7 << 31;
    QTest::newRow("$1F") << base + "$1F\n"
                         << "zvuk"
                         << "mode" << 7 << 31;
    QTest::newRow("$FF00FF colour") << base + "$FF00FF\n"
                                    << "zvuk"
                                    << "mode" << 7 << 16711935;
    QTest::newRow("0x alone") << base + "0x\n"
                              << "zvuk"
                              << "mode" << 7 << 7;
    QTest::newRow("$ alone") << base + "$\n"
                             << "zvuk"
                             << "mode" << 7 << 7;
    QTest::newRow("abc") << base + "abc\n"
                         << "zvuk"
                         << "mode" << 7 << 7;
    QTest::newRow("trailing junk") << base + "12x\n"
                                   << "zvuk"
                                   << "mode" << 7 << 7;
    QTest::newRow("minus alone") << base + "-\n"
                                 << "zvuk"
                                 << "mode" << 7 << 7;
    QTest::newRow("empty") << base + "\n"
                           << "zvuk"
                           << "mode" << 7 << 7;
    QTest::newRow("too large") << base + "2147483648\n"
                               << "zvuk"
                               << "mode" << 7 << 7;
    QTest::newRow("smallest") << base + "-2147483648\n"
                              << "zvuk"
                              << "mode" << 7 << INT_MIN;
    QTest::newRow("blanks around") << QByteArray("[zvuk]\n  mode  =   3  \n") << "zvuk"
                                   << "mode" << 7 << 3;
    QTest::newRow("missing section") << base + "3\n"
                                     << "metro"
                                     << "mode" << 7 << 7;
    QTest::newRow("missing key") << base + "3\n"
                                 << "zvuk"
                                 << "tempo" << 7 << 7;
    QTest::newRow("mixed case names") << QByteArray("[ZvUk]\nMODE=3\n") << "zVUK"
                                      << "Mode" << 7 << 3;
    QTest::newRow("sections in any order")
        << QByteArray("[grid]\n1=80\n[zvuk]\nmode=2\n[metro]\ntempo=90\n") << "metro"
        << "tempo" << 7 << 90;
    QTest::newRow("key of another section")
        << QByteArray("[visual]\ndurazy=1\n[barva]\ndurazy=255\n") << "barva"
        << "durazy" << 7 << 255;
    QTest::newRow("first duplicate section wins")
        << QByteArray("[zvuk]\nmode=2\n[zvuk]\nmode=4\nmididevice=5\n") << "zvuk"
        << "mode" << 7 << 2;
    QTest::newRow("key only in second duplicate section")
        << QByteArray("[zvuk]\nmode=2\n[zvuk]\nmididevice=5\n") << "zvuk"
        << "mididevice" << 7 << 7;
    QTest::newRow("first duplicate key wins") << QByteArray("[zvuk]\nmode=2\nmode=4\n") << "zvuk"
                                              << "mode" << 7 << 2;
    QTest::newRow("CRLF file") << QByteArray("[metro]\r\nrytmus=3\r\ntempo=120\r\n") << "metro"
                               << "tempo" << 7 << 120;
    QTest::newRow("comment is no key") << QByteArray("[zvuk]\n;mode=2\n") << "zvuk"
                                       << "mode" << 7 << 7;
    QTest::newRow("quoted number") << QByteArray("[metro]\ntempo=\"120\"\n") << "metro"
                                   << "tempo" << 7 << 120;
}

void TestIniFile::readInteger()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, def);
    QFETCH(int, expected);
    QVERIFY(WriteAll(Path(), file));
    QCOMPARE(IniFile(Path()).ReadInteger(section, key, def), expected);
}

void TestIniFile::readString_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");

    QTest::newRow("trimmed") << QByteArray("[zvuk]\nwavepath1 =  /a b/c.wav \t\n") << "/a b/c.wav";
    QTest::newRow("empty value") << QByteArray("[zvuk]\nwavepath1=\n") << "";
    QTest::newRow("equals inside value") << QByteArray("[zvuk]\nwavepath1=/x=y.wav\n") << "/x=y.wav";
    QTest::newRow("UTF-8 path") << QByteArray("[zvuk]\nwavepath1=/hudba/Zvuk č.1.wav\n")
                                << QString::fromUtf8("/hudba/Zvuk č.1.wav");
    QTest::newRow("CRLF") << QByteArray("[zvuk]\r\nwavepath1=/a.wav\r\n") << "/a.wav";
    QTest::newRow("last line without ending") << QByteArray("[zvuk]\nwavepath1=/a.wav") << "/a.wav";
    const QByteArray longValue(3000, 'p');
    QTest::newRow("3000 characters cut to 2047")
        << QByteArray("[zvuk]\nwavepath1=" + longValue + "\n") << QString(2047, u'p');
    QTest::newRow("missing key gives default") << QByteArray("[zvuk]\nwavepath2=/a.wav\n") << "default";
    // Hand-edited files quote paths: one pair of matching quotes around the value is no part of it.
    QTest::newRow("double quotes") << QByteArray("[zvuk]\nwavepath1=\"/home/me/click.wav\"\n")
                                   << "/home/me/click.wav";
    QTest::newRow("single quotes, blanks inside kept") << QByteArray("[zvuk]\nwavepath1= '/a b/c.wav ' \n")
                                                       << "/a b/c.wav ";
    QTest::newRow("only one pair") << QByteArray("[zvuk]\nwavepath1=\"\"/a.wav\"\"\n") << "\"/a.wav\"";
    QTest::newRow("empty quotes") << QByteArray("[zvuk]\nwavepath1=\"\"\n") << "";
    QTest::newRow("quotes that do not match") << QByteArray("[zvuk]\nwavepath1=\"/a.wav'\n") << "\"/a.wav'";
    QTest::newRow("a lone quote") << QByteArray("[zvuk]\nwavepath1=\"\n") << "\"";
    QTest::newRow("quotes inside") << QByteArray("[zvuk]\nwavepath1=/a \"b\".wav\n") << "/a \"b\".wav";
}

void TestIniFile::readString()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    QVERIFY(WriteAll(Path(), file));
    QCOMPARE(IniFile(Path()).ReadString(QStringLiteral("zvuk"), QStringLiteral("wavepath1"),
                                        QStringLiteral("default")),
             expected);
}

void TestIniFile::readBoolTakesAnyNonZeroAsTrue()
{
    QVERIFY(WriteAll(Path(), "[v]\nzero=0\none=1\ntwo=2\nhex=0x0\nbad=yes\n"));
    const IniFile ini(Path());
    QCOMPARE(ini.ReadBool("v", "zero", true), false);
    QCOMPARE(ini.ReadBool("v", "one", false), true);
    QCOMPARE(ini.ReadBool("v", "two", false), true);
    QCOMPARE(ini.ReadBool("v", "hex", true), false);
    QCOMPARE(ini.ReadBool("v", "bad", true), true);
    QCOMPARE(ini.ReadBool("v", "bad", false), false);
    QCOMPARE(ini.ReadBool("v", "missing", true), true);
}

void TestIniFile::missingFileGivesDefaults()
{
    const IniFile ini(FDir.filePath(QStringLiteral("none.ini")));
    QCOMPARE(ini.ReadInteger("metro", "tempo", 100), 100);
    QCOMPARE(ini.ReadString("zvuk", "wavepath1", "x"), QStringLiteral("x"));
    QCOMPARE(ini.ReadBool("visual", "svetla", true), true);
    QVERIFY(!QFileInfo::exists(ini.Path()));
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray() << false << "metro"
                              << "tempo"
                              << "120" << QByteArray("[metro]\ntempo=120\n");
    QTest::newRow("empty file") << QByteArray() << true << "metro"
                                << "tempo"
                                << "120" << QByteArray("[metro]\ntempo=120\n");
    QTest::newRow("new section at the end")
        << QByteArray("[profil]\nselected=-1\n\n[other]\nx = 1\n") << true << "metro"
        << "tempo"
        << "120" << QByteArray("[profil]\nselected=-1\n\n[other]\nx = 1\n[metro]\ntempo=120\n");
    QTest::newRow("new key at the end of its section, blank line kept")
        << QByteArray("[metro]\nrytmus=4\n\n[zvuk]\nmode=1\n") << true << "metro"
        << "tempo"
        << "120" << QByteArray("[metro]\nrytmus=4\ntempo=120\n\n[zvuk]\nmode=1\n");
    QTest::newRow("existing key replaced without blanks, others byte for byte")
        << QByteArray("; my notes\n[Metro]\n  Tempo = 90 \nunknown = keep me  \n[x]\ntempo=5\n") << true
        << "metro"
        << "tempo"
        << "120" << QByteArray("; my notes\n[Metro]\ntempo=120\nunknown = keep me  \n[x]\ntempo=5\n");
    QTest::newRow("first of duplicate keys replaced")
        << QByteArray("[metro]\ntempo=1\ntempo=2\n") << true << "metro"
        << "tempo"
        << "3" << QByteArray("[metro]\ntempo=3\ntempo=2\n");
    QTest::newRow("first of duplicate sections written")
        << QByteArray("[metro]\nrytmus=1\n[metro]\ntempo=2\n") << true << "metro"
        << "tempo"
        << "3" << QByteArray("[metro]\nrytmus=1\ntempo=3\n[metro]\ntempo=2\n");
    QTest::newRow("CRLF lines keep their endings")
        << QByteArray("[metro]\r\ntempo=90\r\n[zvuk]\r\nmode=1\r\n") << true << "metro"
        << "tempo"
        << "120" << QByteArray("[metro]\r\ntempo=120\r\n[zvuk]\r\nmode=1\r\n");
    QTest::newRow("new key in a CRLF file takes CRLF")
        << QByteArray("[metro]\r\ntempo=90\r\n[zvuk]\r\nmode=1\r\n") << true << "metro"
        << "mute"
        << "0" << QByteArray("[metro]\r\ntempo=90\r\nmute=0\r\n[zvuk]\r\nmode=1\r\n");
    QTest::newRow("mixed endings each kept") << QByteArray("[a]\r\nx=1\ny=2\r\n") << true << "a"
                                             << "y"
                                             << "3" << QByteArray("[a]\r\nx=1\ny=3\r\n");
    QTest::newRow("last line without ending") << QByteArray("[a]\nx=1") << true << "b"
                                              << "y"
                                              << "2" << QByteArray("[a]\nx=1\n[b]\ny=2\n");
    QTest::newRow("replaced last line keeps having no ending") << QByteArray("[a]\nx=1") << true << "a"
                                                               << "x"
                                                               << "2" << QByteArray("[a]\nx=2");
    QTest::newRow("UTF-8 value") << QByteArray() << false << "zvuk"
                                 << "wavepath1" << QString::fromUtf8("/hudba/Zvuk č.1.wav")
                                 << QByteArray("[zvuk]\nwavepath1=/hudba/Zvuk č.1.wav\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, exists);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QFile::remove(Path());
    if (exists)
        QVERIFY(WriteAll(Path(), before));
    IniFile(Path()).WriteString(section, key, value);
    QCOMPARE(ReadAll(Path()), after);
    // No temporary file is left behind.
    QCOMPARE(QDir(FDir.path()).entryList(QDir::Files), QStringList{QStringLiteral("tiktakon.ini")});
}

void TestIniFile::writeRoundTripsThroughRead()
{
    QFile::remove(Path());
    const IniFile ini(Path());
    ini.WriteInteger("barva", "durazy", 16711935);
    ini.WriteInteger("visual", "durazy", -5);
    ini.WriteBool("blbost", "realdrummer", true);
    ini.WriteString("zvuk", "wavepath1", "/a b.wav");
    ini.Flush();
    QCOMPARE(ini.ReadInteger("BARVA", "durazy", 0), 16711935);
    QCOMPARE(ini.ReadInteger("visual", "DURAZY", 0), -5);
    QCOMPARE(ini.ReadBool("blbost", "realdrummer", false), true);
    QCOMPARE(ini.ReadString("zvuk", "wavepath1", ""), QStringLiteral("/a b.wav"));
    QCOMPARE(ReadAll(Path()),
             QByteArray("[barva]\ndurazy=16711935\n[visual]\ndurazy=-5\n[blbost]\nrealdrummer=1\n[zvuk]\n"
                        "wavepath1=/a b.wav\n"));
}

void TestIniFile::writeKeepsFileMode()
{
    QVERIFY(WriteAll(Path(), "[a]\nx=1\n"));
    QVERIFY(::chmod(QFile::encodeName(Path()).constData(), 0640) == 0);
    IniFile(Path()).WriteInteger("a", "x", 2);
    struct stat st
    {
    };
    QVERIFY(::stat(QFile::encodeName(Path()).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    QCOMPARE(ReadAll(Path()), QByteArray("[a]\nx=2\n"));
}

void TestIniFile::readOnlyFileFailsAndStaysUnchanged()
{
    // No write bit at all: read-only for everyone, root included.
    const QByteArray before = "[metro]\r\ntempo=90\r\n";
    QVERIFY(WriteAll(Path(), before));
    QVERIFY(::chmod(QFile::encodeName(Path()).constData(), 0444) == 0);
    const IniFile ini(Path());
    for (const QString& key : {QStringLiteral("tempo"), QStringLiteral("rytmus")}) {
        try {
            ini.WriteInteger("metro", key, 120);
            QFAIL("a read-only file was written");
        } catch (const TiktakonError& e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     "Unable to write to " + QFileInfo(Path()).absoluteFilePath());
        }
    }
    QCOMPARE(ReadAll(Path()), before);
    QVERIFY(::chmod(QFile::encodeName(Path()).constData(), 0644) == 0);
}

void TestIniFile::readOnlyDirectoryFailsAndLeavesNoFile()
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("tiktakon.ini"));
    QVERIFY(WriteAll(existing, "[a]\nx=1\n"));
    const QByteArray native = QFile::encodeName(dir.path());
    QVERIFY(::chmod(native.constData(), 0555) == 0);
    const QString fresh = dir.filePath(QStringLiteral("fresh.ini"));
    for (const QString& path : {existing, fresh}) {
        try {
            IniFile(path).WriteInteger("a", "x", 2);
            QFAIL("a file in a read-only folder was written");
        } catch (const TiktakonError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + path);
        }
    }
    QVERIFY(::chmod(native.constData(), 0755) == 0);
    QCOMPARE(ReadAll(existing), QByteArray("[a]\nx=1\n"));
    QVERIFY(!QFileInfo::exists(fresh));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("tiktakon.ini")});
}

void TestIniFile::missingDirectoryFails()
{
    const QString path = FDir.filePath(QStringLiteral("gone/tiktakon.ini"));
    QVERIFY_THROWS_EXCEPTION(TiktakonError, IniFile(path).WriteString("a", "x", "1"));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
