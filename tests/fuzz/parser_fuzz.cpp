// Fuzzes the stream parser in both modes. Input: four setting bytes, then the stream.
// Checks, besides the sanitizers:
// - the stream in one batch and in many batches gives the same samples (in frame mode
//   when no short-frame notification came, since that one depends on the batch end);
// - after Reset the parser behaves like a new one;
// - no sample carries more values than the parser holds.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "fake_parser_target.h"
#include "uStreamParser.h"

namespace {

struct Settings {
    bool ascii;
    bool hold;
    int32_t sensorCountSum;
    bool identity18;
    int32_t channels;
    uint32_t timeBase;
    int32_t asciiChannels;
    int throwOnDelivery;
};

Settings Read(const uint8_t* d) {
    Settings s;
    s.ascii = d[0] & 1;
    s.hold = d[0] & 2;
    s.sensorCountSum = (d[0] >> 2) & 3;
    s.identity18 = d[0] & 0x10;
    s.throwOnDelivery = (d[0] & 0x20) ? d[3] : -1;
    s.channels = static_cast<int8_t>(d[1]) % 12;  // negative and beyond the array included
    s.timeBase = (d[0] & 0x40) ? 0xFFFFFFF0u + d[2] : d[2];
    s.asciiChannels = static_cast<int8_t>(d[3]) % 12;
    return s;
}

struct Run {
    FakeParserTarget target;
    TStreamParser parser{&target};
    explicit Run(const Settings& s) {
        target.sensors = {FakeSensor{0, s.channels}, FakeSensor{5, s.channels}, FakeSensor{7, s.channels, s.identity18, 2000},
                          FakeSensor{0x3837, 2}};
        target.sensorCountSum = s.sensorCountSum;
        target.throwOnDelivery = s.throwOnDelivery;
        parser.SetAsciiMode(s.ascii);
        parser.SetHoldNotification(s.hold);
        parser.SetTimeBase(s.timeBase);
        parser.SetAsciiChannelCount(s.asciiChannels);
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckSamples(const FakeParserTarget& t) {
    for (const Sample& s : t.samples) Check(s.values.size() <= static_cast<size_t>(TStreamParser::kMaxValues));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const Settings settings = Read(data);
    std::span<const uint8_t> stream(data + 4, size - 4);

    Run whole(settings);
    whole.parser.Parse(stream);
    CheckSamples(whole.target);

    // Batches of 1 to 16 bytes, lengths taken from the stream itself.
    Run split(settings);
    for (size_t pos = 0; pos < stream.size();) {
        size_t n = std::min<size_t>(1 + (stream[pos] * 7 + pos) % 16, stream.size() - pos);
        split.parser.Parse(stream.subspan(pos, n));
        pos += n;
    }
    CheckSamples(split.target);
    if (settings.ascii || (whole.target.notifications == 0 && split.target.notifications == 0)) {
        Check(whole.target.samples == split.target.samples);
    }

    // After Reset the parser that has seen the stream acts like a new one.
    whole.parser.Reset();
    Run fresh(settings);
    fresh.parser.SetHoldNotification(whole.parser.GetHoldNotification());
    whole.target.samples.clear();
    whole.target.notifications = 0;
    whole.target.throwOnDelivery = -1;
    fresh.target.throwOnDelivery = -1;
    whole.parser.Parse(stream);
    fresh.parser.Parse(stream);
    Check(whole.target.samples == fresh.target.samples);
    Check(whole.target.notifications == fresh.target.notifications);
    return 0;
}
