// The client's firmware stream over a byte vector: reads from its position, fails
// from failAt on; Size may claim another size.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "tovamod.h"

namespace z5test {

struct VectorStream {
    explicit VectorStream(std::vector<uint8_t> bytes, std::optional<int64_t> claimed = {})
        : data(std::move(bytes)), size(claimed.value_or(static_cast<int64_t>(data.size()))) {
        stream.Context = this;
        stream.Size = [](void* c) { return static_cast<VectorStream*>(c)->size; };
        stream.Read = [](void* c, void* buffer, int32_t count) -> int32_t {
            auto* s = static_cast<VectorStream*>(c);
            ++s->reads;
            if (s->pos >= s->failAt) return -1;
            const size_t n = std::min<size_t>(static_cast<size_t>(count), s->data.size() - s->pos);
            std::memcpy(buffer, s->data.data() + s->pos, n);
            s->pos += n;
            return static_cast<int32_t>(n);
        };
        holder = &stream;
    }
    VectorStream(const VectorStream&) = delete;
    VectorStream& operator=(const VectorStream&) = delete;

    std::vector<uint8_t> data;
    int64_t size;
    size_t pos = 0;
    size_t failAt = SIZE_MAX;
    int reads = 0;
    FirmwareStream stream{};
    FirmwareStream* holder = nullptr;  // the caller's variable that holds the stream
};

}  // namespace z5test
