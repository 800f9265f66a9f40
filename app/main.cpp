#include "Main.h"
#include "AudioOut.h"
#include "Clock.h"
#include "Config.h"
#include "DataDirectory.h"
#include "Language.h"
#include "MessageBox.h"
#include "Pictures.h"
#include "SignalClose.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

// A backstop: an error that escapes a handler is shown, and the program goes on.
class TApplication final : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowErrorBox(activeWindow(), QString::fromUtf8(e.what()));
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Tiktakon"));
    TApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    TApplication::setWindowIcon(ProgramIcon());
    // Lets a Wayland desktop match the window to its menu entry and icon.
    TApplication::setDesktopFileName(QStringLiteral("cz.tiktakon.Tiktakon"));
    // Qt's own Czech texts come from the system's Qt translations; without them only Qt's buttons
    // stay English, which is no reason to stop.
    const UiLanguage language = SystemLanguage();
    if (!InstallLanguage(language) && language == UiLanguage::English) {
        std::fprintf(stderr, "tiktakon: the English texts could not be loaded\n");
    }

    const QString dataDir =
        DataDirectory(QCoreApplication::applicationDirPath(), QStringLiteral(TIKTAKON_INSTALL_BINDIR));
    TformMain formMain(dataDir);
    TformConfig formConfig(formMain, &formMain);
    formMain.SetConfig(&formConfig);
    formMain.show();
    // The stream runs from just after the window shows, so that the first beat is never lost to
    // a waking device and the window does not wait for the sound server.
    QTimer::singleShot(0, [] { AudioOut::Instance().Open(); });
    CloseOnSignals(formMain);
    const int result = TApplication::exec();
    if (qEnvironmentVariableIsSet("TIKTAKON_STATS")) {
        // For the timing benchmark: what the sound server and the beat's scheduler went through.
        std::fprintf(stderr, "stats: underruns %lld late %lld regrids %lld\n",
                     static_cast<long long>(AudioOut::Instance().Underruns()),
                     static_cast<long long>(AudioOut::Instance().LateVoices()),
                     static_cast<long long>(formMain.FClock ? formMain.FClock->Regrids() : -1));
    }
    AudioOut::Instance().Close();
    return result;
}
