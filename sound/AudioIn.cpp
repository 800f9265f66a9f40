#include "AudioIn.h"

#include "PulseCommon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

using PulseCommon::AwaitReady;
using PulseCommon::NowUs;

namespace {

// Blocks of 2.5 ms: a hit is in the listener's hands soon after it was played.
constexpr pa_usec_t kFragmentUs = 2500;
constexpr std::int64_t kTimingEveryUs = 100'000;
constexpr std::size_t kTimingWindow = 16;

// A main loop and a context of their own, connected; everything null when there is no server.
struct Connection
{
    pa_threaded_mainloop* FLoop = nullptr;
    pa_context* FContext = nullptr;

    bool Connect(pa_context_notify_cb_t onState, void* user)
    {
        FLoop = pa_threaded_mainloop_new();
        if (!FLoop) {
            return false;
        }
        FContext = pa_context_new(pa_threaded_mainloop_get_api(FLoop), "Tiktakon");
        if (!FContext) {
            return false;
        }
        pa_context_set_state_callback(FContext, onState, user);
        if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            pa_threaded_mainloop_start(FLoop) < 0) {
            return false;
        }
        pa_threaded_mainloop_lock(FLoop);
        const bool ready = AwaitReady(
            FLoop, [this] { return pa_context_get_state(FContext); }, PA_CONTEXT_READY,
            [](pa_context_state_t state) { return PA_CONTEXT_IS_GOOD(state) != 0; });
        pa_threaded_mainloop_unlock(FLoop);
        return ready;
    }
    void Disconnect()
    {
        if (FLoop) {
            pa_threaded_mainloop_stop(FLoop);
        }
        PulseCommon::Release(FContext, FLoop);
    }
};

// Wakes whoever waits on the connection's loop for its state.
void SignalLoop(pa_context*, void* user)
{
    pa_threaded_mainloop_signal(static_cast<Connection*>(user)->FLoop, 0);
}

} // namespace

struct AudioIn::Impl
{
    Connection FConnection;
    pa_stream* FStream = nullptr;
    Consumer FConsumer;
    std::int64_t FRead = 0; // frames handed to the consumer so far
    std::atomic<bool> FOpen{false};
    std::atomic<bool> FLost{false};
    std::atomic<std::int64_t> FOverruns{0};
    std::int64_t FLastTimingAskUs = INT64_MIN;
    std::int64_t FWallOffsetUs = 0;
    std::int64_t FWallOffsetAt = INT64_MIN;

    mutable std::mutex FTimingMutex; // the origin is read by the listener's thread
    std::array<double, kTimingWindow> FOrigins{};
    std::size_t FOriginCount = 0;
    double FOrigin = 0; // the steady time at which frame 0 was captured

    static void ContextState(pa_context* c, void* user)
    {
        auto& d = *static_cast<Impl*>(user);
        const pa_context_state_t state = pa_context_get_state(c);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
            d.FLost = true;
        }
        pa_threaded_mainloop_signal(d.FConnection.FLoop, 0);
    }
    static void StreamState(pa_stream* s, void* user)
    {
        auto& d = *static_cast<Impl*>(user);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            d.FLost = true;
        }
        pa_threaded_mainloop_signal(d.FConnection.FLoop, 0);
    }
    static void Overflow(pa_stream*, void* user) { static_cast<Impl*>(user)->FOverruns.fetch_add(1); }
    static void TimingAnswer(pa_stream*, int success, void* user)
    {
        if (success) {
            static_cast<Impl*>(user)->TakeTiming();
        }
    }
    static void Read(pa_stream* s, std::size_t, void* user)
    {
        auto& d = *static_cast<Impl*>(user);
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) {
                return;
            }
            const int frames = static_cast<int>(bytes / sizeof(float));
            // A hole (data lost by the server) still counts its frames, so later frames keep
            // their place on the source's clock.
            if (data && d.FConsumer) {
                d.FConsumer(d.FRead, static_cast<const float*>(data), frames);
            }
            d.FRead += frames;
            pa_stream_drop(s);
        }
        const std::int64_t now = NowUs();
        if (d.FLastTimingAskUs == INT64_MIN || now - d.FLastTimingAskUs >= kTimingEveryUs) {
            d.FLastTimingAskUs = now;
            if (pa_operation* op = pa_stream_update_timing_info(s, &TimingAnswer, &d)) {
                pa_operation_unref(op);
            }
        }
    }
    void TakeTiming()
    {
        const pa_timing_info* ti = pa_stream_get_timing_info(FStream);
        if (!ti || ti->write_index_corrupt) {
            return;
        }
        const std::int64_t now = NowUs();
        if (FWallOffsetAt == INT64_MIN || now - FWallOffsetAt > 1'000'000) {
            FWallOffsetUs = PulseCommon::WallMinusMonotonicUs();
            FWallOffsetAt = now;
        }
        const std::int64_t stampUs =
            static_cast<std::int64_t>(ti->timestamp.tv_sec) * 1'000'000LL + ti->timestamp.tv_usec - FWallOffsetUs;
        // At `stamp` the server had written our stream up to write_index; that frame was captured
        // source_usec before.
        const double writeFrame = static_cast<double>(ti->write_index) / sizeof(float);
        const double origin =
            static_cast<double>(stampUs) - static_cast<double>(ti->source_usec) - writeFrame * 1e6 / Rate;
        std::lock_guard lock(FTimingMutex);
        FOrigins[FOriginCount % kTimingWindow] = origin;
        ++FOriginCount;
        const std::size_t n = std::min(FOriginCount, kTimingWindow);
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) {
            sum += FOrigins[i];
        }
        FOrigin = sum / static_cast<double>(n);
    }
};

std::vector<AudioIn::Source> AudioIn::Sources(std::string* defaultSource)
{
    std::vector<Source> sources;
    Connection c;
    struct Ask
    {
        std::vector<Source>* FSources;
        std::string FDefault;
        pa_threaded_mainloop* FLoop;
        bool FDone = false;
    };
    if (!c.Connect(&SignalLoop, &c)) {
        c.Disconnect();
        return sources;
    }
    pa_threaded_mainloop* loop = c.FLoop;
    Ask ask{&sources, {}, loop};
    pa_threaded_mainloop_lock(loop);
    pa_operation* server = pa_context_get_server_info(
        c.FContext,
        [](pa_context*, const pa_server_info* info, void* user) {
            auto& a = *static_cast<Ask*>(user);
            if (info && info->default_source_name) {
                a.FDefault = info->default_source_name;
            }
            pa_threaded_mainloop_signal(a.FLoop, 0);
        },
        &ask);
    while (server && pa_operation_get_state(server) == PA_OPERATION_RUNNING) {
        pa_threaded_mainloop_wait(loop);
    }
    if (server) {
        pa_operation_unref(server);
    }
    pa_operation* list = pa_context_get_source_info_list(
        c.FContext,
        [](pa_context*, const pa_source_info* info, int eol, void* user) {
            auto& a = *static_cast<Ask*>(user);
            if (eol == 0 && info) {
                a.FSources->push_back({info->name ? info->name : "", info->description ? info->description : "",
                                       info->monitor_of_sink != PA_INVALID_INDEX});
            }
            pa_threaded_mainloop_signal(a.FLoop, 0);
        },
        &ask);
    while (list && pa_operation_get_state(list) == PA_OPERATION_RUNNING) {
        pa_threaded_mainloop_wait(loop);
    }
    if (list) {
        pa_operation_unref(list);
    }
    pa_threaded_mainloop_unlock(loop);
    c.Disconnect();
    if (defaultSource) {
        *defaultSource = ask.FDefault;
    }
    return sources;
}

AudioIn::AudioIn() : FImpl(std::make_unique<Impl>()) {}

AudioIn::~AudioIn()
{
    Close();
}

bool AudioIn::Open(const std::string& source, Consumer consumer)
{
    Close();
    Impl& d = *FImpl;
    d.FLost = false;
    d.FRead = 0;
    d.FOverruns = 0;
    d.FLastTimingAskUs = INT64_MIN;
    {
        std::lock_guard lock(d.FTimingMutex);
        d.FOriginCount = 0;
    }
    d.FConsumer = std::move(consumer);
    if (!d.FConnection.Connect(&Impl::ContextState, &d)) {
        Close();
        return false;
    }
    pa_threaded_mainloop* loop = d.FConnection.FLoop;
    pa_threaded_mainloop_lock(loop);
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, Rate, 1};
    d.FStream = pa_stream_new(d.FConnection.FContext, "Listening", &format, nullptr);
    bool ok = d.FStream != nullptr;
    if (ok) {
        pa_stream_set_state_callback(d.FStream, &Impl::StreamState, &d);
        pa_stream_set_read_callback(d.FStream, &Impl::Read, &d);
        pa_stream_set_overflow_callback(d.FStream, &Impl::Overflow, &d);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentUs, &format));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        ok = pa_stream_connect_record(d.FStream, source.empty() ? nullptr : source.c_str(), &attr, flags) >= 0 &&
             AwaitReady(
                 loop, [&d] { return pa_stream_get_state(d.FStream); }, PA_STREAM_READY,
                 [](pa_stream_state_t state) { return PA_STREAM_IS_GOOD(state) != 0; });
    }
    pa_threaded_mainloop_unlock(loop);
    if (!ok) {
        Close();
        return false;
    }
    d.FOpen = true;
    return true;
}

void AudioIn::Close()
{
    Impl& d = *FImpl;
    d.FOpen = false;
    if (d.FConnection.FLoop) {
        pa_threaded_mainloop_stop(d.FConnection.FLoop);
    }
    if (d.FStream) {
        pa_stream_set_state_callback(d.FStream, nullptr, nullptr);
        pa_stream_set_read_callback(d.FStream, nullptr, nullptr);
        pa_stream_set_overflow_callback(d.FStream, nullptr, nullptr);
        pa_stream_disconnect(d.FStream);
        pa_stream_unref(d.FStream);
        d.FStream = nullptr;
    }
    d.FConnection.Disconnect();
    d.FConsumer = nullptr;
}

bool AudioIn::IsOpen() const
{
    return FImpl->FOpen.load() && !FImpl->FLost.load();
}

bool AudioIn::Lost() const
{
    return FImpl->FLost.load();
}

bool AudioIn::TimeAt(double frame, std::int64_t& us) const
{
    std::lock_guard lock(FImpl->FTimingMutex);
    if (FImpl->FOriginCount == 0) {
        return false;
    }
    us = std::llround(FImpl->FOrigin + frame * 1e6 / Rate);
    return true;
}

std::int64_t AudioIn::Overruns() const
{
    return FImpl->FOverruns.load();
}
