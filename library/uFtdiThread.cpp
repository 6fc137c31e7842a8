#include "uFtdiThread.h"

#include "z5clock.h"

namespace {
thread_local bool LibraryThread = false;
}

TFtdiThread::TFtdiThread(TParseEvent parseEvent) : ParseEvent(std::move(parseEvent)) {}

TFtdiThread::~TFtdiThread() { Terminate(); }

void TFtdiThread::Resume() {
    std::lock_guard g(Lock);
    if (Started || Terminated) return;
    Thread = std::thread([this] { Run(); });
    Started = true;
}

void TFtdiThread::Terminate() {
    {
        std::lock_guard g(Lock);
        Terminated = true;
    }
    Wake.notify_all();
    if (Thread.joinable() && Thread.get_id() != std::this_thread::get_id()) Thread.join();
}

bool TFtdiThread::Running() const {
    std::lock_guard g(Lock);
    return Started && !Terminated;
}

bool TFtdiThread::OnLibraryThread() { return LibraryThread; }

void TFtdiThread::Run() {
    LibraryThread = true;
    for (;;) {
        {
            std::unique_lock l(Lock);
            if (z5::SleepFor(l, Wake, kCycleMs, [this] { return Terminated; })) return;
        }
        if (!ParseEvent) continue;
        try {
            ParseEvent();
        } catch (...) {
            // A failed cycle must not end the thread; the next cycle tries again.
        }
    }
}
