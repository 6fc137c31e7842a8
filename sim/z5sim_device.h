// Base of every simulated device: owns the master side of a pseudo-terminal (the
// library opens the slave as it would /dev/ttyUSB<n>), receives on its own thread,
// cuts the bytes into messages, records them, and answers each by its model
// (OnFrame/OnLine of a derived class), a test hook, and the scripted faults.
//
// A device kind's model derives from Device and overrides OnFrame (and OnLine for
// text commands, with SetReceive(Receive::Lines or Mixed)); the faults and the hook
// then apply to its replies without further code. Models that send on their own
// (measurement streams) call Send/SendFrame from any thread. A Device is plugged
// through a Bus, which keeps it alive while its thread runs; an exception from a
// model drops that answer and is reported on stderr.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "z5sim_fault.h"
#include "z5sim_message.h"

namespace z5sim {

class Bus;

class Device {
public:
    Device(std::string description, std::string serial);
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // USB identity, as published on the bus (set before plugging).
    const std::string& Description() const { return description_; }
    const std::string& Serial() const { return serial_; }
    uint16_t VendorId() const { return vendorId_; }
    uint16_t ProductId() const { return productId_; }
    const std::string& Driver() const { return driver_; }
    void SetUsbIds(uint16_t vendorId, uint16_t productId);
    void SetDriver(std::string driver);  // default ftdi_sio

    // While plugged: tty name (ttyUSB<n>) and the pseudo-terminal slave (/dev/pts/<m>).
    bool Plugged() const { return plugged_.load(); }
    std::string Tty() const;
    std::string SlaveNode() const;

    void SetReceive(Receive mode);

    // Sends bytes to the library now. False when not plugged or the line is gone.
    bool Send(std::span<const uint8_t> bytes);
    bool SendFrame(uint8_t cmd, std::span<const uint8_t> payload = {});
    // Sends bytes in two transfers, as a line that cuts them after `cut` bytes: with
    // a gap, the rest goes once the library has read the first piece off the line
    // and gapMs protocol milliseconds have passed; without, right behind it.
    // LastPiece, where given, gets the time just before the rest went out.
    bool SendCut(std::span<const uint8_t> bytes, size_t cut, uint32_t gapMs,
                 std::chrono::steady_clock::time_point* LastPiece = nullptr);

    // Faults.
    void PushFault(const Fault& fault);
    void ClearFaults();
    size_t PendingFaults() const;

    // A hook sees each message before the model; when it returns true it has
    // answered (replies filled, possibly empty) and the model is not asked.
    using Hook = std::function<bool(Device& device, const Message& message, std::vector<Bytes>& replies)>;
    void SetHook(Hook hook);

    // Record of everything received (thread-safe).
    Bytes ReceivedBytes() const;
    std::vector<Message> ReceivedMessages() const;
    std::vector<Bytes> ReceivedFrames() const;
    std::vector<std::string> ReceivedLines() const;
    void ClearReceived();
    // Test waits (real time, not protocol time): true once the record holds that many.
    bool WaitForMessages(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;
    bool WaitForBytes(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

protected:
    // Every chunk of bytes as it came, before it is cut into messages (device thread).
    virtual void OnBytes(std::span<const uint8_t> bytes);
    // The model: replies to a frame / a line (empty: no answer). Run on the device
    // thread. The base answers nothing.
    virtual std::vector<Bytes> OnFrame(const Message& request);
    virtual std::vector<Bytes> OnLine(const Message& request);
    // Called on the device thread once a message is handled; replied: the model's
    // answer went out (possibly changed by a fault), not dropped or refused. A model
    // that sends on its own starts from here, so that nothing overtakes the reply.
    virtual void OnAnswered(const Message& request, bool replied);
    // The reply of a Refuse fault: a frame with the request's CMD and the payload
    // address low, address high, error code.
    virtual Bytes MakeRefusal(const Message& request, uint8_t code);
    // Sleeps ms protocol milliseconds; false when the device is unplugged meanwhile.
    bool Pause(uint32_t ms);

private:
    friend class Bus;
    bool Open();                    // makes the pseudo-terminal
    void Start(Bus* bus, std::string tty);
    void Stop();                    // ends the thread and closes the pseudo-terminal
    bool OnOwnThread() const;
    void Run();
    bool Handle(const Message& message);  // true: the model's replies went out
    std::optional<Fault> TakeFault(const Message& message);
    bool Write(std::span<const uint8_t> bytes);
    void CloseLine();               // caller holds io_
    void RequestUnplug();

    std::string description_, serial_;
    uint16_t vendorId_ = 0x0403, productId_ = 0x6001;
    std::string driver_ = "ftdi_sio";

    mutable std::mutex state_;      // tty_, slave_, hook_, faults_
    std::string tty_, slave_;
    Hook hook_;
    std::deque<Fault> faults_;

    std::mutex io_;                 // master_ and slaveFd_ for writes and closing
    int master_ = -1, slaveFd_ = -1, wake_ = -1;
    std::atomic<bool> plugged_{false}, stopping_{false};
    std::atomic<Bus*> bus_{nullptr};
    std::mutex sleepLock_;
    std::condition_variable sleepCv_;
    std::thread worker_;
    Splitter splitter_;              // device thread only, mode under state_
    std::atomic<Receive> receive_{Receive::Frames};

    mutable std::mutex recordLock_;
    mutable std::condition_variable recordCv_;
    Bytes receivedBytes_;
    std::vector<Message> received_;
};

}  // namespace z5sim
