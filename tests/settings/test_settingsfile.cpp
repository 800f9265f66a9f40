#include "Error.h"
#include "IniFile.h"
#include "SettingsFile.h"
#include "SettingsHost.h"
#include "TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <sys/stat.h>

namespace {

// The two windows' controls as plain values, with the calls that matter recorded.
class RecordingHost final : public SettingsHost
{
public:
    int profileIndex = 99;
    QString rhythmText = QStringLiteral("0");
    int tempo = 0;
    bool mute = true;
    int soundMode = 77;
    int midiDevice = 77;
    int midiSound1 = 77;
    int midiSound2 = 77;
    QString wavePath1 = QStringLiteral("unset");
    QString wavePath2 = QStringLiteral("unset");
    bool lights = false;
    bool numbers = false;
    bool circle = false;
    bool accents = true;
    TColor beatColour = 1;
    TColor accentColour = 1;
    bool realDrummer = true;
    std::array<int, 5> widths = {19, 1, 1, 1, 1};
    int displayOffset = 77;
    // Every field set to a value no reading gives, so that a field left unread shows.
    PracticeSettings practice{77, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};

    QList<int> restoredProfiles;
    bool restoreFails = false;
    bool freeRhythmSet = false;

    int CurrentProfileIndex() const override { return profileIndex; }
    void SetCurrentProfileIndex(int index) override { profileIndex = index; }
    void RestoreProfile(int index) override
    {
        restoredProfiles.append(index);
        if (restoreFails)
            throw TiktakonError("Read beyond end of file");
        // What applying the stored profile brings.
        profileIndex = index;
        rhythmText = QStringLiteral("3");
        tempo = 90;
        mute = false;
        accents = true;
    }
    QString RhythmText() const override { return rhythmText; }
    void SetRhythmValue(int rhythm) override
    {
        rhythmText = QString::number(rhythm);
        freeRhythmSet = true;
    }
    int SliderTempo() const override { return tempo; }
    void SetSliderTempo(int value) override { tempo = value; }
    bool MuteChecked() const override { return mute; }
    void SetMuteChecked(bool checked) override { mute = checked; }
    int SoundMode() const override { return soundMode; }
    void SetSoundMode(int mode) override { soundMode = mode; }
    int MidiDeviceIndex() const override { return midiDevice; }
    void SetMidiDeviceIndex(int index) override { midiDevice = index; }
    int MidiSound1Index() const override { return midiSound1; }
    void SetMidiSound1Index(int index) override { midiSound1 = index; }
    int MidiSound2Index() const override { return midiSound2; }
    void SetMidiSound2Index(int index) override { midiSound2 = index; }
    QString WavePath1() const override { return wavePath1; }
    void SetWavePath1(const QString& path) override { wavePath1 = path; }
    QString WavePath2() const override { return wavePath2; }
    void SetWavePath2(const QString& path) override { wavePath2 = path; }
    bool LightsShown() const override { return lights; }
    void SetLightsShown(bool shown) override { lights = shown; }
    bool NumbersShown() const override { return numbers; }
    void SetNumbersShown(bool shown) override { numbers = shown; }
    bool CircleShown() const override { return circle; }
    void SetCircleShown(bool shown) override { circle = shown; }
    bool AccentsChecked() const override { return accents; }
    void SetAccentsChecked(bool checked) override { accents = checked; }
    TColor BeatColour() const override { return beatColour; }
    void SetBeatColour(TColor colour) override { beatColour = colour; }
    TColor AccentColour() const override { return accentColour; }
    void SetAccentColour(TColor colour) override { accentColour = colour; }
    bool RealDrummer() const override { return realDrummer; }
    void SetRealDrummer(bool on) override { realDrummer = on; }
    int DisplayOffsetMs() const override { return displayOffset; }
    void SetDisplayOffsetMs(int ms) override { displayOffset = ms; }
    PracticeSettings Practice() const override { return practice; }
    void SetPractice(const PracticeSettings& settings) override { practice = settings; }
    int ColumnCount() const override { return static_cast<int>(widths.size()); }
    int ColumnWidth(int column) const override { return widths.at(static_cast<std::size_t>(column)); }
    void SetColumnWidth(int column, int width) override
    {
        widths.at(static_cast<std::size_t>(column)) = width;
    }
};

const auto NoError = [](const std::exception& e) { QFAIL(e.what()); };

// The value of one setting of the host, by the name the table uses.
QVariant Setting(const RecordingHost& host, const QString& name)
{
    if (name == "rhythm")
        return host.rhythmText.toInt();
    if (name == "tempo")
        return host.tempo;
    if (name == "offset")
        return host.displayOffset;
    if (name == "volume")
        return host.practice.FVolume;
    if (name == "countIn")
        return host.practice.FCountInBars;
    if (name == "silent")
        return QStringLiteral("%1 %2 %3 %4")
            .arg(host.practice.FSilentMode)
            .arg(host.practice.FPlayBars)
            .arg(host.practice.FSilentBars)
            .arg(host.practice.FSilentPercent);
    if (name == "trainer")
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(host.practice.FTrainer)
            .arg(host.practice.FTrainerStep)
            .arg(host.practice.FTrainerBars)
            .arg(host.practice.FTrainerTarget)
            .arg(host.practice.FTrainerWindow);
    if (name == "subdivision")
        return QStringLiteral("%1 %2 %3")
            .arg(host.practice.FSubdivision)
            .arg(host.practice.FSubLevel)
            .arg(host.practice.FSubNote);
    if (name == "mute")
        return host.mute;
    if (name == "mode")
        return host.soundMode;
    if (name == "lights")
        return host.lights;
    if (name == "beatColour")
        return host.beatColour;
    if (name == "accentColour")
        return host.accentColour;
    if (name == "wavePath1")
        return host.wavePath1;
    if (name == "width3")
        return host.widths[3];
    return QVariant();
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readWithoutFileGivesEveryDefault();
    void readValue_data();
    void readValue();
    void storedProfileIsRestoredAndMetroIgnored();
    void failingProfileIsReportedOnceAndFreeRhythmRead();
    void writeWithoutProfileWritesEveryKeyInOrder();
    void writeRhythmFromText_data();
    void writeRhythmFromText();
    void writeWithProfileLeavesMetroAndUnknownLinesUntouched();
    void writeThenReadGivesTheSameSettings();
    void readOnlyFileFailsAtFirstKeyAndStaysUnchanged();

private:
    QTemporaryDir FDir;
    QString Path() const { return FDir.filePath(QStringLiteral("tiktakon.ini")); }
};

void TestSettingsFile::init()
{
    QFile::remove(Path());
}

void TestSettingsFile::readWithoutFileGivesEveryDefault()
{
    RecordingHost host;
    ReadSettings(IniFile(Path()), host, NoError);
    QCOMPARE(host.profileIndex, -1);
    QVERIFY(host.restoredProfiles.isEmpty());
    QCOMPARE(host.rhythmText, QStringLiteral("4"));
    QCOMPARE(host.tempo, 100);
    QCOMPARE(host.mute, false);
    QCOMPARE(host.soundMode, 1);
    QCOMPARE(host.midiDevice, 0);
    QCOMPARE(host.midiSound1, 0);
    QCOMPARE(host.midiSound2, 0);
    QCOMPARE(host.wavePath1, QString());
    QCOMPARE(host.wavePath2, QString());
    QCOMPARE(host.lights, true);
    QCOMPARE(host.numbers, true);
    QCOMPARE(host.circle, true);
    QCOMPARE(host.accents, false);
    QCOMPARE(host.beatColour, TColor(255));
    QCOMPARE(host.accentColour, TColor(16711935));
    QCOMPARE(host.realDrummer, false);
    QCOMPARE(host.widths, (std::array<int, 5>{19, 60, 60, 60, 60}));
    QVERIFY(!QFileInfo::exists(Path()));
}

void TestSettingsFile::readValue_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("tempo abc") << QByteArray("[metro]\ntempo=abc\n") << "tempo" << QVariant(100);
    QTest::newRow("tempo 300 as stored (the slider clamps)")
        << QByteArray("[metro]\ntempo=300\n") << "tempo" << QVariant(300);
    QTest::newRow("rhythm") << QByteArray("[METRO]\nRytmus=6\n") << "rhythm" << QVariant(6);
    QTest::newRow("mode 0x3") << QByteArray("[zvuk]\nmode=0x3\n") << "mode" << QVariant(3);
    QTest::newRow("mode -1") << QByteArray("[zvuk]\nmode=-1\n") << "mode" << QVariant(-1);
    QTest::newRow("mute 2") << QByteArray("[metro]\nmute=2\n") << "mute" << QVariant(true);
    QTest::newRow("svetla 0") << QByteArray("[visual]\nsvetla=0\n") << "lights" << QVariant(false);
    QTest::newRow("accent colour, not the accents switch")
        << QByteArray("[visual]\ndurazy=1\n[barva]\ndurazy=65280\n") << "accentColour"
        << QVariant(TColor(65280));
    QTest::newRow("beat colour in hex")
        << QByteArray("[barva]\ndoby=$FF0000\n") << "beatColour" << QVariant(TColor(0xFF0000));
    QTest::newRow("wave path") << QByteArray("[zvuk]\nwavepath1= /snd/klik 1.wav \n") << "wavePath1"
                               << QVariant(QStringLiteral("/snd/klik 1.wav"));
    QTest::newRow("column width") << QByteArray("[grid]\n3=120\n") << "width3" << QVariant(120);
    QTest::newRow("display offset") << QByteArray("[casovani]\nposun=-35\n") << "offset" << QVariant(-35);
    QTest::newRow("display offset missing") << QByteArray("[metro]\ntempo=90\n") << "offset" << QVariant(0);
    QTest::newRow("display offset not a number")
        << QByteArray("[casovani]\nposun=pozde\n") << "offset" << QVariant(0);
    QTest::newRow("volume") << QByteArray("[cviceni]\nhlasitost=35\n") << "volume" << QVariant(35);
    QTest::newRow("volume missing: full") << QByteArray("[metro]\ntempo=90\n") << "volume" << QVariant(100);
    QTest::newRow("count-in") << QByteArray("[cviceni]\npredtakt=2\n") << "countIn" << QVariant(2);
    QTest::newRow("count-in missing: none") << QByteArray("[metro]\ntempo=90\n") << "countIn" << QVariant(0);
    QTest::newRow("silent bars") << QByteArray("[cviceni]\nvynechat=1\nhrat=3\nticho=2\nnahodne=50\n") << "silent"
                                 << QVariant(QStringLiteral("1 3 2 50"));
    QTest::newRow("silent bars missing: off, 4, 4, 30") << QByteArray("[metro]\ntempo=90\n") << "silent"
                                                        << QVariant(QStringLiteral("0 4 4 30"));
    QTest::newRow("silent bars damaged") << QByteArray("[cviceni]\nvynechat=x\nhrat=\nticho=2.5\n") << "silent"
                                         << QVariant(QStringLiteral("0 4 4 30"));
    QTest::newRow("trainer") << QByteArray("[cviceni]\nzrychlovani=1\nkrok=-3\nkazdych=8\ncil=90\nokno=15\n") << "trainer"
                             << QVariant(QStringLiteral("1 -3 8 90 15"));
    QTest::newRow("trainer missing: off, 5, 4, 160, always") << QByteArray("[metro]\ntempo=90\n") << "trainer"
                                                     << QVariant(QStringLiteral("0 5 4 160 0"));
    QTest::newRow("trainer in hex, damaged") << QByteArray("[cviceni]\nzrychlovani=$1\nkrok=+\nkazdych=0x10\n")
                                             << "trainer" << QVariant(QStringLiteral("1 5 16 160 0"));
    QTest::newRow("subdivision") << QByteArray("[cviceni]\ndeleni=3\ndeleni_uroven=20\ndeleni_nastroj=76\n")
                                 << "subdivision" << QVariant(QStringLiteral("3 20 76"));
    QTest::newRow("subdivision missing: 1, 50, 42") << QByteArray("[metro]\ntempo=90\n") << "subdivision"
                                                    << QVariant(QStringLiteral("1 50 42"));
}

void TestSettingsFile::readValue()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, setting);
    QFETCH(QVariant, expected);
    QVERIFY(WriteAll(Path(), file));
    RecordingHost host;
    ReadSettings(IniFile(Path()), host, NoError);
    QCOMPARE(Setting(host, setting), expected);
}

void TestSettingsFile::storedProfileIsRestoredAndMetroIgnored()
{
    QVERIFY(
        WriteAll(Path(), "[profil]\nselected=2\n[metro]\nrytmus=7\ntempo=150\nmute=1\n[visual]\ndurazy=0\n"));
    RecordingHost host;
    ReadSettings(IniFile(Path()), host, NoError);
    QCOMPARE(host.restoredProfiles, QList<int>{2});
    QCOMPARE(host.profileIndex, 2);
    QVERIFY(!host.freeRhythmSet);
    QCOMPARE(host.rhythmText, QStringLiteral("3"));
    QCOMPARE(host.tempo, 90);
    QCOMPARE(host.mute, false);
    // The stored accents switch wins over the one the profile brought.
    QCOMPARE(host.accents, false);
}

void TestSettingsFile::failingProfileIsReportedOnceAndFreeRhythmRead()
{
    QVERIFY(WriteAll(Path(), "[profil]\nselected=5\n[metro]\nrytmus=7\ntempo=150\nmute=1\n[zvuk]\nmode=4\n"
                             "wavepath1=/a.wav\n[grid]\n2=33\n"));
    RecordingHost host;
    host.restoreFails = true;
    QStringList reported;
    ReadSettings(IniFile(Path()), host,
                 [&](const std::exception& e) { reported << QString::fromUtf8(e.what()); });
    QCOMPARE(reported, QStringList{QStringLiteral("Read beyond end of file")});
    QCOMPARE(host.restoredProfiles, QList<int>{5});
    QCOMPARE(host.profileIndex, -1);
    QCOMPARE(host.rhythmText, QStringLiteral("7"));
    QCOMPARE(host.tempo, 150);
    QCOMPARE(host.mute, true);
    QCOMPARE(host.soundMode, 4);
    QCOMPARE(host.wavePath1, QStringLiteral("/a.wav"));
    QCOMPARE(host.widths, (std::array<int, 5>{19, 60, 33, 60, 60}));
}

void TestSettingsFile::writeWithoutProfileWritesEveryKeyInOrder()
{
    RecordingHost host;
    host.profileIndex = -1;
    host.rhythmText = QStringLiteral("5");
    host.tempo = 132;
    host.mute = true;
    host.soundMode = 3;
    host.midiDevice = -1;
    host.midiSound1 = 5;
    host.midiSound2 = -1;
    host.wavePath1 = QStringLiteral("/snd/a.wav");
    host.wavePath2 = QString();
    host.lights = true;
    host.numbers = false;
    host.circle = true;
    host.accents = true;
    host.beatColour = 255;
    host.accentColour = 16711935;
    host.realDrummer = false;
    host.widths = {19, 61, 62, 63, 64};
    host.displayOffset = 40;
    host.practice = {60, 1, 2, 3, 1, 40, 1, -2, 8, 100, 20, 4, 30, 76};
    WriteSettings(IniFile(Path()), host);
    QCOMPARE(ReadAll(Path()), QByteArray("[profil]\nselected=-1\n"
                                         "[metro]\nrytmus=5\ntempo=132\nmute=1\n"
                                         "[zvuk]\nmode=3\nmididevice=-1\nmidisound1=5\nmidisound2=-1\n"
                                         "wavepath1=/snd/a.wav\nwavepath2=\n"
                                         "[visual]\nsvetla=1\ncisla=0\nkruh=1\ndurazy=1\n"
                                         "[barva]\ndoby=255\ndurazy=16711935\n"
                                         "[blbost]\nrealdrummer=0\n"
                                         "[grid]\n1=61\n2=62\n3=63\n4=64\n"
                                         "[casovani]\nposun=40\n"
                                         "[cviceni]\npredtakt=1\nvynechat=2\nhrat=3\nticho=1\nnahodne=40\nhlasitost=60\n"
                                         "zrychlovani=1\nkrok=-2\nkazdych=8\ncil=100\n"
                                         "deleni=4\ndeleni_uroven=30\ndeleni_nastroj=76\nokno=20\n"));
}

void TestSettingsFile::writeRhythmFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("number") << "6" << 6;
    QTest::newRow("not a number") << "abc" << 1;
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("out of range as it stands") << "12" << 12;
}

void TestSettingsFile::writeRhythmFromText()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    RecordingHost host;
    host.profileIndex = -1;
    host.rhythmText = text;
    WriteSettings(IniFile(Path()), host);
    QCOMPARE(IniFile(Path()).ReadInteger("metro", "rytmus", -100), expected);
}

void TestSettingsFile::writeWithProfileLeavesMetroAndUnknownLinesUntouched()
{
    const QByteArray metro = "[metro]\r\nrytmus = 7\r\ntempo=150\r\nmute=1\r\n";
    const QByteArray unknown = "[mine]\r\nkeep=this line\r\n";
    QVERIFY(WriteAll(Path(), "[profil]\r\nselected=-1\r\n" + metro + unknown));
    RecordingHost host;
    host.profileIndex = 1;
    host.rhythmText = QStringLiteral("2");
    host.tempo = 60;
    host.mute = false;
    WriteSettings(IniFile(Path()), host);
    const QByteArray after = ReadAll(Path());
    QVERIFY2(after.startsWith("[profil]\r\nselected=1\r\n" + metro + unknown), after.constData());
    const IniFile ini(Path());
    QCOMPARE(ini.ReadInteger("metro", "rytmus", 0), 7);
    QCOMPARE(ini.ReadInteger("grid", "4", 0), 1);
}

void TestSettingsFile::writeThenReadGivesTheSameSettings()
{
    RecordingHost written;
    written.profileIndex = -1;
    written.rhythmText = QStringLiteral("8");
    written.tempo = 208;
    written.mute = false;
    written.soundMode = 4;
    written.midiDevice = 2;
    written.midiSound1 = 46;
    written.midiSound2 = 0;
    written.wavePath1 = QString::fromUtf8("/hudba/bubny č.1.wav");
    written.wavePath2 = QStringLiteral("/hudba/accent.wav");
    written.lights = false;
    written.numbers = true;
    written.circle = false;
    written.accents = true;
    written.beatColour = 0x00A0B0C0;
    written.accentColour = 0x00FFFFFF;
    written.realDrummer = true;
    written.widths = {19, 10, 200, 0, 75};
    WriteSettings(IniFile(Path()), written);

    RecordingHost read;
    ReadSettings(IniFile(Path()), read, NoError);
    QCOMPARE(read.profileIndex, -1);
    QCOMPARE(read.rhythmText, written.rhythmText);
    QCOMPARE(read.tempo, written.tempo);
    QCOMPARE(read.mute, written.mute);
    QCOMPARE(read.soundMode, written.soundMode);
    QCOMPARE(read.midiDevice, written.midiDevice);
    QCOMPARE(read.midiSound1, written.midiSound1);
    QCOMPARE(read.midiSound2, written.midiSound2);
    QCOMPARE(read.wavePath1, written.wavePath1);
    QCOMPARE(read.wavePath2, written.wavePath2);
    QCOMPARE(read.lights, written.lights);
    QCOMPARE(read.numbers, written.numbers);
    QCOMPARE(read.circle, written.circle);
    QCOMPARE(read.accents, written.accents);
    QCOMPARE(read.beatColour, written.beatColour);
    QCOMPARE(read.accentColour, written.accentColour);
    QCOMPARE(read.realDrummer, written.realDrummer);
    QCOMPARE(read.widths, written.widths);
}

void TestSettingsFile::readOnlyFileFailsAtFirstKeyAndStaysUnchanged()
{
    const QByteArray before = "[profil]\nselected=0\n[other]\nx=1\n";
    QVERIFY(WriteAll(Path(), before));
    QVERIFY(::chmod(QFile::encodeName(Path()).constData(), 0444) == 0);
    RecordingHost host;
    host.profileIndex = -1;
    try {
        WriteSettings(IniFile(Path()), host);
        QFAIL("a read-only settings file was written");
    } catch (const TiktakonError& e) {
        QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + Path());
    }
    QCOMPARE(ReadAll(Path()), before);
    QVERIFY(::chmod(QFile::encodeName(Path()).constData(), 0644) == 0);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settingsfile.moc"
