// z5sim: plugs simulated devices into a sysfs-shaped folder and keeps them until
// told to unplug them or stopped.
//
//   z5sim [--folder DIR] DEVICE...      DEVICE = KIND:SERIAL or KIND:DESCRIPTION:SERIAL
//
// Prints "ZELTO5_SYSFS_ROOT=<folder>" and one "plugged" line per device, then reads
// commands from standard input: "unplug SERIAL", "unplug" (all), "list" (the
// "plugged" lines again, or "no devices"), "quit". At the end of its input it keeps
// its devices until a signal.
// SIGINT and SIGTERM unplug everything and end it cleanly; so does "quit".
// Without --folder a temporary folder is made and removed at the end.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "z5sim_bus.h"
#include "z5sim_kinds.h"

namespace {

struct Spec {
    std::string kind, description, serial;
};

bool ParseDevice(const std::string& arg, Spec& spec) {
    auto first = arg.find(':');
    auto last = arg.rfind(':');
    if (first == std::string::npos || last + 1 >= arg.size() || first == 0) return false;
    spec.kind = arg.substr(0, first);
    spec.serial = arg.substr(last + 1);
    spec.description = last > first ? arg.substr(first + 1, last - first - 1) : "";
    return true;
}

int Usage() {
    std::cerr << "usage: z5sim [--folder DIR] KIND[:DESCRIPTION]:SERIAL...\nkinds:";
    for (const auto& k : z5sim::Kinds()) std::cerr << ' ' << k.name;
    std::cerr << '\n';
    return 2;
}

void Say(const std::string& line) {
    std::cout << line << '\n';
    std::cout.flush();
}

void List(const z5sim::Bus& bus) {
    for (const auto& d : bus.Devices())
        Say("plugged " + d->Serial() + ' ' + d->Tty() + ' ' + d->SlaveNode() + ' ' + d->Description());
}

// Runs one command line; false ends the program.
bool Command(z5sim::Bus& bus, const std::string& line) {
    std::istringstream in(line);
    std::string word, serial;
    in >> word >> serial;
    if (word.empty()) return true;
    if (word == "quit") return false;
    if (word == "list") {
        if (bus.Devices().empty()) Say("no devices");
        List(bus);
    } else if (word == "unplug" && serial.empty()) {
        bus.UnplugAll();
        Say("unplugged all");
    } else if (word == "unplug") {
        Say((bus.Unplug(serial) ? "unplugged " : "unknown ") + serial);
    } else {
        Say("unknown command " + word);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    std::vector<Spec> specs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--folder" && i + 1 < argc) {
            folder = argv[++i];
        } else if (a == "--help" || a == "-h") {
            return Usage();
        } else {
            Spec s;
            if (!ParseDevice(a, s)) return Usage();
            specs.push_back(s);
        }
    }

    // Signals are taken through a descriptor; block them before any thread exists.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    int sigfd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (sigfd < 0) {
        std::perror("z5sim: signalfd");
        return 1;
    }

    try {
        std::unique_ptr<z5sim::Bus> bus = folder.empty() ? std::make_unique<z5sim::Bus>()
                                                         : std::make_unique<z5sim::Bus>(folder);
        for (const auto& s : specs) {
            auto d = z5sim::MakeDevice(s.kind, s.description, s.serial);
            if (!d) {
                std::cerr << "z5sim: unknown kind " << s.kind << '\n';
                return Usage();
            }
            if (!bus->Plug(d)) {
                std::cerr << "z5sim: cannot plug " << s.serial << '\n';
                return 1;
            }
        }
        Say("ZELTO5_SYSFS_ROOT=" + bus->Root().string());
        List(*bus);

        bool input = true;
        std::string pending;
        for (;;) {
            pollfd fds[2] = {{sigfd, POLLIN, 0}, {input ? STDIN_FILENO : -1, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) continue;
            if (fds[0].revents & POLLIN) break;
            if (!(fds[1].revents & (POLLIN | POLLHUP))) continue;
            char buf[512];
            ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                input = false;  // no more commands: keep the devices until a signal
                continue;
            }
            pending.append(buf, static_cast<size_t>(n));
            bool go = true;
            for (size_t eol; go && (eol = pending.find('\n')) != std::string::npos;) {
                go = Command(*bus, pending.substr(0, eol));
                pending.erase(0, eol + 1);
            }
            if (!go) break;
        }
        bus.reset();
        Say("stopped");
    } catch (const std::exception& e) {
        std::cerr << "z5sim: " << e.what() << '\n';
        return 1;
    }
    close(sigfd);
    return 0;
}
