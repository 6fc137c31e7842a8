// A background cycle of the reader: every 10 ms, until terminated, it calls its
// event. The parser thread runs TFtdiDevice::ParseReceived this way; the reader
// runs its read step on a second one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class TFtdiThread {
public:
    using TParseEvent = std::function<void()>;
    static constexpr uint32_t kCycleMs = 10;

    // Created suspended: the thread starts with Resume.
    explicit TFtdiThread(TParseEvent parseEvent);
    // Terminates and waits.
    ~TFtdiThread();
    TFtdiThread(const TFtdiThread&) = delete;
    TFtdiThread& operator=(const TFtdiThread&) = delete;

    // Starts the thread unless it runs or was terminated. May throw std::system_error.
    void Resume();
    // Requests termination, cuts the current sleep short and waits for the thread.
    // The event call in progress is finished first. Safe when the thread never ran;
    // not to be called from the event itself.
    void Terminate();
    bool Running() const;
    // True on a thread of any TFtdiThread (a reader or a parser).
    static bool OnLibraryThread();

private:
    void Run();

    const TParseEvent ParseEvent;
    mutable std::mutex Lock;  // Started, Terminated
    std::condition_variable Wake;
    bool Started = false;
    bool Terminated = false;
    std::thread Thread;
};
