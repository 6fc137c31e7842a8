// The networks file reader: any bytes as Z5NETS.XML. A file that loads answers
// the scan's questions, and saving its tree and loading that again gives the
// same tree. Checks, besides the sanitizers: a load fails only with the
// controller's own error; the round trip keeps the tree.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "uZ5NetsFileController.h"
#include "z5widestring.h"

namespace fs = std::filesystem;

namespace {

fs::path Folder;

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameText(const z5_char16* a, const z5_char16* b) { return z5::WideView(a) == z5::WideView(b); }

bool SameTree(const TZ5_HardLock_Networks* a, const TZ5_HardLock_Networks* b) {
    if (!a || !b) return a == b;
    if (!SameText(a->Password, b->Password) || a->PasswordIsActivated != b->PasswordIsActivated) return false;
    const TZ5_HardLock_Network *n = a->First, *m = b->First;
    for (; n && m; n = n->Next, m = m->Next) {
        if (n->Activated != m->Activated || n->isQuickLock != m->isQuickLock || n->PK != m->PK ||
            !SameText(n->Date, m->Date) || !SameText(n->Description, m->Description))
            return false;
        const TZ5_HardLock_Device *d = n->Hardwares, *e = m->Hardwares;
        for (; d && e; d = d->Next, e = e->Next) {
            if (!SameText(d->Type, e->Type) || !SameText(d->MAC_ID, e->MAC_ID) || d->WChannel != e->WChannel)
                return false;
            const TZ5_HardLock_Sensor *s = d->Sensors, *t = e->Sensors;
            for (; s && t; s = s->Next, t = t->Next)
                if (!SameText(s->Type, t->Type) || !SameText(s->MAC_ID, t->MAC_ID)) return false;
            if (s || t) return false;
        }
        if (d || e) return false;
    }
    return !n && !m;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) / "z5netsfuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    Folder = pattern;
    ::setenv("ZELTO5_PROGRAM_DIR", Folder.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (Folder / "cfg").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(Folder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(Folder / "Z5NETS.XML", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    TZ5NetsFileController ctl;
    try {
        ctl.InitNetworksFile();
    } catch (const EZ5NetsFileError&) {
        return 0;
    }
    TZ5_HardLock_Networks* tree = ctl.GetNetworksCopy();
    Check(tree != nullptr);
    int32_t channel = 0;
    uint8_t exists = 0;
    std::u16string description;
    ctl.GetDescriptionActiveNet(exists, description);
    for (const TZ5_HardLock_Network* net = tree->First; net; net = net->Next)
        for (const TZ5_HardLock_Device* dev = net->Hardwares; dev; dev = dev->Next) {
            const std::string mac = z5::Utf16ToUtf8(z5::WideView(dev->MAC_ID));
            (void)ctl.IsMACInActiveNet(mac, channel);
            if (dev->Sensors) (void)ctl.IsSensorOfHardware(z5::Utf16ToUtf8(z5::WideView(dev->Sensors->MAC_ID)), mac);
        }

    ctl.SaveNetworks(tree);
    TZ5_HardLock_Networks* saved = ctl.GetNetworksCopy();
    Check(SameTree(tree, saved));
    TZ5NetsFileController reloaded;
    reloaded.InitNetworksFile();
    TZ5_HardLock_Networks* again = reloaded.GetNetworksCopy();
    Check(SameTree(tree, again));
    z5_nets_free(tree);
    z5_nets_free(saved);
    z5_nets_free(again);
    return 0;
}
