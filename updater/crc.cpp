#include "crc.h"

#include <array>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) {
      c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    }
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

// Closes the descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens a regular file for reading; a folder counts as a failed open.
int OpenForReading(const std::string& fileName, int& error) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else {
    error = 0;
    return fd;
  }
  ::close(fd);
  return -1;
}

}  // namespace

void UpdateCRC32(const std::uint8_t* buffer, std::uint16_t length, std::uint32_t& crc) {
  for (std::uint16_t i = 0; i < length; ++i) {
    crc = kTable[(crc ^ buffer[i]) & 0xFFu] ^ (crc >> 8);
  }
}

std::uint32_t CalcFileCRC32(const std::string& fileName, std::span<std::uint8_t> buffer,
                            std::uint32_t& byteCount, std::int32_t& ioResult) {
  std::uint32_t crc = 0xFFFFFFFFu;
  int error = 0;
  FileDescriptor file(OpenForReading(fileName, error));
  ioResult = error;
  if (file.get() < 0) {
    return ~crc;
  }
  if (buffer.empty()) {
    throw std::system_error(EINVAL, std::generic_category(), "CRC-32 read buffer is empty");
  }
  const std::size_t block = buffer.size() < kCrcBlockSize ? buffer.size() : kCrcBlockSize;
  byteCount = 0;
  for (;;) {
    ssize_t got = ::read(file.get(), buffer.data(), block);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::system_error(errno, std::generic_category(), "read of " + fileName);
    }
    if (got == 0) {
      break;
    }
    UpdateCRC32(buffer.data(), static_cast<std::uint16_t>(got), crc);
    byteCount += static_cast<std::uint32_t>(got);
  }
  return ~crc;
}
