#include "z5pump.h"

#include <atomic>

namespace z5 {
namespace {
std::atomic<MessagePump> g_pump{nullptr};
}

void SetMessagePump(MessagePump pump) { g_pump.store(pump); }

bool MessagePumpInstalled() { return g_pump.load() != nullptr; }

void PumpMessages() {
    MessagePump p = g_pump.load();
    if (p) p();
}

}  // namespace z5
