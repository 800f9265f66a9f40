// How exactly each beat's click reaches the sound server: the real beat clock hands ticks to the
// main thread, whose handler plays the tone of sound mode 1 at the tick's moment; the null sink's
// monitor is recorded and the clicks are found in it.
// Prints, per tempo and load: mean inter-onset interval against the clock's, its spread, the p99
// of the deviations, the delay from tick to sink, underruns and CPU use.
// Needs a PulseAudio server with a null sink "ci" (run-sound-bench.sh starts a private one).
// Usage: sound_bench [beats per tempo] [loads: 1 idle, 2 and GUI busy, 3 and two CPU burners]
#include "AudioOut.h"
#include "Clock.h"
#include "SoundAnalysis.h"
#include "Voices.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRate = 48000;

std::int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// parec writing raw samples into a pipe; every read is stamped with the steady clock, so that the
// recording's samples can be placed on the steady clock (a sample is never read before it exists).
class LiveRecorder final
{
public:
    bool Start()
    {
        int fds[2];
        if (pipe(fds) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const char* argv[] = {"parec",
                              "--latency-msec=10",
                              "--device=ci.monitor",
                              "--rate=48000",
                              "--channels=1",
                              "--format=float32le",
                              "--raw",
                              nullptr};
        const int rc = posix_spawnp(&FPid, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            return false;
        }
        FFd = fds[0];
        FSamples.reserve(static_cast<std::size_t>(kRate) * 600);
        FThread = std::thread([this] { Read(); });
        return true;
    }
    void Stop()
    {
        if (FPid > 0) {
            kill(FPid, SIGINT);
            waitpid(FPid, nullptr, 0);
            FPid = 0;
        }
        if (FThread.joinable()) {
            FThread.join();
        }
        if (FFd >= 0) {
            close(FFd);
            FFd = -1;
        }
    }
    // Steady-clock time of recorded sample s: a line fitted under the reads' time stamps.
    double TimeOf(double sample) const { return FOffset + FSlope * sample; }
    double SinkRate() const { return 1e6 / FSlope; }
    void Fit()
    {
        // Lowest (time - samples before it) per second of recording: the reads that waited least.
        std::vector<std::pair<double, double>> points; // sample, offset
        std::size_t i = 0;
        while (i < FStamps.size()) {
            const std::int64_t windowEnd = FStamps[i].second + kRate;
            double best = 1e300;
            double bestSample = 0;
            for (; i < FStamps.size() && FStamps[i].second < windowEnd; ++i) {
                const double offset = FStamps[i].first - FStamps[i].second * 1e6 / kRate;
                if (offset < best) {
                    best = offset;
                    bestSample = static_cast<double>(FStamps[i].second);
                }
            }
            points.emplace_back(bestSample, best);
        }
        // A least-squares line through the per-second minima, then again through those below it.
        auto fit = [&](const std::vector<std::pair<double, double>>& p, double& a, double& b) {
            double sx = 0, sy = 0, sxx = 0, sxy = 0;
            for (const auto& [x, y] : p) {
                sx += x;
                sy += y;
                sxx += x * x;
                sxy += x * y;
            }
            const double n = static_cast<double>(p.size());
            b = n > 1 ? (n * sxy - sx * sy) / (n * sxx - sx * sx) : 0.0;
            a = (sy - b * sx) / n;
        };
        double a = 0, b = 0;
        fit(points, a, b);
        std::vector<std::pair<double, double>> lower;
        for (const auto& p : points) {
            if (p.second <= a + b * p.first + 200.0) {
                lower.push_back(p);
            }
        }
        if (lower.size() > 2) {
            fit(lower, a, b);
        }
        FOffset = a;
        FSlope = 1e6 / kRate + b;
    }
    const std::vector<float>& Samples() const { return FSamples; }
    pid_t Tid() const { return FTid.load(); }
    std::size_t Count()
    {
        std::lock_guard lock(FMutex);
        return FSamples.size();
    }

private:
    void Read()
    {
        FTid = gettid();
        std::vector<float> block(4096);
        std::size_t pending = 0; // bytes of a partial float
        auto* bytes = reinterpret_cast<char*>(block.data());
        for (;;) {
            const ssize_t got = read(FFd, bytes + pending, block.size() * sizeof(float) - pending);
            if (got <= 0) {
                break;
            }
            const std::int64_t now = NowUs();
            const std::size_t total = pending + static_cast<std::size_t>(got);
            const std::size_t floats = total / sizeof(float);
            {
                std::lock_guard lock(FMutex);
                FSamples.insert(FSamples.end(), block.begin(),
                                block.begin() + static_cast<std::ptrdiff_t>(floats));
                FStamps.emplace_back(static_cast<double>(now), static_cast<std::int64_t>(FSamples.size()));
            }
            pending = total - floats * sizeof(float);
            std::memmove(bytes, bytes + floats * sizeof(float), pending);
        }
    }

    pid_t FPid = 0;
    std::atomic<pid_t> FTid{0};
    int FFd = -1;
    std::thread FThread;
    std::mutex FMutex;
    std::vector<float> FSamples;
    std::vector<std::pair<double, std::int64_t>> FStamps; // steady µs, samples read so far
    double FOffset = 0;
    double FSlope = 1e6 / kRate;
};

// CPU time of this process's threads, except those named (the recorder, the load stand-ins).
// The scheduler's own nanosecond count, not the 10 ms ticks of stat: the stream alone costs
// about 1 % of a core, which ticks could not tell from 0.8 or 1.2 % in a few seconds.
double CpuSeconds(const std::vector<pid_t>& except)
{
    double ns = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (std::find(except.begin(), except.end(), tid.toInt()) != except.end()) {
            continue;
        }
        QFile stat(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        ns += stat.readAll().split(' ').value(0).toDouble(); // time on a CPU
    }
    return ns / 1e9;
}

struct Segment
{
    QString FLoad;
    int FBpm = 0;
    int FIntervalMs = 0;
    std::vector<std::int64_t> FTicks;
    double FCpu = 0; // share of one core
    std::int64_t FUnderruns = 0;
    std::int64_t FLate = 0;
};

// The GUI kept busy: a picture repainted on the main thread (as a window would be) again and again.
class BusyPainter final
{
public:
    void Start()
    {
        FTimer.setInterval(0);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Paint(); });
        FTimer.start();
    }
    void Stop() { FTimer.stop(); }
    // CPU time spent painting, to be told apart from the beat's own work on the same thread.
    double CpuSeconds() const { return FCpu; }

private:
    static double ThreadCpu()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
    }
    void Paint()
    {
        const double start = ThreadCpu();
        PaintFrame();
        FCpu += ThreadCpu() - start;
    }
    void PaintFrame()
    {
        QPainter p(&FImage);
        FImage.fill(Qt::white);
        for (int i = 0; i < 40; ++i) {
            p.setBrush(QColor::fromHsv((FFrame * 7 + i * 9) % 360, 200, 230));
            p.drawEllipse(
                QPointF(400 + 300 * std::sin(FFrame * 0.05 + i), 300 + 200 * std::cos(FFrame * 0.03 + i)), 80,
                80);
        }
        p.drawText(QRectF(0, 0, 800, 600), Qt::AlignCenter, QString::number(FFrame));
        ++FFrame;
    }
    QImage FImage{800, 600, QImage::Format_ARGB32_Premultiplied};
    QTimer FTimer;
    int FFrame = 0;
    double FCpu = 0;
};

std::vector<pid_t> StartBurners(int count)
{
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile std::uint64_t x = 0;
            for (;;) {
                x = x + 1;
            }
        }
        if (pid > 0) {
            pids.push_back(pid);
        }
    }
    return pids;
}

void StopBurners(const std::vector<pid_t>& pids)
{
    for (pid_t pid : pids) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

Segment RunTempo(const QString& load, int bpm, int beats, const std::vector<pid_t>& except,
                 const BusyPainter& painter)
{
    Segment s;
    s.FLoad = load;
    s.FBpm = bpm;
    auto post = [](std::function<void()> call) {
        QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
    };
    TClock clock(true, post);
    clock.SetTempo(bpm);
    s.FIntervalMs = clock.FInterval();
    QEventLoop loop;
    clock.SetOnTick([&](TClock&, std::int64_t moment) {
        s.FTicks.push_back(moment);
        PlayBeatSound(1, QString(), QString(), nullptr, false, moment);
        if (static_cast<int>(s.FTicks.size()) >= beats) {
            loop.quit();
        }
    });
    const std::int64_t underruns = AudioOut::Instance().Underruns();
    const std::int64_t late = AudioOut::Instance().LateVoices();
    const double cpu0 = CpuSeconds(except) - painter.CpuSeconds();
    const std::int64_t t0 = NowUs();
    clock.Resume();
    loop.exec();
    clock.Suspend();
    s.FCpu = (CpuSeconds(except) - painter.CpuSeconds() - cpu0) / ((NowUs() - t0) / 1e6);
    clock.Shutdown();
    Wait(600); // the last click's tail
    s.FUnderruns = AudioOut::Instance().Underruns() - underruns;
    s.FLate = AudioOut::Instance().LateVoices() - late;
    return s;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(std::ceil(p * v.size()) - 1))];
}

void Report(const Segment& s, const std::vector<Onset>& onsets, const LiveRecorder& rec)
{
    // Each tick's click: the first onset within 300 ms after the tick reaches the sink.
    std::vector<double> onsetSamples;
    std::vector<double> latency;
    std::size_t j = 0;
    for (std::int64_t tick : s.FTicks) {
        while (j < onsets.size() && rec.TimeOf(onsets[j].FFrame) < static_cast<double>(tick)) {
            ++j;
        }
        if (j < onsets.size() && rec.TimeOf(onsets[j].FFrame) < static_cast<double>(tick) + 300000.0) {
            onsetSamples.push_back(onsets[j].FFrame);
            latency.push_back((rec.TimeOf(onsets[j].FFrame) - static_cast<double>(tick)) / 1000.0);
            ++j;
        }
    }
    if (qEnvironmentVariableIsSet("SOUND_BENCH_VERBOSE")) {
        for (std::size_t i = 0; i < onsetSamples.size(); ++i) {
            std::printf("  click %2zu at sample %12.2f  latency %8.3f ms  gap %10.2f samples\n", i,
                        onsetSamples[i], latency[i], i ? onsetSamples[i] - onsetSamples[i - 1] : 0.0);
        }
    }
    const double interval = s.FIntervalMs * 1000.0;
    std::vector<double> ioi; // µs on the steady clock
    std::vector<double> ioiSamples;
    for (std::size_t i = 1; i < onsetSamples.size(); ++i) {
        ioiSamples.push_back(onsetSamples[i] - onsetSamples[i - 1]);
        ioi.push_back(rec.TimeOf(onsetSamples[i]) - rec.TimeOf(onsetSamples[i - 1]));
    }
    double mean = 0, meanSamples = 0;
    for (std::size_t i = 0; i < ioi.size(); ++i) {
        mean += ioi[i];
        meanSamples += ioiSamples[i];
    }
    mean /= std::max<std::size_t>(1, ioi.size());
    meanSamples /= std::max<std::size_t>(1, ioiSamples.size());
    double var = 0;
    std::vector<double> dev, devNominal;
    const double nominalSamples = interval * kRate / 1e6;
    for (std::size_t i = 0; i < ioi.size(); ++i) {
        var += (ioi[i] - mean) * (ioi[i] - mean);
        dev.push_back(std::abs(ioiSamples[i] - meanSamples) * 1e6 / kRate);
        devNominal.push_back(std::abs(ioiSamples[i] - nominalSamples) * 1e6 / kRate);
    }
    const double sd = std::sqrt(var / std::max<std::size_t>(1, ioi.size()));
    std::vector<double> tickGaps;
    for (std::size_t i = 1; i < s.FTicks.size(); ++i) {
        tickGaps.push_back(static_cast<double>(s.FTicks[i] - s.FTicks[i - 1]));
    }
    double tickMean = 0;
    for (double g : tickGaps) {
        tickMean += g;
    }
    tickMean /= std::max<std::size_t>(1, tickGaps.size());
    std::printf(
        "%-22s %3d BPM  clicks %2zu/%2zu  mean IOI %+8.1f ppm (samples %+8.1f ppm, ticks %+7.1f ppm)  "
        "sd %6.3f ms  p99|dev| %6.3f ms (vs set interval %6.3f ms)  latency %6.2f ms (sd %.3f)  "
        "underruns %lld  late %lld  CPU %5.2f %%\n",
        qPrintable(s.FLoad), s.FBpm, onsetSamples.size(), s.FTicks.size(), (mean - interval) / interval * 1e6,
        (meanSamples - nominalSamples) / nominalSamples * 1e6, (tickMean - interval) / interval * 1e6,
        sd / 1000.0, Percentile(dev, 0.99) / 1000.0, Percentile(devNominal, 0.99) / 1000.0,
        Percentile(latency, 0.5),
        [&] {
            double m = 0, v = 0;
            for (double l : latency) {
                m += l;
            }
            m /= std::max<std::size_t>(1, latency.size());
            for (double l : latency) {
                v += (l - m) * (l - m);
            }
            return std::sqrt(v / std::max<std::size_t>(1, latency.size()));
        }(),
        static_cast<long long>(s.FUnderruns), static_cast<long long>(s.FLate), s.FCpu * 100.0);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const int beats = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;
    const int loads = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 3) : 3;

    AudioOut& out = AudioOut::Instance();
    if (!out.Open()) {
        std::fprintf(stderr, "no audio device\n");
        return 1;
    }
    QElapsedTimer settle;
    settle.start();
    while (!out.Steady() && settle.elapsed() < 10000) {
        Wait(50);
    }
    // The program opens its stream at start; by the first Start the stream's drift has been
    // measured. Give it that time here too.
    Wait(30000);
    LiveRecorder rec;
    if (!rec.Start()) {
        std::fprintf(stderr, "parec did not start\n");
        return 1;
    }
    Wait(500);

    // The recorder's reading thread is the benchmark's, not the program's.
    const std::vector<pid_t> except = {rec.Tid()};
    std::vector<Segment> segments;
    BusyPainter painter;
    const int tempos[] = {40, 120, 208};

    std::printf("CPU is the program's own (clock, beat handler, mixer), without the painting stand-in\n");
    std::printf("stream %d Hz, lead %lld ms, %d beats per tempo\n", out.SampleRate(),
                static_cast<long long>(AudioOut::LeadUs() / 1000), beats);
    std::fflush(stdout);

    for (int load = 0; load < loads; ++load) {
        QString name = load == 0 ? QStringLiteral("idle") : QStringLiteral("GUI busy");
        std::vector<pid_t> burners;
        if (load > 0) {
            painter.Start();
        }
        if (load == 2) {
            name = QStringLiteral("GUI busy + 2 burners");
            burners = StartBurners(2);
        }
        for (int bpm : tempos) {
            segments.push_back(RunTempo(name, bpm, beats, except, painter));
            std::fprintf(stderr, "  %s %d BPM done\n", qPrintable(name), bpm);
        }
        StopBurners(burners);
        painter.Stop();
    }

    // CPU use while stopped: the stream keeps running, the clock is parked.
    const double cpu0 = CpuSeconds(except);
    const std::int64_t t0 = NowUs();
    Wait(20000);
    const double stoppedCpu = (CpuSeconds(except) - cpu0) / ((NowUs() - t0) / 1e6);
    rec.Stop();
    rec.Fit();

    Recording r;
    r.FRate = kRate;
    r.FSamples = rec.Samples();
    const std::vector<Onset> onsets = FindOnsets(r, 0.05);
    std::printf("sink clock %.1f Hz on the steady clock (%+.0f ppm), stream clock estimate %.1f Hz\n",
                rec.SinkRate(), (rec.SinkRate() / kRate - 1) * 1e6, out.MeasuredRate());
    for (const Segment& s : segments) {
        Report(s, onsets, rec);
    }
    std::printf("CPU while stopped %.2f %% of a core (stream running, clock parked)\n", stoppedCpu * 100.0);
    std::printf("underruns in all %lld, late sounds %lld\n", static_cast<long long>(out.Underruns()),
                static_cast<long long>(out.LateVoices()));
    out.Close();
    return 0;
}
