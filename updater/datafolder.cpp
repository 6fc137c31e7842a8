#include "datafolder.h"

#include <filesystem>
#include <system_error>

#include "z5programdir.h"

namespace fs = std::filesystem;

namespace {

const char* const MarkerFile = "Z5update.uk";

QString WithSlash(const fs::path& dir) {
    QString text = QString::fromStdString(dir.string());
    if (!text.endsWith(u'/')) text += u'/';
    return text;
}

}  // namespace

QString FindDataDir() {
    const fs::path program = z5::ProgramDir();
    std::error_code ec;
    if (fs::exists(program / MarkerFile, ec)) return WithSlash(program);
    const fs::path installed = (program / ".." / "share" / "zelto5").lexically_normal();
    if (fs::exists(installed / MarkerFile, ec)) return WithSlash(installed);
    return WithSlash(program);
}

QString WritableFileName(const QString& DataDir, const QString& Name) {
    const fs::path data = DataDir.toStdString();
    const fs::path name = Name.toStdString();
    if (z5::CanCreateFilesIn(data)) return DataDir + Name;
    const fs::path config = z5::UserConfigDir();
    std::error_code ec;
    fs::create_directories(config, ec);
    if (!z5::CanCreateFilesIn(config)) return DataDir + Name;
    if (!fs::exists(config / name, ec) && fs::is_regular_file(data / name, ec)) {
        fs::copy_file(data / name, config / name, ec);
        // The shipped copy may be read-only; the user's copy is rewritten.
        fs::permissions(config / name, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    }
    return QString::fromStdString((config / name).string());
}

QString NetworksFileShown() {
    const fs::path program = z5::ProgramDir() / "Z5NETS.XML";
    const fs::path user = z5::UserConfigDir() / "Z5NETS.XML";
    std::error_code ec;
    if (!z5::CanCreateFilesIn(z5::ProgramDir()) && fs::exists(user, ec)) return QString::fromStdString(user.string());
    return QString::fromStdString(program.string());
}
