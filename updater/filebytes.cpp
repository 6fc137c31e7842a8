#include "filebytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace {

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fFd(fd) {}
    ~Descriptor() {
        if (fFd >= 0) ::close(fFd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fFd; }

private:
    int fFd;
};

}  // namespace

std::optional<QByteArray> ReadRegularFile(const QString& Name, std::string& Error) {
    const std::string name = Name.toStdString();
    // O_NONBLOCK: opening a FIFO without a writer would wait for one.
    const Descriptor fd(::open(QFile::encodeName(Name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        Error = "Cannot open " + name + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Error = "Cannot open " + name + ": not a regular file";
        return std::nullopt;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    const std::string tooLarge = "File too large: " + name;
    if (st.st_size > MaxTextFileSize) {
        Error = tooLarge;
        return std::nullopt;
    }

    QByteArray bytes;
    try {
        char chunk[16 * 1024];
        for (;;) {
            const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw TFileError("Cannot read " + name + ": " + std::strerror(errno));
            if (got == 0) break;
            // The file may grow while it is read.
            if (bytes.size() + got > MaxTextFileSize) throw TFileError(tooLarge);
            bytes.append(chunk, got);
        }
    } catch (const std::bad_alloc&) {
        throw TFileError("Out of memory reading " + name);
    }
    return bytes;
}

std::string FileErrorText(const char* what, const QFile& file) {
    return std::string(what) + ' ' + file.fileName().toStdString() + ": " + file.errorString().toStdString();
}
