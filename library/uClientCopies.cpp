#include "uClientCopies.h"

#include <mutex>
#include <thread>
#include <unordered_map>

#include "uGlobalDev.h"

namespace {

template <class T, void (*Free)(T*)>
class TKeptCopies {
public:
    ~TKeptCopies() { FreeAll(); }

    T* Keep(T* Copy) noexcept {
        T* previous = nullptr;
        try {
            std::lock_guard lock(Lock);
            auto& slot = Copies[std::this_thread::get_id()];
            previous = slot;
            slot = Copy;
        } catch (...) {
            Free(Copy);
            Copy = nullptr;
        }
        Free(previous);
        return Copy;
    }

    void FreeAll() noexcept {
        std::unordered_map<std::thread::id, T*> copies;
        {
            std::lock_guard lock(Lock);
            copies.swap(Copies);
        }
        for (auto& [thread, copy] : copies) Free(copy);
    }

private:
    std::mutex Lock;
    std::unordered_map<std::thread::id, T*> Copies;
};

void FreeNetworksCopy(TZ5_HardLock_Networks* Copy) { z5_nets_free(Copy); }

TKeptCopies<THardwareStructure, FreeHardwareStructureCopy> HardwareCopies;
TKeptCopies<TZ5_HardLock_Networks, FreeNetworksCopy> NetworksCopies;

}  // namespace

THardwareStructure* KeepHardwareCopy(THardwareStructure* Copy) noexcept { return HardwareCopies.Keep(Copy); }

TZ5_HardLock_Networks* KeepNetworksCopy(TZ5_HardLock_Networks* Copy) noexcept { return NetworksCopies.Keep(Copy); }

void FreeClientCopies() noexcept {
    HardwareCopies.FreeAll();
    NetworksCopies.FreeAll();
}
