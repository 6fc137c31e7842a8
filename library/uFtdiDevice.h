// Reader of one FTDI line: a thread that, every 10 ms, reads what waits on the line
// into the receive stream (without waiting on the line, so D2XXLock is held only for
// the copy), and (through TFtdiThread) a parser thread that turns the pending bytes
// into measurements on the owner's sensors. The stream keeps at most
// kReceiveStreamLimit bytes: while nothing parses them, the oldest go first.
// A quiet line costs no cycles: the reader waits on the line's descriptor (holding
// no lock) and the parser for pending bytes, each at most kIdleWaitMs at a time.
//
// Lock order of the whole library (every path follows it; never the reverse):
//   DeviceListLock / sensor-read lock -> device lock -> D2XXLock -> BufferLock
//   -> sensor AddressLock -> sensor QueueLock.
// The parser holds BufferLock for a batch and therefore never takes a device
// lock: it finds sensors through the owner's slot table, which the owner only
// changes while holding its device lock *and* BufferLock. Client notifications are
// raised with no lock of the reader held (the reader's after D2XXLock is let go,
// the parser's short-frame one after BufferLock), so a handler may call any export.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "uLineFrames.h"
#include "uStreamParser.h"
#include "z5d2xx.h"

class TTemplateDevices;
class TTemplateSensors;
class TFtdiThread;

// What the reader needs of the device that owns it. All calls are made by the
// parser thread while it holds BufferLock; implementations take no device lock.
class IReaderOwner {
public:
    virtual ~IReaderOwner() = default;
    // Sensor of a radio address, or nullptr; caller holds BufferLock.
    virtual TTemplateSensors* FindSensorByAddressUnderBufferLock(int32_t address) = 0;
    // Sensor at list index, or nullptr (ASCII downloads go to index 0); caller holds BufferLock.
    virtual TTemplateSensors* GetSensorUnderBufferLock(int32_t index) = 0;
    // Identity of a radio unit is 18 (32-bit values in two halves).
    virtual bool IsIdentity18(TTemplateSensors* sensor) = 0;
};

class TFtdiDevice : private IParserTarget {
public:
    // About 2.8 s of a line at 921600 baud; the parser empties the stream every 10 ms.
    static constexpr size_t kReceiveStreamLimit = 0x40000;
    static constexpr uint32_t kIdleWaitMs = 2000;

    // Creates both threads suspended (they start with ResumeThreads).
    TFtdiDevice();
    // Stops the reader thread, then the parser thread (termination cuts their sleep
    // short); safe whether or not they ran. Not to be called holding D2XXLock or
    // BufferLock (the threads finish their cycle first).
    ~TFtdiDevice();
    TFtdiDevice(const TFtdiDevice&) = delete;
    TFtdiDevice& operator=(const TFtdiDevice&) = delete;

    // Starts both threads if they are still suspended (idempotent).
    void ResumeThreads();
    bool ThreadsRunning() const;

    bool IsActive() const;
    void SetActive(bool value);                 // Active and HoldNotification, under BufferLock
    void SetHoldNotification(bool value);       // under BufferLock
    void ClearReceived();                       // empty the stream, under BufferLock
    uint32_t GetPendingCount() const;           // bytes received and not parsed
    // Bytes dropped from the front of the stream to keep it within its limit, since construction.
    uint64_t GetDroppedCount() const;
    // Keeps the oldest `value` pending bytes (0 empties the stream): count and stream stay equal.
    void SetPendingCount(uint32_t value);
    // Under BufferLock: once it returns, the parser no longer calls the previous owner
    // (an owner sets nullptr before it tears down).
    void SetOwnerDevice(IReaderOwner* owner);
    void SetTimeBase(uint32_t value);           // under BufferLock
    void SetAsciiMode(bool value);              // under BufferLock
    void SetAsciiChannelCount(int32_t value);   // under BufferLock
    bool IsReaderPaused() const;
    // A read in progress finishes; no read starts after that (the reader tests the
    // flag again under D2XXLock), so a pausing thread's exchanges see no reader read.
    void SetReaderPaused(bool value);
    std::recursive_mutex& BufferLock();
    void ClearLastValues();                     // under BufferLock

    // Whole reset before a measurement or download: stream emptied, pending 0,
    // parse state reset, last values cleared, then SetActive(true); one step under BufferLock.
    // Called under D2XXLock right after a start reply was read, no stream byte read
    // since is lost (D2XXLock -> BufferLock is the lock order).
    void StartReceiving();

    // What waits on the line now goes to the stream, as one reader cycle reads it.
    // The caller holds D2XXLock and has set CurrentHandle to this reader's line (a
    // request hands over what came before it went out: no reply to it). The
    // notification frames among them are noted (NoteNotifications) when their last
    // byte has come, also when an earlier read brought their first bytes.
    void TakeWaiting();
    // Bytes that a request read from this reader's line and does not keep (frames
    // that are not its reply, stray bytes): they go to the stream in their order.
    void HandOn(std::span<const uint8_t> Bytes);
    // The frame walk of this line, shared by the reader's reads and the requests'
    // reads (caller holds D2XXLock).
    TLineFrames& LineFrames() { return Frames; }

    // Handle the reader polls; nullptr = line not open (the reader reads nothing).
    void SetFTHandle(d2xx::Handle handle);
    d2xx::Handle GetFTHandle() const;

    // Parses what is pending as one batch under BufferLock and empties the stream;
    // run by the parser thread (tests may call it directly). A short frame that ends
    // the batch notifies the client after BufferLock is released, also while
    // MeasureMode is set.
    void ParseReceived();

private:
    // IParserTarget, called inside ParseReceived under BufferLock.
    void* FindSensorByAddress(int32_t address) override;
    void* GetSensor(int32_t index) override;
    int32_t GetChannelCount(void* sensor) override;
    bool IsIdentity18(void* sensor) override;
    int32_t GetSamplePeriod2(void* sensor) override;
    void AddMeasurement(void* sensor, std::span<const int32_t> values, int64_t time) override;
    int32_t GetSensorCountSum() override;
    void RaiseNotification() override;

    void ReadStep();     // one reader cycle
    void WaitForWork();  // the parser's wait for pending bytes while active
    void WakeParser();
    void Append(const uint8_t* Bytes, size_t Count);  // caller holds BufferLock

    TLineFrames Frames;                  // under D2XXLock
    mutable std::recursive_mutex Lock_;  // BufferLock
    std::vector<uint8_t> ReceiveStream;  // pending bytes, oldest first
    TStreamParser Parser;
    IReaderOwner* OwnerDevice = nullptr;       // under BufferLock
    unsigned ShortFrameNotifications = 0;      // found by the batch being parsed; under BufferLock
    std::atomic<uint32_t> PendingCount{0};     // ReceiveStream.size(), readable without the lock
    std::atomic<uint64_t> DroppedCount{0};
    std::atomic<bool> Active{false};
    std::atomic<bool> ReaderPaused{false};
    std::atomic<d2xx::Handle> FTHandle{nullptr};
    // Wakes the idle waits (work: pending bytes while active; line: a handle set; both: stopping).
    std::mutex IdleLock;
    std::condition_variable WorkArrived, LineSet;
    std::atomic<bool> Stopping{false};

    // Declared last: destroyed (and joined) first, while everything above still exists.
    std::unique_ptr<TFtdiThread> ParserThread;
    std::unique_ptr<TFtdiThread> ReaderThread;
};
