#include "uZ5NetsFileController.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <system_error>

#include <pugixml.hpp>

#include "z5programdir.h"
#include "z5widestring.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kNetsFile = "Z5NETS.XML";
constexpr const char* kDtdFile = "Z5NETS.DTD";
constexpr const char* kBackupFile = "Z5NETS.BAK";

constexpr std::string_view kDtdText =
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

constexpr std::string_view kEmptyNetsText =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!DOCTYPE ns:qvl001 SYSTEM \"Z5Nets.dtd\" >\r\n"
    "<Document Internal_Version=\"2.0.0\" Version=\"1\" Password=\"\">\r\n"
    "<Networks Quantity=\"0\">\r\n"
    "</Networks>\r\n"
    "</Document>\r\n";

// Keep every node of the file, so that a save writes back what it does not change.
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi;

// ---- records --------------------------------------------------------------

struct TreeDeleter {
    void operator()(TZ5_HardLock_Networks* tree) const { z5_nets_free(tree); }
};
using TreeOwner = std::unique_ptr<TZ5_HardLock_Networks, TreeDeleter>;

template <class T>
T* NewRecord() {
    void* block = std::calloc(1, sizeof(T));
    if (!block) throw std::bad_alloc();
    return static_cast<T*>(block);
}

z5_char16* NewText(std::u16string_view text) {
    z5_char16* s = z5::WideAlloc(text);
    if (!s) throw std::bad_alloc();
    return s;
}

std::u16string_view View(const z5_char16* s) {
    return s ? std::u16string_view(s, z5_wstr_length(s)) : std::u16string_view();
}

// ---- reading --------------------------------------------------------------

[[noreturn]] void LoadFailure(const std::string& what) {
    throw EZ5NetsFileError(std::string(kNetsFile) + ": " + what);
}

pugi::xml_node FirstElement(pugi::xml_node node) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) return c;
    return {};
}

pugi::xml_node NextElement(pugi::xml_node node) {
    for (pugi::xml_node c = node.next_sibling(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) return c;
    return {};
}

const char* Required(pugi::xml_node node, const char* name) {
    pugi::xml_attribute a = node.attribute(name);
    if (!a) LoadFailure(std::string(node.name()) + " without " + name);
    return a.value();
}

z5_char16* RequiredText(pugi::xml_node node, const char* name) {
    return NewText(z5::Utf8ToUtf16(Required(node, name)));
}

// "False" in any letter case is unset; every other text is set.
uint8_t BoolValue(std::string_view text) {
    constexpr std::string_view kFalse = "false";
    if (text.size() != kFalse.size()) return 1;
    for (size_t i = 0; i < text.size(); ++i)
        if ((text[i] | 0x20) != kFalse[i]) return 1;
    return 0;
}

uint8_t OptionalBool(pugi::xml_node node, const char* name) {
    pugi::xml_attribute a = node.attribute(name);
    return a ? BoolValue(a.value()) : 0;
}

int32_t RequiredInt(pugi::xml_node node, const char* name) {
    std::string_view text = Required(node, name);
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        LoadFailure(std::string(node.name()) + " " + name + " \"" + std::string(text) + "\" is not an integer");
    return value;
}

pugi::xml_node FirstChildOf(pugi::xml_node node) {
    pugi::xml_node c = FirstElement(node);
    if (!c) LoadFailure(std::string(node.name()) + " without child element");
    return c;
}

// ---- writing --------------------------------------------------------------

std::string Utf8(const z5_char16* s) { return z5::Utf16ToUtf8(View(s)); }

const char* BoolText(uint8_t value) { return value ? "True" : "False"; }

pugi::xml_node AddChild(pugi::xml_node parent, const char* name) {
    pugi::xml_node c = parent.append_child(name);
    if (!c) throw std::bad_alloc();
    return c;
}

void SetAttribute(pugi::xml_node node, const char* name, const std::string& value) {
    pugi::xml_attribute a = node.attribute(name);
    if (!a) a = node.append_attribute(name);
    if (!a || !a.set_value(value.c_str())) throw std::bad_alloc();
}

void SetAttribute(pugi::xml_node node, const char* name, int64_t value) {
    SetAttribute(node, name, std::to_string(value));
}

// Puts the tree into the document: Document's Password and PasswordIsActivated,
// and a new Networks element in place of the first one.
void WriteTree(pugi::xml_document& doc, const TZ5_HardLock_Networks& tree) {
    pugi::xml_node document = doc.child("Document");
    if (!document) document = AddChild(doc, "Document");
    SetAttribute(document, "Password", Utf8(tree.Password));
    SetAttribute(document, "PasswordIsActivated", BoolText(tree.PasswordIsActivated));

    pugi::xml_node old = document.child("Networks");
    pugi::xml_node networks = old ? document.insert_child_before("Networks", old) : AddChild(document, "Networks");
    if (!networks) throw std::bad_alloc();
    if (old) document.remove_child(old);

    int64_t netCount = 0;
    for (const TZ5_HardLock_Network* net = tree.First; net; net = net->Next, ++netCount) {
        pugi::xml_node n = AddChild(networks, "Network");
        SetAttribute(n, "PK", net->PK);
        SetAttribute(n, "Activated", BoolText(net->Activated));
        SetAttribute(n, "isQuickLock", BoolText(net->isQuickLock));
        SetAttribute(n, "Date", Utf8(net->Date));
        SetAttribute(n, "Description", Utf8(net->Description));
        pugi::xml_node hardwares = AddChild(n, "Hardwares");
        int64_t devCount = 0;
        for (const TZ5_HardLock_Device* dev = net->Hardwares; dev; dev = dev->Next, ++devCount) {
            pugi::xml_node h = AddChild(hardwares, "Hardware");
            SetAttribute(h, "Type", Utf8(dev->Type));
            SetAttribute(h, "MAC_ID", Utf8(dev->MAC_ID));
            SetAttribute(h, "WChannel", dev->WChannel);
            pugi::xml_node sensors = AddChild(h, "Sensors");
            int64_t senCount = 0;
            for (const TZ5_HardLock_Sensor* sen = dev->Sensors; sen; sen = sen->Next, ++senCount) {
                pugi::xml_node s = AddChild(sensors, "Sensor");
                SetAttribute(s, "Type", Utf8(sen->Type));
                SetAttribute(s, "MAC_ID", Utf8(sen->MAC_ID));
            }
            SetAttribute(sensors, "Quantity", senCount);
        }
        SetAttribute(hardwares, "Quantity", devCount);
    }
    SetAttribute(networks, "Quantity", netCount);
}

struct StringWriter : pugi::xml_writer {
    std::string bytes;
    void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
};

std::string Serialize(const pugi::xml_document& doc) {
    StringWriter out;
    doc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return std::move(out.bytes);
}

[[noreturn]] void WriteFailure(const fs::path& target, int err) {
    throw EZ5NetsFileError(target.string() + ": " + std::generic_category().message(err));
}

[[noreturn]] void WriteFailure(const fs::path& target, const std::string& why) {
    throw EZ5NetsFileError(target.string() + ": " + why);
}

// Something is there under this name, a link that leads nowhere included.
bool Present(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// The file that a write to path replaces: path itself, or the regular file a
// link there leads to, so that the link stays a link. A link that leads
// nowhere, and anything but a regular file, is refused.
fs::path WriteTarget(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return path;  // a new file; its open reports the folder
    fs::path target = path;
    if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        target = fs::canonical(path, ec);
        if (ec) WriteFailure(path, "link leads nowhere (" + ec.message() + ")");
        if (::stat(target.c_str(), &st) != 0) WriteFailure(target, errno);
    }
    if (!S_ISREG(st.st_mode)) WriteFailure(target, "not a regular file");
    return target;
}

// A file larger than the process's file-size limit is not begun: the write
// would end the process (SIGXFSZ) with its temporary file left behind.
void CheckFileSizeLimit(const fs::path& target, size_t size) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
    if (size > limit.rlim_cur) WriteFailure(target, EFBIG);
}

// Replaces the file at path (through a link, see WriteTarget) with bytes so
// that a crash or a full disk leaves either the old or the new file, never a
// part: a new file beside it, flushed to disk, then renamed over the old one.
void WriteFileReplacing(const fs::path& path, std::string_view bytes) {
    const fs::path target = WriteTarget(path);
    CheckFileSizeLimit(target, bytes.size());
    const std::string base = target.string() + "." + std::to_string(::getpid()) + ".";
    std::string temp;
    int fd = -1;
    for (int n = 0; fd < 0; ++n) {
        temp = base + std::to_string(n) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || n >= 100)) WriteFailure(target, errno);
    }
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        WriteFailure(target, err);
    };
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : ENOSPC);
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        WriteFailure(target, err);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        WriteFailure(target, err);
    }
    // Make the rename itself durable; the file is already in place either way.
    int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// The document type is never read back: a folder that takes no new file only
// goes without it, and whatever stands under its name (a link that leads
// nowhere too) is left as it is.
void WriteDtdIfMissing(const fs::path& folder) {
    if (Present(folder / kDtdFile)) return;
    try {
        WriteFileReplacing(folder / kDtdFile, kDtdText);
    } catch (const EZ5NetsFileError&) {
    }
}

// The bytes of a regular file. Anything else (a FIFO, a device, a folder) is
// unreadable; the open never waits for a writer.
[[noreturn]] void ReadFailure(const fs::path& path, const std::string& why) {
    throw EZ5NetsFileError(path.string() + ": " + why);
}

std::string ReadRegularFile(const fs::path& path) {
    auto fail = [&](const std::string& why) { ReadFailure(path, why); };
    // A device is not even opened; the test after the open holds for what was opened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) fail(std::generic_category().message(errno));
    if (!S_ISREG(st.st_mode)) fail("not a regular file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) fail(std::generic_category().message(errno));
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0) fail(std::generic_category().message(errno));
    if (!S_ISREG(st.st_mode)) fail("not a regular file");
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(std::generic_category().message(errno));
        if (n == 0) return bytes;
        bytes.append(chunk, static_cast<size_t>(n));
    }
}

// The networks file to read: the one in folder, else one that a program folder
// that cannot be written holds. A name under which anything stands counts, a
// link that leads nowhere too, so that it is refused rather than replaced.
fs::path NetsFileToRead(const fs::path& folder) {
    const fs::path own = folder / kNetsFile;
    if (Present(own)) return own;
    const fs::path shipped = z5::ProgramDir() / kNetsFile;
    if (shipped != own && Present(shipped)) return shipped;
    return own;
}

}  // namespace

TZ5_HardLock_Networks* CopyNetworksTree(const TZ5_HardLock_Networks* tree) {
    if (!tree) return nullptr;
    TreeOwner copy(NewRecord<TZ5_HardLock_Networks>());
    copy->Password = NewText(View(tree->Password));
    copy->PasswordIsActivated = tree->PasswordIsActivated;
    TZ5_HardLock_Network** netTail = &copy->First;
    for (const TZ5_HardLock_Network* net = tree->First; net; net = net->Next) {
        TZ5_HardLock_Network* n = *netTail = NewRecord<TZ5_HardLock_Network>();
        netTail = &n->Next;
        n->Activated = net->Activated;
        n->isQuickLock = net->isQuickLock;
        n->Date = NewText(View(net->Date));
        n->Description = NewText(View(net->Description));
        n->PK = net->PK;
        TZ5_HardLock_Device** devTail = &n->Hardwares;
        for (const TZ5_HardLock_Device* dev = net->Hardwares; dev; dev = dev->Next) {
            TZ5_HardLock_Device* d = *devTail = NewRecord<TZ5_HardLock_Device>();
            devTail = &d->Next;
            d->Type = NewText(View(dev->Type));
            d->MAC_ID = NewText(View(dev->MAC_ID));
            d->WChannel = dev->WChannel;
            TZ5_HardLock_Sensor** senTail = &d->Sensors;
            for (const TZ5_HardLock_Sensor* sen = dev->Sensors; sen; sen = sen->Next) {
                TZ5_HardLock_Sensor* s = *senTail = NewRecord<TZ5_HardLock_Sensor>();
                senTail = &s->Next;
                s->Type = NewText(View(sen->Type));
                s->MAC_ID = NewText(View(sen->MAC_ID));
            }
        }
    }
    return copy.release();
}

TZ5NetsFileController::TZ5NetsFileController() = default;

TZ5NetsFileController::~TZ5NetsFileController() { FreeNetworks(fNetworks); }

void TZ5NetsFileController::FreeNetworks(TZ5_HardLock_Networks*& tree) {
    z5_nets_free(tree);
    tree = nullptr;
}

void TZ5NetsFileController::InitNetworksFile() {
    std::lock_guard lock(fLock);
    fFolder = z5::WritableDataDir();
    WriteDtdIfMissing(fFolder);
    const fs::path file = NetsFileToRead(fFolder);
    std::string bytes;
    if (Present(file)) {
        bytes = ReadRegularFile(file);
    } else {
        bytes = kEmptyNetsText;
        // Where no file can be made the library starts with the empty document;
        // a save then reports the folder.
        try {
            WriteFileReplacing(fFolder / kNetsFile, bytes);
        } catch (const EZ5NetsFileError&) {
        }
    }
    auto doc = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result parsed = doc->load_buffer(bytes.data(), bytes.size(), kParseOptions);
    if (!parsed) LoadFailure(parsed.description());
    fDocument = std::move(doc);
    LoadNetworks();
}

void TZ5NetsFileController::LoadNetworks() {
    std::lock_guard lock(fLock);
    struct MarkChanged {
        std::atomic<bool>& flag;
        ~MarkChanged() { flag = true; }
    } mark{fChanged};
    fActiveNetwork = nullptr;
    fActiveExists = false;
    FreeNetworks(fNetworks);
    fNetworks = NewRecord<TZ5_HardLock_Networks>();
    ReadTree();
}

// Fills the empty root from the document. Each record is linked into the tree
// before it is filled, so a failure leaves a well-formed tree of what was read.
void TZ5NetsFileController::ReadTree() {
    if (!fDocument) LoadFailure("not loaded");
    pugi::xml_node document = fDocument->child("Document");
    if (!document) LoadFailure("no Document element");
    fNetworks->Password = RequiredText(document, "Password");
    fNetworks->PasswordIsActivated = OptionalBool(document, "PasswordIsActivated");

    pugi::xml_node networks = document.child("Networks");
    TZ5_HardLock_Network** netTail = &fNetworks->First;
    for (pugi::xml_node n = FirstElement(networks); n; n = NextElement(n)) {
        TZ5_HardLock_Network* net = *netTail = NewRecord<TZ5_HardLock_Network>();
        netTail = &net->Next;
        net->Activated = BoolValue(Required(n, "Activated"));
        if (net->Activated) {
            fActiveNetwork = net;
            fActiveExists = true;
        }
        net->isQuickLock = OptionalBool(n, "isQuickLock");
        net->Date = RequiredText(n, "Date");
        net->Description = RequiredText(n, "Description");
        net->PK = RequiredInt(n, "PK");

        TZ5_HardLock_Device** devTail = &net->Hardwares;
        for (pugi::xml_node h = FirstElement(FirstChildOf(n)); h; h = NextElement(h)) {
            TZ5_HardLock_Device* dev = *devTail = NewRecord<TZ5_HardLock_Device>();
            devTail = &dev->Next;
            dev->Type = RequiredText(h, "Type");
            dev->MAC_ID = RequiredText(h, "MAC_ID");
            dev->WChannel = RequiredInt(h, "WChannel");

            TZ5_HardLock_Sensor** senTail = &dev->Sensors;
            for (pugi::xml_node s = FirstElement(FirstChildOf(h)); s; s = NextElement(s)) {
                TZ5_HardLock_Sensor* sen = *senTail = NewRecord<TZ5_HardLock_Sensor>();
                senTail = &sen->Next;
                sen->Type = RequiredText(s, "Type");
                sen->MAC_ID = RequiredText(s, "MAC_ID");
            }
        }
    }
}

void TZ5NetsFileController::SaveNetworks(const TZ5_HardLock_Networks* tree) {
    if (!tree) return;
    std::lock_guard lock(fLock);
    if (!fDocument) throw EZ5NetsFileError(std::string(kNetsFile) + ": not loaded");
    // Through a link the file it leads to is saved, with the backup beside it.
    const fs::path nets = WriteTarget(fFolder / kNetsFile);
    WriteFileReplacing(nets.parent_path() / kBackupFile, Serialize(*fDocument));
    auto next = std::make_unique<pugi::xml_document>();
    next->reset(*fDocument);
    WriteTree(*next, *tree);
    WriteFileReplacing(nets, Serialize(*next));
    fDocument.swap(next);
    WriteDtdIfMissing(fFolder);
    LoadNetworks();
}

TZ5_HardLock_Networks* TZ5NetsFileController::GetNetworksCopy() {
    std::lock_guard lock(fLock);
    return CopyNetworksTree(fNetworks);
}

bool TZ5NetsFileController::IsMACInActiveNet(const std::string& mac, int32_t& wChannel) {
    wChannel = -1;
    const std::u16string key = z5::Latin1ToUtf16(mac);
    std::lock_guard lock(fLock);
    if (!fActiveExists) return true;
    for (const TZ5_HardLock_Device* dev = fActiveNetwork->Hardwares; dev; dev = dev->Next) {
        if (View(dev->MAC_ID) == key) {
            wChannel = dev->WChannel;
            return true;
        }
        for (const TZ5_HardLock_Sensor* sen = dev->Sensors; sen; sen = sen->Next)
            if (View(sen->MAC_ID) == key) return true;
    }
    return false;
}

bool TZ5NetsFileController::IsSensorOfHardware(const std::string& sensorMAC, const std::string& hardwareMAC) {
    const std::u16string sensorKey = z5::Latin1ToUtf16(sensorMAC);
    const std::u16string hardwareKey = z5::Latin1ToUtf16(hardwareMAC);
    std::lock_guard lock(fLock);
    if (!fActiveExists) return true;
    for (const TZ5_HardLock_Device* dev = fActiveNetwork->Hardwares; dev; dev = dev->Next) {
        if (View(dev->MAC_ID) != hardwareKey) continue;
        for (const TZ5_HardLock_Sensor* sen = dev->Sensors; sen; sen = sen->Next)
            if (View(sen->MAC_ID) == sensorKey) return true;
    }
    return false;
}

void TZ5NetsFileController::GetDescriptionActiveNet(uint8_t& exists, std::u16string& description) {
    std::lock_guard lock(fLock);
    exists = fActiveExists ? 1 : 0;
    description = fActiveExists ? std::u16string(View(fActiveNetwork->Description)) : std::u16string();
}

bool TZ5NetsFileController::Changed() { return fChanged.exchange(false); }

void TZ5NetsFileController::SetChanged(bool value) { fChanged = value; }
