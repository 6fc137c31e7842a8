#include "uExportFrame.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "uClientCopies.h"
#include "uD2XX.h"
#include "uFtdiThread.h"

namespace {

// Serialises tovamod_init and tovamod_uninit.
std::mutex LifeLock;
// Moderator and the number of exports using it.
std::mutex UseLock;
std::condition_variable UseEnded;
TModerator* Moderator = nullptr;
int Uses = 0;
thread_local int ThreadUses = 0;

// A thread inside an export (a notification handler), the scan thread or a
// reader or parser thread would wait for itself in tovamod_uninit.
bool InsideLibrary() {
    return ThreadUses > 0 || LeasesHeldByThisThread() > 0 || TFtdiDeviceController::OnScanThread() ||
           TFtdiThread::OnLibraryThread();
}

}  // namespace

TModeratorUse::TModeratorUse() {
    std::lock_guard lock(UseLock);
    Moderator = ::Moderator;
    if (Moderator) {
        ++Uses;
        ++ThreadUses;
    }
}

TModeratorUse::~TModeratorUse() {
    if (!Moderator) return;
    bool last;
    {
        std::lock_guard lock(UseLock);
        --ThreadUses;
        last = --Uses == 0;
    }
    if (last) UseEnded.notify_all();
}

int32_t LibraryInit() noexcept {
    try {
        if (InsideLibrary()) {
            std::lock_guard lock(UseLock);
            return ::Moderator ? 0 : -1;
        }
        std::lock_guard life(LifeLock);
        {
            std::lock_guard lock(UseLock);
            if (::Moderator) return 0;
        }
        MeasureMode = false;
        auto moderator = std::make_unique<TModerator>();
        std::lock_guard lock(UseLock);
        ::Moderator = moderator.release();
        return 0;
    } catch (...) {
        return -1;
    }
}

int32_t LibraryUninit() noexcept {
    try {
        if (InsideLibrary()) return -1;
        std::lock_guard life(LifeLock);
        TModerator* moderator;
        {
            // From here on the library counts as uninitialised; the exports
            // still running end first.
            std::unique_lock lock(UseLock);
            moderator = ::Moderator;
            if (!moderator) return -1;
            ::Moderator = nullptr;
            UseEnded.wait(lock, [] { return Uses == 0; });
        }
        delete moderator;
        FreeClientCopies();
        return 0;
    } catch (...) {
        return -1;
    }
}
