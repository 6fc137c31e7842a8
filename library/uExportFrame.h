// The common frame of the exports and the library's life cycle.
//
// Every export that takes a device or sensor handle runs WithDevice or
// WithSensor: refusal while DevicesBusy is set, the handle test (nil, no live
// object of that kind, IsDestroying), then the operation on a lease that keeps
// the object alive until it returns, every exception caught. The listing,
// opening and identification exports run WithModerator with Refuse set; the
// other library-wide exports without it.
#pragma once

#include <cstdint>
#include <utility>

#include "uHandleRegistry.h"
#include "uModerator.h"
#include "uRTUU.h"

// ---- life cycle ----

// tovamod_init: clears MeasureMode and creates the moderator; 0, also when
// the library is initialised already (nothing changes then). -1 when the
// moderator cannot be made: nothing is left behind, no thread runs.
int32_t LibraryInit() noexcept;
// tovamod_uninit: destroys the moderator with everything it owns, waiting for
// the exports still using it, then frees the copies handed to clients; 0. -1
// when not initialised, and when called from inside the library (on the scan,
// reader or parser threads, or from a notification handler during an export),
// which would wait for itself.
int32_t LibraryUninit() noexcept;

// The moderator for the length of one export; empty while not initialised.
// tovamod_uninit waits until every use has ended before it destroys it.
class TModeratorUse {
public:
    TModeratorUse();
    ~TModeratorUse();
    TModeratorUse(const TModeratorUse&) = delete;
    TModeratorUse& operator=(const TModeratorUse&) = delete;

    explicit operator bool() const { return Moderator != nullptr; }
    TModerator* operator->() const { return Moderator; }
    TModerator& operator*() const { return *Moderator; }

private:
    TModerator* Moderator;
};

// ---- frames ----

// Out-arguments an export leaves alone on failure.
struct TNoFailureOutput {
    void operator()() const {}
};

// True while the library frees sensor objects: the exports refuse their calls.
inline bool ExportsRefused() { return DevicesBusy; }

namespace export_frame_detail {

template <class R, class Op, class Arg>
R Guarded(R Failure, Op& Operation, Arg& Argument) noexcept {
    try {
        return static_cast<R>(Operation(Argument));
    } catch (...) {
        return Failure;
    }
}

template <class R, class T, class Op, class OnRefused>
R WithObject(THandleLease<T> (*Lease)(void*), void* Handle, R Failure, Op& Operation,
             OnRefused& Refused) noexcept {
    try {
        if (ExportsRefused()) {
            Refused();
            return Failure;
        }
        THandleLease<T> lease = Lease(Handle);
        if (!lease) {
            Refused();
            return Failure;
        }
        T& object = *lease;
        return Guarded<R>(Failure, Operation, object);
    } catch (...) {
        return Failure;
    }
}

}  // namespace export_frame_detail

// Operation(TTemplateDevices&) -> R (an export without a result passes an int
// and drops it). Refused() sets the out-arguments as on
// failure; it runs on refusal and for a failed handle test. An exception from
// Operation gives Failure and leaves the out-arguments as Operation left them.
template <class R, class Op, class OnRefused = TNoFailureOutput>
R WithDevice(void* Handle, R Failure, Op&& Operation, OnRefused&& Refused = {}) noexcept {
    return export_frame_detail::WithObject<R, TTemplateDevices>(LeaseDevice, Handle, Failure, Operation, Refused);
}

// Operation(TTemplateSensors&) -> R; as WithDevice.
template <class R, class Op, class OnRefused = TNoFailureOutput>
R WithSensor(void* Handle, R Failure, Op&& Operation, OnRefused&& Refused = {}) noexcept {
    return export_frame_detail::WithObject<R, TTemplateSensors>(LeaseSensor, Handle, Failure, Operation, Refused);
}

// Operation(TModerator&) -> R for the library-wide exports. Refuse: whether the
// refusal while DevicesBusy applies (it gives Failure). NotInitialised is the
// result without a moderator, Failure the result of a caught exception.
template <class R, class Op>
R WithModerator(bool Refuse, R NotInitialised, R Failure, Op&& Operation) noexcept {
    try {
        if (Refuse && ExportsRefused()) return Failure;
        TModeratorUse moderator;
        if (!moderator) return NotInitialised;
        TModerator& object = *moderator;
        return export_frame_detail::Guarded<R>(Failure, Operation, object);
    } catch (...) {
        return Failure;
    }
}

// The same for exports without a result: nothing happens on refusal, without a
// moderator or after an exception.
template <class Op>
void WithModerator(bool Refuse, Op&& Operation) noexcept {
    try {
        if (Refuse && ExportsRefused()) return;
        TModeratorUse moderator;
        if (!moderator) return;
        Operation(*moderator);
    } catch (...) {
    }
}
