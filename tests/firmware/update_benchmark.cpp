// Benchmark (not a test): one 100000-byte part to a simulated Radio Master at real
// protocol time, against the timing model of 1000 block exchanges, each its reply
// plus one read time-out that ends the read loop.
//   firmware_benchmark [bytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "tovamod.h"
#include "uRTUU.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_firmware.h"
#include "z5sim_radiomaster.h"

namespace {

struct Stream {
    std::vector<uint8_t> data;
    size_t pos = 0;
    FirmwareStream stream{};
};

int64_t StreamSize(void* c) { return static_cast<int64_t>(static_cast<Stream*>(c)->data.size()); }

int32_t StreamRead(void* c, void* buffer, int32_t count) {
    auto* s = static_cast<Stream*>(c);
    const size_t n = std::min(static_cast<size_t>(count), s->data.size() - s->pos);
    std::memcpy(buffer, s->data.data() + s->pos, n);
    s->pos += n;
    return static_cast<int32_t>(n);
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const size_t bytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    z5::SetTimeScale(1.0);
    z5sim::Bus bus;
    bus.Export();
    auto rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RMBENCH");
    rm->SetParam(0, 3);
    if (!bus.Plug(rm)) return std::fprintf(stderr, "cannot plug the simulated device\n"), 1;
    TRTUU dev;
    dev.SetSerialNo("RMBENCH");
    if (dev.OpenDevice(921600, 0) != 0) return std::fprintf(stderr, "cannot open the line\n"), 1;

    Stream s;
    s.data.resize(bytes);
    for (size_t i = 0; i < bytes; ++i) s.data[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    s.stream = {&s, StreamSize, StreamRead};
    FirmwareStream* holder = &s.stream;
    const uint8_t hardware[] = {3};

    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    const int32_t start = dev.UpdateStart(0, 0x0105, 1, 1, static_cast<int32_t>(bytes), 4, 1, hardware);
    const auto t1 = Clock::now();
    const int32_t blocks = start == 0 ? dev.UpdateBlocks(0, 1, &holder) : -1;
    const auto t2 = Clock::now();
    const int32_t finish = blocks == 0 ? dev.UpdateFinish(0, z5sim::FirmwareCrc32(s.data)) : -1;
    const auto t3 = Clock::now();

    const auto part = rm->Firmware(0).LastPart();
    const size_t frames = part.blockOffsets.size();
    // The model: per block one read time-out (100 ms, the line's) and the reply's
    // time on a 921600-baud line (a 110-byte frame out, a 6-byte answer back, 10 bits a byte).
    const double blockCount = static_cast<double>((bytes + 99) / 100);
    const double timeout = 0.100;
    const double wire = (110 + 6) * 10 / 921600.0;
    const double model = blockCount * (timeout + wire);
    std::printf("part of %zu bytes: start %d (%.3f s), blocks %d (%.3f s, %zu block frames), finish %d (%.3f s)\n",
                bytes, start, Seconds(t1 - t0), blocks, Seconds(t2 - t1), frames, finish, Seconds(t3 - t2));
    std::printf("crc matched: %s, new version reported: 0x%04llx\n", part.crcMatched ? "yes" : "no",
                static_cast<unsigned long long>(dev.GetRTUUParam(1)));
    std::printf("model: %.0f block exchanges x (%.0f ms read time-out + %.2f ms reply) = %.3f s\n", blockCount,
                timeout * 1000, wire * 1000, model);
    std::printf("measured blocks / model: %.3f\n", Seconds(t2 - t1) / model);
    return start == 0 && blocks == 0 && finish == 0 ? 0 : 1;
}
