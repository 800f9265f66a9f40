#include "Midi.h"

#include "MidiPorts.h"

TMidiTick::TMidiTick(std::uint32_t deviceId, std::uint8_t note, std::uint8_t channel)
    : FHandle(MidiPorts::Open(deviceId)), FChannelValue(channel), FDeviceIdValue(deviceId)
{
    SetNote(note);
}

// Freeing the port closes it; no note-off or reset is sent first.
TMidiTick::~TMidiTick() = default;

void TMidiTick::SetNote(std::uint8_t note)
{
    if (note < 35) {
        note = 35;
    }
    if (note > 81) {
        note = 81;
    }
    if (note == FNoteValue) {
        return;
    }
    FNoteValue = note;
    if (FHandle) {
        ++FCacheCalls;
        FHandle->CacheDrumPatch(FNoteValue, FChannelValue);
    }
}

bool TMidiTick::OnStream() const
{
    return FHandle && FHandle->OnStream();
}

void TMidiTick::Play(std::int64_t frame, std::uint64_t tag)
{
    PlayNote(FNoteValue, 0x7F, frame, tag);
}

void TMidiTick::PlayNote(std::uint8_t note, std::uint8_t velocity, std::int64_t frame, std::uint64_t tag)
{
    if (!FHandle) {
        return;
    }
    // The channel stays in the status byte's low half, whatever the caller passed.
    const std::uint8_t channel = FChannelValue & 0x0F;
    const std::uint8_t noteOn[3] = {static_cast<std::uint8_t>(0x90 | channel), note, velocity};
    const std::uint8_t noteOff[3] = {static_cast<std::uint8_t>(0x80 | channel), note, velocity};
    FHandle->Send(noteOn, 3, frame, tag);
    FHandle->Send(noteOff, 3, frame, tag);
}

void TMidiTick::CacheNote(std::uint8_t note, std::uint8_t velocity)
{
    if (FHandle) {
        FHandle->CacheDrumPatch(note, FChannelValue, velocity);
    }
}

bool TMidiTick::IsOpen() const
{
    return FHandle != nullptr;
}

QStringList MidiOutputNames()
{
    return MidiPorts::Names();
}

const std::array<const char*, 47> MidiInstrumentEntries = {
    "38 Acoustic Snare",  "35 Acoustic Bass Drum",
    "36 Bass Drum 1",     "69 Cabasa",
    "52 Chinese Cymbal",  "75 Claves",
    "42 Closed High Hat", "56 Cowbell",
    "49 Crash Cymbal 1",  "57 Crash Cymbal 2",
    "40 Electric snare",  "39 Hand Clap",
    "50 High Tom",        "60 High Bongo",
    "67 High Agogo",      "65 High Timbale",
    "43 High Floor Tom",  "76 High Wood Block",
    "48 High-Mid Tom",    "74 Long Guiro",
    "72 Long Whistle",    "68 Low Agogo",
    "61 Low Bongo",       "64 Low Conga",
    "41 Low Floor Tom",   "45 Low Tom",
    "66 Low Timbale",     "77 Low Wood Block",
    "47 Low-Mid Tom",     "70 Maracas",
    "78 Mute Cuica",      "80 Mute Triangle",
    "62 Mute High Conga", "79 Open Cuica",
    "81 Open Triangle",   "46 Open High Hat",
    "63 Open High Conga", "44 Pedal High Hat",
    "53 Ride Bell",       "59 Ride Cymbal 2",
    "51 Ride Cymbal 1",   "73 Short Guiro",
    "71 Short Whistle",   "37 Side Stick",
    "55 Splash Cymbal",   "54 Tambourine",
    "58 Vibraslap",
};
