#include "SoundAnalysis.h"

#include <QFile>
#include <QThread>

#include <sndfile.h>

#include <cmath>
#include <csignal>

Recording ReadRecording(const QString& path)
{
    Recording r;
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f) {
        return r;
    }
    std::vector<float> raw(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(f, raw.data(), info.frames);
    sf_close(f);
    r.FRate = info.samplerate;
    r.FSamples.resize(static_cast<std::size_t>(std::max<sf_count_t>(got, 0)));
    for (std::size_t i = 0; i < r.FSamples.size(); ++i) {
        r.FSamples[i] = raw[i * info.channels];
    }
    return r;
}

namespace {

double Frequency(const std::vector<float>& s, std::size_t from, std::size_t to)
{
    // Rising zero crossings, interpolated between samples; the first and the last give the span.
    double first = -1, last = -1;
    int cycles = -1;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double x = (i - 1) + (-s[i - 1]) / (s[i] - s[i - 1]);
            if (first < 0) {
                first = x;
            }
            last = x;
            ++cycles;
        }
    }
    if (cycles < 3 || last <= first) {
        return 0;
    }
    return cycles / (last - first);
}

} // namespace

std::vector<Onset> FindOnsets(const Recording& r, double threshold, double quietMs)
{
    std::vector<Onset> onsets;
    const auto& s = r.FSamples;
    const auto quiet = static_cast<std::size_t>(quietMs * r.FRate / 1000.0);
    std::size_t lastLoud = 0;
    bool any = false;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (std::abs(s[i]) < threshold) {
            continue;
        }
        if (!any || i - lastLoud > quiet) {
            Onset o;
            const double a = std::abs(s[i - 1]);
            const double b = std::abs(s[i]);
            o.FFrame = (i - 1) + (b > a ? (threshold - a) / (b - a) : 1.0);
            onsets.push_back(o);
        }
        any = true;
        lastLoud = i;
        Onset& o = onsets.back();
        o.FPeak = std::max(o.FPeak, static_cast<double>(std::abs(s[i])));
        o.FLengthMs = (i - o.FFrame) * 1000.0 / r.FRate;
    }
    for (Onset& o : onsets) {
        // The pitch of the sound's first 40 ms: a decaying tail near the threshold would make the
        // span, and with several partials the count, depend on chance.
        const auto from = static_cast<std::size_t>(o.FFrame);
        const double spanMs = std::min(o.FLengthMs, 40.0);
        const auto to = std::min(s.size(), from + static_cast<std::size_t>(spanMs * r.FRate / 1000.0));
        o.FFrequency = Frequency(s, from, to) * r.FRate;
    }
    return onsets;
}

SinkRecorder::~SinkRecorder()
{
    Stop();
}

bool SinkRecorder::Start(const QString& path, int leadMs)
{
    FProcess.setProgram(QStringLiteral("parecord"));
    FProcess.setArguments({QStringLiteral("--latency-msec=10"), QStringLiteral("--device=ci.monitor"),
                           QStringLiteral("--rate=48000"), QStringLiteral("--channels=1"),
                           QStringLiteral("--format=float32le"), QStringLiteral("--file-format=wav"), path});
    FProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    FProcess.start();
    if (!FProcess.waitForStarted(5000)) {
        return false;
    }
    QThread::msleep(static_cast<unsigned long>(leadMs));
    return FProcess.state() == QProcess::Running;
}

bool SinkRecorder::Stop()
{
    if (FProcess.state() == QProcess::NotRunning) {
        return FProcess.exitStatus() == QProcess::NormalExit;
    }
    ::kill(static_cast<pid_t>(FProcess.processId()), SIGINT);
    if (!FProcess.waitForFinished(5000)) {
        FProcess.kill();
        FProcess.waitForFinished(2000);
        return false;
    }
    return FProcess.exitStatus() == QProcess::NormalExit;
}
