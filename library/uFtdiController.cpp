#include "uFtdiController.h"

#include "z5clock.h"

namespace {
thread_local bool ScanThread = false;
}

TFtdiDeviceController::~TFtdiDeviceController() {
    WaitFor();
    ScanEvent = nullptr;
}

void TFtdiDeviceController::SetScanEvent(TScanEvent Event) { ScanEvent = std::move(Event); }

void TFtdiDeviceController::Resume() {
    if (Thread.joinable()) return;
    Thread = std::thread([this] { Execute(); });
}

void TFtdiDeviceController::Terminate() {
    {
        std::lock_guard lock(SleepLock);
        Terminated = true;
    }
    SleepWake.notify_all();
}

void TFtdiDeviceController::WaitFor() {
    Terminate();
    if (Thread.joinable()) Thread.join();
}

bool TFtdiDeviceController::OnScanThread() { return ScanThread; }

// The termination request is tested before each sleep; a request that comes
// during the sleep cuts it short and is followed by one more scan.
void TFtdiDeviceController::Execute() {
    ScanThread = true;
    for (;;) {
        {
            std::unique_lock lock(SleepLock);
            if (Terminated) break;
            z5::SleepFor(lock, SleepWake, kScanPeriodMs, [this] { return Terminated; });
        }
        DoScan();
    }
}

void TFtdiDeviceController::DoScan() {
    if (!Paused.load()) FireScan();
}

// No exception may leave the thread: it would end the host process.
void TFtdiDeviceController::FireScan() {
    if (!ScanEvent) return;
    try {
        ScanEvent(this);
    } catch (...) {
    }
}
