#include "Main.h"
#include "AudioOut.h"
#include "Config.h"
#include "DataDirectory.h"
#include "MessageBox.h"
#include "Pictures.h"
#include "SignalClose.h"

#include <QApplication>

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
    TApplication::setApplicationDisplayName(QStringLiteral("Tiktakon"));
    TApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    TApplication::setWindowIcon(ProgramIcon());
    // Lets a Wayland desktop match the window to its menu entry and icon.
    TApplication::setDesktopFileName(QStringLiteral("cz.tiktakon.Tiktakon"));

    // The stream runs from the start, so that the first beat is never lost to a waking device.
    AudioOut::Instance().Open();

    const QString dataDir =
        DataDirectory(QCoreApplication::applicationDirPath(), QStringLiteral(TIKTAKON_INSTALL_BINDIR));
    TformMain formMain(dataDir);
    TformConfig formConfig(formMain, &formMain);
    formMain.SetConfig(&formConfig);
    formMain.show();
    CloseOnSignals(formMain);
    const int result = TApplication::exec();
    AudioOut::Instance().Close();
    return result;
}
