// Any settings file read into the real main window and settings dialog (offscreen, no sound
// server): start-up as the program does it, then closing, which writes the settings back.
#include "Config.h"
#include "FuzzCheck.h"
#include "IniFile.h"
#include "Main.h"
#include "MessageBox.h"
#include "ProfileRecord.h"
#include "SpinEdit.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>

#include <climits>
#include <memory>

namespace {

// Profiles the settings file may select: a usual one and two with values the window must bring
// into range.
QByteArray ProfileBytes()
{
    QByteArray bytes;
    const std::int32_t values[][2] = {{4, 120}, {INT_MIN, INT_MAX}, {9, 39}};
    int number = 1;
    for (const auto& [rhythm, tempo] : values) {
        TProfileRecord record;
        record.SetNumber(number++);
        record.SetName(QStringLiteral("Etuda %1").arg(number));
        record.SetRhythm(rhythm);
        record.SetTempo(tempo);
        record.SetAccentsOn(1);
        bytes.append(reinterpret_cast<const char*>(record.Raw().data()), TProfileRecord::Size);
    }
    return bytes;
}

void StartApplication()
{
    // Made once and never destroyed: the fuzzer ends the process without unwinding, and Qt's
    // own statics may already be gone when a static application object would be destroyed.
    static QApplication* application = nullptr;
    if (application)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("PULSE_SERVER", "unix:/nonexistent/tiktakon-no-sound-server");
    qputenv("JACK_NO_START_SERVER", "1"); // no sound server here: do not spend time starting one
    static int argc = 1;
    static char name[] = "fuzz_settings";
    static char* argv[] = {name, nullptr};
    application = new QApplication(argc, argv);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    StartApplication();
    const QString dir = FuzzDir();
    const QString iniPath = dir + QStringLiteral("/tiktakon.ini");
    const QString profilePath = dir + QStringLiteral("/profiles.mtr");
    static const QByteArray profiles = ProfileBytes();
    WriteBytes(iniPath, data, size);
    WriteBytes(profilePath, reinterpret_cast<const std::uint8_t*>(profiles.constData()),
               std::size_t(profiles.size()));

    int messages = 0;
    int current = -1;
    SetMessageBoxHook([&](const QString&, const QString&) { ++messages; });
    {
        auto main = std::make_unique<TformMain>(dir);
        auto config = std::make_unique<TformConfig>(*main, main.get());
        main->SetConfig(config.get());
        main->show();
        for (int i = 0; i < 100 && !main->StartedUp(); ++i)
            QApplication::processEvents();
        FUZZ_CHECK(main->StartedUp());

        // Whatever the file holds, the beat the window shows is one it can play.
        FUZZ_CHECK(main->RhythmValue() >= 1 && main->RhythmValue() <= 8);
        FUZZ_CHECK(main->SliderTempo() >= 40 && main->SliderTempo() <= 208);
        FUZZ_CHECK(main->SpEd_Time->Value() == main->SliderTempo());
        FUZZ_CHECK(main->CurrentProfileIndex() < 3); // any negative number: no profile
        FUZZ_CHECK(config->SoundMode() >= -1 && config->SoundMode() <= 4);

        current = main->CurrentProfileIndex();
        main->close();
        QApplication::processEvents();
        config.reset();
        main.reset();
    }
    SetMessageBoxHook({});

    // Start-up and closing never touch the profiles; closing writes back the profile the window
    // had and, without one, a rhythm and tempo in range.
    FUZZ_CHECK(ReadBytes(profilePath) == profiles);
    const IniFile ini(iniPath);
    const int selected = ini.ReadInteger(QStringLiteral("profil"), QStringLiteral("selected"), INT_MIN);
    FUZZ_CHECK(selected == current);
    if (selected < 0) {
        const int rhythm = ini.ReadInteger(QStringLiteral("metro"), QStringLiteral("rytmus"), 0);
        const int tempo = ini.ReadInteger(QStringLiteral("metro"), QStringLiteral("tempo"), 0);
        FUZZ_CHECK(rhythm >= 1 && rhythm <= 8);
        FUZZ_CHECK(tempo >= 40 && tempo <= 208);
    }
    FUZZ_CHECK(messages <= 1); // at most the one report of a profile that cannot be applied
    return 0;
}
