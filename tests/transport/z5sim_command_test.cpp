// The z5sim command: devices named on its command line appear in the listing;
// "unplug" makes their handles fail; SIGTERM ends it cleanly.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "z5d2xx.h"

extern char** environ;

namespace {

class Command {
public:
    explicit Command(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        std::vector<char*> argv;
        args.insert(args.begin(), Z5SIM_COMMAND);
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, Z5SIM_COMMAND, &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Command() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdin_ >= 0) close(stdin_);
        if (stdout_ >= 0) close(stdout_);
    }
    bool Started() const { return pid_ > 0; }

    // The next output line ("" after 10 s or at the end).
    std::string Line() {
        for (;;) {
            auto eol = buffer_.find('\n');
            if (eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                return line;
            }
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) return "";
            char buf[256];
            ssize_t n = read(stdout_, buf, sizeof buf);
            if (n <= 0) return "";
            buffer_.append(buf, static_cast<size_t>(n));
        }
    }
    void Say(const std::string& line) {
        std::string l = line + "\n";
        ASSERT_EQ(write(stdin_, l.data(), l.size()), static_cast<ssize_t>(l.size()));
    }
    // Exit status after a signal (-1 when it did not end normally).
    int Stop(int sig) {
        kill(pid_, sig);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1;
    std::string buffer_;
};

TEST(Z5simCommand, PlugsListsUnplugsAndStops) {
    Command sim({"echo:Zelto5 Test Port:CMD123", "silent:CMD456"});
    ASSERT_TRUE(sim.Started());
    std::string first = sim.Line();
    const std::string prefix = "ZELTO5_SYSFS_ROOT=";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    const std::string folder = first.substr(prefix.size());
    EXPECT_EQ(sim.Line().rfind("plugged CMD123 ttyUSB0 /dev/pts/", 0), 0u);
    EXPECT_EQ(sim.Line().rfind("plugged CMD456 ttyUSB1", 0), 0u);
    setenv("ZELTO5_SYSFS_ROOT", folder.c_str(), 1);

    uint32_t count = 0;
    ASSERT_EQ(d2xx::DeviceCount(&count), d2xx::kOk);
    ASSERT_EQ(count, 2u);
    char text[d2xx::kListTextSize];
    ASSERT_EQ(d2xx::DescriptionByIndex(0, text, sizeof text), d2xx::kOk);
    EXPECT_STREQ(text, "Zelto5 Test Port");
    ASSERT_EQ(d2xx::SerialNumberByIndex(0, text, sizeof text), d2xx::kOk);
    EXPECT_STREQ(text, "CMD123");
    ASSERT_EQ(d2xx::DescriptionByIndex(1, text, sizeof text), d2xx::kOk);
    EXPECT_STREQ(text, "Zelto5 Silent");  // the kind's own description

    d2xx::Handle h = nullptr;
    ASSERT_EQ(d2xx::OpenBySerialNumber("CMD123", &h), d2xx::kOk);
    ASSERT_EQ(d2xx::SetTimeouts(h, 20000, 20000), d2xx::kOk);
    const uint8_t frame[] = {0x7D, 0x01, 0x57, 0x7E};
    uint8_t back[4] = {};
    uint32_t n = 0;
    ASSERT_EQ(d2xx::Write(h, frame, 4, &n), d2xx::kOk);
    ASSERT_EQ(d2xx::Read(h, back, 4, &n), d2xx::kOk);
    EXPECT_EQ(n, 4u);  // the echo device answers across processes
    EXPECT_EQ(back[2], 0x57);

    sim.Say("unplug CMD123");
    EXPECT_EQ(sim.Line(), "unplugged CMD123");
    EXPECT_NE(d2xx::GetModemStatus(h, &n), d2xx::kOk);
    EXPECT_NE(d2xx::Write(h, frame, 4, &n), d2xx::kOk);
    EXPECT_NE(d2xx::Read(h, back, 4, &n), d2xx::kOk);
    ASSERT_EQ(d2xx::DeviceCount(&count), d2xx::kOk);
    EXPECT_EQ(count, 1u);
    d2xx::Close(h);

    sim.Say("unplug NOPE");
    EXPECT_EQ(sim.Line(), "unknown NOPE");
    sim.Say("list");
    EXPECT_EQ(sim.Line().rfind("plugged CMD456 ttyUSB1", 0), 0u);
    sim.Say("unplug");
    EXPECT_EQ(sim.Line(), "unplugged all");
    sim.Say("list");
    EXPECT_EQ(sim.Line(), "no devices");
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::exists(folder));  // its own folder is removed
}

TEST(Z5simCommand, RefusesBadArguments) {
    Command sim({"nokind:X1"});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Line(), "");
    EXPECT_EQ(sim.Stop(0), 2);
}

}  // namespace
