// Abstract sensor class: the sensor operation set, the measurement queue that
// the stream parser fills and clients drain, the radio address, kind byte, MAC
// text and the destruction protocol.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "uGlobalDev.h"

struct TRTCUParam;
struct TSensorEEPROMData;

// One queued measurement.
struct TMeasuringValue {
    int64_t Time = 0;
    IntArray Values;  // one entry per channel
};

// Queue node.
struct TMeasuringList {
    TMeasuringValue Value;
    TMeasuringList* Next = nullptr;
};

class TTemplateSensors {
public:
    // Calibration and trim arrays filled by GetEEPROMData.
    static constexpr int kCalibrationValues = 15;
    static constexpr int kTrimValues = 10;

    TTemplateSensors() = default;
    TTemplateSensors(const TTemplateSensors&) = delete;
    TTemplateSensors& operator=(const TTemplateSensors&) = delete;

    // Operations the base leaves to the sensor kinds answer with their failure
    // value: -1 (64-bit -1), an empty text, or nothing for the setters.
    virtual std::u16string GetName();
    // Number of queued measurements.
    virtual int64_t GetNumMeasureAvailable();
    virtual int32_t GetChannelCount();
    virtual int32_t GetSamplePeriod1();
    virtual void SetSamplePeriod1(int32_t Value);
    virtual int32_t GetSamplePeriod2();
    virtual void SetSamplePeriod2(int32_t Value);
    virtual int32_t GetParam20();
    virtual int64_t GetDeviceParam4();
    virtual void SetParam20(int32_t Value);
    virtual void SetChannelCount(int32_t Value);

    // Sets IsDestroying, waits until no export holds the sensor, frees the queue.
    // A derived destructor calls BeginDestruction() first, so that the wait runs
    // while the object is still whole.
    virtual ~TTemplateSensors();

    // Takes the oldest measurement: Time := its time stamp, Values[0..n-1] :=
    // its first n values, n = min(Count, values stored); 0. -1 (nothing
    // written, nothing taken) while destroying, when the queue is empty, or for
    // a nullptr Time or Values (with Count > 0).
    virtual int32_t ReadRawMeasurement(int64_t* Time, int32_t Count, int32_t* Values);
    // Passed to the owning device's ReadLatest with the sensor's address.
    virtual int32_t ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode);
    virtual int32_t SetRtcuParam(int32_t Param, int32_t Size, int32_t Value);
    virtual int64_t GetRtcuParam(int32_t Param);
    virtual std::u16string GetMACExtAddr();
    virtual int32_t GetRTCUParams(TRTCUParam* Params);
    virtual int32_t SetRcuParam(int32_t Param, int32_t Size, int32_t Value);
    virtual int64_t GetRcuParam(int32_t Param);
    virtual int32_t SetEEPROMData(int32_t Param, int32_t Size, int64_t Value);
    virtual int32_t SetEEPROMDataCal(int32_t Param, float Value);
    virtual int32_t SetEEPROMDataTrim(int32_t Param, float Value);
    virtual int64_t GetSUParam(int32_t Param);
    // Kind 0 fills Data, 1 Calibration (kCalibrationValues), 2 Trim (kTrimValues).
    virtual int32_t GetEEPROMData(int32_t Kind, TSensorEEPROMData* Data, float* Calibration, float* Trim);
    virtual int32_t SetRange(int32_t Value1, int32_t Value2);
    virtual int32_t GetRange(int32_t Value);
    virtual int32_t SetCommand(int32_t Value1, int32_t Value2);
    virtual int32_t SetValueToZero(int32_t Value);

    // Queues a measurement of min(Count, Values.size()) values; ignored while
    // destroying. Called by the stream parser.
    void AddMeasurement(int32_t Count, std::span<const int32_t> Values, int64_t Time);
    // Frees every queued measurement.
    void ClearMeasurements();

    int32_t GetAddress() const;
    void SetAddress(int32_t Value);
    uint8_t GetKind() const { return Kind.load(std::memory_order_relaxed); }
    void SetKind(uint8_t Value) { Kind.store(Value, std::memory_order_relaxed); }
    bool GetIsDestroying() const { return IsDestroying.load(); }
    // One way: false to true (the owning device sets it just before it frees the sensor).
    void SetIsDestroying(bool Value);
    std::u16string GetMACText() const;
    void SetMACText(const std::u16string& Value);

protected:
    // First step of destruction: IsDestroying := true, then the wait for exports
    // still inside (the handle registry's leases). Runs once; later calls return at once.
    void BeginDestruction();

private:
    TMeasuringList* QueueTail = nullptr;
    TMeasuringList* QueueHead = nullptr;
    int32_t QueueCount = 0;
    mutable std::recursive_mutex QueueLock;    // head, tail and count; innermost lock
    mutable std::recursive_mutex AddressLock;  // Address and MACText; taken alone
    int32_t Address = 0;
    std::atomic<bool> IsDestroying{false};
    std::atomic<uint8_t> Kind{0};
    std::u16string MACText;
    bool DestructionBegun = false;  // destructor thread only
};
