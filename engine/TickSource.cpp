#include "TickSource.h"

#include <chrono>

std::int64_t SteadyTickSource::NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyTickSource::WaitUs(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                              std::int64_t us)
{
    wake.wait_for(lock, std::chrono::microseconds(us));
}

SteadyTickSource& SteadyTickSource::Instance()
{
    static SteadyTickSource source;
    return source;
}
