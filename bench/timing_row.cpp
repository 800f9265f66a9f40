// Reads what one run of the timing benchmark collected and prints its figures as "name value"
// lines for run-timing-bench.sh to put in its table.
//
// The recording (raw float32 mono 48 kHz) is placed on the monotonic clock two ways:
//   delivered: from the moments its blocks reached the recorder (timing_probe chunks): a line
//              through the earliest block of each second (a block only ever comes late);
//   played:    the same line moved to the recorder's reports of its stream time (timing_probe
//              lines), which the client library corrects by the sink's latency, so they tell
//              when a sample was played; a null sink's monitor hands a block over before the
//              sink counts it as played, so the first line runs ahead of this one.
// Clicks are timed on the played line; the difference of the two lines is printed as the lead.
//
// Usage: timing_row BPM BEATS RECORDING.raw CHUNKS TIMES WATCH KEYS
//   BEATS  how many beats should sound between Start and Stop
//   WATCH  timing_probe watch output
//   KEYS   "start|stop|restart|restop before|after NS" (timing_probe run around xdotool)
#include "SoundAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int Rate = 48000;
constexpr double NsPerSample = 1e9 / Rate;

struct Point
{
    double FSample; // stream position, samples
    double FNs;     // monotonic time less the position's duration: when sample 0 was (delivered, played)
};

// time(sample) = FA + FB * sample + sample * NsPerSample
struct Line
{
    double FA = 0;
    double FB = 0;
    bool FValid = false;
    double At(double sample) const { return FA + FB * sample + sample * NsPerSample; }
    double Base(double sample) const { return FA + FB * sample; }
};

// Least squares through the earliest point of each second of the stream.
Line LowerEnvelope(const std::vector<Point>& points)
{
    std::map<long, Point> earliest;
    for (const Point& p : points) {
        const long bin = static_cast<long>(p.FSample / Rate);
        auto it = earliest.find(bin);
        if (it == earliest.end() || p.FNs < it->second.FNs) {
            earliest[bin] = p;
        }
    }
    Line line;
    if (earliest.size() < 2) {
        if (!earliest.empty()) {
            line.FA = earliest.begin()->second.FNs;
            line.FValid = true;
        }
        return line;
    }
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = static_cast<double>(earliest.size());
    for (const auto& [bin, p] : earliest) {
        sx += p.FSample;
        sy += p.FNs;
        sxx += p.FSample * p.FSample;
        sxy += p.FSample * p.FNs;
    }
    const double d = n * sxx - sx * sx;
    line.FB = d != 0 ? (n * sxy - sx * sy) / d : 0;
    line.FA = (sy - line.FB * sx) / n;
    line.FValid = true;
    return line;
}

// The earliest point of each second of the stream less the line's base, in ns.
std::vector<double> BinResiduals(const std::vector<Point>& points, const Line& line)
{
    std::map<long, double> earliest;
    for (const Point& p : points) {
        const long bin = static_cast<long>(p.FSample / Rate);
        const double r = p.FNs - line.Base(p.FSample);
        auto it = earliest.find(bin);
        if (it == earliest.end() || r < it->second) {
            earliest[bin] = r;
        }
    }
    std::vector<double> residuals;
    for (const auto& [bin, r] : earliest) {
        residuals.push_back(r);
    }
    return residuals;
}

double Quantile(std::vector<double> v, double q)
{
    if (v.empty()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    std::sort(v.begin(), v.end());
    const double at = q * static_cast<double>(v.size() - 1);
    const auto lo = static_cast<std::size_t>(std::floor(at));
    const auto hi = std::min(v.size() - 1, lo + 1);
    return v[lo] + (v[hi] - v[lo]) * (at - static_cast<double>(lo));
}

// The entry of largest magnitude, with its sign.
double Worst(const std::vector<double>& v)
{
    double worst = 0;
    for (double x : v) {
        if (std::abs(x) > std::abs(worst)) {
            worst = x;
        }
    }
    return worst;
}

std::vector<double> Abs(std::vector<double> v)
{
    for (double& x : v) {
        x = std::abs(x);
    }
    return v;
}

void Print(const char* name, double value, int decimals = 3)
{
    if (std::isnan(value)) {
        std::printf("%s -\n", name);
    } else {
        std::printf("%s %.*f\n", name, decimals, value);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 8 && argc != 9) {
        std::fprintf(stderr, "usage: timing_row BPM BEATS RECORDING.raw CHUNKS TIMES WATCH KEYS [CLICKS PER BEAT]\n");
        return 2;
    }
    const int bpm = std::atoi(argv[1]);
    // With subdivisions every click is judged against its fraction of the beat; the display
    // follows the beats alone.
    const int perBeat = argc == 9 ? std::max(1, std::atoi(argv[8])) : 1;
    // The Stop comes half an interval after the last beat: its subdivisions before then are heard,
    // the later ones are silenced.
    const int expected = (std::atoi(argv[2]) - 1) * perBeat + (perBeat + 1) / 2;
    const int intervalMs = 60000 / bpm;
    const double spacing = intervalMs * (Rate / 1000.0) / perBeat;

    // The recording.
    Recording recording;
    recording.FRate = Rate;
    {
        std::ifstream in(argv[3], std::ios::binary);
        float sample = 0;
        while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
            recording.FSamples.push_back(sample);
        }
    }
    float peak = 0;
    for (float s : recording.FSamples) {
        peak = std::max(peak, std::abs(s));
    }
    // The servers record at different levels: clicks are found relative to the recording's own.
    std::vector<Onset> onsets;
    if (peak > 0.01f) {
        onsets = FindOnsets(recording, 0.3 * peak);
    }
    std::printf("samples %zu\n", recording.FSamples.size());

    // Its place on the monotonic clock.
    std::vector<Point> delivered;
    {
        std::ifstream in(argv[4]);
        long long ns = 0, bytes = 0;
        while (in >> ns >> bytes) {
            delivered.push_back({bytes / 4.0, ns - bytes / 4.0 * NsPerSample});
        }
    }
    std::vector<Point> played;
    {
        std::ifstream in(argv[5]);
        std::string line;
        while (std::getline(in, line)) {
            long long ns = 0;
            double seconds = 0;
            if (std::sscanf(line.c_str(), "%lld Time: %lf sec", &ns, &seconds) == 2 && seconds > 0) {
                played.push_back({seconds * Rate, ns - seconds * 1e9});
            }
        }
    }
    const Line deliveredLine = LowerEnvelope(delivered);
    if (!deliveredLine.FValid || played.empty()) {
        std::printf("error the recording has no timing\n");
        return 1;
    }
    // The blocks, many and never early, give the rate of the sink's clock against the monotonic
    // one; the reports (fewer, and on PipeWire scattered by milliseconds) only the offset: the
    // median of the earliest report of each second.
    Line playedLine = deliveredLine;
    playedLine.FA += Quantile(BinResiduals(played, deliveredLine), 0.5);
    const double middle = recording.FSamples.size() / 2.0;
    Print("monitor_lead_ms", (playedLine.At(middle) - deliveredLine.At(middle)) / 1e6);
    Print("sink_vs_monotonic_ppm", deliveredLine.FB / NsPerSample * 1e6, 1);
    {
        // A recording whose sample count falls behind the clock (a block lost by the recorder, or
        // a cycle the sink skipped) shows a step in these.
        std::vector<double> residuals = BinResiduals(delivered, deliveredLine);
        for (double& r : residuals) {
            r /= 1e6;
        }
        double worst = 0;
        int steps = 0;
        for (std::size_t i = 0; i < residuals.size(); ++i) {
            worst = std::max(worst, std::abs(residuals[i]));
            steps += i > 0 && std::abs(residuals[i] - residuals[i - 1]) > 2.0 ? 1 : 0;
        }
        Print("recorder_step_ms", worst);
        // Steps of more than 2 ms from one second to the next: the recording's own time line
        // jumped, and an interval across such a step proves nothing about the program.
        std::printf("recorder_steps %d\n", steps);
    }
    {
        std::vector<double> residual;
        for (const Point& p : played) {
            residual.push_back((p.FNs - playedLine.Base(p.FSample)) / 1e6);
        }
        Print("report_late_p50_ms", Quantile(residual, 0.5));
    }

    // Keys, the display, the watcher's round trips.
    std::map<std::string, long long> keys;
    {
        std::ifstream in(argv[7]);
        std::string which, when;
        long long ns = 0;
        while (in >> which >> when >> ns) {
            keys[which + "_" + when] = ns;
        }
    }
    std::vector<long long> presses;
    std::vector<double> changes;
    std::vector<double> probes;
    {
        std::ifstream in(argv[6]);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string kind;
            words >> kind;
            if (kind == "key") {
                long long ns = 0;
                std::string what;
                words >> ns >> what;
                if (what == "press") {
                    presses.push_back(ns);
                }
            } else if (kind == "change") {
                long long ns = 0;
                words >> ns;
                changes.push_back(static_cast<double>(ns));
            } else if (kind == "probe") {
                long long ns = 0;
                words >> ns;
                probes.push_back(ns / 1e6);
            }
        }
    }
    std::sort(changes.begin(), changes.end());
    // A key's moment: its press as this X server handed it to a client (the program sees it
    // then too); the stamp taken right before xdotool ran when no press was seen.
    const auto keyTime = [&](const std::string& which, double& xdotoolMs) -> double {
        const long long before = keys.count(which + "_before") ? keys[which + "_before"] : 0;
        const long long after = keys.count(which + "_after") ? keys[which + "_after"] : 0;
        for (long long p : presses) {
            if (p >= before && (after == 0 || p <= after)) {
                xdotoolMs = (p - before) / 1e6;
                return static_cast<double>(p);
            }
        }
        xdotoolMs = NAN;
        return static_cast<double>(before);
    };
    double startXdotool = NAN, stopXdotool = NAN, restartXdotool = NAN, restopXdotool = NAN;
    const double start = keyTime("start", startXdotool);
    const double stop = keyTime("stop", stopXdotool);
    // A second Start after the run (its first beat comes a look-ahead after it, not an
    // interval) and its Stop: their clicks are not the run's.
    const bool restarted = keys.count("restart_before") > 0;
    const double restart = restarted ? keyTime("restart", restartXdotool) : NAN;
    const double restop = restarted ? keyTime("restop", restopXdotool) : NAN;
    Print("xdotool_start_ms", startXdotool);
    Print("xdotool_stop_ms", stopXdotool);

    std::vector<double> clickFrames, clickNs, restartNs;
    for (const Onset& o : onsets) {
        const double at = playedLine.At(o.FFrame);
        if (restarted && at > restart) {
            restartNs.push_back(at);
        } else {
            clickFrames.push_back(o.FFrame);
            clickNs.push_back(at);
        }
    }
    std::printf("found %zu\n", clickNs.size());
    std::printf("expected %d\n", expected);

    // Spacing, on the sink's own sample clock.
    std::vector<double> deviations;
    for (std::size_t i = 1; i < clickFrames.size(); ++i) {
        deviations.push_back(clickFrames[i] - clickFrames[i - 1] - spacing);
    }
    Print("worst_dev_samples", deviations.empty() ? NAN : Worst(deviations));
    Print("p99_dev_samples", Quantile(Abs(deviations), 0.99));
    int off = 0;
    for (double d : deviations) {
        off += std::abs(d) > 1.001 ? 1 : 0;
    }
    std::printf("intervals_off_1_sample %d\n", off);
    if (clickFrames.size() >= 2) {
        const double mean =
            (clickFrames.back() - clickFrames.front()) / static_cast<double>(clickFrames.size() - 1);
        Print("tempo_error_ppm", (mean / spacing - 1) * 1e6, 1);
    } else {
        Print("tempo_error_ppm", NAN);
    }

    if (!clickNs.empty()) {
        Print("start_to_first_ms", (clickNs.front() - start) / 1e6, 1);
        Print("stop_to_last_ms", (clickNs.back() - stop) / 1e6, 1);
        int afterStop = 0;
        for (double c : clickNs) {
            afterStop += c > stop ? 1 : 0;
        }
        std::printf("clicks_after_stop %d\n", afterStop);
    } else {
        Print("start_to_first_ms", NAN);
        Print("stop_to_last_ms", NAN);
    }
    // Start shows its own state (the beat number 0, the lights reset) at once: how long its
    // handler took, as seen on the screen.
    {
        const auto it = std::lower_bound(changes.begin(), changes.end(), start);
        Print("start_shown_ms", it == changes.end() ? NAN : (*it - start) / 1e6, 1);
    }
    if (restarted) {
        Print("restart_to_first_ms", restartNs.empty() ? NAN : (restartNs.front() - restart) / 1e6, 1);
        std::printf("restart_clicks %zu\n", restartNs.size());
        Print("restart_stop_after_ms", (restop - restart) / 1e6, 1);
    }

    // Each beat's display: the first change of the lights, number and circle from its click on,
    // until the next click (or the Stop). A display shown up to 20 ms before its click still
    // counts as its own; a main thread held up shows a beat late, or skips it for a later one:
    // a beat with no change before the next is counted as not shown.
    constexpr double EarlyNs = 20e6;
    std::vector<double> beatNs;
    for (std::size_t k = 0; k < clickNs.size(); k += static_cast<std::size_t>(perBeat)) {
        beatNs.push_back(clickNs[k]);
    }
    std::vector<double> offsets;
    int unshown = 0;
    for (std::size_t k = 0; k < beatNs.size(); ++k) {
        const double from = beatNs[k] - EarlyNs;
        const double to = k + 1 < beatNs.size() ? beatNs[k + 1] - EarlyNs : stop;
        const auto it = std::lower_bound(changes.begin(), changes.end(), from);
        if (it == changes.end() || *it >= to) {
            ++unshown;
            continue;
        }
        offsets.push_back((*it - beatNs[k]) / 1e6);
    }
    Print("display_p50_ms", Quantile(offsets, 0.5));
    Print("display_p99_ms", Quantile(Abs(offsets), 0.99));
    Print("display_worst_ms", offsets.empty() ? NAN : Worst(offsets));
    std::printf("display_not_shown %d\n", unshown);
    Print("probe_p50_ms", Quantile(probes, 0.5));
    Print("probe_p99_ms", Quantile(probes, 0.99));
    Print("probe_max_ms", probes.empty() ? NAN : *std::max_element(probes.begin(), probes.end()));
    return 0;
}
