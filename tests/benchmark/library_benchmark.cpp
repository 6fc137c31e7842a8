// Benchmark (not a test): the library's own costs against simulated devices, at real
// protocol time, through the exports. Each figure is printed beside its goal.
//
//   library_benchmark [--reads N] [--watch SECONDS] [--idle SECONDS] [--part BYTES]
//
// The simulated devices run in a child process (this program started again with
// --sim), so that the CPU time measured is the library's alone.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "tovamod.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_firmware.h"
#include "z5sim_instruments.h"
#include "z5sim_kinds.h"
#include "z5sim_radiomaster.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// ---- the simulator side ------------------------------------------------------------

// A Radio Master with its own radio unit, as the program's sample setup offers an
// update to: hardware version 1, device class 2.
std::shared_ptr<z5sim::RadioMaster> SampleRadioMaster(const std::string& serial) {
    auto rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, serial);
    rm->SetParam(0, 1);
    rm->SetParam(1, 0x0102);
    rm->SetDeviceClass(2);
    z5sim::RadioUnit unit = z5sim::RadioUnit::Own(1, 0x1000000000000001ull + serial.size());
    rm->Join(unit);
    return rm;
}

// --sim N: plugs N Radio Masters, prints the folder, keeps them until stdin ends.
int RunSimulator(int count) {
    z5sim::Bus bus;
    for (int i = 0; i < count; ++i)
        if (!bus.Plug(SampleRadioMaster("RMB" + std::to_string(i + 1)))) return 1;
    std::cout << bus.Root().string() << std::endl;
    std::string line;
    while (std::getline(std::cin, line) && line != "quit") {
    }
    return 0;
}

// One device of a z5sim kind, set up so that the firmware parts of FirmwareKinds()
// fit it: the radio base family's own target has hardware version 1 and device
// class kBenchDeviceClass (the Radio Master keeps its sample setup).
constexpr uint16_t kBenchDeviceClass = 4;
const z5sim::Bytes kNotificationFrame{0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E};

std::shared_ptr<z5sim::Device> BenchDevice(const std::string& kind) {
    std::shared_ptr<z5sim::Device> device = z5sim::MakeDevice(kind, "", "BENCH1");
    auto* base = dynamic_cast<z5sim::RadioMaster*>(device.get());
    if (base && kind != "radiomaster" && kind != "lightspeed" && kind != "dds") {
        base->SetParam(0, 1, 2);
        base->SetDeviceClass(kBenchDeviceClass);
    }
    return device;
}

// --sim-kind KIND: plugs one device of KIND, prints the folder, then answers
// "notify FIRST GAP" (the notification frame: its first FIRST bytes, then, once
// the library has read them, after GAP ms the rest; answers the steady-clock time in ns just before its last piece went out)
// until stdin ends or says quit.
int RunKindSimulator(const std::string& kind) {
    z5sim::Bus bus;
    const std::shared_ptr<z5sim::Device> device = BenchDevice(kind);
    if (!device || !bus.Plug(device)) return 1;
    std::cout << bus.Root().string() << std::endl;
    std::string line;
    while (std::getline(std::cin, line) && line != "quit") {
        size_t first = 0;
        unsigned gap = 0;
        if (std::sscanf(line.c_str(), "notify %zu %u", &first, &gap) != 2) {
            std::cout << "?" << std::endl;
            continue;
        }
        const std::span<const uint8_t> frame(kNotificationFrame);
        Clock::time_point sent;
        device->SendCut(frame, first, gap, &sent);
        std::cout << std::chrono::duration_cast<std::chrono::nanoseconds>(sent.time_since_epoch()).count()
                  << std::endl;
    }
    return 0;
}

// The child process with its devices; ends it when it goes.
class SimulatorProcess {
public:
    explicit SimulatorProcess(int count) : SimulatorProcess(std::vector<std::string>{"--sim", std::to_string(count)}) {}
    // The child started with these arguments; its first output line is the bus folder.
    explicit SimulatorProcess(const std::vector<std::string>& args) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        const std::string self = fs::read_symlink("/proc/self/exe").string();
        std::vector<char*> argv{const_cast<char*>(self.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, self.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start the simulator");
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        input_ = fdopen(toChild[1], "w");
        output_ = fdopen(fromChild[0], "r");
        if (!output_) throw std::runtime_error("the simulator did not start");
        root_ = ReadLine();
        if (root_.empty()) throw std::runtime_error("the simulator did not start");
    }
    ~SimulatorProcess() {
        std::fputs("quit\n", input_);
        std::fclose(input_);
        if (output_) std::fclose(output_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    const std::string& Root() const { return root_; }
    // One command line to the child and its one line of answer.
    std::string Ask(const std::string& line) {
        std::fputs((line + "\n").c_str(), input_);
        std::fflush(input_);
        return ReadLine();
    }

private:
    std::string ReadLine() {
        char text[4096] = {};
        if (!std::fgets(text, sizeof text, output_)) return {};
        std::string s = text;
        while (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }

    pid_t pid_ = -1;
    FILE* input_ = nullptr;
    FILE* output_ = nullptr;
    std::string root_;
};

// ---- the library side --------------------------------------------------------------

struct Options {
    int reads = 200;
    double watchSeconds = 3;
    double idleSeconds = 30;
    size_t partBytes = 100000;
};

void Row(const char* figure, const std::string& measured, const char* goal) {
    std::printf("  %-44s %-22s goal %s\n", figure, measured.c_str(), goal);
}

std::string Fmt(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    return values[i];
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The library started over its own program and configuration folders, listing the
// simulator's devices.
class Library {
public:
    Library(const SimulatorProcess& sim, const fs::path& home) {
        fs::create_directories(home / "prog");
        fs::create_directories(home / "cfg");
        setenv("ZELTO5_PROGRAM_DIR", (home / "prog").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "cfg").c_str(), 1);
        setenv("ZELTO5_SYSFS_ROOT", sim.Root().c_str(), 1);
        started_ = Clock::now();
        if (tovamod_init() != 0) throw std::runtime_error("tovamod_init failed");
    }
    ~Library() {
        if (!ended_) tovamod_uninit();
    }
    // Time from tovamod_init until count devices are listed; negative when they never are.
    double ListedAfterMs(int count, double limitMs = 120000) {
        while (tovamod_GetNumberOfAvailableDevice() < count) {
            if (Ms(Clock::now() - started_) > limitMs) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return Ms(Clock::now() - started_);
    }
    double UninitMs() {
        const auto t0 = Clock::now();
        tovamod_uninit();
        ended_ = true;
        return Ms(Clock::now() - t0);
    }

private:
    Clock::time_point started_;
    bool ended_ = false;
};

struct Stream {
    std::vector<uint8_t> data;
    size_t pos = 0;
};

int64_t StreamSize(void* c) { return static_cast<int64_t>(static_cast<Stream*>(c)->data.size()); }

int32_t StreamRead(void* c, void* buffer, int32_t count) {
    auto* s = static_cast<Stream*>(c);
    const size_t n = std::min(static_cast<size_t>(count), s->data.size() - s->pos);
    std::memcpy(buffer, s->data.data() + s->pos, n);
    s->pos += n;
    return static_cast<int32_t>(n);
}

void Firmware(const Options& o, const fs::path& home) {
    SimulatorProcess sim(1);
    Library lib(sim, home);
    if (lib.ListedAfterMs(1) < 0) throw std::runtime_error("the Radio Master was not listed");
    // As the update program does: no scan during an update.
    tovamod_DeactivateDevicesIdentification();
    int32_t maxSensors = 0;
    void* dev = tovamod_OpenDevice(0, 921600, 0, &maxSensors);

    Stream s;
    s.data.resize(o.partBytes);
    for (size_t i = 0; i < o.partBytes; ++i) s.data[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    FirmwareStream stream{&s, StreamSize, StreamRead};
    FirmwareStream* holder = &stream;
    const uint8_t hardware[] = {1};

    const auto t0 = Clock::now();
    const int32_t start =
        tovamod_Device_Update_Start(dev, 0, 0x0105, 1, 1, static_cast<int32_t>(o.partBytes), 2, 1, hardware);
    const auto t1 = Clock::now();
    const int32_t blocks = start == 0 ? tovamod_Device_Update(dev, 0, 1, &holder) : -1;
    const auto t2 = Clock::now();
    const int32_t finish =
        blocks == 0 ? tovamod_Device_Update_Finish(dev, 0, static_cast<int32_t>(z5sim::FirmwareCrc32(s.data))) : -1;
    const auto t3 = Clock::now();
    tovamod_ActivateDevicesIdentification();

    const double blockCount = static_cast<double>((o.partBytes + 99) / 100);
    std::printf("firmware (one Radio Master, %zu-byte part: start %d, blocks %d, finish %d)\n", o.partBytes, start,
                blocks, finish);
    Row("one firmware block (100 bytes)", Fmt("%.2f ms", Ms(t2 - t1) / blockCount), "<= 3 ms");
    Row("the whole part (start, blocks, finish)", Fmt("%.2f s", Ms(t3 - t0) / 1000), "<= 1.5 s");
}

// One firmware part for every kind that the update program updates, through the
// exports as the program sends it, against one simulated device of the kind.
void FirmwareKinds(const fs::path& home) {
    struct Kind {
        const char* label;
        const char* simKind;
        int32_t target;
        int32_t deviceClass;
        size_t partBytes;
        size_t blockBytes;
        const char* partGoal;
    };
    const Kind kinds[] = {
        {"Radio Master", "radiomaster", 0, 2, 100000, 100, "<= 1.5 s"},
        {"its Relay-Port (radio unit 1)", "radiomaster", 1, 12, 100000, 100, "<= 1.5 s"},
        {"Desk-Port", "deskport", 0, kBenchDeviceClass, 100000, 100, "<= 1.5 s"},
        {"Field-Port data logger", "datalogger", 0, 5, 200000, 200, "<= 2 s"},
        {"speed of light meter", "lightspeed", 0, z5sim::LightSpeedMeter::kDeviceClass, 200000, 200, "<= 2 s"},
        {"function generator (0x0100)", "dds", 0x0100, z5sim::FunctionGenerator::kDeviceClass, 100000, 100,
         "<= 1.5 s"},
        {"X-ray unit", "xray", 0, kBenchDeviceClass, 100000, 100, "<= 1.5 s"},
        {"Timer 6-2", "timer62", 0, kBenchDeviceClass, 100000, 100, "<= 1.5 s"},
        {"universal counter", "counter", 0, kBenchDeviceClass, 100000, 100, "<= 1.5 s"},
    };
    std::printf("firmware, one part per kind (per block / whole part: start, blocks, finish)\n");
    for (const Kind& k : kinds) {
        SimulatorProcess sim({"--sim-kind", k.simKind});
        Library lib(sim, home);
        if (lib.ListedAfterMs(1) < 0) throw std::runtime_error(std::string(k.label) + " was not listed");
        tovamod_DeactivateDevicesIdentification();
        int32_t maxSensors = 0;
        void* dev = tovamod_OpenDevice(0, 921600, 0, &maxSensors);

        Stream s;
        s.data.resize(k.partBytes);
        for (size_t i = 0; i < k.partBytes; ++i) s.data[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
        FirmwareStream stream{&s, StreamSize, StreamRead};
        FirmwareStream* holder = &stream;
        const uint8_t hardware[] = {1};
        const auto size = static_cast<int32_t>(k.partBytes);

        const auto t0 = Clock::now();
        const int32_t start = tovamod_Device_Update_Start(dev, k.target, 0x0105, 1, 1, size, k.deviceClass, 1, hardware);
        const auto t1 = Clock::now();
        const int32_t blocks = start == 0 ? tovamod_Device_Update(dev, k.target, 1, &holder) : -1;
        const auto t2 = Clock::now();
        const auto crc = static_cast<int32_t>(z5sim::FirmwareCrc32(s.data));
        const int32_t finish = blocks == 0 ? tovamod_Device_Update_Finish(dev, k.target, crc) : -1;
        const auto t3 = Clock::now();
        tovamod_ActivateDevicesIdentification();

        const double blockCount = static_cast<double>((k.partBytes + k.blockBytes - 1) / k.blockBytes);
        const std::string label = std::string(k.label) + ", " + std::to_string(k.partBytes) + " bytes";
        std::printf("  %s (start %d, blocks %d, finish %d)\n", label.c_str(), start, blocks, finish);
        Row(("    one block (" + std::to_string(k.blockBytes) + " bytes)").c_str(),
            Fmt("%.2f ms", Ms(t2 - t1) / blockCount), "<= 3 ms");
        Row("    the whole part", Fmt("%.2f s", Ms(t3 - t0) / 1000), k.partGoal);
    }
}

// Notification latency: from the device sending the notification frame's last byte
// to the handler's call, for whole frames and frames cut in two.
struct Notifications {
    std::mutex lock;
    std::condition_variable raised;
    std::vector<Clock::time_point> calls;

    static void Handler(void* context, pOnChangeData*) {
        auto* self = static_cast<Notifications*>(context);
        const auto now = Clock::now();
        std::lock_guard g(self->lock);
        self->calls.push_back(now);
        self->raised.notify_all();
    }
};

void NotificationLatency(const fs::path& home) {
    SimulatorProcess sim({"--sim-kind", "radiomaster"});
    Library lib(sim, home);
    if (lib.ListedAfterMs(1) < 0) throw std::runtime_error("the Radio Master was not listed");
    Notifications n;
    const TonProcessData handler{Notifications::Handler, &n};
    tovamod_getProcessData(&handler);
    // The simulated device would answer a scan request between the pieces of its own
    // frame, which a real device never does: no scan meanwhile.
    tovamod_DeactivateDevicesIdentification();
    struct Cut {
        const char* label;
        size_t first;
        unsigned gapMs;
    };
    const Cut cuts[] = {{"whole frame", 0, 0}, {"cut 3 + 4, no gap", 3, 0}, {"cut 3 + 4, 3 ms apart", 3, 3},
                        {"cut 3 + 4, 20 ms apart", 3, 20}};
    constexpr int kFrames = 20;
    std::printf("notification latency (device sends the frame's last byte -> handler called), %d frames each\n",
                kFrames);
    for (const Cut& c : cuts) {
        std::vector<double> latencies;
        for (int i = 0; i < kFrames; ++i) {
            std::unique_lock g(n.lock);
            n.calls.clear();
            g.unlock();
            const std::string answer = sim.Ask("notify " + std::to_string(c.first) + " " + std::to_string(c.gapMs));
            const Clock::time_point sent{std::chrono::nanoseconds(std::strtoll(answer.c_str(), nullptr, 10))};
            g.lock();
            // Bounds a notification that never comes; the raised ones take milliseconds.
            if (n.raised.wait_for(g, std::chrono::milliseconds(500), [&] { return !n.calls.empty(); }))
                latencies.push_back(Ms(n.calls.front() - sent));
        }
        const std::string figure =
            latencies.empty() ? std::string("never raised")
                              : Fmt("%.1f", Percentile(latencies, 0.5)) + " / " +
                                    Fmt("%.1f ms", *std::max_element(latencies.begin(), latencies.end()));
        Row(("  " + std::string(c.label) + ", median / max").c_str(), figure, "<= 20 ms");
        std::printf("  %-44s %d of %d\n", "    raised", static_cast<int>(latencies.size()), kFrames);
    }
    const TonProcessData none{nullptr, nullptr};
    tovamod_getProcessData(&none);
}

void RadioMasters(int count, const Options& o, const fs::path& home) {
    SimulatorProcess sim(count);
    Library lib(sim, home);
    const double listed = lib.ListedAfterMs(count);
    std::printf("%d Radio Master%s\n", count, count == 1 ? "" : "s");
    Row("all devices listed after tovamod_init", listed < 0 ? "never" : Fmt("%.0f ms", listed),
        count == 8 ? "<= 1500 ms" : "-");

    // Copies of the structure while the scan runs on its own.
    int copies = 0, nil = 0;
    std::vector<double> scanTimes;  // the scans after the one that opened the devices
    double firstScan = -1;
    uint32_t lastScan = 0;
    const auto watchEnd = Clock::now() + std::chrono::duration<double>(o.watchSeconds);
    while (Clock::now() < watchEnd) {
        THardwareStructure* copy = tovamod_GetHardwareStructure();
        ++copies;
        if (!copy) {
            ++nil;
        } else if (firstScan < 0) {
            firstScan = copy->ScanTime;
            lastScan = copy->ScanTime;
        } else if (copy->ScanTime != lastScan) {
            lastScan = copy->ScanTime;
            scanTimes.push_back(copy->ScanTime);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Row("scan that opened the devices (ScanTime)", firstScan < 0 ? "not seen" : Fmt("%.0f ms", firstScan), "-");
    Row("later scans (ScanTime), median / max",
        scanTimes.empty() ? "no scan seen"
                          : Fmt("%.0f", Percentile(scanTimes, 0.5)) + " / " +
                                Fmt("%.0f ms", *std::max_element(scanTimes.begin(), scanTimes.end())),
        count == 8 ? "<= 100 ms" : "-");
    Row("nil structure copies", Fmt("%.1f %%", 100.0 * nil / std::max(copies, 1)), count == 8 ? "<= 10 %" : "-");

    // Parameter reads of the first device while the scan goes on.
    int32_t maxSensors = 0;
    void* dev = tovamod_OpenDevice(0, 921600, 0, &maxSensors);
    std::vector<double> reads;
    int failed = 0;
    for (int i = 0; i < o.reads; ++i) {
        const auto t0 = Clock::now();
        if (tovamod_Device_GetRTUUParam(dev, 4) < 0) ++failed;
        reads.push_back(Ms(Clock::now() - t0));
    }
    Row("parameter read, median", Fmt("%.2f ms", Percentile(reads, 0.5)), "<= 3 ms");
    Row("parameter read, p90", Fmt("%.2f ms", Percentile(reads, 0.9)), count == 8 ? "<= 10 ms" : "-");
    if (failed) std::printf("  (%d of %d reads failed)\n", failed, o.reads);

    if (count == 8 && o.idleSeconds > 0) {
        const double cpu0 = CpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(o.idleSeconds));
        const double share = (CpuSeconds() - cpu0) / (Ms(Clock::now() - t0) / 1000);
        Row(("idle CPU over " + Fmt("%.0f s", o.idleSeconds) + " (% of one core)").c_str(),
            Fmt("%.2f %%", share * 100), "<= 1 %");
    }
    Row("tovamod_uninit", Fmt("%.0f ms", lib.UninitMs()), count == 8 ? "<= 2000 ms" : "-");
}

// Copies of the structure while client threads keep the transport busy: each of
// four threads reads a parameter of its own Radio Master without a pause.
void CopiesUnderClientLoad(const Options& o, const fs::path& home) {
    constexpr int kDevices = 4;
    SimulatorProcess sim(kDevices);
    Library lib(sim, home);
    if (lib.ListedAfterMs(kDevices) < 0) throw std::runtime_error("the Radio Masters were not listed");
    std::vector<void*> devices;
    for (int i = 0; i < kDevices; ++i) {
        int32_t maxSensors = 0;
        devices.push_back(tovamod_OpenDevice(i, 921600, 0, &maxSensors));
    }
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0}, failed{0};
    std::vector<std::thread> clients;
    for (void* dev : devices)
        clients.emplace_back([&, dev] {
            while (!stop.load()) {
                if (tovamod_Device_GetRTUUParam(dev, 4) < 0) ++failed;
                ++reads;
                reads.notify_one();
            }
        });
    // One copy per four client reads: copies are taken while requests are busy.
    int copies = 0, nil = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(std::max(o.watchSeconds, 5.0));
    for (long seen = reads.load(); Clock::now() < end;) {
        if (!tovamod_GetHardwareStructure()) ++nil;
        ++copies;
        for (const long next = seen + 4; (seen = reads.load()) < next;) reads.wait(seen);
    }
    stop = true;
    for (auto& t : clients) t.join();
    std::printf("4 Radio Masters, 4 client threads reading parameters (%ld reads, %ld failed)\n", reads.load(),
                failed.load());
    Row("nil structure copies with 4 Radio Masters and 4 client threads doing parameter reads",
        Fmt("%.1f %%", 100.0 * nil / std::max(copies, 1)) + " (" + std::to_string(nil) + "/" + std::to_string(copies) + ")",
        "<= 10 %");
}

int Usage() {
    std::fprintf(stderr, "usage: library_benchmark [--reads N] [--watch SECONDS] [--idle SECONDS] [--part BYTES]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--sim") == 0) return RunSimulator(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "--sim-kind") == 0) return RunKindSimulator(argv[2]);
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* v = argv[++i];
        if (a == "--reads") o.reads = std::max(1, std::atoi(v));
        else if (a == "--watch") o.watchSeconds = std::atof(v);
        else if (a == "--idle") o.idleSeconds = std::atof(v);
        else if (a == "--part") o.partBytes = std::strtoul(v, nullptr, 10);
        else return Usage();
    }
    signal(SIGPIPE, SIG_IGN);
    z5::SetTimeScale(1.0);
    unsetenv("ZELTO5_TIME_SCALE");

    std::string pattern = (fs::temp_directory_path() / "z5bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const fs::path home = pattern;
    int result = 0;
    try {
        Firmware(o, home);
        FirmwareKinds(home);
        NotificationLatency(home);
        for (int count : {1, 4, 8}) RadioMasters(count, o, home);
        CopiesUnderClientLoad(o, home);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "library_benchmark: %s\n", e.what());
        result = 1;
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    return result;
}
