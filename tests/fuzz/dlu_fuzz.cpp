// The data logger's directory and header replies: any bytes are read within their
// bounds, at most 201 entries of at most 12 name characters, at most 6 channels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "uDLUFileData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> reply(data, size);
    (void)IsDLUDirectoryRefusal(reply);

    std::vector<TDLUDirectoryEntry> entries;
    (void)ParseDLUDirectory(reply, entries);
    if (entries.size() > TOVAMOD_DLU_MAX_FILES) std::abort();
    for (const auto& e : entries) {
        if (e.Name.size() > kDLUNameMax) std::abort();
        (void)DLUDateFromName(e.Name);
        (void)DLUNameBytes(e.Name.c_str());
    }

    // Twice into one record, as a second call would: the texts are replaced.
    TDLUFileInfo record{};
    for (int pass = 0; pass < 2; ++pass) {
        (void)ParseDLUHeader(reply, record);
        if (record.ChannelCount > TOVAMOD_DLU_MAX_CHANNELS || record.Valid > 1) std::abort();
    }
    z5_dlu_free_texts(&record);
    return 0;
}
