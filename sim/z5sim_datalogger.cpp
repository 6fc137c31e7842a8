#include "z5sim_datalogger.h"

#include <algorithm>

namespace z5sim {
namespace {

constexpr uint8_t kCmdReady = 'P';
constexpr uint8_t kCmdStop = 'S';
constexpr uint8_t kCmdVersion = 'W';
constexpr uint8_t kCmdLatest = 'X';
constexpr uint8_t kCmdDirectory = 'T';
constexpr uint8_t kCmdHeader = 'U';
constexpr uint8_t kCmdDownload = 'V';
constexpr uint8_t kReplyDone = 'Q';
constexpr uint8_t kUpdateStart = 0x21;
constexpr uint8_t kUpdateBlock = 0x22;
constexpr uint8_t kUpdateFinish = 0x23;
constexpr uint8_t kUpdateAck = 0x28;
constexpr size_t kNameBytes = 8;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

uint32_t LE(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return v;
}

std::string Row(const std::vector<std::string>& fields) {
    std::string s;
    for (const auto& f : fields) s += f + "\t";
    return s;
}

}  // namespace

DataLogger::DataLogger(std::string description, std::string serial)
    : Device(std::move(description), std::move(serial)) {}

void DataLogger::SetVersion(std::string text) {
    std::lock_guard<std::mutex> g(lock_);
    version_ = std::move(text);
}

void DataLogger::SetLatest(std::string text) {
    std::lock_guard<std::mutex> g(lock_);
    latest_ = std::move(text);
}

void DataLogger::SetFiles(std::vector<File> files) {
    std::lock_guard<std::mutex> g(lock_);
    files_ = std::move(files);
}

void DataLogger::SetDirectoryText(std::string text) {
    std::lock_guard<std::mutex> g(lock_);
    directory_ = std::move(text);
}

DataLogger::Firmware DataLogger::GetFirmware() const {
    std::lock_guard<std::mutex> g(lock_);
    return firmware_;
}

void DataLogger::ResetFirmware() {
    std::lock_guard<std::mutex> g(lock_);
    firmware_ = {};
}

std::string DataLogger::HeaderText(const Header& h) {
    std::string s = h.line1 + "\r\n" + h.line2 + "\r\n";
    s += static_cast<char>('0' + h.type);
    s += "\t";
    if (h.type == 0 || h.type == 3) {
        s += h.typeNumber + "\t";
        s += static_cast<char>('0' + h.typeDigit);
        s += "\t";
    }
    s += static_cast<char>('0' + h.text1.size());
    s += "\r\n";
    s += Row(h.text1) + "\r\n" + Row(h.text2) + "\r\n" + Row(h.units) + "\r\n";
    for (const auto& [a, b] : h.values) s += a + "\t" + b + "\t";
    return s + "\r\n";
}

std::string DataLogger::DownloadText(const File& f) {
    // Before the first line feed the logger's echo, which the reader ignores.
    std::string s = "V\r\n" + f.startTime + "\r\n";
    s += static_cast<char>('0' + f.timeMode);
    s += "\t" + f.interval + "\t$\r\n";
    const bool timed = f.timeMode != 0 && f.timeMode != 3;
    for (const auto& line : f.lines) {
        if (timed) s += line.time + "\t";
        s += Row(line.values) + "\r\n";
    }
    return s;
}

std::string DataLogger::DirectoryText(const std::vector<File>& files) {
    std::string s;
    for (const auto& f : files) s += f.name + "(" + std::to_string(f.size) + ")\r\n";
    return s;
}

uint32_t DataLogger::Crc32(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

Bytes DataLogger::MakeRefusal(const Message& request, uint8_t code) {
    const uint16_t a = request.Address();
    const uint8_t payload[] = {static_cast<uint8_t>(a & 0xFF), static_cast<uint8_t>(a >> 8), code};
    return MakeFrame(kRefusal, payload);
}

Bytes DataLogger::Ack(const Message& request) const {
    const uint16_t a = request.Address();
    const uint8_t payload[] = {static_cast<uint8_t>(a & 0xFF), static_cast<uint8_t>(a >> 8)};
    return MakeFrame(kUpdateAck, payload);
}

const DataLogger::File* DataLogger::FindFile(const Message& request) const {
    const Bytes p = request.Payload();
    if (p.size() < 2 + kNameBytes) return nullptr;
    std::string name(p.begin() + 2, p.begin() + 2 + kNameBytes);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    for (const auto& f : files_)
        if (f.name.substr(0, kNameBytes) == name) return &f;
    return nullptr;
}

std::vector<Bytes> DataLogger::OnFrame(const Message& request) {
    std::lock_guard<std::mutex> g(lock_);
    const uint8_t done[] = {0xFE, 0xFF};
    switch (request.Cmd()) {
        case kCmdReady:
        case kCmdStop:
            return {MakeFrame(kReplyDone, done)};
        case kCmdVersion:
            return {Text("V" + version_ + "\r")};
        case kCmdLatest:
            return {Text(latest_)};
        case kCmdDirectory:
            return {Text(directory_.empty() ? DirectoryText(files_) : directory_)};
        case kCmdHeader:
            if (const File* f = FindFile(request)) return {Text(f->header)};
            return {};
        case kCmdDownload:
            if (const File* f = FindFile(request)) return {Text(DownloadText(*f))};
            return {};
        case kUpdateStart:
        case kUpdateBlock:
        case kUpdateFinish:
            return Update(request);
        default:
            return {};
    }
}

std::vector<Bytes> DataLogger::Update(const Message& request) {
    const Bytes p = request.Payload();
    switch (request.Cmd()) {
        case kUpdateStart: {
            if (p.size() < 13 || p.size() != 13 + 2 * static_cast<size_t>(p[12])) return {Refuse(request, kErrorOrder)};
            Firmware fw;
            fw.started = true;
            fw.startFrame = request.bytes;
            fw.address = static_cast<uint16_t>(LE(p, 0, 2));
            fw.version = static_cast<uint16_t>(LE(p, 2, 2));
            fw.partIndex = p[4];
            fw.partCount = p[5];
            fw.size = LE(p, 6, 4);
            fw.deviceClass = static_cast<uint16_t>(LE(p, 10, 2));
            for (size_t i = 0; i < p[12]; ++i) fw.hardware.push_back(p[13 + 2 * i]);
            if (fw.size > kImageSize) return {Refuse(request, kErrorTooLarge)};
            fw.image.assign(fw.size, 0);
            firmware_ = std::move(fw);
            return {Ack(request)};
        }
        case kUpdateBlock: {
            if (!firmware_.started || p.size() < 6) return {Refuse(request, kErrorOrder)};
            const uint32_t offset = LE(p, 2, 4);
            const size_t k = p.size() - 6;
            if (offset > firmware_.size || k > firmware_.size - offset) return {Refuse(request, kErrorOrder)};
            std::copy(p.begin() + 6, p.end(), firmware_.image.begin() + offset);
            firmware_.blockOffsets.push_back(offset);
            firmware_.blockLengths.push_back(k);
            return {Ack(request)};
        }
        default: {  // finish
            if (!firmware_.started || p.size() != 6) return {Refuse(request, kErrorOrder)};
            firmware_.finished = true;
            firmware_.checkValue = LE(p, 2, 4);
            firmware_.crcMatched = Crc32(firmware_.image) == firmware_.checkValue;
            return {firmware_.crcMatched ? Ack(request) : Refuse(request, kErrorCrc)};
        }
    }
}

}  // namespace z5sim
