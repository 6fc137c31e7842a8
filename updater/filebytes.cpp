#include "filebytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

bool OpenRegularFile(QFile& file, std::string& Error) {
    const std::string prefix = "Cannot open " + file.fileName().toStdString() + ": ";
    // O_NONBLOCK: opening a FIFO without a writer would wait for one.
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Error = prefix + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Error = prefix + "not a regular file";
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Error = prefix + file.errorString().toStdString();
        return false;
    }
    return true;
}

std::string FileErrorText(const char* what, const QFile& file) {
    return std::string(what) + ' ' + file.fileName().toStdString() + ": " + file.errorString().toStdString();
}

QByteArray ReadAllBytes(QFile& file) {
    QByteArray bytes;
    try {
        char chunk[16 * 1024];
        for (;;) {
            const qint64 got = file.read(chunk, sizeof chunk);
            if (got < 0) throw TFileError(FileErrorText("Cannot read", file));
            if (got == 0) break;
            if (bytes.size() + got > MaxTextFileSize)
                throw TFileError("File too large: " + file.fileName().toStdString());
            bytes.append(chunk, got);
        }
    } catch (const std::bad_alloc&) {
        throw TFileError("Out of memory reading " + file.fileName().toStdString());
    }
    return bytes;
}
