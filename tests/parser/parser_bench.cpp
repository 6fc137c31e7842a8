// Parser throughput on one core, in bytes per second. Built, not run by ctest:
//   build/plain/bin/parser_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fake_parser_target.h"
#include "uStreamParser.h"

namespace {

// Counts the samples instead of keeping them.
class CountingTarget : public FakeParserTarget {
public:
    int64_t delivered = 0;
    void AddMeasurement(void*, std::span<const int32_t> values, int64_t time) override {
        delivered += static_cast<int64_t>(values.size()) + (time & 1);
    }
};

// A stream of measurement frames from ten units of five channels (two samples per
// frame), with a short frame now and then, split into 0x8000-byte batches.
std::vector<uint8_t> FrameStream(size_t size) {
    std::vector<uint8_t> s;
    uint32_t t = 0;
    while (s.size() < size) {
        for (uint8_t unit = 1; unit <= 10; ++unit) {
            s.insert(s.end(), {0x7D, 27, 0x08, unit, 0, static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8),
                               static_cast<uint8_t>(t >> 16), static_cast<uint8_t>(t >> 24)});
            for (int v = 0; v < 10; ++v) s.insert(s.end(), {static_cast<uint8_t>(v * 25 + t), static_cast<uint8_t>(v)});
            s.push_back(0x7E);
        }
        if (t % 64 == 0) s.insert(s.end(), {0x7D, 0x03, 0x38, 1, 0, 0x7E});
        ++t;
    }
    return s;
}

std::vector<uint8_t> AsciiStream(size_t size) {
    std::string text = "\n10:00:00\r\n0\t0250$\r\n";
    while (text.size() < size) text += "12,345\t-0,5\t1000\t7,25\t3\t0,001\t\r\n";
    return {text.begin(), text.end()};
}

void Run(benchmark::State& state, const std::vector<uint8_t>& data, CountingTarget& target, TStreamParser& parser) {
    constexpr size_t kBatch = 0x8000;
    for (auto _ : state) {
        for (size_t pos = 0; pos < data.size(); pos += kBatch) {
            parser.Parse(std::span(data.data() + pos, std::min(kBatch, data.size() - pos)));
        }
        benchmark::DoNotOptimize(target.delivered);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

void BM_FrameMode(benchmark::State& state) {
    static const std::vector<uint8_t> data = FrameStream(4 << 20);
    CountingTarget target;
    for (int32_t a = 1; a <= 10; ++a) target.sensors.push_back({a, 5});
    TStreamParser parser(&target);
    parser.SetTimeBase(10);
    Run(state, data, target, parser);
}

void BM_AsciiMode(benchmark::State& state) {
    static const std::vector<uint8_t> data = AsciiStream(4 << 20);
    CountingTarget target;
    target.sensors.push_back({0, 0});
    TStreamParser parser(&target);
    parser.SetAsciiMode(true);
    parser.SetAsciiChannelCount(6);
    Run(state, data, target, parser);
}

}  // namespace

BENCHMARK(BM_FrameMode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsciiMode)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
