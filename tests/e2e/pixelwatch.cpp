// Watches a rectangle of a window, as a user's eye would: every PERIOD ms it reads the pixels and
// prints "<monotonic seconds> <hash>" whenever they differ from the last reading (and for the
// first). Runs until it is ended by a signal. With --now it prints the monotonic and the
// wall-clock time, read back to back, and ends.
// Usage: pixelwatch WINDOW X Y WIDTH HEIGHT PERIOD_MS | pixelwatch --now
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

double Seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--now") == 0) {
        const double mono = Seconds(CLOCK_MONOTONIC);
        const double real = Seconds(CLOCK_REALTIME);
        std::printf("%.6f %.6f\n", mono, real);
        return 0;
    }
    if (argc != 7) {
        std::fprintf(stderr, "usage: pixelwatch WINDOW X Y WIDTH HEIGHT PERIOD_MS | pixelwatch --now\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "pixelwatch: cannot open display\n");
        return 1;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const int x = std::atoi(argv[2]);
    const int y = std::atoi(argv[3]);
    const auto width = static_cast<unsigned>(std::atoi(argv[4]));
    const auto height = static_cast<unsigned>(std::atoi(argv[5]));
    const long period = std::atol(argv[6]) * 1'000'000L;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    std::uint64_t last = 0;
    bool first = true;
    for (;;) {
        XImage* image = XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap);
        if (!image) {
            std::fprintf(stderr, "pixelwatch: cannot read the window\n");
            return 1;
        }
        // FNV-1a over the pixel values, so that padding bytes play no part.
        std::uint64_t hash = 1469598103934665603ULL;
        for (unsigned row = 0; row < height; ++row) {
            for (unsigned column = 0; column < width; ++column) {
                hash = (hash ^ XGetPixel(image, static_cast<int>(column), static_cast<int>(row))) *
                       1099511628211ULL;
            }
        }
        XDestroyImage(image);
        if (first || hash != last) {
            std::printf("%.6f %016llx\n", Seconds(CLOCK_MONOTONIC), static_cast<unsigned long long>(hash));
            std::fflush(stdout);
            first = false;
            last = hash;
        }
        next.tv_nsec += period;
        while (next.tv_nsec >= 1'000'000'000L) {
            next.tv_nsec -= 1'000'000'000L;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}
