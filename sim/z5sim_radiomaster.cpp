#include "z5sim_radiomaster.h"

#include <algorithm>
#include <array>

#include "z5clock.h"

namespace z5sim {
namespace {

constexpr uint8_t kWriteParam = 0x11, kWriteParamReply = 0x18;
constexpr uint8_t kReadParam = 0x12, kReadParamReply = 0x1A;
constexpr uint8_t kNodeList = 0x1F;
constexpr uint8_t kWriteEEPROM = 0x41, kWriteEEPROMReply = 0x48;
constexpr uint8_t kReadEEPROM = 0x42, kReadEEPROMReply = 0x4A;
constexpr uint8_t kRange = 0x4C;
constexpr uint8_t kZero = 0x4B;
constexpr uint8_t kSensorCommand = 0x63;
constexpr uint8_t kLatest = 0x01;
constexpr uint8_t kStart = 0x31, kStartReply = 0x38;
constexpr uint8_t kStop = 0x32;
constexpr uint8_t kZ = 0x5A;
constexpr uint8_t kStream = 0x08;

// Widths of the block reads: device parameters 0..13, unit parameters 0..28,
// EEPROM 0..17 (18..42 are floats).
constexpr std::array<uint8_t, 14> kBaseBlock{2, 2, 2, 2, 2, 2, 1, 1, 1, 4, 2, 2, 2, 1};
constexpr std::array<uint8_t, 29> kUnitBlock{2, 2, 2, 8, 2, 2, 2, 1, 2, 4, 1, 2, 1, 2, 1,
                                             1, 1, 1, 1, 1, 1, 2, 1, 1, 4, 1, 1, 1, 1};
constexpr std::array<uint8_t, 18> kEEPROMData{1, 1, 4, 2, 1, 4, 4, 1, 1, 1, 1, 1, 2, 1, 4, 4, 1, 1};
constexpr int kEEPROMIds = 43;
constexpr uint8_t kOwnAddressParam = 4;
constexpr uint8_t kOwnEjectParam = 6, kRemoteEjectParam = 25, kEjectValue = 99;

void PutValue(Bytes& out, uint64_t value, uint8_t width) {
    for (uint8_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutAddress(Bytes& out, uint16_t address) {
    out.push_back(static_cast<uint8_t>(address & 0xFF));
    out.push_back(static_cast<uint8_t>(address >> 8));
}

uint64_t ValueOf(const Bytes& payload, size_t from) {
    uint64_t v = 0;
    for (size_t i = payload.size(); i-- > from;) v = (v << 8) | payload[i];
    return v;
}

uint8_t BlockWidth(bool eeprom, bool base, uint8_t id, const std::map<uint8_t, Param>& table) {
    if (eeprom) return id < kEEPROMData.size() ? kEEPROMData[id] : 4;
    if (base && id < kBaseBlock.size()) return kBaseBlock[id];
    if (!base && id < kUnitBlock.size()) return kUnitBlock[id];
    auto it = table.find(id);
    return it == table.end() ? 1 : it->second.width;
}

}  // namespace

RadioUnit RadioUnit::Remote(uint16_t address, uint64_t mac) {
    RadioUnit u;
    u.address = address;
    for (uint8_t id = 0; id < kUnitBlock.size(); ++id) u.params[id] = Param{0, kUnitBlock[id]};
    u.params[3] = Param{mac, 8};
    for (uint8_t id = 0; id < kEEPROMIds; ++id) u.eeprom[id] = Param{0, id < kEEPROMData.size() ? kEEPROMData[id] : uint8_t{4}};
    return u;
}

RadioUnit RadioUnit::Own(uint16_t address, uint64_t mac) {
    RadioUnit u = Remote(address, 0);
    u.params[2] = Param{mac, 8};
    return u;
}

RadioMaster::RadioMaster(std::string description, std::string serial)
    : Device(std::move(description), std::move(serial)) {
    for (uint8_t id = 0; id < kBaseBlock.size(); ++id) params_[id] = Param{0, kBaseBlock[id]};
    params_[4] = Param{1, 2};
    params_[6] = Param{11, 1};
    params_[7] = Param{0x0011223344556677ull, 8};
    params_[11] = Param{4, 2};
    params_[26] = Param{50, 1};
    units_[1] = RadioUnit::Own(1, 0x1000000000000001ull);
    streamer_ = std::thread([this] { StreamLoop(); });
}

RadioMaster::~RadioMaster() {
    {
        std::lock_guard<std::mutex> g(lock_);
        ending_ = true;
    }
    wake_.notify_all();
    streamer_.join();
}

void RadioMaster::SetParam(uint8_t id, uint64_t value, uint8_t width) {
    std::lock_guard<std::mutex> g(lock_);
    params_[id] = Param{value, width};
}

void RadioMaster::SetParam(uint8_t id, uint64_t value) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = params_.find(id);
    params_[id] = Param{value, it == params_.end() ? uint8_t{1} : it->second.width};
}

std::optional<Param> RadioMaster::GetParam(uint8_t id) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = params_.find(id);
    if (it == params_.end()) return std::nullopt;
    return it->second;
}

void RadioMaster::SetUnit(const RadioUnit& unit) {
    {
        std::lock_guard<std::mutex> g(lock_);
        units_[unit.address] = unit;
        reschedule_ = true;
    }
    wake_.notify_all();
}

void RadioMaster::Join(const RadioUnit& unit) {
    {
        std::lock_guard<std::mutex> g(lock_);
        units_[unit.address] = unit;
        if (std::find(nodeList_.begin(), nodeList_.end(), unit.address) == nodeList_.end())
            nodeList_.push_back(unit.address);
        reschedule_ = true;
    }
    wake_.notify_all();
}

void RadioMaster::Leave(uint16_t address) {
    std::lock_guard<std::mutex> g(lock_);
    std::erase(nodeList_, address);
}

void RadioMaster::RemoveUnit(uint16_t address) {
    std::lock_guard<std::mutex> g(lock_);
    units_.erase(address);
}

std::optional<RadioUnit> RadioMaster::Unit(uint16_t address) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = units_.find(address);
    if (it == units_.end()) return std::nullopt;
    return it->second;
}

void RadioMaster::SetNodeList(std::vector<uint16_t> addresses) {
    std::lock_guard<std::mutex> g(lock_);
    nodeList_ = std::move(addresses);
}

std::vector<uint16_t> RadioMaster::NodeList() const {
    std::lock_guard<std::mutex> g(lock_);
    return nodeList_;
}

bool RadioMaster::Measuring() const {
    std::lock_guard<std::mutex> g(lock_);
    return measuring_;
}

void RadioMaster::SetMeasuring(bool on) {
    {
        std::lock_guard<std::mutex> g(lock_);
        measuring_ = on;
    }
    wake_.notify_all();
}

void RadioMaster::SetStreamPeriod(uint32_t ms) {
    {
        std::lock_guard<std::mutex> g(lock_);
        streamPeriod_ = ms ? ms : 1;
        reschedule_ = true;
    }
    wake_.notify_all();
}

uint64_t RadioMaster::StreamedFrames() const {
    std::lock_guard<std::mutex> g(lock_);
    return streamed_;
}

unsigned RadioMaster::ZRequests() const {
    std::lock_guard<std::mutex> g(lock_);
    return zRequests_;
}

bool RadioMaster::SendShortFrame(uint8_t cmd, uint16_t address) {
    Bytes payload;
    PutAddress(payload, address);
    return SendFrame(cmd, payload);
}

RadioUnit* RadioMaster::FindUnit(uint16_t address) {
    auto it = units_.find(address);
    return it == units_.end() ? nullptr : &it->second;
}

Bytes RadioMaster::ReadParams(uint16_t address, const Bytes& ids, bool eeprom) {
    const bool base = address == 0 && !eeprom;
    std::map<uint8_t, Param>* table = nullptr;
    if (base) {
        table = &params_;
    } else if (RadioUnit* u = FindUnit(address)) {
        table = eeprom ? &u->eeprom : &u->params;
    } else {
        return {};
    }
    Bytes payload;
    PutAddress(payload, address);
    for (uint8_t id : ids) {
        auto it = table->find(id);
        const Param p = it == table->end() ? Param{} : it->second;
        // One id: the parameter's own width; a block: the block's width for that id.
        const uint8_t width = ids.size() == 1 && it != table->end() ? p.width : BlockWidth(eeprom, base, id, *table);
        payload.push_back(id);
        PutValue(payload, p.value, width);
    }
    return MakeFrame(eeprom ? kReadEEPROMReply : kReadParamReply, payload);
}

std::vector<Bytes> RadioMaster::OnFrame(const Message& request) {
    const Bytes payload = request.Payload();
    if (payload.size() < 2) return {};
    const uint16_t address = request.Address();
    const Bytes rest(payload.begin() + 2, payload.end());
    Bytes echo;
    PutAddress(echo, address);

    std::lock_guard<std::mutex> g(lock_);
    RadioUnit* unit = address == 0 ? nullptr : FindUnit(address);
    switch (request.Cmd()) {
        case kWriteParam: {
            if (rest.size() < 2) return {};
            std::map<uint8_t, Param>* table = address == 0 ? &params_ : unit ? &unit->params : nullptr;
            if (!table) return {};
            const uint8_t id = rest[0];
            auto it = table->find(id);
            const uint8_t width = it == table->end() ? static_cast<uint8_t>(rest.size() - 1) : it->second.width;
            (*table)[id] = Param{ValueOf(rest, 1), width};
            if (unit && IsEject(address, id, ValueOf(rest, 1))) {
                std::erase(nodeList_, address);
                unit->streams = false;
                ++unit->ejections;
            }
            echo.push_back(id);
            return {MakeFrame(kWriteParamReply, echo)};
        }
        case kReadParam:
        case kReadEEPROM: {
            if (rest.empty()) return {};
            Bytes reply = ReadParams(address, rest, request.Cmd() == kReadEEPROM);
            if (reply.empty()) return {};
            return {reply};
        }
        case kWriteEEPROM: {
            if (!unit || rest.size() < 2) return {};
            const uint8_t id = rest[0];
            auto it = unit->eeprom.find(id);
            const uint8_t width = it == unit->eeprom.end() ? static_cast<uint8_t>(rest.size() - 1) : it->second.width;
            unit->eeprom[id] = Param{ValueOf(rest, 1), width};
            echo.push_back(id);
            return {MakeFrame(kWriteEEPROMReply, echo)};
        }
        case kNodeList: {
            for (uint16_t a : nodeList_) PutAddress(echo, a);
            return {MakeFrame(kNodeList, echo)};
        }
        case kRange: {
            if (!unit) return {};
            if (rest.size() >= 2) {
                unit->range[rest[0]] = rest[1];
                return {MakeFrame(kRange, echo)};
            }
            for (const auto& [id, value] : unit->range) {
                echo.push_back(id);
                echo.push_back(value);
            }
            return {MakeFrame(kRange, echo)};
        }
        case kSensorCommand: {
            if (!unit || rest.size() < 3) return {};
            unit->commands.emplace_back(rest[0], static_cast<uint16_t>(rest[1] | rest[2] << 8));
            return {MakeFrame(kSensorCommand, echo)};
        }
        case kZero: {
            if (!unit || rest.empty()) return {};
            unit->zeroRequests.push_back(rest[0]);
            return {MakeFrame(kZero, echo)};
        }
        case kLatest: {
            if (!unit || unit->latest.empty()) return {};
            for (uint16_t v : unit->latest.front()) PutValue(echo, v, 2);
            const uint8_t cmd = unit->latestCmd;
            if (unit->latest.size() > 1) unit->latest.erase(unit->latest.begin());
            return {MakeFrame(cmd, echo)};
        }
        case FirmwareReceiver::kCmdStart:
        case FirmwareReceiver::kCmdBlock:
        case FirmwareReceiver::kCmdFinish:
            return Update(request);
        case kStart:
            if (address != 0) return {};
            return {MakeFrame(kStartReply, echo)};  // the stream starts once this is out
        case kStop:
            if (address == 0) measuring_ = false;
            return {};
        case kZ:
            if (address == 0) ++zRequests_;
            return {};
        default:
            return {};
    }
}

FirmwareReceiver& RadioMaster::Firmware(uint16_t address) {
    std::lock_guard<std::mutex> g(lock_);
    return ReceiverOf(address);
}

void RadioMaster::SetDeviceClass(uint16_t deviceClass) {
    std::lock_guard<std::mutex> g(lock_);
    deviceClass_ = deviceClass;
}

FirmwareReceiver& RadioMaster::ReceiverOf(uint16_t address) {
    return firmware_.try_emplace(address).first->second;
}

std::vector<Bytes> RadioMaster::Update(const Message& request) {
    const uint16_t address = request.Address();
    RadioUnit* unit = address == 0 ? nullptr : FindUnit(address);
    std::map<uint8_t, Param>* params = address == 0 ? &params_ : unit ? &unit->params : nullptr;
    if (!params) return {};
    FirmwareReceiver::Target target;
    target.deviceClass = unit ? unit->deviceClass : deviceClass_;
    const auto hardware = params->find(0);
    target.hardwareVersion = hardware == params->end() ? 0 : static_cast<uint8_t>(hardware->second.value);
    FirmwareReceiver::Answer answer = ReceiverOf(address).OnFrame(request, target);
    if (answer.newVersion) {
        Param& version = (*params)[1];
        version.value = *answer.newVersion;
        if (version.width < 2) version.width = 2;
    }
    return answer.replies;
}

void RadioMaster::OnAnswered(const Message& request, bool replied) {
    if (!replied || !request.IsFrame() || request.Cmd() != kStart || request.Address() != 0) return;
    {
        std::lock_guard<std::mutex> g(lock_);
        measuring_ = true;
    }
    wake_.notify_all();
}

bool RadioMaster::IsEject(uint16_t address, uint8_t id, uint64_t value) const {
    if (value != kEjectValue) return false;
    auto own = params_.find(kOwnAddressParam);
    const bool ownUnit = own != params_.end() && own->second.value == address;
    return id == (ownUnit ? kOwnEjectParam : kRemoteEjectParam);
}

uint32_t RadioMaster::DueFrames(uint32_t now, std::vector<Bytes>& frames) {
    uint32_t wait = streamPeriod_;
    for (auto& [address, unit] : units_) {
        if (!unit.streams) {
            due_.erase(address);
            continue;
        }
        const uint32_t period = unit.streamPeriod ? unit.streamPeriod : streamPeriod_;
        auto it = due_.find(address);
        if (it == due_.end()) it = due_.emplace(address, now + period).first;  // one period after the start
        if (static_cast<int32_t>(it->second - now) <= 0) {
            Bytes payload;
            PutAddress(payload, address);
            PutValue(payload, unit.timeCount, 4);
            for (uint16_t v : unit.streamValues) PutValue(payload, v, 2);
            frames.push_back(MakeFrame(kStream, payload));
            unit.timeCount += unit.timeStep;
            it->second += period;
            // Behind by a whole period (a slow machine): no burst to catch up.
            if (static_cast<int32_t>(it->second - now) <= 0) it->second = now + period;
        }
        wait = std::min(wait, it->second - now);
    }
    std::erase_if(due_, [this](const auto& entry) { return !units_.count(entry.first); });
    return wait;
}

void RadioMaster::StreamLoop() {
    std::unique_lock<std::mutex> g(lock_);
    while (!ending_) {
        if (!measuring_) {
            due_.clear();
            wake_.wait(g, [this] { return ending_ || measuring_; });
            continue;
        }
        std::vector<Bytes> frames;
        const uint32_t wait = DueFrames(z5::Tick(), frames);
        if (!frames.empty()) {
            g.unlock();
            uint64_t sent = 0;
            for (const auto& f : frames) sent += Send(f) ? 1 : 0;
            g.lock();
            streamed_ += sent;
            continue;
        }
        reschedule_ = false;
        // Woken early by stop, end and changes of the units or the period.
        z5::SleepFor(g, wake_, wait ? wait : 1, [this] { return ending_ || !measuring_ || reschedule_; });
    }
}

}  // namespace z5sim
