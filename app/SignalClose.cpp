#include "SignalClose.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Only async-signal-safe calls here: the main thread does the rest.
extern "C" void OnSignal(int number)
{
    // The next one ends the program, should the close itself hang on a question to the user.
    std::signal(number, SIG_DFL);
    const char byte = static_cast<char>(number);
    // Nothing to do if the pipe is full: a close is on its way already.
    [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
}

// A modal dialog or message box runs its own event loop inside a handler of the main window:
// it is answered with its cancel first (a question answered "no" changes nothing), and the
// main window is closed once that loop has returned.
void CloseFromTop(QPointer<QWidget> mainWindow)
{
    if (!mainWindow) {
        return;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        QTimer::singleShot(10, mainWindow, [mainWindow] { CloseFromTop(mainWindow); });
        return;
    }
    mainWindow->close();
}

} // namespace

void CloseOnSignals(QWidget& mainWindow)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, SignalPipe) != 0) {
        return; // the default actions stay: the program still ends, without saving
    }
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &mainWindow);
    QPointer<QWidget> window(&mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, &mainWindow, [window] {
        char bytes[16];
        while (::read(SignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        CloseFromTop(window);
    });
    for (int number : kSignals) {
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(number, &action, nullptr);
    }
}
