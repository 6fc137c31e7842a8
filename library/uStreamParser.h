// The reader's parse state machine: turns received bytes into timed samples, in frame
// mode (measurement frames of command 0x08, short frames '7'/'8') or in ASCII mode
// (the data logger's file text). It keeps its state between batches, so a frame or a
// line may be split over any number of batches. It holds no lock and starts no thread:
// the owner feeds it under its buffer lock.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// What the parser needs from the device that owns the reader. Sensors are opaque
// handles (nullptr = none). Every call comes from TStreamParser::Parse, that is on the
// parser thread while the owner holds its buffer lock.
class IParserTarget {
public:
    virtual ~IParserTarget() = default;
    // Sensor object with this radio address; looked up anew for every completed
    // 16-bit value.
    virtual void* FindSensorByAddress(int32_t address) = 0;
    // Sensor object by index; ASCII lines go to sensor 0.
    virtual void* GetSensor(int32_t index) = 0;
    virtual int32_t GetChannelCount(void* sensor) = 0;
    // True for a radio sensor unit (exactly TSensorsRTCU) whose Identity is 18.
    virtual bool IsIdentity18(void* sensor) = 0;
    virtual int32_t GetSamplePeriod2(void* sensor) = 0;
    // Queues one sample: values.size() values and the time.
    virtual void AddMeasurement(void* sensor, std::span<const int32_t> values, int64_t time) = 0;
    // The library-wide SensorCountSum.
    virtual int32_t GetSensorCountSum() = 0;
    // A short frame '7'/'8' ended the batch: the owner raises the client notification
    // when a handler is installed.
    virtual void RaiseNotification() = 0;
};

class TStreamParser {
public:
    // Values one sample or line can hold: a radio unit has at most 8 channels (an 8-bit
    // channel mask), a logger file at most 6. Values past the eighth are not stored, and
    // a sample carries at most 8 values; sample boundaries still follow the true count.
    static constexpr int32_t kMaxValues = 8;
    static constexpr size_t kTextSize = 12;      // TextBuffer: 11 characters + zero
    static constexpr size_t kTimeTextSize = 10;  // TimeText: 9 characters + zero

    explicit TStreamParser(IParserTarget* target = nullptr) : Target(target) {}

    void SetTarget(IParserTarget* target) { Target = target; }
    void SetAsciiMode(bool on) { AsciiMode = on; }
    bool IsAsciiMode() const { return AsciiMode; }
    // Frame mode: factor from a frame's time count to time units and the step between
    // the samples of a frame (the sample period).
    void SetTimeBase(uint32_t timeBase) { TimeBase = timeBase; }
    uint32_t GetTimeBase() const { return TimeBase; }
    // ASCII mode: values per delivered line (the file's channel count).
    void SetAsciiChannelCount(int32_t count) { AsciiChannelCount = count; }
    int32_t GetAsciiChannelCount() const { return AsciiChannelCount; }
    // While set, short frames raise no notification; cleared at every frame end.
    void SetHoldNotification(bool hold) { HoldNotification = hold; }
    bool GetHoldNotification() const { return HoldNotification; }
    // Sets the first four last values to 0 (the fifth keeps its value).
    void ClearLastValues();

    // Returns the whole parse state to its state after construction. Keeps the settings
    // (mode, time base, ASCII channel count, target) and HoldNotification.
    void Reset();

    // Parses one batch: every byte of it, in order.
    void Parse(std::span<const uint8_t> batch);

    int32_t GetState() const { return State; }

private:
    using Values = std::array<int32_t, kMaxValues>;

    void FrameStep(uint8_t b, size_t pending);
    void MeasurementByte(uint8_t b);
    void ValueByte(uint8_t b);
    bool DeliverSample(void* sensor, int32_t channelCount);
    void ShortFrameByte(uint8_t b, size_t pending);
    void Notify();
    void AsciiStep(uint8_t b);
    void AsciiLineByte(uint8_t b);
    void DeliverLine(int64_t time);
    void SetValue(Values& values, int32_t index, int32_t value);
    int64_t LineTime() const;
    template <size_t N>
    void AppendText(std::array<char, N>& text, uint8_t b);

    IParserTarget* Target;
    // Settings.
    bool AsciiMode = false;
    uint32_t TimeBase = 0;
    int32_t AsciiChannelCount = 0;
    bool HoldNotification = false;
    // Parse state.
    Values CurrentValues{};
    Values LastValues{};
    Values HighWords{};
    int32_t FrameLength = 0;
    int32_t SensorAddress = 0;
    int64_t TimeStamp = 0;
    int32_t Interval = 0;
    std::array<char, kTextSize> TextBuffer{};
    int32_t TimeMode = 0;
    bool ExpectTimeField = false;
    int64_t SampleCounter = 0;
    bool LowBytePending = false;
    int32_t State = 0;
    int32_t PayloadIndex = 0;
    uint8_t PreviousByte = 0;
    int32_t FrameIndex = 0;
    int32_t ValueIndex = 0;
    double StartDateTime = 0;  // days
    std::array<char, kTimeTextSize> TimeText{};
    // A short frame to notify ended its batch before its 0x7E: the next byte decides.
    bool ShortFrameEndAwaited = false;
};
