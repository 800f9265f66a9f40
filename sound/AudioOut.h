#pragma once

#include <cstdint>
#include <memory>

// The one audio output stream (SDL2), opened at program start and kept open, with a mixer
// of voices. The main thread queues commands; the audio callback never locks or allocates.
class AudioOut final
{
public:
    static AudioOut& Instance();
    // Opens the default device; false (and silence) when there is none. Safe to call again.
    bool Open();
    void Close();
    bool IsOpen() const;
    int SampleRate() const;
    std::int64_t Underruns() const;

private:
    AudioOut();
    ~AudioOut();
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
