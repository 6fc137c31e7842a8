// Soak probe (not run by the suite): four simulated devices of different kinds,
// client threads using them through the exports at real protocol time, and a
// thread that unplugs and replugs them at random moments.
//
//   soak_probe [SECONDS [SEED]]     (or ZELTO5_SOAK_SECONDS, ZELTO5_SOAK_SEED)
//
// Default 600 s. Prints its figures at the end and exits 1 when a call took longer
// than 5 s or reported success on a device that was unplugged before the call
// began and not plugged again before it ended. Crashes, races and leaks show
// when it runs in the sanitizer builds.
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tovamod.h"
#include "z5sim_bus.h"
#include "z5sim_datalogger.h"
#include "z5sim_deskport.h"
#include "z5sim_firmware.h"
#include "z5sim_instruments.h"
#include "z5sim_radiomaster.h"
#include "z5test_wait.h"
#include "z5widestring.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr auto kLongCall = std::chrono::seconds(5);
constexpr auto kSlowHealthyCall = std::chrono::seconds(1);

// ---- the devices ------------------------------------------------------------------

struct Slot {
    std::string name;
    std::string serial;
    uint8_t kind = 0;
    uint8_t sensorKind = 0;  // the sensor the clients use
    uint16_t deviceClass = 0;
    std::function<std::shared_ptr<z5sim::Device>()> make;

    // Guarded by lock.
    std::mutex lock;
    bool plugged = false;
    unsigned generation = 0;  // plugs so far
    void* device = nullptr;   // the handle a copy showed last (may be stale)
    void* sensor = nullptr;
    // What the device's own client is doing (a measurement, an update, a download).
    std::atomic<const char*> doing{"nothing"};
};

// Marks what a slot's client does for the length of a scope.
class Doing {
public:
    Doing(Slot& slot, const char* what) : slot_(slot) { slot_.doing = what; }
    ~Doing() { slot_.doing = "nothing"; }
    Doing(const Doing&) = delete;
    Doing& operator=(const Doing&) = delete;

private:
    Slot& slot_;
};

std::shared_ptr<z5sim::Device> MakeRadioMaster() {
    auto rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "SOAKRM1");
    rm->SetParam(0, 1);
    rm->SetParam(1, 0x0102);
    rm->Join(z5sim::RadioUnit::Own(1, 0x1000000000000001ull));
    z5sim::RadioUnit remote = z5sim::RadioUnit::Remote(2, 0x2000000000000002ull);
    remote.streams = true;
    rm->Join(remote);
    return rm;
}

std::shared_ptr<z5sim::Device> MakeDeskPort() {
    auto dp = std::make_shared<z5sim::DeskPort>("Zelto5 Desk-Port", "SOAKDP1");
    dp->SetParam(0, 1);
    dp->SetParam(1, 0x0102);
    return dp;
}

std::shared_ptr<z5sim::Device> MakeLogger() {
    auto dl = std::make_shared<z5sim::DataLogger>(z5sim::DataLogger::kDescription, "SOAKFP1");
    dl->SetVersion("1.10/3");
    const z5sim::DataLogger::Header header{"Soak", "Run", 2, "", 0, {"T1", "U1"}, {"air", "cell"}, {"^C", "V"},
                                           {{"1,5", "-2"}, {"0,25", "100"}}};
    std::vector<z5sim::DataLogger::File> files;
    for (int f = 0; f < 2; ++f) {
        z5sim::DataLogger::File file;
        file.name = "0803150" + std::to_string(f + 1);
        file.header = z5sim::DataLogger::HeaderText(header);
        for (int i = 0; i < 40; ++i) file.lines.push_back({"", {std::to_string(i), std::to_string(2 * i)}});
        file.size = static_cast<int32_t>(z5sim::DataLogger::DownloadText(file).size());
        files.push_back(file);
    }
    dl->SetFiles(files);
    return dl;
}

std::shared_ptr<z5sim::Device> MakeMeter() {
    auto sl = std::make_shared<z5sim::LightSpeedMeter>(z5sim::LightSpeedMeter::kDescription, "SOAKSL1");
    sl->SetParam(0, 1);
    sl->SetParam(1, 0x0102);
    return sl;
}

// ---- the figures ------------------------------------------------------------------

struct Figures {
    std::mutex lock;
    struct Op {
        uint64_t calls = 0, failures = 0;
        double maxMs = 0;
    };
    std::map<std::string, Op> ops;
    // Failures on a device plugged throughout the call, by what its own client was doing.
    std::map<std::string, uint64_t> healthyFailuresWhile;
    uint64_t calls = 0, failures = 0, healthyFailures = 0, longCalls = 0, slowHealthy = 0, successAfterUnplug = 0;
    uint64_t unplugs = 0, replugs = 0;
    std::vector<std::string> notes;  // the first few faults, for the report
};

Figures figures;

// One export call on a slot's device: its time, its result, and what the device
// did meanwhile. The call gets the handle the slot had at its start. A local call
// (reading queued samples) may succeed on a device that has gone.
enum class Reach { Device, Local };

thread_local bool lastFailed = false;  // a client that failed waits longer before its next try

// The handle now belongs to another slot's device object (an address used again).
bool ListedAsAnother(const Slot& slot, void* device) {
    THardwareStructure* copy = tovamod_GetHardwareStructure();
    for (const TDeviceStructure* node = copy ? copy->First : nullptr; node; node = node->Next)
        if (node->Device == device && node->SerialNo &&
            std::u16string(node->SerialNo) != std::u16string(slot.serial.begin(), slot.serial.end()))
            return true;
    return false;
}

template <class Call>
bool Timed(Slot& slot, const char* op, Call&& call, Reach reach = Reach::Device) {
    void* device;
    void* sensor;
    bool pluggedAtStart;
    unsigned generationAtStart;
    {
        std::lock_guard g(slot.lock);
        device = slot.device;
        sensor = slot.sensor;
        pluggedAtStart = slot.plugged;
        generationAtStart = slot.generation;
    }
    if (!device) return false;  // never found yet
    const auto start = Clock::now();
    const bool ok = call(device, sensor);
    lastFailed = !ok;
    const auto took = Clock::now() - start;
    bool pluggedAtEnd;
    bool sameGeneration;
    {
        std::lock_guard g(slot.lock);
        pluggedAtEnd = slot.plugged;
        sameGeneration = slot.generation == generationAtStart;
    }
    const double ms = std::chrono::duration<double, std::milli>(took).count();
    const bool healthy = pluggedAtStart && pluggedAtEnd && sameGeneration;
    const bool absentThroughout = !pluggedAtStart && !pluggedAtEnd && sameGeneration;
    std::lock_guard g(figures.lock);
    auto& o = figures.ops[slot.name + " " + op];
    ++o.calls;
    ++figures.calls;
    o.maxMs = std::max(o.maxMs, ms);
    if (!ok) {
        if (healthy) ++figures.healthyFailuresWhile[slot.name + " " + op + " while " + slot.doing.load()];
        ++o.failures;
        ++figures.failures;
        if (healthy) ++figures.healthyFailures;
    }
    if (took > kLongCall) {
        ++figures.longCalls;
        if (figures.notes.size() < 20) figures.notes.push_back(slot.name + " " + op + ": " + std::to_string(ms) + " ms");
    }
    if (healthy && took > kSlowHealthyCall) ++figures.slowHealthy;
    if (ok && absentThroughout && reach == Reach::Device && !ListedAsAnother(slot, device)) {
        ++figures.successAfterUnplug;
        if (figures.notes.size() < 20) figures.notes.push_back(slot.name + " " + op + ": success while unplugged");
    }
    return ok;
}

// ---- the operations ---------------------------------------------------------------

struct Part {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
};

int64_t PartSize(void* c) { return static_cast<int64_t>(static_cast<Part*>(c)->bytes.size()); }

int32_t PartRead(void* c, void* buffer, int32_t count) {
    auto* p = static_cast<Part*>(c);
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), p->bytes.size() - p->pos);
    std::memcpy(buffer, p->bytes.data() + p->pos, n);
    p->pos += n;
    return static_cast<int32_t>(n);
}

void ParamReads(Slot& s) {
    if (s.kind == TOVAMOD_KIND_FIELD_PORT) {
        Timed(s, "version", [](void* d, void*) {
            const char* version = nullptr;
            return tovamod_Device_GetVersion(d, &version) == 0 && version && *version;
        });
        return;
    }
    for (int32_t param : {0, 1}) Timed(s, "device param", [&](void* d, void*) { return tovamod_Device_GetRTUUParam(d, param) != -1; });
    if (s.kind == TOVAMOD_KIND_RADIO_MASTER)
        Timed(s, "sensor param", [](void*, void* q) { return q && tovamod_Sensor_GetRtcuParam(q, 2) != -1; });
}

// Takes the sensor's samples as they are queued, for a while (until the handle fails).
void ReadSamples(Slot& s, std::chrono::milliseconds length) {
    const auto until = Clock::now() + length;
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        void* sensor;
        {
            std::lock_guard g(s.lock);
            sensor = s.sensor;
        }
        if (!sensor) return;
        z5test::WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) != 0; },
                          std::chrono::duration_cast<std::chrono::milliseconds>(until - now));
        const bool ok = Timed(s, "read samples", [](void*, void* q) {
            if (!q) return false;
            int64_t time = 0;
            int32_t values[4] = {};
            while (tovamod_Sensor_ReadRawMeasurement(q, &time, 4, values) == 0) {
            }
            return tovamod_Sensor_GetNumMeasureAvailable(q) >= 0;
        }, Reach::Local);
        if (!ok) return;
    }
}

void Measurement(Slot& s, std::mt19937& rng) {
    Doing doing(s, "measuring");
    if (!Timed(s, "measure start", [](void* d, void*) { return tovamod_Device_SendCmdAndGetResponse(d, "0005,1,\r", 0) == 0; }))
        return;
    // The stream runs for a while; the samples are read as a client reads them.
    ReadSamples(s, std::chrono::milliseconds(200 + rng() % 800));
    Timed(s, "measure stop", [](void* d, void*) { return tovamod_Device_SendCmdAndGetResponse(d, "0006,1,\r", 0) == 0; });
}

void FirmwarePart(Slot& s, std::mt19937& rng) {
    Doing doing(s, "updating");
    Part part;
    part.bytes.resize(600 + rng() % 1400);
    for (auto& b : part.bytes) b = static_cast<uint8_t>(rng());
    const uint8_t hardware[] = {1};
    const auto size = static_cast<int32_t>(part.bytes.size());
    if (!Timed(s, "update start", [&](void* d, void*) {
            return tovamod_Device_Update_Start(d, 0, 0x0103, 1, 1, size, s.deviceClass, 1, hardware) == 0;
        }))
        return;
    FirmwareStream stream{&part, PartSize, PartRead};
    FirmwareStream* holder = &stream;
    if (!Timed(s, "update blocks", [&](void* d, void*) { return tovamod_Device_Update(d, 0, 1, &holder) == 0; })) return;
    const auto crc = static_cast<int32_t>(z5sim::FirmwareCrc32(part.bytes));
    Timed(s, "update finish", [&](void* d, void*) { return tovamod_Device_Update_Finish(d, 0, crc) == 0; });
}

void LoggerDownload(Slot& s) {
    Doing doing(s, "listing or downloading");
    std::vector<TDLUFileInfo> records(TOVAMOD_DLU_MAX_FILES);
    const bool listed = Timed(s, "file list", [&](void* d, void*) { return tovamod_Device_GetDLUFileData(d, records.data()) > 0; });
    if (listed && Timed(s, "download", [&](void* d, void*) { return tovamod_Device_GetDLUValues(d, records.data(), 0) == 0; })) {
        ReadSamples(s, std::chrono::milliseconds(500));
    }
    for (auto& r : records) z5_dlu_free_texts(&r);
}

// ---- the threads ------------------------------------------------------------------

class Stop {
public:
    void Set() {
        std::lock_guard g(lock_);
        stop_ = true;
        cv_.notify_all();
    }
    bool IsSet() {
        std::lock_guard g(lock_);
        return stop_;
    }
    // Waits for d or the stop; true once stopped.
    template <class D>
    bool WaitFor(D d) {
        std::unique_lock g(lock_);
        return cv_.wait_for(g, d, [&] { return stop_; });
    }

private:
    std::mutex lock_;
    std::condition_variable cv_;
    bool stop_ = false;
};

// Takes each slot's handles from the copies of the hardware structure, by serial.
// A slot whose device is not listed loses its handles: a handle outlives its object
// only as an address, which a device plugged later may get again.
void Resolve(std::vector<std::unique_ptr<Slot>>& slots) {
    THardwareStructure* copy = tovamod_GetHardwareStructure();
    if (!copy) return;
    for (auto& slot : slots) {
        bool listed = false;
        for (const TDeviceStructure* node = copy->First; node; node = node->Next)
            listed = listed || (node->SerialNo && std::u16string(node->SerialNo) ==
                                                      std::u16string(slot->serial.begin(), slot->serial.end()));
        if (listed) continue;
        std::lock_guard g(slot->lock);
        slot->device = nullptr;
        slot->sensor = nullptr;
    }
    for (const TDeviceStructure* node = copy->First; node; node = node->Next) {
        const std::u16string serial = node->SerialNo ? std::u16string(node->SerialNo) : std::u16string();
        for (auto& slot : slots) {
            if (serial != std::u16string(slot->serial.begin(), slot->serial.end())) continue;
            void* sensor = nullptr;
            for (const TSensorStructure* q = node->Sensors; q; q = q->Next)
                if (q->Kind == slot->sensorKind && q->Sensor) {
                    sensor = q->Sensor;
                    break;
                }
            std::lock_guard g(slot->lock);
            slot->device = node->Device;
            if (sensor) slot->sensor = sensor;
        }
    }
}

uint64_t Arg(int argc, char** argv, int index, const char* env, uint64_t fallback) {
    if (argc > index) return std::strtoull(argv[index], nullptr, 10);
    if (const char* v = std::getenv(env); v && *v) return std::strtoull(v, nullptr, 10);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t seconds = Arg(argc, argv, 1, "ZELTO5_SOAK_SECONDS", 600);
    const uint64_t seed =
        Arg(argc, argv, 2, "ZELTO5_SOAK_SEED", static_cast<uint64_t>(Clock::now().time_since_epoch().count()) % 1000000);
    std::printf("soak: %llu s, seed %llu\n", static_cast<unsigned long long>(seconds),
                static_cast<unsigned long long>(seed));
    std::fflush(stdout);

    std::string pattern = (fs::temp_directory_path() / "z5soak-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 2;
    const fs::path home = pattern;
    fs::create_directories(home / "prog");
    fs::create_directories(home / "cfg");
    ::setenv("ZELTO5_PROGRAM_DIR", (home / "prog").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "cfg").c_str(), 1);

    std::vector<std::unique_ptr<Slot>> slots;
    auto add = [&](const char* name, const char* serial, uint8_t kind, uint8_t sensorKind, uint16_t deviceClass,
                   std::shared_ptr<z5sim::Device> (*make)()) {
        auto s = std::make_unique<Slot>();
        s->name = name;
        s->serial = serial;
        s->kind = kind;
        s->sensorKind = sensorKind;
        s->deviceClass = deviceClass;
        s->make = make;
        slots.push_back(std::move(s));
    };
    add("radio-master", "SOAKRM1", TOVAMOD_KIND_RADIO_MASTER, 0, 4, MakeRadioMaster);
    add("desk-port", "SOAKDP1", TOVAMOD_KIND_DESK_PORT, 0, 4, MakeDeskPort);
    add("logger", "SOAKFP1", TOVAMOD_KIND_FIELD_PORT, 0, 3, MakeLogger);
    add("light-meter", "SOAKSL1", TOVAMOD_KIND_SPEED_OF_LIGHT, 8, z5sim::LightSpeedMeter::kDeviceClass, MakeMeter);

    int status = 0;
    {
        z5sim::Bus bus;
        bus.Export();
        for (auto& s : slots) {
            if (!bus.Plug(s->make())) {
                std::printf("soak: cannot plug %s\n", s->name.c_str());
                return 2;
            }
            s->plugged = true;
            s->generation = 1;
        }
        if (tovamod_init() != 0) return 2;

        // All four found before the load starts.
        const bool found = z5test::WaitUntil([&] {
            Resolve(slots);
            return std::all_of(slots.begin(), slots.end(), [](auto& s) {
                std::lock_guard g(s->lock);
                return s->device && s->sensor;
            });
        }, std::chrono::seconds(60));
        if (!found) {
            std::printf("soak: the devices were not all found\n");
            tovamod_uninit();
            return 2;
        }

        Stop stop;
        std::vector<std::thread> threads;
        threads.emplace_back([&] {  // handles after each replug
            while (!stop.WaitFor(std::chrono::milliseconds(100))) Resolve(slots);
        });
        // One client per device, doing what a client of its kind does.
        for (size_t i = 0; i < slots.size(); ++i)
            threads.emplace_back([&, i] {
                Slot& s = *slots[i];
                std::mt19937 rng(static_cast<uint32_t>(seed * 31 + i));
                while (!stop.IsSet()) {
                    switch (rng() % 4) {
                        case 0: ParamReads(s); break;
                        case 1:
                            if (s.kind == TOVAMOD_KIND_FIELD_PORT) LoggerDownload(s);
                            else Measurement(s, rng);
                            break;
                        case 2: FirmwarePart(s, rng); break;
                        default: ParamReads(s); break;
                    }
                    if (stop.WaitFor(std::chrono::milliseconds(rng() % 100 + (lastFailed ? 200 : 0)))) break;
                }
            });
        // Two more clients reading parameters of any device.
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&, t] {
                std::mt19937 rng(static_cast<uint32_t>(seed * 77 + static_cast<uint64_t>(t)));
                while (!stop.IsSet()) {
                    ParamReads(*slots[rng() % slots.size()]);
                    if (stop.WaitFor(std::chrono::milliseconds(rng() % 50 + (lastFailed ? 200 : 0)))) break;
                }
            });
        // Unplugs and replugs at random moments.
        threads.emplace_back([&] {
            std::mt19937 rng(static_cast<uint32_t>(seed));
            while (!stop.WaitFor(std::chrono::milliseconds(300 + rng() % 2700))) {
                Slot& s = *slots[rng() % slots.size()];
                bool plugged;
                {
                    std::lock_guard g(s.lock);
                    plugged = s.plugged;
                }
                if (plugged) {
                    bus.Unplug(s.serial);
                    std::lock_guard g(s.lock);
                    s.plugged = false;  // from now on no call on it may succeed
                    std::lock_guard f(figures.lock);
                    ++figures.unplugs;
                } else {
                    {
                        std::lock_guard g(s.lock);
                        ++s.generation;  // a call running across the replug may succeed
                    }
                    const bool ok = bus.Plug(s.make());
                    std::lock_guard g(s.lock);
                    s.plugged = ok;
                    std::lock_guard f(figures.lock);
                    ++figures.replugs;
                    if (!ok && figures.notes.size() < 20) figures.notes.push_back(s.name + ": replug failed");
                }
            }
        });

        const auto end = Clock::now() + std::chrono::seconds(seconds);
        auto lastReport = Clock::now();
        while (!stop.WaitFor(std::min<Clock::duration>(end - Clock::now(), std::chrono::seconds(1)))) {
            if (Clock::now() >= end) break;
            if (Clock::now() - lastReport >= std::chrono::seconds(60)) {
                lastReport = Clock::now();
                std::lock_guard g(figures.lock);
                std::printf("soak: %llu calls, %llu failures, %llu unplugs\n",
                            static_cast<unsigned long long>(figures.calls),
                            static_cast<unsigned long long>(figures.failures),
                            static_cast<unsigned long long>(figures.unplugs));
                std::fflush(stdout);
            }
        }
        stop.Set();
        for (auto& t : threads) t.join();
        tovamod_uninit();
    }
    std::error_code ec;
    fs::remove_all(home, ec);

    std::lock_guard g(figures.lock);
    std::printf("\n%-32s %10s %10s %10s\n", "operation", "calls", "failures", "max ms");
    for (const auto& [name, o] : figures.ops)
        std::printf("%-32s %10llu %10llu %10.0f\n", name.c_str(), static_cast<unsigned long long>(o.calls),
                    static_cast<unsigned long long>(o.failures), o.maxMs);
    std::printf("\n%-52s %10s\n", "failures on a healthy device, while its client was", "calls");
    for (const auto& [what, n] : figures.healthyFailuresWhile)
        std::printf("%-52s %10llu\n", what.c_str(), static_cast<unsigned long long>(n));
    auto row = [](const char* what, uint64_t n) {
        std::printf("%-52s %llu\n", what, static_cast<unsigned long long>(n));
    };
    std::printf("\n");
    row("operations", figures.calls);
    row("failures", figures.failures);
    row("failures on a device plugged throughout the call", figures.healthyFailures);
    row("unplugs", figures.unplugs);
    row("replugs", figures.replugs);
    row("calls longer than 5 s (must be 0)", figures.longCalls);
    row("success on a device unplugged before the call (must be 0)", figures.successAfterUnplug);
    row("calls on a healthy device longer than 1 s (goal 0)", figures.slowHealthy);
    for (const auto& n : figures.notes) std::printf("  %s\n", n.c_str());
    if (figures.longCalls || figures.successAfterUnplug) status = 1;
    std::printf("soak: %s\n", status ? "FAILED" : "passed");
    return status;
}
