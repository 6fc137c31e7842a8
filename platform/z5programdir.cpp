#include "z5programdir.h"

#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace z5 {

fs::path ProgramDir() {
    if (const char* dir = std::getenv("ZELTO5_PROGRAM_DIR"); dir && *dir) return fs::path(dir);
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec);
    return exe.parent_path();
}

fs::path UserConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return fs::path(xdg) / "zelto5";
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".config" / "zelto5";
    return fs::path("/tmp") / "zelto5";
}

// A probe file tells the truth for root and read-only mounts alike, where access() does not.
bool CanCreateFilesIn(const fs::path& dir) {
    std::string probe = (dir / ".z5probe-XXXXXX").string();
    int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

fs::path WritableDataDir() {
    fs::path dir = ProgramDir();
    if (CanCreateFilesIn(dir)) return dir;
    fs::path cfg = UserConfigDir();
    std::error_code ec;
    fs::create_directories(cfg, ec);
    return cfg;
}

fs::path DataFileToRead(const fs::path& dataDir, const fs::path& name) {
    std::error_code ec;
    const fs::path own = dataDir / name;
    if (fs::exists(own, ec)) return own;
    const fs::path shipped = ProgramDir() / name;
    if (shipped != own && fs::exists(shipped, ec)) return shipped;
    return own;
}

}  // namespace z5
