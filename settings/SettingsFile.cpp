#include "SettingsFile.h"

#include "IniFile.h"
#include "SettingsHost.h"

namespace {

const QString Profil = QStringLiteral("profil");
const QString Metro = QStringLiteral("metro");
const QString Zvuk = QStringLiteral("zvuk");
const QString Visual = QStringLiteral("visual");
const QString Barva = QStringLiteral("barva");
const QString Blbost = QStringLiteral("blbost");
const QString Grid = QStringLiteral("grid");
const QString Casovani = QStringLiteral("casovani");
const QString Cviceni = QStringLiteral("cviceni");

constexpr int DefaultRhythm = 4;
constexpr int DefaultTempo = 100;
constexpr int DefaultSoundMode = 1;
constexpr TColor DefaultBeatColour = 255;        // red
constexpr TColor DefaultAccentColour = 16711935; // magenta
constexpr int DefaultColumnWidth = 60;

void ReadFreeRhythm(const IniFile& ini, SettingsHost& host)
{
    host.SetRhythmValue(ini.ReadInteger(Metro, QStringLiteral("rytmus"), DefaultRhythm));
    host.SetSliderTempo(ini.ReadInteger(Metro, QStringLiteral("tempo"), DefaultTempo));
    host.SetMuteChecked(ini.ReadBool(Metro, QStringLiteral("mute"), false));
}

} // namespace

void ReadSettings(const IniFile& ini, SettingsHost& host,
                  const std::function<void(const std::exception&)>& reportError)
{
    const int selected = ini.ReadInteger(Profil, QStringLiteral("selected"), -1);
    host.SetCurrentProfileIndex(selected);
    bool profileApplied = false;
    if (selected >= 0) {
        // A stored profile that cannot be read (file gone, index past its end) must not cost the
        // user every other setting: report it, forget it and fall back to the free rhythm.
        try {
            host.RestoreProfile(selected);
            profileApplied = true;
        } catch (const std::exception& e) {
            reportError(e);
            host.SetCurrentProfileIndex(-1);
        }
    }
    if (!profileApplied)
        ReadFreeRhythm(ini, host);

    host.SetSoundMode(ini.ReadInteger(Zvuk, QStringLiteral("mode"), DefaultSoundMode));
    host.SetMidiDeviceIndex(ini.ReadInteger(Zvuk, QStringLiteral("mididevice"), 0));
    host.SetMidiSound1Index(ini.ReadInteger(Zvuk, QStringLiteral("midisound1"), 0));
    host.SetMidiSound2Index(ini.ReadInteger(Zvuk, QStringLiteral("midisound2"), 0));
    host.SetWavePath1(ini.ReadString(Zvuk, QStringLiteral("wavepath1"), QString()));
    host.SetWavePath2(ini.ReadString(Zvuk, QStringLiteral("wavepath2"), QString()));

    host.SetLightsShown(ini.ReadBool(Visual, QStringLiteral("svetla"), true));
    host.SetNumbersShown(ini.ReadBool(Visual, QStringLiteral("cisla"), true));
    host.SetCircleShown(ini.ReadBool(Visual, QStringLiteral("kruh"), true));
    // After the profile, so the stored switch wins over the one the profile brought.
    host.SetAccentsChecked(ini.ReadBool(Visual, QStringLiteral("durazy"), false));

    host.SetBeatColour(static_cast<TColor>(
        ini.ReadInteger(Barva, QStringLiteral("doby"), static_cast<int>(DefaultBeatColour))));
    host.SetAccentColour(static_cast<TColor>(
        ini.ReadInteger(Barva, QStringLiteral("durazy"), static_cast<int>(DefaultAccentColour))));

    host.SetRealDrummer(ini.ReadBool(Blbost, QStringLiteral("realdrummer"), false));

    // Column 0 (the profile numbers) keeps its own width and is not stored.
    for (int column = 1; column < host.ColumnCount(); ++column)
        host.SetColumnWidth(column, ini.ReadInteger(Grid, QString::number(column), DefaultColumnWidth));

    host.SetDisplayOffsetMs(ini.ReadInteger(Casovani, QStringLiteral("posun"), 0));
    // Each key read by the integer rules; the page brings it into its range.
    PracticeSettings practice;
    for (const PracticeSettings::Field& field : PracticeSettings::Fields)
        practice.*field.FMember =
            ini.ReadInteger(Cviceni, QString::fromLatin1(field.FKey), practice.*field.FMember);
    host.SetPractice(practice);
}

void WriteSettings(const IniFile& ini, const SettingsHost& host)
{
    const int selected = host.CurrentProfileIndex();
    ini.WriteInteger(Profil, QStringLiteral("selected"), selected);
    if (selected < 0) {
        bool isNumber = false;
        const int rhythm = host.RhythmText().toInt(&isNumber);
        ini.WriteInteger(Metro, QStringLiteral("rytmus"), isNumber ? rhythm : 1);
        ini.WriteInteger(Metro, QStringLiteral("tempo"), host.SliderTempo());
        ini.WriteBool(Metro, QStringLiteral("mute"), host.MuteChecked());
    }

    ini.WriteInteger(Zvuk, QStringLiteral("mode"), host.SoundMode());
    ini.WriteInteger(Zvuk, QStringLiteral("mididevice"), host.MidiDeviceIndex());
    ini.WriteInteger(Zvuk, QStringLiteral("midisound1"), host.MidiSound1Index());
    ini.WriteInteger(Zvuk, QStringLiteral("midisound2"), host.MidiSound2Index());
    ini.WriteString(Zvuk, QStringLiteral("wavepath1"), host.WavePath1());
    ini.WriteString(Zvuk, QStringLiteral("wavepath2"), host.WavePath2());

    ini.WriteBool(Visual, QStringLiteral("svetla"), host.LightsShown());
    ini.WriteBool(Visual, QStringLiteral("cisla"), host.NumbersShown());
    ini.WriteBool(Visual, QStringLiteral("kruh"), host.CircleShown());
    ini.WriteBool(Visual, QStringLiteral("durazy"), host.AccentsChecked());

    ini.WriteInteger(Barva, QStringLiteral("doby"), static_cast<int>(host.BeatColour()));
    ini.WriteInteger(Barva, QStringLiteral("durazy"), static_cast<int>(host.AccentColour()));

    ini.WriteBool(Blbost, QStringLiteral("realdrummer"), host.RealDrummer());

    for (int column = 1; column < host.ColumnCount(); ++column)
        ini.WriteInteger(Grid, QString::number(column), host.ColumnWidth(column));

    // A section of its own after the others, so the file stays as the older program wrote it.
    ini.WriteInteger(Casovani, QStringLiteral("posun"), host.DisplayOffsetMs());
    const PracticeSettings practice = host.Practice();
    for (const PracticeSettings::Field& field : PracticeSettings::Fields)
        ini.WriteInteger(Cviceni, QString::fromLatin1(field.FKey), practice.*field.FMember);

    ini.Flush();
}
