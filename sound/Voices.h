#pragma once

#include <QString>

#include <cstdint>

class TMidiTick;

// What each sound mode plays. momentUs is the tick's moment on the steady clock, or -1 for
// "at the next buffer" (the Test button). Nothing here blocks or reports an error.

// Beep(freq, ms): a short square tone like a PC speaker.
void SoundTone(int frequency, int milliseconds, std::int64_t momentUs);
// MessageBeep(0): the desktop's default alert.
void SoundDefaultBeep(std::int64_t momentUs);
// The own-sound rule: an existing file (not a folder) plays, cutting the wave still playing;
// otherwise, or when it cannot be decoded, the default beep.
void SoundWaveFile(const QString& path, std::int64_t momentUs);

// One beat in sound mode `mode` (0 none, 1 tone, 2 system gong, 3 MIDI, 4 own sound).
void PlayBeatSound(int mode, const QString& path1, const QString& path2, TMidiTick* midiTick, bool accented,
                   std::int64_t momentUs);
