#include "crc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::uint32_t OneShot(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto n = static_cast<std::uint16_t>(std::min<std::size_t>(0xFFFF, bytes.size() - at));
    UpdateCRC32(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), n, crc);
    at += n;
  }
  return ~crc;
}

TEST(UpdateCRC32, KnownValues) {
  const struct {
    std::string bytes;
    std::uint32_t crc;
  } cases[] = {
      {"", 0x00000000u},
      {"123456789", 0xCBF43926u},
      {"a", 0xE8B7BE43u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(32, '\0'), 0x190A55ADu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OneShot(c.bytes), c.crc) << c.bytes;
  }
}

TEST(UpdateCRC32, RunsOnAcrossCallsAndIgnoresLengthZero) {
  const std::string text = "123456789";
  std::uint32_t crc = 0xFFFFFFFFu;
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  UpdateCRC32(p, 4, crc);
  UpdateCRC32(p + 4, 0, crc);
  UpdateCRC32(p + 4, 5, crc);
  EXPECT_EQ(~crc, 0xCBF43926u);
}

class CalcFileCRC32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kavrel_crc_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  std::filesystem::path dir_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(65536);
};

TEST_F(CalcFileCRC32Test, FilesOfOneAndOfSeveralBlocks) {
  std::string big(3 * kCrcBlockSize + 1234, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) {
    big[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {{"empty", ""}, {"check", "123456789"}, {"big", big}, {"block", big.substr(0, kCrcBlockSize)}};
  for (const auto& c : cases) {
    std::uint32_t count = 77;
    std::int32_t io = 77;
    EXPECT_EQ(CalcFileCRC32(Write(c.name, c.bytes), buffer_, count, io), OneShot(c.bytes)) << c.name;
    EXPECT_EQ(count, c.bytes.size()) << c.name;
    EXPECT_EQ(io, 0) << c.name;
  }
  EXPECT_EQ(OneShot("123456789"), 0xCBF43926u);
}

TEST_F(CalcFileCRC32Test, SmallBufferGivesTheSameValue) {
  const std::string bytes(100000, 'x');
  const std::string path = Write("x", bytes);
  std::vector<std::uint8_t> small(1000);
  std::uint32_t count = 0;
  std::int32_t io = 0;
  EXPECT_EQ(CalcFileCRC32(path, small, count, io), OneShot(bytes));
  EXPECT_EQ(count, 100000u);
}

TEST_F(CalcFileCRC32Test, FailedOpenGivesZeroAndLeavesTheCount) {
  std::vector<std::pair<std::string, int>> cases = {{(dir_ / "missing").string(), ENOENT},
                                                    {dir_.string(), EISDIR}};
  if (::geteuid() != 0) {  // root reads any file
    const std::string locked = Write("locked", "abc");
    ::chmod(locked.c_str(), 0);
    cases.emplace_back(locked, EACCES);
  }
  for (const auto& [path, error] : cases) {
    std::uint32_t count = 4711;
    std::int32_t io = 0;
    EXPECT_EQ(CalcFileCRC32(path, buffer_, count, io), 0u) << path;
    EXPECT_EQ(count, 4711u) << path;
    EXPECT_EQ(io, error) << path;
  }
}

TEST_F(CalcFileCRC32Test, ReadErrorThrows) {
  // Reading a process's memory at address 0 fails with an I/O error.
  std::uint32_t count = 0;
  std::int32_t io = 0;
  EXPECT_THROW(CalcFileCRC32("/proc/self/mem", buffer_, count, io), std::system_error);
  EXPECT_EQ(io, 0);
}

}  // namespace
