// The scan thread: every 500 ms (a sleep between one scan and the next) it fires
// its scan event, unless paused. Created suspended; Resume starts it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class TFtdiDeviceController {
public:
    // Called with the thread as sender.
    using TScanEvent = std::function<void(TFtdiDeviceController* Sender)>;

    static constexpr uint32_t kScanPeriodMs = 500;

    // Suspended: no thread runs until Resume.
    TFtdiDeviceController() = default;
    // Requests termination, waits for the thread to end, clears the scan event.
    ~TFtdiDeviceController();
    TFtdiDeviceController(const TFtdiDeviceController&) = delete;
    TFtdiDeviceController& operator=(const TFtdiDeviceController&) = delete;

    // Set before Resume.
    void SetScanEvent(TScanEvent Event);
    void SetPaused(bool Value) { Paused.store(Value); }
    bool GetPaused() const { return Paused.load(); }

    // Starts the thread (once). Throws std::system_error when it cannot be made.
    void Resume();
    // Cuts the running sleep short; the thread ends after at most one more scan.
    void Terminate();
    // Terminate, then wait for the end.
    void WaitFor();

    // True on the scan thread of any controller.
    static bool OnScanThread();

private:
    void Execute();
    void DoScan();
    void FireScan();

    std::atomic<bool> Paused{false};
    TScanEvent ScanEvent;
    std::mutex SleepLock;
    std::condition_variable SleepWake;
    bool Terminated = false;  // under SleepLock
    std::thread Thread;
};
