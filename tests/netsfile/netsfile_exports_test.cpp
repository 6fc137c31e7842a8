// The networks file as a client meets it: through tovamod_init and the
// networks-file exports, with files that are no regular file and with folders
// that cannot be written.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <map>

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

// Every entry below root by its relative path: a link by its target, a regular
// file by its bytes, anything else by its kind.
void Snapshot(const fs::path& root, const fs::path& folder, std::map<std::string, std::string>& entries) {
    for (const auto& e : fs::directory_iterator(folder)) {
        const fs::path& p = e.path();
        std::string& what = entries[p.lexically_relative(root).string()];
        const fs::file_status st = fs::symlink_status(p);
        if (fs::is_symlink(st)) {
            what = "link to " + fs::read_symlink(p).string();
        } else if (fs::is_regular_file(st)) {
            what = "file " + ReadFile(p);
        } else if (fs::is_directory(st)) {
            what = "folder";
            Snapshot(root, p, entries);
        } else {
            what = "other";
        }
    }
}

std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    Snapshot(root, root, entries);
    return entries;
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
        {"dangling link", [](const fs::path& p) { fs::create_symlink("gone/Z5NETS.XML", p); }},
        {"link loop", [](const fs::path& p) { fs::create_symlink(p.filename(), p); }},
        {"link to a folder", [](const fs::path& p) { fs::create_symlink(p.parent_path(), p); }},
        {"link to a fifo",
         [](const fs::path& p) {
             ASSERT_EQ(::mkfifo((p.string() + ".fifo").c_str(), 0666), 0);
             fs::create_symlink(p.filename().string() + ".fifo", p);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path nets = dir.file("Z5NETS.XML");
        c.make(nets);
        const std::map<std::string, std::string> before = Snapshot(dir.program());
        EXPECT_EQ(RunInChild([] { return tovamod_init() == -1 && tovamod_uninit() == -1 ? 0 : 1; }, true), 0);
        std::map<std::string, std::string> after = Snapshot(dir.program());
        after.erase("Z5NETS.DTD");
        EXPECT_EQ(after, before) << "what stands there stays";
        for (const auto& e : fs::directory_iterator(dir.program())) fs::remove_all(e.path());
        EXPECT_EQ(RunInChild([] { return tovamod_init() == 0 && ActiveIs(nullptr) == 0 && tovamod_uninit() == 0 ? 0 : 1; }, true), 0);
        for (const auto& e : fs::directory_iterator(dir.program())) fs::remove_all(e.path());
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

namespace {

// Saves kSaved through the export in a child: 0 when the save took and the
// library reads it back, else which step failed.
int SaveTakes() {
    if (tovamod_init() != 0) return 1;
    if (ActiveIs(u"Halle") != 0) return 2;
    TZ5_HardLock_Networks* tree = BuildTree(kSaved);
    tovamod_SetZ5NetsFileStructure(tree);
    z5_nets_free(tree);
    if (ActiveIs(u"Keller") != 0) return 3;
    if (tovamod_uninit() != 0) return 4;
    if (tovamod_init() != 0) return 5;
    TZ5_HardLock_Networks* copy = tovamod_GetZ5NetsFileStructure();
    const bool saved = Describe(copy) == kSaved;
    return saved && tovamod_uninit() == 0 ? 0 : 6;
}

// As SaveTakes, for a save that must fail: the library keeps the tree it had.
int SaveFails() {
    if (tovamod_init() != 0) return 1;
    if (ActiveIs(u"Halle") != 0) return 2;
    TZ5_HardLock_Networks* tree = BuildTree(kSaved);
    tovamod_SetZ5NetsFileStructure(tree);
    z5_nets_free(tree);
    if (ActiveIs(u"Halle") != 0) return 3;
    TZ5_HardLock_Networks* copy = tovamod_GetZ5NetsFileStructure();
    if (!copy || !copy->First || copy->First->PK != 4 || copy->First->Next) return 4;
    return tovamod_uninit() == 0 ? 0 : 5;
}

}  // namespace

// A networks file or backup that is a link is read and saved through it: the
// file it leads to gets the new document, the backup lands beside that file,
// and every link stays a link.
TEST_F(NetsFileExports, SavesThroughLinksToTheFilesTheyLeadTo) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> links;  // in the program folder: name -> target
        const char* nets;                          // where the document is, below root
        const char* backup;                        // where the backup lands, below root
    };
    const Case cases[] = {
        {"relative link", {{"Z5NETS.XML", "../shared/site.xml"}}, "shared/site.xml", "shared/Z5NETS.BAK"},
        {"link to a link",
         {{"Z5NETS.XML", (dir.root() / "shared/current").string()}, {"../shared/current", "site.xml"}},
         "shared/site.xml", "shared/Z5NETS.BAK"},
        {"backup link", {{"Z5NETS.BAK", "../shared/old.bak"}}, "prog/Z5NETS.XML", "shared/old.bak"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(dir.root() / "shared");
        WritableByAll(dir.root() / "shared");
        WriteFile(dir.root() / c.nets, kActive);
        WriteFile(dir.root() / c.backup, "old backup");
        for (const auto& [name, target] : c.links) fs::create_symlink(target, dir.program() / name);

        EXPECT_EQ(RunInChild(SaveTakes), 0);

        for (const auto& [name, target] : c.links) {
            const fs::path link = dir.program() / name;
            EXPECT_TRUE(fs::is_symlink(link)) << name;
            if (fs::is_symlink(link)) {
                EXPECT_EQ(fs::read_symlink(link), target);
            }
        }
        EXPECT_NE(ReadFile(dir.root() / c.nets).find("Keller"), std::string::npos);
        EXPECT_NE(ReadFile(dir.root() / c.backup).find("Halle"), std::string::npos);
        std::set<std::string> names = FilesIn(dir.program());
        for (const auto& e : FilesIn(dir.root() / "shared")) names.insert(e);
        for (const std::string& n : names) EXPECT_EQ(n.find(".tmp"), std::string::npos) << n;

        for (const auto& e : fs::directory_iterator(dir.program())) fs::remove_all(e.path());
        fs::remove_all(dir.root() / "shared");
    }
}

// A save that cannot be made changes nothing: not the file, not the folders,
// not the tree the library holds.
TEST_F(NetsFileExports, FailedSaveLeavesFilesAndTreeAsTheyWere) {
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"folder named like the backup", [&] { fs::create_directory(dir.file("Z5NETS.BAK")); }},
        {"backup link that leads nowhere", [&] { fs::create_symlink("gone/Z5NETS.BAK", dir.file("Z5NETS.BAK")); }},
        {"backup link to a fifo",
         [&] {
             ASSERT_EQ(::mkfifo((dir.root() / "pipe").c_str(), 0666), 0);
             fs::create_symlink("../pipe", dir.file("Z5NETS.BAK"));
         }},
        {"link into a read-only folder",
         [&] {
             fs::remove(dir.file("Z5NETS.XML"));
             fs::create_directories(dir.root() / "shared");
             WriteFile(dir.root() / "shared/site.xml", kActive);
             fs::permissions(dir.root() / "shared/site.xml", fs::perms::all);
             ReadOnly(dir.root() / "shared");
             fs::create_symlink("../shared/site.xml", dir.file("Z5NETS.XML"));
         }},
        {"read-only folder and no configuration folder",
         [&] {
             ::setenv("XDG_CONFIG_HOME", (dir.program() / "none").c_str(), 1);
             ReadOnly(dir.program());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir.file("Z5NETS.XML"), kActive);
        WriteFile(dir.file("Z5NETS.DTD"), "own");
        c.make();
        const std::map<std::string, std::string> before = Snapshot(dir.root());

        EXPECT_EQ(RunInChild(SaveFails, true), 0);

        EXPECT_EQ(Snapshot(dir.root()), before);
        ::setenv("XDG_CONFIG_HOME", dir.config().c_str(), 1);
        WritableByAll(dir.program());
        if (fs::exists(dir.root() / "shared")) WritableByAll(dir.root() / "shared");
        for (const auto& e : fs::directory_iterator(dir.program())) fs::remove_all(e.path());
        for (const char* extra : {"shared", "pipe"}) fs::remove_all(dir.root() / extra);
    }
}

// Under a file-size limit that neither the document type nor the backup fits,
// the library starts and the save fails, and the process goes on (no SIGXFSZ)
// with no temporary file left.
TEST_F(NetsFileExports, FileSizeLimitLeavesNoTemporaryFile) {
    WriteFile(dir.file("Z5NETS.XML"), kActive);
    EXPECT_EQ(RunInChild([] {
                  ::signal(SIGXFSZ, SIG_DFL);
                  rlimit limit{};
                  ::getrlimit(RLIMIT_FSIZE, &limit);
                  limit.rlim_cur = 256;
                  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
                  return SaveFails();
              }),
              0);
    EXPECT_EQ(FilesIn(dir.program()), std::set<std::string>{"Z5NETS.XML"});
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.XML")), kActive);
}
