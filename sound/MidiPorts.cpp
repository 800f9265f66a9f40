#include "MidiPorts.h"

#include "AudioOut.h"

#include <RtMidi.h>
#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr const char* kClientName = "Tiktakon";
constexpr const char* kPortName = "Tiktakon MIDI Out";

struct PortRef
{
    RtMidi::Api FApi = RtMidi::UNSPECIFIED;
    unsigned FIndex = 0;
    QString FName;
};

// Errors reach this instead of being thrown from inside RtMidi; warnings are dropped.
void NoteError(RtMidiError::Type type, const std::string& /*text*/, void* userData)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
        *static_cast<bool*>(userData) = true;
    }
}

void IgnoreError(RtMidiError::Type, const std::string&, void*) {}

// Each API is created on its own: where there is no ALSA sequencer its constructor throws,
// and the other APIs must still be listed.
std::vector<PortRef> ExternalPorts()
{
    std::vector<PortRef> ports;
    for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
        try {
            bool failed = false;
            RtMidiOut out(api, kClientName);
            out.setErrorCallback(&NoteError, &failed);
            const unsigned count = out.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                const std::string name = out.getPortName(i);
                if (failed) {
                    break;
                }
                ports.push_back({api, i, QString::fromStdString(name)});
            }
        } catch (const RtMidiError&) {
            continue;
        }
    }
    return ports;
}

class BuiltInSynthPort final : public MidiPort
{
public:
    void Send(const std::uint8_t* bytes, std::size_t count, std::int64_t frame, std::uint64_t tag) override
    {
        // A percussion hit is the note-on; the synth's rendered hit already holds its note-off.
        if (count >= 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0) {
            AudioOut& out = AudioOut::Instance();
            out.PlaySample(out.SynthHit(bytes[0] & 0x0F, bytes[1], bytes[2]), frame, tag, false);
        }
    }
    bool OnStream() const override { return true; }
    void CacheDrumPatch(std::uint8_t key, std::uint8_t channel, std::uint8_t velocity) override
    {
        AudioOut::Instance().SynthHit(channel, key, velocity);
    }
};

// Whether the JACK server RtMidi's clients talk to still answers; it is never started here.
bool JackServerRunning()
{
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("tiktakon-probe", JackNoStartServer, &status);
    if (!probe) {
        return false;
    }
    jack_client_close(probe);
    return true;
}

class ExternalPort final : public MidiPort
{
public:
    explicit ExternalPort(std::unique_ptr<RtMidiOut> out) : FOut(std::move(out)) {}
    ~ExternalPort() override
    {
        // RtMidi's JACK client crashes when it is closed after its server went away: a port of
        // a vanished server is left as it is (its few bytes are the price of not crashing).
        if (FOut->getCurrentApi() == RtMidi::UNIX_JACK && !JackServerRunning()) {
            static_cast<void>(FOut.release());
            return;
        }
        try {
            FOut->closePort();
        } catch (const RtMidiError&) {
        }
    }
    void Send(const std::uint8_t* bytes, std::size_t count, std::int64_t, std::uint64_t) override
    {
        // The volume is the note-on's velocity here, never below 1; at 0 % no note is sent at all.
        std::array<std::uint8_t, 3> scaled{};
        const std::uint8_t kind = count >= 3 ? bytes[0] & 0xF0 : 0;
        if (kind == 0x90 || kind == 0x80) {
            const float volume = AudioOut::Instance().Volume();
            if (volume <= 0.0f) {
                return;
            }
            if (kind == 0x90 && bytes[2] > 0 && volume < 1.0f) {
                std::copy(bytes, bytes + 3, scaled.begin());
                scaled[2] = static_cast<std::uint8_t>(std::max(1L, std::lround(bytes[2] * volume)));
                bytes = scaled.data();
            }
        }
        try {
            FOut->sendMessage(bytes, count);
        } catch (const RtMidiError&) {
        }
    }
    void CacheDrumPatch(std::uint8_t, std::uint8_t, std::uint8_t) override {}

private:
    std::unique_ptr<RtMidiOut> FOut;
};

} // namespace

namespace MidiPorts {

QString BuiltInSynthName()
{
    return QStringLiteral("Tiktakon GM Synth (FluidSynth)");
}

QStringList Names()
{
    QStringList names{BuiltInSynthName()};
    for (const PortRef& p : ExternalPorts()) {
        names << p.FName;
    }
    return names;
}

std::unique_ptr<MidiPort> Open(std::uint32_t deviceId)
{
    if (deviceId == 0xFFFFFFFFu || deviceId == 0) {
        if (AudioOut::SynthSoundFont().empty()) {
            return nullptr;
        }
        return std::make_unique<BuiltInSynthPort>();
    }
    const std::vector<PortRef> ports = ExternalPorts();
    if (deviceId - 1 >= ports.size()) {
        return nullptr;
    }
    const PortRef& ref = ports[deviceId - 1];
    try {
        bool failed = false;
        auto out = std::make_unique<RtMidiOut>(ref.FApi, kClientName);
        out->setErrorCallback(&NoteError, &failed);
        // The port list may have changed since it was shown: open the port of that name.
        unsigned index = ref.FIndex;
        const unsigned count = out->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (QString::fromStdString(out->getPortName(i)) == ref.FName) {
                index = i;
                break;
            }
        }
        if (index >= count || failed) {
            return nullptr;
        }
        out->openPort(index, kPortName);
        if (failed || !out->isPortOpen()) {
            return nullptr;
        }
        // The flag lives on this stack: later errors of a sound output are simply dropped.
        out->setErrorCallback(&IgnoreError, nullptr);
        return std::make_unique<ExternalPort>(std::move(out));
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

} // namespace MidiPorts
