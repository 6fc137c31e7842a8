// The library's one door to the FTDI layer: process-wide current handle, shared
// buffers and line settings, and a small wrapper per call. Every use of anything
// here happens under D2XXLock (take it through D2XXGuard); the caller sets
// CurrentHandle to its device's handle first.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "tovamod.h"
#include "z5d2xx.h"

constexpr uint32_t kD2XXBufferSize = 0x8000;
constexpr size_t kListTextMax = 49;  // FTListText and serial numbers passed to an open

extern std::recursive_mutex D2XXLock;
extern d2xx::Handle CurrentHandle;
extern d2xx::Status LastFTStatus;
extern uint8_t TransmitBuffer[kD2XXBufferSize];
extern uint8_t ReceiveBuffer[kD2XXBufferSize];
extern uint8_t AuxBuffer[kD2XXBufferSize];
extern char ListBuffer[d2xx::kListTextSize];
extern std::string FTListText;
extern uint32_t FTDeviceCount;
extern uint32_t RxBytesWaiting;
extern uint32_t ModemStatus;
extern uint32_t BaudRate;
extern uint8_t WordLength;
extern uint8_t StopBits;
extern uint8_t Parity;
extern uint16_t FlowControl;
constexpr uint8_t XonChar = 0x11;
constexpr uint8_t XoffChar = 0x13;

// Set while a measurement stream runs; no notification is raised meanwhile.
extern std::atomic<bool> MeasureMode;

// Holds D2XXLock. When the outermost guard of a thread lets go, the notifications
// that ReadFrames found during the exchange are raised, after the lock is released,
// so that a handler that calls back into the library never meets an exchange still
// using the shared buffers. Use it for every exchange that calls ReadFrames.
class D2XXGuard {
public:
    D2XXGuard();
    ~D2XXGuard();
    D2XXGuard(const D2XXGuard&) = delete;
    D2XXGuard& operator=(const D2XXGuard&) = delete;
};

// The library-wide notification handler (Code nil: none). Install and read are
// atomic as a pair: a handler is never called with the code of one install and the
// context of another.
void SetProcessDataHandler(const TonProcessData& handler);
TonProcessData GetProcessDataHandler();
// Raises one notification now (when a handler is installed): a new record from
// malloc with Flag 1, which belongs to the handler from then on (release it with
// free). An exception from the handler is swallowed.
void RaiseNotification();

// Wrappers (caller holds D2XXLock and has set CurrentHandle). Each returns the
// layer's status unchanged unless said otherwise.
d2xx::Status GetFTDeviceCount();                      // -> FTDeviceCount
d2xx::Status GetFTDeviceSerialNo(uint32_t Index);     // -> FTListText on success only
d2xx::Status GetFTDeviceDescription(uint32_t Index);  // -> FTListText on success only
d2xx::Status OpenBySerialNo(const std::string& Serial);  // first 49 characters; -> CurrentHandle
d2xx::Status CloseFTDevice();
d2xx::Status ResetFTDevice();
d2xx::Status PurgeTx();
d2xx::Status PurgeRx();
d2xx::Status SetFTBaudRate();             // BaudRate
d2xx::Status SetFTDataCharacteristics();  // WordLength, StopBits, Parity
d2xx::Status SetFTFlowControl();          // FlowControl, XonChar, XoffChar
d2xx::Status SetFTTimeouts(uint32_t ReadMs, uint32_t WriteMs);
d2xx::Status GetFTModemStatus();          // -> ModemStatus
d2xx::Status GetFTQueueStatus();          // -> RxBytesWaiting

// Sends the first Count bytes of TransmitBuffer (Count clamped to 0..0x8000);
// returns the bytes written, LastFTStatus the status.
int WriteFrame(int Count);
// Waits until Count bytes wait or Ms protocol milliseconds have passed, waking as
// bytes arrive; -> RxBytesWaiting (the count then). Reads nothing.
d2xx::Status WaitForFTQueue(uint32_t Count, uint32_t Ms);

// The one call made without D2XXLock, on a handle of the caller's (a reader thread
// that has nothing to read): waits until the line has a byte waiting, hangs up or is
// closed, CancelLineWait is called, or Ms protocol milliseconds have passed. It
// touches none of the shared state above.
d2xx::Status WaitForLineData(d2xx::Handle Handle, uint32_t Ms);
d2xx::Status CancelLineWait(d2xx::Handle Handle);

// Reads up to Count bytes (clamped to 0..0x8000) into ReceiveBuffer from offset 0
// and returns how many are valid there; LastFTStatus the status of the last read.
// A frame cut after its first piece is completed by a second read. A notification
// frame found outside a measurement is marked and raised when the exchange ends
// (see D2XXGuard).
int ReadFrames(int Count);
// The reader's read: what waits now, at most 0x8000 bytes, without waiting and
// without a continuation read. No notification check: the reader runs its own over
// the frames of its line (TLineFrames), however the reads cut them. 0 when nothing
// waits or the queue cannot be asked.
int ReadWaiting();
// The plain read under both: up to Count bytes into ReceiveBuffer from offset 0,
// waiting at most the line's read time-out; LastFTStatus set. No continuation, no
// notification check.
int ReadFTBytes(int Count);
// The notification check of ReadFrames over the first Count bytes of ReceiveBuffer:
// outside a measurement, a notification frame found is marked and raised when the
// exchange ends.
void NoteNotification(int Count);
// Notification frames found whole by a line's frame walk (TLineFrames): outside a
// measurement, each is raised once when the exchange ends.
void NoteNotifications(unsigned Count);
// True when the frames from offset 0 within the first Count bytes of ReceiveBuffer
// hold a notification (LEN 4, CMD 0x0A) before the first malformed one; its command
// byte becomes 0x63. Reads nothing beyond Count.
bool FindNotification(int Count);

// ListBuffer up to its first zero, at most 49 characters.
std::string ListBufferToText();
// At most the first 49 characters of Text into ListBuffer, with a closing zero.
void TextToListBuffer(const std::string& Text);
