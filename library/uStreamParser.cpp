#include "uStreamParser.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "uNumberText.h"

namespace {

constexpr uint8_t kFrameStart = 0x7D;
constexpr uint8_t kFrameEnd = 0x7E;
constexpr uint8_t kMeasurement = 0x08;
constexpr uint8_t kShort7 = 0x37;
constexpr uint8_t kShort8 = 0x38;
constexpr int32_t kCommandPosition = 2;  // FrameIndex of the command byte
constexpr int32_t kFirstValueByte = 7;   // PayloadIndex of the first value byte

constexpr uint8_t kTab = 0x09;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kDataStart = '$';
constexpr double kDate2000 = 36526.0;  // 01.01.2000 in days
constexpr double kSecondsPerDay = 86400.0;

// Frame states.
constexpr int32_t kIdle = 0;
constexpr int32_t kFrameOpen = 1;
constexpr int32_t kMeasuring = 2;
constexpr int32_t kShortFrame = 4;
// ASCII states.
constexpr int32_t kAsciiData = 1;
constexpr int32_t kAsciiInterval = 7;
constexpr int32_t kAsciiStartTime = 8;
constexpr int32_t kAsciiTimeMode = 9;

// Counters grow with the input; they stop at the top instead of overflowing.
void Bump(int32_t& counter) {
    if (counter < std::numeric_limits<int32_t>::max()) ++counter;
}

// Two's complement arithmetic without signed overflow.
int64_t WrapAdd(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
int64_t WrapMul(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)); }
int32_t WrapAdd32(int32_t a, uint32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + b); }

int64_t RoundHalfEven(double x) {
    if (!(x > -9.2e18 && x < 9.2e18)) return 0;
    const double down = std::floor(x);
    const double diff = x - down;
    const bool up = diff > 0.5 || (diff == 0.5 && std::fmod(down, 2.0) != 0.0);
    return static_cast<int64_t>(up ? down + 1.0 : down);
}

int32_t ClampCount(int32_t count) { return std::clamp(count, 0, TStreamParser::kMaxValues); }

}  // namespace

void TStreamParser::ClearLastValues() { std::fill_n(LastValues.begin(), 4, 0); }

void TStreamParser::Reset() {
    CurrentValues = {};
    LastValues = {};
    HighWords = {};
    FrameLength = 0;
    SensorAddress = 0;
    TimeStamp = 0;
    Interval = 0;
    TextBuffer = {};
    TimeMode = 0;
    ExpectTimeField = false;
    SampleCounter = 0;
    LowBytePending = false;
    State = 0;
    PayloadIndex = 0;
    PreviousByte = 0;
    FrameIndex = 0;
    ValueIndex = 0;
    StartDateTime = 0;
    TimeText = {};
    ShortFrameEndAwaited = false;
}

void TStreamParser::Parse(std::span<const uint8_t> batch) {
    size_t pending = batch.size();  // bytes of the batch from the current one on
    for (uint8_t b : batch) {
        if (AsciiMode) {
            AsciiStep(b);
        } else {
            FrameStep(b, pending);
            Bump(FrameIndex);
        }
        --pending;
        PreviousByte = b;
    }
}

void TStreamParser::SetValue(Values& values, int32_t index, int32_t value) {
    if (index >= 0 && index < kMaxValues) values[index] = value;
}

// ---- frame mode ------------------------------------------------------------------

void TStreamParser::FrameStep(uint8_t b, size_t pending) {
    const bool endAwaited = ShortFrameEndAwaited;
    ShortFrameEndAwaited = false;
    if (b == kFrameStart && State == kIdle) {
        State = kFrameOpen;
        PayloadIndex = 0;
        SampleCounter = 0;
        FrameIndex = 0;
        ValueIndex = 0;
        LowBytePending = false;
    } else if (b == kMeasurement && State == kFrameOpen && FrameIndex == kCommandPosition) {
        State = kMeasuring;
        FrameLength = PreviousByte;
    } else if ((b == kShort7 || b == kShort8) && State == kFrameOpen && FrameIndex == kCommandPosition) {
        State = kShortFrame;
        FrameLength = PreviousByte;
    } else if (b == kFrameEnd && PayloadIndex >= FrameLength) {
        State = kIdle;
        PayloadIndex = 0;
        SampleCounter = 0;
        FrameLength = 0;
        ValueIndex = 0;
        HoldNotification = false;
        // A short frame whose end byte came alone behind a batch that ended with it.
        if (endAwaited && pending == 1) Notify();
    }
    if (State == kMeasuring) MeasurementByte(b);
    else if (State == kShortFrame) ShortFrameByte(b, pending);
}

void TStreamParser::MeasurementByte(uint8_t b) {
    switch (PayloadIndex) {
        case 0: break;  // the command byte
        case 1: SensorAddress = b; break;
        case 2: SensorAddress += b * 256; break;
        case 3: TimeStamp = b; break;
        case 4: TimeStamp += int64_t{b} << 8; break;
        case 5: TimeStamp += int64_t{b} << 16; break;
        case 6:
            TimeStamp += int64_t{b} << 24;
            TimeStamp = WrapMul(TimeStamp, TimeBase);
            break;
        default:
            if (PayloadIndex >= kFirstValueByte && PayloadIndex <= FrameLength) ValueByte(b);
            break;
    }
    Bump(PayloadIndex);
}

void TStreamParser::ValueByte(uint8_t b) {
    if (!LowBytePending) {
        LowBytePending = true;
        SetValue(CurrentValues, ValueIndex, b);
        return;
    }
    LowBytePending = false;
    try {
        if (ValueIndex < kMaxValues) CurrentValues[ValueIndex] += b * 256;
        Bump(ValueIndex);
        void* sensor = Target ? Target->FindSensorByAddress(SensorAddress) : nullptr;
        if (!sensor) return;
        int32_t channelCount = Target->GetChannelCount(sensor);
        if (channelCount < 1) {
            // A unit without channels (the base's own radio unit) takes no samples.
            ValueIndex = 0;
            return;
        }
        if (channelCount > ValueIndex) return;  // sample not complete yet
        ValueIndex = 0;
        if (DeliverSample(sensor, channelCount)) SampleCounter = WrapAdd(SampleCounter, TimeBase);
    } catch (...) {
        SetValue(CurrentValues, ValueIndex, 0);
    }
}

bool TStreamParser::DeliverSample(void* sensor, int32_t channelCount) {
    const auto count = static_cast<size_t>(ClampCount(channelCount));
    const int64_t time = WrapAdd(TimeStamp, SampleCounter);
    if (!Target->IsIdentity18(sensor)) {
        Target->AddMeasurement(sensor, std::span(CurrentValues.data(), count), time);
        return true;
    }
    // Identity 18: 32-bit values in two frames; bit 0 of the fifth value marks the
    // frame that carries the high words.
    const bool highWords = (CurrentValues[4] & 1) != 0;
    const bool singleUnit = Target->GetSensorCountSum() == 1;
    if (!highWords && singleUnit) {
        for (int k = 0; k < 4; ++k) CurrentValues[k] = WrapAdd32(CurrentValues[k], static_cast<uint32_t>(HighWords[k]) << 16);
        const int32_t period = Target->GetSamplePeriod2(sensor);
        int64_t unitTime = 0;
        if (TimeStamp != period) {
            unitTime = static_cast<int32_t>(static_cast<uint32_t>(TimeStamp) + static_cast<uint32_t>(SampleCounter) -
                                            static_cast<uint32_t>(period));
        }
        Target->AddMeasurement(sensor, std::span(CurrentValues.data(), count), unitTime);
        return true;
    }
    if (!highWords) {
        Target->AddMeasurement(sensor, std::span(CurrentValues.data(), count), time);
        std::copy_n(CurrentValues.begin(), 4, LastValues.begin());
        return true;
    }
    if (singleUnit) {
        std::copy_n(CurrentValues.begin(), 4, HighWords.begin());
        return false;
    }
    Target->AddMeasurement(sensor, std::span(LastValues.data(), count), time);
    std::fill_n(LastValues.begin(), 4, 0);
    return true;
}

void TStreamParser::ShortFrameByte(uint8_t b, size_t pending) {
    if (PayloadIndex == 1) SensorAddress = b;
    else if (PayloadIndex == 2) SensorAddress += b * 256;
    Bump(PayloadIndex);
    if (PayloadIndex != 3 || HoldNotification) return;
    // Notify only when exactly one byte of the batch follows: the frame's 0x7E. A
    // frame cut before its 0x7E is judged when that byte comes: it notifies when
    // nothing came behind it.
    if (pending == 2) {
        State = kMeasuring;
        Notify();
    } else if (pending == 1) {
        ShortFrameEndAwaited = true;
    }
}

void TStreamParser::Notify() {
    if (!Target) return;
    try {
        Target->RaiseNotification();
    } catch (...) {
    }
}

// ---- ASCII mode ------------------------------------------------------------------

template <size_t N>
void TStreamParser::AppendText(std::array<char, N>& text, uint8_t b) {
    // PayloadIndex is the field's length; past the capacity the field is only counted,
    // and such a field is read as invalid.
    if (PayloadIndex >= 0 && PayloadIndex < static_cast<int32_t>(N) - 1) {
        text[PayloadIndex] = static_cast<char>(b);
        text[PayloadIndex + 1] = 0;
    }
    Bump(PayloadIndex);
}

namespace {
template <size_t N>
bool FieldText(const std::array<char, N>& text, int32_t length, std::string_view& out) {
    if (length < 0 || length > static_cast<int32_t>(N) - 1) return false;
    out = std::string_view(text.data(), static_cast<size_t>(length));
    return true;
}
}  // namespace

void TStreamParser::AsciiStep(uint8_t b) {
    if (State == kAsciiData) AsciiLineByte(b);

    if (State == kAsciiInterval && b == kDataStart) {
        State = kAsciiData;
        FrameLength = -1;
        ValueIndex = 0;
        PayloadIndex = 0;
        SampleCounter = 0;
    }
    if (State == kAsciiInterval) {
        if (TimeMode == 0) {
            static constexpr int32_t kWeights[4] = {1000, 100, 10, 1};
            if (PayloadIndex >= 0 && PayloadIndex < 4) Interval += (b - 0x30) * kWeights[PayloadIndex];
            Bump(PayloadIndex);
        } else {
            ExpectTimeField = true;
            Interval = 1;
        }
    }
    if (b == kTab && State == kAsciiTimeMode) {
        State = kAsciiInterval;
        Interval = 0;
        PayloadIndex = 0;
    }
    if (State == kAsciiTimeMode) TimeMode = b - 0x30;
    if (b == kLf && State == kAsciiStartTime) State = kAsciiTimeMode;
    if (State == kAsciiStartTime) {
        if (b == kCr) {
            std::string_view text;
            int32_t seconds = 0;
            if (!FieldText(TimeText, PayloadIndex, text) || !TimeTextToSeconds(text, seconds)) seconds = 0;
            StartDateTime = kDate2000 + seconds / kSecondsPerDay;
            Bump(PayloadIndex);
        } else {
            AppendText(TimeText, b);
        }
    }
    if (b == kLf && State == kIdle) {
        State = kAsciiStartTime;
        PayloadIndex = 0;
    }
}

void TStreamParser::AsciiLineByte(uint8_t b) {
    Bump(FrameLength);
    if (FrameLength <= 1) return;  // the two bytes after '$', the byte after each CR

    const bool valuesOnly = TimeMode == 0 || TimeMode == 3;
    if (!valuesOnly && ExpectTimeField) {
        if (b == kTab) {
            ExpectTimeField = false;
            TimeStamp = LineTime();
            PayloadIndex = 0;
        } else {
            AppendText(TimeText, b);
        }
        return;
    }
    if (b == kTab) {
        std::string_view text;
        int32_t value = 0;
        if (!FieldText(TextBuffer, PayloadIndex, text) || !DecimalTextToMilli(text, value)) value = 0;
        SetValue(CurrentValues, ValueIndex, value);
        Bump(ValueIndex);
        PayloadIndex = 0;
        return;
    }
    AppendText(TextBuffer, b);
    if (b != kCr) return;
    FrameLength = 0;
    ValueIndex = 0;
    PayloadIndex = 0;
    if (valuesOnly) {
        DeliverLine(WrapMul(SampleCounter, Interval));
        ++SampleCounter;
    } else {
        DeliverLine(TimeStamp);
        ExpectTimeField = true;
    }
}

int64_t TStreamParser::LineTime() const {
    std::string_view text;
    if (!FieldText(TimeText, PayloadIndex, text)) return 0;
    if (TimeMode == 1) {
        int32_t seconds = 0;
        if (!TimeTextToSeconds(text, seconds)) return 0;
        return RoundHalfEven((kDate2000 + seconds / kSecondsPerDay - StartDateTime) * kSecondsPerDay);
    }
    int64_t value = 0;
    if (!IntegerTextToInt64(text, value)) return 0;
    return WrapAdd(value, 1);
}

void TStreamParser::DeliverLine(int64_t time) {
    if (!Target) return;
    try {
        void* sensor = Target->GetSensor(0);
        if (sensor) {
            Target->AddMeasurement(sensor, std::span(CurrentValues.data(), static_cast<size_t>(ClampCount(AsciiChannelCount))),
                                   time);
        }
    } catch (...) {
        // the line is dropped
    }
}
