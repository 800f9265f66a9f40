#include "Voices.h"

#include "AudioOut.h"
#include "Midi.h"
#include "WaveCache.h"

void SoundTone(int frequency, int milliseconds, std::int64_t momentUs)
{
    AudioOut::Instance().PlayTone(frequency, milliseconds, momentUs);
}

void SoundDefaultBeep(std::int64_t momentUs)
{
    AudioOut& out = AudioOut::Instance();
    out.KeepOpen(); // a device lost to a stopped server comes back here
    if (!out.IsOpen()) {
        return;
    }
    out.PlaySample(WaveCache::DefaultBeep(out.SampleRate()), momentUs);
}

void SoundWaveFile(const QString& path, std::int64_t momentUs)
{
    AudioOut& out = AudioOut::Instance();
    out.KeepOpen(); // a device lost to a stopped server comes back here
    if (!out.IsOpen()) {
        return;
    }
    std::shared_ptr<const SampleBuffer> buffer;
    if (WaveCache::FileExists(path)) {
        buffer = WaveCache::Load(path, out.SampleRate());
    }
    // A missing file, a folder or a file that cannot be decoded: the default sound, as the
    // platform plays it when it cannot play the file.
    if (!buffer) {
        buffer = WaveCache::DefaultBeep(out.SampleRate());
    }
    out.PlaySample(std::move(buffer), momentUs);
}

void PlayBeatSound(int mode, const QString& path1, const QString& path2, TMidiTick* midiTick, bool accented,
                   std::int64_t momentUs)
{
    switch (mode) {
    case 1:
        SoundTone(accented ? 500 : 440, 50, momentUs);
        break;
    case 2:
        SoundDefaultBeep(momentUs);
        break;
    case 3:
        if (midiTick) {
            midiTick->Play(momentUs);
        }
        break;
    case 4:
        SoundWaveFile(accented ? path2 : path1, momentUs);
        break;
    default:
        break;
    }
}
