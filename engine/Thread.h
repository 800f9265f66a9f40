#pragma once

#include "TickSource.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// A worker thread with counted, cooperative suspension and hand-overs to the main thread.
// Suspend, Resume, Terminate and the destructor are called on the main thread; Execute and the
// protected helpers run on the worker thread.
//
// The worker parks at the top of its loop while the suspend count is above 0, and its waits end
// when the count goes up. A hand-over that reaches the main thread while the count is above 0
// is dropped, so no beat shows after Stop or inside the settings dialog.
class TThread
{
public:
    // Runs a call on the main thread some time later (a queued call in the program).
    using Poster = std::function<void(std::function<void()>)>;

    TThread(bool createSuspended, Poster post, TickSource& source);
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Suspend();
    // A resume at count 0 does nothing, as the platform's call did.
    void Resume();
    bool Suspended() const;
    int SuspendCount() const;
    void Terminate();
    bool Terminated() const;
    // True once the body has returned (or was never started and is terminated).
    bool Finished() const;

protected:
    virtual void Execute() = 0;

    // Worker side.
    void ParkWhileSuspended();
    // Hands `call` to the main thread without waiting; dropped there while the thread is
    // suspended or terminated.
    void Post(std::function<void()> call);
    // Waits until the time source reaches `us`; false as soon as the thread is suspended or
    // terminated, or `abort` says so after a Wake (it does not park).
    bool WaitUntilUs(std::int64_t us, const std::function<bool()>& abort = {});
    // Wakes the thread's waits, so that they look at their conditions again.
    void Wake();
    // Called on the main thread by every Suspend, after the count went up.
    virtual void OnSuspend() {}
    // Ends the thread and joins it; derived destructors call this before their members go.
    void TerminateAndJoin();

    TickSource& FSource;

private:
    struct State;
    void Run();

    std::shared_ptr<State> FState;
    Poster FPost;
    std::thread FThread;
};
