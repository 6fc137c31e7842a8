#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include <pugixml.hpp>

#include "netsfile_support.h"
#include "uZ5NetsFileController.h"

using namespace netstest;

namespace {

// Layout on this (64-bit) build: the field order of the 32-bit design, pointers 8 bytes.
static_assert(offsetof(TZ5_HardLock_Networks, PasswordIsActivated) == 8);
static_assert(offsetof(TZ5_HardLock_Networks, First) == 16);
static_assert(offsetof(TZ5_HardLock_Network, isQuickLock) == 1);
static_assert(offsetof(TZ5_HardLock_Network, Date) == 8);
static_assert(offsetof(TZ5_HardLock_Network, PK) == 24);
static_assert(offsetof(TZ5_HardLock_Network, Next) == 40);
static_assert(offsetof(TZ5_HardLock_Device, WChannel) == 16);
static_assert(offsetof(TZ5_HardLock_Device, Sensors) == 32);
static_assert(offsetof(TZ5_HardLock_Sensor, Next) == 16);

const std::string kGoldenDtd =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!ELEMENT Document (Networks+)>\r\n"
    "<!ELEMENT Networks (Network*)>\r\n"
    "<!ELEMENT Network (Hardwares+)>\r\n"
    "<!ELEMENT Hardwares (Hardware*)>\r\n"
    "<!ELEMENT Hardware (Sensors+)>\r\n"
    "<!ELEMENT Sensors (Sensor*)>\r\n"
    "<!ELEMENT Sensor EMPTY>\r\n"
    "<!ATTLIST Document Version CDATA #REQUIRED >\r\n"
    "<!ATTLIST Document Password CDATA #REQUIRED >\r\n"
    "<!ATTLIST Document PasswordIsActivated CDATA >\r\n"
    "<!ATTLIST Document Internal_Version CDATA #REQUIRED >\r\n"
    "<!ATTLIST Networks Quantity CDATA #REQUIRED>\r\n"
    "<!ATTLIST Network PK CDATA #REQUIRED>\r\n"
    "<!ATTLIST Network isQuickLock CDATA #REQUIRED>\r\n"
    "<!ATTLIST Network Description CDATA #REQUIRED>\r\n"
    "<!ATTLIST Network Date CDATA #REQUIRED>\r\n"
    "<!ATTLIST Network Activated CDATA #REQUIRED>\r\n"
    "<!ATTLIST Hardwares Quantity CDATA #REQUIRED>\r\n"
    "<!ATTLIST Hardware MAC_ID CDATA #REQUIRED>\r\n"
    "<!ATTLIST Hardware Type CDATA #REQUIRED>\r\n"
    "<!ATTLIST Hardware WChannel CDATA #REQUIRED>\r\n"
    "<!ATTLIST Sensors Quantity CDATA #REQUIRED>\r\n"
    "<!ATTLIST Sensor MAC_ID CDATA #REQUIRED>\r\n"
    "<!ATTLIST Sensor Type CDATA #REQUIRED>\r\n";

const std::string kGoldenEmpty =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!DOCTYPE ns:qvl001 SYSTEM \"Z5Nets.dtd\" >\r\n"
    "<Document Internal_Version=\"2.0.0\" Version=\"1\" Password=\"\">\r\n"
    "<Networks Quantity=\"0\">\r\n"
    "</Networks>\r\n"
    "</Document>\r\n";

const std::string kDocAttrs = R"(Internal_Version="2.0.0" Version="1" Password="")";

// An inactive network and an active one with two radio bases.
const std::string kMembers = NetsFile(R"(Internal_Version="2.0.0" Version="3" Password="Sesam" PasswordIsActivated="true")",
    R"(<Networks Quantity="2">
<Network PK="10" Activated="False" isQuickLock="True" Date="3.4.2021" Description="Lager">
 <Hardwares Quantity="1">
  <Hardware Type="RTUU" MAC_ID="1111AAAA2222BBBB" WChannel="4">
   <Sensors Quantity="1"><Sensor Type="RTCU" MAC_ID="3333CCCC4444DDDD"/></Sensors>
  </Hardware>
 </Hardwares>
</Network>
<!-- the active one -->
<Network PK="11" Activated="True" Date="5.6.2022" Description="Labor S&#252;d">
 <Hardwares Quantity="2">
  <Hardware Type="RTUU" MAC_ID="00A1B2C3D4E5F601" WChannel="11">
   <Sensors Quantity="2"><Sensor Type="RTCU" MAC_ID="00A1B2C3D4E5F6AA"/><Sensor Type="RCU" MAC_ID="00A1B2C3D4E5F6BB"/></Sensors>
  </Hardware>
  <Hardware Type="RTUU" MAC_ID="00A1B2C3D4E5F602" WChannel="-1"><Sensors Quantity="0"></Sensors></Hardware>
 </Hardwares>
</Network>
</Networks>
)");

const TreeValue kMembersTree{
    u"Sesam", true,
    {{10, false, true, u"3.4.2021", u"Lager",
      {{u"RTUU", u"1111AAAA2222BBBB", 4, {{u"RTCU", u"3333CCCC4444DDDD"}}}}},
     {11, true, false, u"5.6.2022", u"Labor S\u00fcd",
      {{u"RTUU", u"00A1B2C3D4E5F601", 11, {{u"RTCU", u"00A1B2C3D4E5F6AA"}, {u"RCU", u"00A1B2C3D4E5F6BB"}}},
       {u"RTUU", u"00A1B2C3D4E5F602", -1, {}}}}}};

std::string Network(int pk, const std::string& activated, const std::string& description, const std::string& mac,
                    int wchannel) {
    return "<Network PK=\"" + std::to_string(pk) + "\" Activated=\"" + activated +
           "\" isQuickLock=\"False\" Date=\"1.1.2020\" Description=\"" + description +
           "\"><Hardwares Quantity=\"1\"><Hardware Type=\"RTUU\" MAC_ID=\"" + mac + "\" WChannel=\"" +
           std::to_string(wchannel) + "\"><Sensors Quantity=\"0\"/></Hardware></Hardwares></Network>\r\n";
}

std::string Networks(const std::string& body) { return NetsFile(kDocAttrs, "<Networks>\r\n" + body + "</Networks>\r\n"); }

TreeValue CopyOf(TZ5NetsFileController& ctl) {
    TZ5_HardLock_Networks* copy = ctl.GetNetworksCopy();
    TreeValue value = Describe(copy);
    z5_nets_free(copy);
    return value;
}

void Save(TZ5NetsFileController& ctl, const TreeValue& value) {
    TZ5_HardLock_Networks* tree = BuildTree(value);
    ctl.SaveNetworks(tree);
    z5_nets_free(tree);
}

// One radio base with many sensor units, so that a file takes a while to write.
TreeValue LargeTree(const std::u16string& description, int sensors) {
    DeviceValue base{u"RTUU", u"00A1B2C3D4E5F601", 11, {}};
    for (int i = 0; i < sensors; ++i) {
        std::string mac = "0000000000" + std::to_string(100000 + i);
        base.sensors.push_back({u"RTCU", z5::Utf8ToUtf16(mac)});
    }
    return TreeValue{u"", false, {{1, true, false, u"1.1.2024", description, {base}}}};
}

}  // namespace

// ---- the two files written at start --------------------------------------

TEST(NetsFileInit, WritesDocumentTypeAndEmptyFileByteForByte) {
    ScratchFolder dir;
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.DTD")), kGoldenDtd);
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.XML")), kGoldenEmpty);
    EXPECT_EQ(CopyOf(ctl), TreeValue{});
}

TEST(NetsFileInit, WritesOnlyTheMissingFiles) {
    ScratchFolder dir;
    WriteFile(dir.file("Z5NETS.XML"), kMembers);
    {
        TZ5NetsFileController ctl;
        ctl.InitNetworksFile();
    }
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.DTD")), kGoldenDtd);
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.XML")), kMembers);
    WriteFile(dir.file("Z5NETS.DTD"), "own\n");
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.DTD")), "own\n");
    EXPECT_EQ(FilesIn(dir.program()), (std::set<std::string>{"Z5NETS.DTD", "Z5NETS.XML"}));
}

// ---- loading and the questions of the scan --------------------------------

struct MacQuery {
    const char* mac;
    bool inActive;
    int32_t wchannel;
};
struct AdmitQuery {
    const char* sensor;
    const char* hardware;
    bool admitted;
};
struct FileCase {
    std::string name;
    std::optional<std::string> xml;  // nullopt: no networks file
    bool loadFails = false;
    std::optional<std::u16string> active;  // description of the active network
    std::vector<MacQuery> macs;
    std::vector<AdmitQuery> admits;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

const std::vector<MacQuery> kAnyMacIsIn = {{"00A1B2C3D4E5F601", true, -1}, {"anything", true, -1}};
const std::vector<AdmitQuery> kAnySensorIsAdmitted = {{"00A1B2C3D4E5F6AA", "00A1B2C3D4E5F601", true}};

FileCase BooleanCase(const std::string& name, const std::string& text, bool set) {
    FileCase c{name, Networks(Network(1, text, "Netz", "AAAA000000000001", 12)), false, std::nullopt, {}, {}};
    if (set) {
        c.active = u"Netz";
        c.macs = {{"AAAA000000000001", true, 12}, {"BBBB000000000002", false, -1}};
    } else {
        c.macs = {{"BBBB000000000002", true, -1}};
    }
    return c;
}

FileCase Fails(const std::string& name, const std::string& xml) {
    return FileCase{name, xml, true, std::nullopt, {}, {}};
}

std::vector<FileCase> FileCases() {
    std::vector<FileCase> cases = {
        {"no_file", std::nullopt, false, std::nullopt, kAnyMacIsIn, kAnySensorIsAdmitted},
        {"no_networks", NetsFile(kDocAttrs, ""), false, std::nullopt, kAnyMacIsIn, kAnySensorIsAdmitted},
        {"two_active_later_wins",
         Networks(Network(1, "True", "Erstes", "1111111111111111", 3) + Network(2, "True", "Zweites", "2222222222222222", 7) +
                  Network(3, "False", "Drittes", "3333333333333333", 9)),
         false, u"Zweites",
         {{"2222222222222222", true, 7}, {"1111111111111111", false, -1}, {"3333333333333333", false, -1}}, {}},
        BooleanCase("activated_lower_case_true", "true", true),
        BooleanCase("activated_digit_one", "1", true),
        BooleanCase("activated_digit_zero", "0", true),
        BooleanCase("activated_other_text", "ja", true),
        BooleanCase("activated_mixed_case_false", "fAlSe", false),
        {"members",
         kMembers,
         false,
         u"Labor S\u00fcd",
         {{"00A1B2C3D4E5F601", true, 11},      // radio base: its channel
          {"00A1B2C3D4E5F6BB", true, -1},      // sensor unit
          {"1111AAAA2222BBBB", false, -1},     // base only in the inactive network
          {"3333CCCC4444DDDD", false, -1},     // sensor only in the inactive network
          {"00a1b2c3d4e5f601", false, -1},     // other letter case
          {"00A1B2C3D4E5F6aa", false, -1}},
         {{"00A1B2C3D4E5F6AA", "00A1B2C3D4E5F601", true},
          {"00A1B2C3D4E5F6AA", "00A1B2C3D4E5F602", false},  // listed under another base
          {"3333CCCC4444DDDD", "1111AAAA2222BBBB", false},  // inactive network
          {"00a1b2c3d4e5f6aa", "00A1B2C3D4E5F601", false}}},
        Fails("bad_pk", Networks(R"(<Network PK="1x" Activated="True" Date="" Description="d"><Hardwares/></Network>)")),
        Fails("bad_wchannel", Networks(R"(<Network PK="1" Activated="True" Date="" Description="d"><Hardwares>)"
                                       R"(<Hardware Type="RTUU" MAC_ID="A" WChannel="vier"><Sensors/></Hardware></Hardwares></Network>)")),
        Fails("missing_activated", Networks(R"(<Network PK="1" Date="" Description="d"><Hardwares/></Network>)")),
        Fails("missing_password", NetsFile(R"(Version="1" Internal_Version="2.0.0")", "<Networks/>")),
        Fails("no_document", "<?xml version=\"1.0\"?>\r\n<Dokument Password=\"\"><Networks/></Dokument>\r\n"),
        Fails("network_without_children", Networks(R"(<Network PK="1" Activated="True" Date="" Description="d"/>)")),
        Fails("hardware_without_children", Networks(R"(<Network PK="1" Activated="True" Date="" Description="d"><Hardwares>)"
                                                    R"(<Hardware Type="RTUU" MAC_ID="A" WChannel="4"/></Hardwares></Network>)")),
        Fails("not_xml", "<?xml version=\"1.0\"?>\r\n<Document Password=\"\"><Networks>"),
    };
    return cases;
}

class NetsFileCases : public ::testing::TestWithParam<FileCase> {};

TEST_P(NetsFileCases, LoadsAndAnswers) {
    const FileCase& c = GetParam();
    ScratchFolder dir;
    if (c.xml) WriteFile(dir.file("Z5NETS.XML"), *c.xml);
    TZ5NetsFileController ctl;
    if (c.loadFails) {
        EXPECT_THROW(ctl.InitNetworksFile(), EZ5NetsFileError);
        return;
    }
    ASSERT_NO_THROW(ctl.InitNetworksFile());
    EXPECT_TRUE(ctl.Changed());
    EXPECT_FALSE(ctl.Changed());

    uint8_t exists = 7;
    std::u16string description = u"stale";
    ctl.GetDescriptionActiveNet(exists, description);
    EXPECT_EQ(exists, c.active ? 1 : 0);
    EXPECT_EQ(description, c.active.value_or(u""));

    for (const MacQuery& q : c.macs) {
        int32_t wchannel = 99;
        EXPECT_EQ(ctl.IsMACInActiveNet(q.mac, wchannel), q.inActive) << q.mac;
        EXPECT_EQ(wchannel, q.wchannel) << q.mac;
    }
    for (const AdmitQuery& q : c.admits)
        EXPECT_EQ(ctl.IsSensorOfHardware(q.sensor, q.hardware), q.admitted) << q.sensor << " at " << q.hardware;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NetsFileCases, ::testing::ValuesIn(FileCases()),
                         [](const auto& info) { return info.param.name; });

TEST(NetsFileLoad, ReadsEveryFieldInFileOrderIntoIndependentCopies) {
    ScratchFolder dir;
    WriteFile(dir.file("Z5NETS.XML"), kMembers);
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();
    TZ5_HardLock_Networks* first = ctl.GetNetworksCopy();
    TZ5_HardLock_Networks* second = ctl.GetNetworksCopy();
    EXPECT_EQ(Describe(first), kMembersTree);
    TZ5NetsFileController::FreeNetworks(first);
    EXPECT_EQ(first, nullptr);
    TZ5NetsFileController::FreeNetworks(first);
    EXPECT_EQ(Describe(second), kMembersTree);
    z5_nets_free(second);
}

// ---- saving -----------------------------------------------------------------

class NetsFileSave : public ::testing::Test {
protected:
    ScratchFolder dir;

    pugi::xml_node Load(pugi::xml_document& doc, const char* name) {
        EXPECT_TRUE(doc.load_file(dir.file(name).c_str(), pugi::parse_default | pugi::parse_comments)) << name;
        return doc.child("Document");
    }
};

std::vector<std::string> AttributeNames(pugi::xml_node node) {
    std::vector<std::string> names;
    for (pugi::xml_attribute a : node.attributes()) names.push_back(a.name());
    return names;
}

std::vector<std::string> Quantities(pugi::xml_node list) {
    std::vector<std::string> q;
    for (pugi::xml_node n : list.children()) q.push_back(n.first_child().attribute("Quantity").value());
    return q;
}

TEST_F(NetsFileSave, RoundTripKeepsOrderCountsVersionsAndBacksUpThePreviousDocument) {
    WriteFile(dir.file("Z5NETS.XML"),
              NetsFile(R"(Internal_Version="2.0.0" Version="7" Password="alt")",
                       "<Networks Quantity=\"1\">\r\n" + Network(5, "1", "Alt", "5555555555555555", 2) + "</Networks>\r\n"));
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();

    // Saving the loaded tree unchanged writes the set Boolean "1" back as "True".
    Save(ctl, CopyOf(ctl));
    {
        pugi::xml_document bak, xml;
        pugi::xml_node b = Load(bak, "Z5NETS.BAK");
        EXPECT_STREQ(b.child("Networks").child("Network").attribute("Activated").value(), "1");
        pugi::xml_node x = Load(xml, "Z5NETS.XML");
        EXPECT_STREQ(x.child("Networks").child("Network").attribute("Activated").value(), "True");
        EXPECT_STREQ(x.attribute("PasswordIsActivated").value(), "False");
    }

    const TreeValue saved{
        u"neu", true,
        {{1, false, true, u"2.3.2024", u"Keller", {{u"RTUU", u"0000000000000001", 5, {}}}},
         {2, true, false, u"4.5.2024", u"S\u00fcd \u2013 Halle",
          {{u"RTUU", u"0000000000000002", 6, {{u"RTCU", u"00000000000000A1"}, {u"RCU", u"00000000000000A2"}}},
           {u"RTUU", u"0000000000000003", 7, {{u"RTCU", u"00000000000000A3"}}}}},
         {-3, false, false, u"", u"Leer", {}}}};
    ctl.Changed();
    Save(ctl, saved);
    EXPECT_TRUE(ctl.Changed());
    EXPECT_EQ(CopyOf(ctl), saved);
    uint8_t exists = 0;
    std::u16string description;
    ctl.GetDescriptionActiveNet(exists, description);
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(description, u"S\u00fcd \u2013 Halle");

    pugi::xml_document xml;
    pugi::xml_node doc = Load(xml, "Z5NETS.XML");
    EXPECT_STREQ(doc.attribute("Version").value(), "7");
    EXPECT_STREQ(doc.attribute("Internal_Version").value(), "2.0.0");
    EXPECT_STREQ(doc.attribute("Password").value(), "neu");
    EXPECT_STREQ(doc.attribute("PasswordIsActivated").value(), "True");
    pugi::xml_node networks = doc.child("Networks");
    EXPECT_STREQ(networks.attribute("Quantity").value(), "3");
    EXPECT_EQ(Quantities(networks), (std::vector<std::string>{"1", "2", "0"}));
    pugi::xml_node second = networks.first_child().next_sibling();
    EXPECT_EQ(Quantities(second.child("Hardwares")), (std::vector<std::string>{"2", "1"}));
    EXPECT_STREQ(networks.first_child().child("Hardwares").first_child().child("Sensors").attribute("Quantity").value(), "0");
    EXPECT_EQ(AttributeNames(second), (std::vector<std::string>{"PK", "Activated", "isQuickLock", "Date", "Description"}));
    pugi::xml_node hardware = second.child("Hardwares").first_child();
    EXPECT_EQ(AttributeNames(hardware), (std::vector<std::string>{"Type", "MAC_ID", "WChannel"}));
    EXPECT_EQ(AttributeNames(hardware.child("Sensors").first_child()), (std::vector<std::string>{"Type", "MAC_ID"}));

    // The backup holds the document before this save, not the original file.
    pugi::xml_document bak;
    pugi::xml_node b = Load(bak, "Z5NETS.BAK");
    EXPECT_STREQ(b.attribute("Password").value(), "alt");
    EXPECT_STREQ(b.child("Networks").child("Network").attribute("Activated").value(), "True");

    TZ5NetsFileController reloaded;
    reloaded.InitNetworksFile();
    EXPECT_EQ(CopyOf(reloaded), saved);
}

TEST_F(NetsFileSave, ReplacesTheFirstNetworksElementInPlace) {
    WriteFile(dir.file("Z5NETS.XML"),
              NetsFile(kDocAttrs, "<Networks Quantity=\"1\">" + Network(1, "True", "Eins", "1111111111111111", 1) +
                                      "</Networks>\r\n<!-- keep -->\r\n<Networks Quantity=\"1\">" +
                                      Network(2, "True", "Zwei", "2222222222222222", 2) + "</Networks>\r\n"));
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();
    const TreeValue saved{u"", false, {{9, true, false, u"9.9.2029", u"Neu", {}}}};
    Save(ctl, saved);

    pugi::xml_document xml;
    pugi::xml_node doc = Load(xml, "Z5NETS.XML");
    std::vector<std::string> children;
    for (pugi::xml_node c : doc.children()) children.push_back(c.type() == pugi::node_comment ? "#comment" : c.name());
    EXPECT_EQ(children, (std::vector<std::string>{"Networks", "#comment", "Networks"}));
    EXPECT_STREQ(doc.first_child().child("Network").attribute("Description").value(), "Neu");
    EXPECT_STREQ(doc.last_child().child("Network").attribute("Description").value(), "Zwei");

    TZ5NetsFileController reloaded;
    reloaded.InitNetworksFile();
    EXPECT_EQ(CopyOf(reloaded), saved);
}

TEST_F(NetsFileSave, NilTreeDoesNothing) {
    WriteFile(dir.file("Z5NETS.XML"), kMembers);
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();
    ctl.Changed();
    ctl.SaveNetworks(nullptr);
    EXPECT_FALSE(ctl.Changed());
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.XML")), kMembers);
    EXPECT_FALSE(fs::exists(dir.file("Z5NETS.BAK")));
    EXPECT_EQ(CopyOf(ctl), kMembersTree);
}

// A full disk while the networks file is written: the save fails, the file
// and the tree in memory stay as they were, no temporary file is left.
TEST_F(NetsFileSave, FailedWriteLeavesTheOldFileAndTree) {
    WriteFile(dir.file("Z5NETS.XML"), kMembers);
    const TreeValue large = LargeTree(u"gross", 400);
    int rc = RunInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 8192;  // room for the old document, not for the new one
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
        TZ5NetsFileController ctl;
        ctl.InitNetworksFile();
        int result = 0;
        try {
            Save(ctl, large);
            result |= 2;
        } catch (const EZ5NetsFileError&) {
        }
        if (CopyOf(ctl) != kMembersTree) result |= 4;
        int32_t wchannel = 0;
        if (!ctl.IsMACInActiveNet("00A1B2C3D4E5F6BB", wchannel)) result |= 8;
        return result;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(dir.file("Z5NETS.XML")), kMembers);
    EXPECT_EQ(FilesIn(dir.program()), (std::set<std::string>{"Z5NETS.DTD", "Z5NETS.XML", "Z5NETS.BAK"}));
}

// A process killed at any moment of a save leaves a whole networks file.
TEST_F(NetsFileSave, KilledMidSaveLeavesAWholeFile) {
    const TreeValue a = LargeTree(u"A", 1500), b = LargeTree(u"B", 1700);
    {
        TZ5NetsFileController ctl;
        ctl.InitNetworksFile();
    }
    int sawSaved = 0;
    for (int round = 0; round < 12; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            try {
                TZ5NetsFileController ctl;
                ctl.InitNetworksFile();
                TZ5_HardLock_Networks* ta = BuildTree(a);
                TZ5_HardLock_Networks* tb = BuildTree(b);
                ctl.SaveNetworks(ta);
                const char one = 1;  // one whole save is on disk: the kill may come
                if (::write(ready[1], &one, 1) != 1) ::_exit(4);
                for (;;) {
                    ctl.SaveNetworks(tb);
                    ctl.SaveNetworks(ta);
                }
            } catch (...) {
            }
            ::_exit(3);
        }
        ::close(ready[1]);
        char byte = 0;
        const bool saved = ::read(ready[0], &byte, 1) == 1;  // however slow the machine is
        ::close(ready[0]);
        if (saved) std::this_thread::sleep_for(std::chrono::milliseconds(1 + 7 * round));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "saver ended early, round " << round;

        TZ5NetsFileController ctl;
        ASSERT_NO_THROW(ctl.InitNetworksFile()) << "round " << round;
        TreeValue now = CopyOf(ctl);
        EXPECT_TRUE(now == a || now == b || now == TreeValue{}) << "round " << round;
        if (now != TreeValue{}) ++sawSaved;
        if (fs::exists(dir.file("Z5NETS.BAK"))) {
            pugi::xml_document bak;
            EXPECT_TRUE(bak.load_file(dir.file("Z5NETS.BAK").c_str())) << "round " << round;
        }
    }
    EXPECT_GT(sawSaved, 0);
}

// ---- where the files live ---------------------------------------------------

TEST(NetsFileFolder, WritableProgramFolderHoldsTheFiles) {
    ScratchFolder dir;
    TZ5NetsFileController ctl;
    ctl.InitNetworksFile();
    Save(ctl, kMembersTree);
    EXPECT_EQ(FilesIn(dir.program()), (std::set<std::string>{"Z5NETS.DTD", "Z5NETS.XML", "Z5NETS.BAK"}));
    EXPECT_FALSE(fs::exists(dir.userData() / "Z5NETS.XML"));
}

// A client run from a folder it cannot write (a script started from /usr/bin):
// the files are read from and written to the user's configuration folder.
TEST(NetsFileFolder, UnwritableProgramFolderUsesTheUserConfigFolder) {
    ScratchFolder dir;
    fs::create_directories(dir.userData());
    WriteFile(dir.userData() / "Z5NETS.XML", kMembers);
    const auto all = fs::perms::all;
    fs::permissions(dir.root(), all & ~fs::perms::group_write & ~fs::perms::others_write);
    fs::permissions(dir.config(), all);
    fs::permissions(dir.userData(), all);
    fs::permissions(dir.userData() / "Z5NETS.XML", fs::perms::owner_read | fs::perms::owner_write |
                                                     fs::perms::group_read | fs::perms::group_write |
                                                     fs::perms::others_read | fs::perms::others_write);
    fs::permissions(dir.program(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    int rc = RunInChild([&] {
        TZ5NetsFileController ctl;
        ctl.InitNetworksFile();
        int32_t wchannel = 0;
        if (!ctl.IsMACInActiveNet("00A1B2C3D4E5F601", wchannel) || wchannel != 11) return 2;
        Save(ctl, kMembersTree);
        return 0;
    }, true);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(fs::is_empty(dir.program()));
    EXPECT_EQ(FilesIn(dir.userData()), (std::set<std::string>{"Z5NETS.DTD", "Z5NETS.XML", "Z5NETS.BAK"}));
    EXPECT_EQ(ReadFile(dir.userData() / "Z5NETS.DTD"), kGoldenDtd);
}
