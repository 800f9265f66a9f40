#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One capture stream from a source of the sound server (a microphone, a line input, or a
// monitor of an output), mono at the output's rate, open only while someone listens. Frames are
// counted from the stream's start; the server's timing reports give each frame's capture time.
// Nothing here throws: without a server, or without the source, Open fails.
class AudioIn final
{
public:
    static constexpr int Rate = 48000;

    struct Source
    {
        std::string FName;        // the server's name, kept in the settings
        std::string FDescription; // what the user reads
        bool FMonitor = false;    // hears an output, the program's own clicks among it
    };
    // The server's sources and its default source; empty without a server.
    static std::vector<Source> Sources(std::string* defaultSource = nullptr);

    // Called on the stream's own thread with each block as it arrives; `frame` is the block's
    // first frame. It must not block: copy and return.
    using Consumer = std::function<void(std::int64_t frame, const float* mono, int frames)>;

    AudioIn();
    ~AudioIn();
    AudioIn(const AudioIn&) = delete;
    AudioIn& operator=(const AudioIn&) = delete;

    bool Open(const std::string& source, Consumer consumer);
    void Close();
    bool IsOpen() const;
    // The source went away (unplugged) or the server was lost while open.
    bool Lost() const;
    // The steady-clock time at which frame `frame` was captured; false before any timing report.
    bool TimeAt(double frame, std::int64_t& us) const;
    // Blocks the server had to drop because we read too late.
    std::int64_t Overruns() const;

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
