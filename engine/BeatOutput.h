#pragma once

#include "BeatRules.h"

#include <cstdint>

// Where the clock's beats are heard: the audio stream, whose sample clock lays the beats, and
// the outputs that sound them. Called on the clock thread (and on the main thread for a
// withdrawal); implementations never block for long.
class BeatOutput
{
public:
    virtual ~BeatOutput() = default;

    // The open stream's rate and a number that changes whenever a new stream replaces the old
    // one (its frames count from scratch); rate 0 when no stream is open.
    virtual int StreamRate(std::uint64_t& generation) = 0;
    // The stream's frame heard at steady-clock time `us`, and the reverse, from the server's own
    // timing reports; false while the stream has none.
    virtual bool FrameAt(std::int64_t us, double& frame) = 0;
    virtual bool TimeAt(double frame, std::int64_t& us) = 0;
    // The frame of a beat laid on the steady clock, with no stream position to place it on.
    static constexpr std::int64_t NoFrame = INT64_MIN;
    // A beat decided ahead: its sounds are placed at `frame` of the stream (NoFrame without one).
    // A negative frame lies before the stream's first frame is heard (a new stream whose server
    // is still starting its sink): that beat is shown but cannot sound.
    virtual void Sound(const BeatDecision& beat, std::int64_t frame) = 0;
    // The beat's play time has come: outputs that cannot be placed ahead (external MIDI) send now.
    virtual void Heard(const BeatDecision& beat) = 0;
    // Subdivision k (1..n-1) of a heard beat has come: sent now where it cannot be placed ahead.
    virtual void HeardSubdivision(const BeatDecision& beat, int k) { (void)beat, (void)k; }
    // Takes a decided beat's sounds back, its subdivisions with them; false when they can no
    // longer be kept from being heard.
    virtual bool Withdraw(const BeatDecision& beat) = 0;
    // Takes back the subdivisions of a heard beat from k on, as far as they are not yet heard.
    virtual void WithdrawSubdivisions(const BeatDecision& beat, int k) { (void)beat, (void)k; }
};
