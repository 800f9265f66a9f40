// Takes a picture of the real main window in the middle of a 4/4 bar, for the README.
// Usage (under an X server): tiktakon_screenshot OUT.png
#include "AudioOut.h"
#include "Config.h"
#include "Main.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "TickSource.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

namespace {
// The beat is stepped by hand here, so the clock's time stands still.
class StillTime final : public TickSource
{
public:
    std::int64_t NowUs() override { return 0; }
    void WaitUs(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t) override
    {
        wake.wait_for(lock, std::chrono::milliseconds(5));
    }
};
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    if (argc < 2) {
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    StillTime time;
    TformMain formMain(dir.path(), &time);
    TformConfig formConfig(formMain, &formMain);
    formMain.SetConfig(&formConfig);
    formMain.show();
    QTimer::singleShot(500, [&] {
        formMain.SpB_Beat->SetValue(4);
        formMain.Ed_Nazev->setText(QStringLiteral("Etuda"));
        formMain.shpOneMouseUp(formMain.FShapes[0]);
        formMain.ChB_Accents->setChecked(true);
        formMain.btnStartStopClick();
        for (int i = 0; i < 2; ++i) {
            formMain.BeatNow();
        }
    });
    QTimer::singleShot(1200, [&] {
        const QRect frame = formMain.frameGeometry();
        QScreen* screen = QGuiApplication::primaryScreen();
        const QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        shot.save(out);
        formMain.close();
    });
    return QApplication::exec();
}
