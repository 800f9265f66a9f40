// Stops one thread of a running process for a while, the others running on, as a thread that
// blocks for that long would: ptrace seizes only that thread and interrupts it, where SIGSTOP would
// stop the whole process. While it holds, it checks every 100 ms that the thread is in its tracing
// stop and no other thread of the process is stopped. Prints the hold's start and end on the
// monotonic clock (seconds); exits 1 when the thread could not be held or a check failed.
// Usage: holdthread PID TID MS
#include <sys/ptrace.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <string>

namespace {

double Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The state letter of /proc/PID/task/TID/stat, or 0 when the thread is gone. The name before it
// may hold blanks and parentheses: the state follows the last ')'.
char State(long pid, const std::string& tid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/task/" + tid + "/stat";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        return 0;
    }
    char line[1024] = {};
    const std::size_t length = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    line[length] = 0;
    const char* end = std::strrchr(line, ')');
    return end && end[1] == ' ' ? end[2] : 0;
}

// False when the held thread is not in its tracing stop or another thread of the process is stopped.
bool Check(long pid, long tid)
{
    bool good = true;
    const char held = State(pid, std::to_string(tid));
    if (held != 't') {
        std::fprintf(stderr, "holdthread: thread %ld is in state '%c', not held\n", tid, held ? held : '?');
        good = false;
    }
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir) {
        std::fprintf(stderr, "holdthread: process %ld is gone\n", pid);
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || std::strtol(entry->d_name, nullptr, 10) == tid) {
            continue;
        }
        const char state = State(pid, entry->d_name);
        if (state == 't' || state == 'T') {
            std::fprintf(stderr, "holdthread: thread %s is stopped too\n", entry->d_name);
            good = false;
        }
    }
    closedir(dir);
    return good;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: holdthread PID TID MS\n");
        return 2;
    }
    const long pid = std::strtol(argv[1], nullptr, 10);
    const long tid = std::strtol(argv[2], nullptr, 10);
    const long ms = std::strtol(argv[3], nullptr, 10);
    if (State(pid, std::to_string(tid)) == 0) {
        std::fprintf(stderr, "holdthread: no thread %ld in process %ld\n", tid, pid);
        return 1;
    }
    if (ptrace(PTRACE_SEIZE, tid, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "holdthread: cannot seize %ld: %s\n", tid, std::strerror(errno));
        return 1;
    }
    if (ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "holdthread: cannot interrupt %ld: %s\n", tid, std::strerror(errno));
        ptrace(PTRACE_DETACH, tid, nullptr, nullptr);
        return 1;
    }
    int status = 0;
    if (waitpid(static_cast<pid_t>(tid), &status, __WALL) != tid || !WIFSTOPPED(status)) {
        std::fprintf(stderr, "holdthread: thread %ld did not stop\n", tid);
        return 1;
    }
    const double start = Now();
    // A signal that arrived first stopped the thread instead of the interrupt: it is delivered
    // on release, so the thread misses nothing.
    const int signal = (status >> 16) == PTRACE_EVENT_STOP ? 0 : WSTOPSIG(status);
    bool good = true;
    for (;;) {
        good = Check(pid, tid) && good;
        const double left = start + static_cast<double>(ms) / 1000 - Now();
        if (left <= 0) {
            break;
        }
        const double step = left < 0.1 ? left : 0.1;
        const timespec pause{0, static_cast<long>(step * 1e9)};
        nanosleep(&pause, nullptr);
    }
    if (ptrace(PTRACE_DETACH, tid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal))) != 0) {
        std::fprintf(stderr, "holdthread: cannot release %ld: %s\n", tid, std::strerror(errno));
        return 1;
    }
    const double end = Now();
    std::printf("held %ld from %.6f to %.6f\n", tid, start, end);
    return good ? 0 : 1;
}
