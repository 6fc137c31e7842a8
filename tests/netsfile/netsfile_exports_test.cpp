// The networks file as a client meets it: through tovamod_init and the
// networks-file exports, with files that are no regular file and with folders
// that cannot be written.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "netsfile_support.h"

using namespace netstest;

namespace {

const std::string kActive = NetsFile(R"(Internal_Version="2.0.0" Version="1" Password="")",
    R"(<Networks Quantity="1">
<Network PK="4" Activated="True" isQuickLock="False" Date="1.2.2024" Description="Halle">
 <Hardwares Quantity="1"><Hardware Type="RTUU" MAC_ID="00A1B2C3D4E5F601" WChannel="11"><Sensors Quantity="0"/></Hardware></Hardwares>
</Network>
</Networks>
)");

const TreeValue kSaved{u"", false, {{7, true, false, u"3.4.2025", u"Keller", {{u"RTUU", u"00A1B2C3D4E5F602", 5, {}}}}}};

// 0 when the active network's description is expected (nullptr: none).
int ActiveIs(const char16_t* expected) {
    uint8_t exists = 9;
    z5_char16* description = nullptr;
    tovamod_GetDescriptionActiveNet(&exists, &description);
    const std::u16string text = description ? z5::WideView(description) : std::u16string();
    z5_wstr_free(description);
    if (!expected) return exists == 0 ? 0 : 1;
    return exists == 1 && text == expected ? 0 : 1;
}

// A scratch folder whose program and configuration folders a child running as
// nobody can reach, with an empty device listing.
class NetsFileExports : public ::testing::Test {
protected:
    void SetUp() override {
        const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(dir.root(), open);
        fs::create_directories(dir.root() / "sys");
        ::setenv("ZELTO5_SYSFS_ROOT", (dir.root() / "sys").c_str(), 1);
        WritableByAll(dir.program());
        WritableByAll(dir.config());
    }
    void TearDown() override {
        ::unsetenv("ZELTO5_SYSFS_ROOT");
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dir.root(), ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    static void WritableByAll(const fs::path& p) { fs::permissions(p, fs::perms::all); }
    static void ReadOnly(const fs::path& p) {
        fs::permissions(p, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    }
    void ShipReadOnly(const std::string& xml) {
        WriteFile(dir.file("Z5NETS.XML"), xml);
        fs::permissions(dir.file("Z5NETS.XML"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        ReadOnly(dir.program());
    }

    ScratchFolder dir;
};

}  // namespace

// A networks file that is no regular file fails tovamod_init at once, wherever
// it is read from; once it is gone the library starts.
TEST_F(NetsFileExports, NonRegularNetworksFileFailsInitAtOnce) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }},
        {"socket",
         [](const fs::path& p) {
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un addr{};
             addr.sun_family = AF_UNIX;
             std::strncpy(addr.sun_path, p.c_str(), sizeof addr.sun_path - 1);
             ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
             ::close(s);
         }},
        {"device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path nets = dir.file("Z5NETS.XML");
        c.make(nets);
        EXPECT_EQ(RunInChild([] { return tovamod_init() == -1 && tovamod_uninit() == -1 ? 0 : 1; }, true), 0);
        fs::remove_all(nets);
        EXPECT_EQ(RunInChild([] { return tovamod_init() == 0 && ActiveIs(nullptr) == 0 && tovamod_uninit() == 0 ? 0 : 1; }, true), 0);
        fs::remove_all(nets);
    }
}

// A program folder that cannot be written: its networks file is read, the first
// save goes to the configuration folder, and that one is read from then on.
TEST_F(NetsFileExports, ReadOnlyProgramFolderIsReadUntilTheFirstSave) {
    ShipReadOnly(kActive);
    EXPECT_EQ(RunInChild([] {
                  if (tovamod_init() != 0) return 1;
                  if (ActiveIs(u"Halle") != 0) return 2;
                  TZ5_HardLock_Networks* copy = tovamod_GetZ5NetsFileStructure();
                  if (!copy || !copy->First || copy->First->PK != 4) return 3;
                  return tovamod_uninit() == 0 ? 0 : 4;
              }, true),
              0);
    EXPECT_FALSE(fs::exists(dir.userData() / "Z5NETS.XML")) << "no empty file in place of the shipped one";

    EXPECT_EQ(RunInChild([] {
                  if (tovamod_init() != 0) return 1;
                  TZ5_HardLock_Networks* tree = BuildTree(kSaved);
                  tovamod_SetZ5NetsFileStructure(tree);
                  z5_nets_free(tree);
                  if (ActiveIs(u"Keller") != 0) return 2;
                  return tovamod_uninit() == 0 ? 0 : 3;
              }, true),
              0);
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.XML")), kActive);
    EXPECT_EQ(FilesIn(dir.userData()), (std::set<std::string>{"Z5NETS.DTD", "Z5NETS.XML", "Z5NETS.BAK"}));
    EXPECT_NE(ReadFile(dir.userData() / "Z5NETS.BAK").find("Halle"), std::string::npos) << "backup of the shipped file";

    EXPECT_EQ(RunInChild([] {
                  if (tovamod_init() != 0) return 1;
                  TZ5_HardLock_Networks* copy = tovamod_GetZ5NetsFileStructure();
                  const bool saved = Describe(copy) == kSaved;
                  return saved && tovamod_uninit() == 0 ? 0 : 2;
              }, true),
              0);
}

// Neither folder can be written: the readable file is used all the same; a
// save then changes nothing.
TEST_F(NetsFileExports, UnwritableHomeStillReadsTheProgramFolder) {
    ShipReadOnly(kActive);
    ReadOnly(dir.config());
    EXPECT_EQ(RunInChild([] {
                  if (tovamod_init() != 0) return 1;
                  if (ActiveIs(u"Halle") != 0) return 2;
                  TZ5_HardLock_Networks* tree = BuildTree(kSaved);
                  tovamod_SetZ5NetsFileStructure(tree);
                  z5_nets_free(tree);
                  if (ActiveIs(u"Halle") != 0) return 3;
                  return tovamod_uninit() == 0 ? 0 : 4;
              }, true),
              0);
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.XML")), kActive);
    EXPECT_FALSE(fs::exists(dir.userData()));
}

// No file anywhere and nowhere to write one: the library starts with no network.
TEST_F(NetsFileExports, NoFileAndNoWritableFolderStartsEmpty) {
    ReadOnly(dir.program());
    ReadOnly(dir.config());
    EXPECT_EQ(RunInChild([] {
                  if (tovamod_init() != 0) return 1;
                  if (ActiveIs(nullptr) != 0) return 2;
                  return tovamod_uninit() == 0 ? 0 : 3;
              }, true),
              0);
}
