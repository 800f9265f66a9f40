// Watches the real program from outside, on the monotonic clock, for the timing benchmark. Every
// time printed is CLOCK_MONOTONIC in nanoseconds, the clock the program's beat also runs on.
//
//   timing_probe now                   the time now
//   timing_probe run COMMAND...        runs COMMAND; prints "before T" and "after T" around it
//   timing_probe lines                 copies standard input, each line (ended by CR or LF) as
//                                      "T line", T its arrival
//   timing_probe chunks OUT            copies standard input into OUT, printing "T BYTES" (the
//                                      total so far) after each read: when a recording's samples
//                                      arrived
//   timing_probe watch WINDOW X Y W H  the window's key presses ("key T press|release CODE") and
//                                      the moments the pixels of the rectangle X,Y,W,H change
//                                      ("change T"), from its damage events; plus "probe NS", the
//                                      damage round trip of a pixmap of our own, every 100 ms:
//                                      what an event from this X server costs to reach us now
//   timing_probe startup DIR PROGRAM   starts PROGRAM in DIR, prints "mapped MS" and "painted MS"
//                                      (its main window mapped, then first drawn, after the
//                                      exec) and closes it as a window manager would
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

std::int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

int Usage()
{
    std::fprintf(stderr, "usage: timing_probe now | run COMMAND... | lines | chunks OUT |\n"
                         "       watch WINDOW X Y W H | startup DIR PROGRAM\n");
    return 2;
}

int Run(char** command)
{
    std::printf("before %lld\n", static_cast<long long>(NowNs()));
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::printf("after %lld\n", static_cast<long long>(NowNs()));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int Lines()
{
    std::string line;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        const std::int64_t now = NowNs();
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\r' || buffer[i] == '\n') {
                if (!line.empty()) {
                    std::printf("%lld %s\n", static_cast<long long>(now), line.c_str());
                }
                line.clear();
            } else {
                line += buffer[i];
            }
        }
        std::fflush(stdout);
    }
    return 0;
}

int Chunks(const char* path)
{
    FILE* out = std::fopen(path, "wb");
    if (!out) {
        std::perror(path);
        return 1;
    }
    std::vector<char> buffer(1 << 16);
    long long total = 0;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer.data(), buffer.size());
        const std::int64_t now = NowNs();
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out);
        total += n;
        std::printf("%lld %lld\n", static_cast<long long>(now), total);
    }
    std::fclose(out);
    std::fflush(stdout);
    return 0;
}

// A window that went away or moved off the screen makes XGetImage fail; the watch goes on.
bool gXError = false;
int IgnoreXError(Display*, XErrorEvent*)
{
    gXError = true;
    return 0;
}

std::uint64_t RegionHash(Display* display, Window window, int x, int y, int w, int h, bool& ok)
{
    gXError = false;
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    ok = image && !gXError;
    if (!image) {
        return 0;
    }
    std::uint64_t hash = 1469598103934665603ull;
    for (int row = 0; row < h; ++row) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(image->data) +
                            static_cast<std::ptrdiff_t>(row) * image->bytes_per_line;
        for (int i = 0; i < w * image->bits_per_pixel / 8; ++i) {
            hash = (hash ^ bytes[i]) * 1099511628211ull;
        }
    }
    XDestroyImage(image);
    return hash;
}

// The display with its DAMAGE extension (the number of its first event); null, and said why,
// where there is none.
Display* OpenDisplay(int& damageEvent)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "timing_probe: cannot open display\n");
        return nullptr;
    }
    int damageError = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "timing_probe: no DAMAGE extension\n");
        return nullptr;
    }
    XSetErrorHandler(IgnoreXError);
    return display;
}

int Watch(Window window, int x, int y, int w, int h)
{
    int damageEvent = 0;
    Display* display = OpenDisplay(damageEvent);
    if (!display) {
        return 1;
    }
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask);
    XDamageCreate(display, window, XDamageReportRawRectangles);

    // Our own pixmap, drawn on and watched the same way: the round trip bounds how late an
    // event of this server reaches us.
    const Window root = DefaultRootWindow(display);
    const Pixmap pixmap = XCreatePixmap(display, root, 4, 4, static_cast<unsigned>(DefaultDepth(display, 0)));
    XDamageCreate(display, pixmap, XDamageReportRawRectangles);
    const GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSync(display, False);

    bool ok = false;
    std::uint64_t last = RegionHash(display, window, x, y, w, h, ok);
    std::printf("ready %lld\n", static_cast<long long>(NowNs()));
    std::fflush(stdout);

    std::int64_t probeSent = 0;
    std::int64_t nextProbe = NowNs() + 100'000'000;
    unsigned long colour = 0;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            const std::int64_t now = NowNs();
            if (event.type == KeyPress || event.type == KeyRelease) {
                std::printf("key %lld %s %u\n", static_cast<long long>(now),
                            event.type == KeyPress ? "press" : "release", event.xkey.keycode);
            } else if (event.type == damageEvent + XDamageNotify) {
                const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
                if (damage.drawable == pixmap) {
                    if (probeSent > 0) {
                        std::printf("probe %lld\n", static_cast<long long>(now - probeSent));
                        probeSent = 0;
                    }
                    continue;
                }
                const XRectangle& r = damage.area;
                const bool touches = r.x < x + w && r.x + r.width > x && r.y < y + h && r.y + r.height > y;
                if (!touches) {
                    continue;
                }
                const std::uint64_t hash = RegionHash(display, window, x, y, w, h, ok);
                if (ok && hash != last) {
                    last = hash;
                    std::printf("change %lld\n", static_cast<long long>(now));
                }
            }
        }
        std::fflush(stdout);
        const std::int64_t now = NowNs();
        if (now >= nextProbe) {
            nextProbe = now + 100'000'000;
            if (probeSent == 0) {
                colour ^= 0xffffff;
                XSetForeground(display, gc, colour);
                probeSent = NowNs();
                XFillRectangle(display, pixmap, gc, 0, 0, 4, 4);
                XFlush(display);
            }
        }
        // Writing may have read events into Xlib's queue: they are not on the socket any more.
        if (XEventsQueued(display, QueuedAfterReading) > 0) {
            continue;
        }
        const int wait = static_cast<int>((nextProbe - NowNs()) / 1'000'000) + 1;
        if (poll(&fd, 1, wait < 0 ? 0 : wait) < 0 && errno != EINTR) {
            return 1;
        }
    }
}

long WindowPid(Display* display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data && items == 1 && format == 32) {
        pid = *reinterpret_cast<long*>(data);
    }
    if (data) {
        XFree(data);
    }
    return pid;
}

// Asks the window to close as a window manager does, through the end-to-end tests' wmclose.
bool CloseWindow(Window window)
{
    const std::string id = std::to_string(window);
    const pid_t pid = fork();
    if (pid == 0) {
        execl(TIKTAKON_WMCLOSE, TIKTAKON_WMCLOSE, id.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int Startup(const char* dir, const char* program)
{
    int damageEvent = 0;
    Display* display = OpenDisplay(damageEvent);
    if (!display) {
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const std::int64_t started = NowNs();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir) != 0) {
            _exit(127);
        }
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }

    Window main = None;
    std::int64_t mapped = 0, painted = 0;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    const std::int64_t deadline = started + 30'000'000'000;
    while (painted == 0 && NowNs() < deadline) {
        while (XPending(display) > 0 && painted == 0) {
            XEvent event;
            XNextEvent(display, &event);
            const std::int64_t now = NowNs();
            if (event.type == CreateNotify && !event.xcreatewindow.override_redirect) {
                // Watched from its creation: it may be drawn right after it is mapped.
                XDamageCreate(display, event.xcreatewindow.window, XDamageReportRawRectangles);
            } else if (event.type == MapNotify && main == None && !event.xmap.override_redirect &&
                       WindowPid(display, event.xmap.window) == pid) {
                // The main window is the first the program maps.
                main = event.xmap.window;
                mapped = now;
            } else if (event.type == damageEvent + XDamageNotify && main != None &&
                       reinterpret_cast<const XDamageNotifyEvent&>(event).drawable == main) {
                painted = now;
            }
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "timing_probe: the program ended at start\n");
            return 1;
        }
        if (XEventsQueued(display, QueuedAfterReading) == 0) {
            poll(&fd, 1, 10);
        }
    }
    if (painted == 0) {
        std::fprintf(stderr, "timing_probe: no window within 30 s\n");
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return 1;
    }
    std::printf("mapped %.2f\npainted %.2f\n", (mapped - started) / 1e6, (painted - started) / 1e6);
    std::fflush(stdout);

    // Let its start-up work finish, then close it as the close box does.
    usleep(1'000'000);
    if (!CloseWindow(main)) {
        std::fprintf(stderr, "timing_probe: could not ask the window to close\n");
    }
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
        }
        usleep(10'000);
    }
    std::fprintf(stderr, "timing_probe: the program did not close within 10 s\n");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        return Usage();
    }
    const std::string command = argv[1];
    if (command == "now") {
        std::printf("%lld\n", static_cast<long long>(NowNs()));
        return 0;
    }
    if (command == "run" && argc >= 3) {
        return Run(argv + 2);
    }
    if (command == "lines") {
        return Lines();
    }
    if (command == "chunks" && argc == 3) {
        return Chunks(argv[2]);
    }
    if (command == "watch" && argc == 7) {
        return Watch(std::strtoul(argv[2], nullptr, 0), std::atoi(argv[3]), std::atoi(argv[4]),
                     std::atoi(argv[5]), std::atoi(argv[6]));
    }
    if (command == "startup" && argc == 4) {
        return Startup(argv[2], argv[3]);
    }
    return Usage();
}
