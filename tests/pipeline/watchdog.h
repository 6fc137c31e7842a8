// Fails a test that hangs: when the guarded scope has not ended within the limit,
// prints the progress counters and aborts the process.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pipeline_test {

struct Progress {
    std::string name;
    std::atomic<long> count{0};
};

class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, const std::vector<Progress*>& board)
        : Thread([this, limit, board] {
              std::unique_lock l(Lock);
              if (Wake.wait_for(l, limit, [this] { return Done; })) return;
              std::fprintf(stderr, "watchdog: still running after %lld s, a thread hangs\n",
                           static_cast<long long>(limit.count()));
              for (const Progress* p : board) std::fprintf(stderr, "  %s: %ld\n", p->name.c_str(), p->count.load());
              std::fflush(stderr);
              std::abort();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard g(Lock);
            Done = true;
        }
        Wake.notify_all();
        Thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex Lock;
    std::condition_variable Wake;
    bool Done = false;
    std::thread Thread;  // last: starts once the members above exist
};

}  // namespace pipeline_test
