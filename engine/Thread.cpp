#include "Thread.h"

#include <pthread.h>
#include <sched.h>

// Shared with calls posted to the main thread, which may outlive the thread object.
struct TThread::State
{
    std::mutex mutex;
    std::condition_variable wake;
    int suspendCount = 1;
    bool suspended = true;
    bool started = false;
    bool alive = true; // false once the owner is destroyed: a late hand-over then does nothing
    std::atomic<int> suspendCountFast{1};
    std::atomic<bool> terminated{false};
    std::atomic<bool> finished{false};
};

TThread::TThread(bool createSuspended, Poster post, TickSource& source)
    : FSource(source), FState(std::make_shared<State>()), FPost(std::move(post))
{
    if (!createSuspended) {
        Resume();
    }
}

TThread::~TThread()
{
    TerminateAndJoin();
}

void TThread::TerminateAndJoin()
{
    Terminate();
    if (FThread.joinable()) {
        FThread.join();
    }
    std::lock_guard lock(FState->mutex);
    FState->alive = false;
    FState->finished = true;
}

void TThread::Suspend()
{
    {
        std::lock_guard lock(FState->mutex);
        ++FState->suspendCount;
        FState->suspendCountFast = FState->suspendCount;
        FState->suspended = true;
    }
    FState->wake.notify_all();
    OnSuspend();
}

void TThread::Resume()
{
    bool start = false;
    {
        std::lock_guard lock(FState->mutex);
        if (FState->suspendCount == 0) {
            return;
        }
        --FState->suspendCount;
        FState->suspendCountFast = FState->suspendCount;
        if (FState->suspendCount == 0) {
            FState->suspended = false;
            start = !FState->started;
            FState->started = true;
        }
    }
    FState->wake.notify_all();
    if (start) {
        FThread = std::thread([this] { Run(); });
    }
}

bool TThread::Suspended() const
{
    std::lock_guard lock(FState->mutex);
    return FState->suspended;
}

int TThread::SuspendCount() const
{
    return FState->suspendCountFast.load();
}

void TThread::Terminate()
{
    {
        std::lock_guard lock(FState->mutex);
        FState->terminated = true;
        if (!FState->started) {
            FState->finished = true;
        }
    }
    FState->wake.notify_all();
}

bool TThread::Terminated() const
{
    return FState->terminated.load();
}

bool TThread::Finished() const
{
    return FState->finished.load();
}

void TThread::Run()
{
    // The beat must not wait for ordinary work; carry on quietly where the system refuses. The
    // lowest real-time priority, below a desktop's sound server.
    sched_param param{};
    param.sched_priority = 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    Execute();
    FState->finished = true;
}

void TThread::ParkWhileSuspended()
{
    if (FState->suspendCountFast.load(std::memory_order_relaxed) == 0) {
        return;
    }
    std::unique_lock lock(FState->mutex);
    FState->wake.wait(lock, [this] { return FState->suspendCount == 0 || FState->terminated; });
}

void TThread::Post(std::function<void()> call)
{
    std::shared_ptr<State> state = FState;
    FPost([state, call = std::move(call)] {
        bool run;
        {
            std::lock_guard lock(state->mutex);
            run = state->alive && state->suspendCount == 0 && !state->terminated;
        }
        if (run) {
            call();
        }
    });
}

void TThread::Wake()
{
    FState->wake.notify_all();
}

bool TThread::WaitUntilUs(std::int64_t us, const std::function<bool()>& abort)
{
    std::unique_lock lock(FState->mutex);
    for (;;) {
        if (FState->terminated || FState->suspendCount > 0 || (abort && abort())) {
            return false;
        }
        const std::int64_t now = FSource.NowUs();
        if (now >= us) {
            return true;
        }
        FSource.WaitUs(FState->wake, lock, us - now);
    }
}
