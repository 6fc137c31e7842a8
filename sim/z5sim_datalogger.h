// Simulated Field-Port data logger. It answers the logger's request frames
// (address 0xFFFE): 'P' and 'S' with a frame 'Q', 'W' with its version text
// ("V" firmware "/" hardware CR), 'X' with its latest values (TAB-ended fields,
// CR), 'T' with its directory ("name(size)" CR LF per file), 'U' with a file's
// header text and 'V' with a file's download text; and it takes firmware in
// start, block and finish frames, acknowledged with a frame 0x28, checking the
// CRC-32 of the image at the finish. Faults of the framework apply to every
// answer; a Refuse fault answers with a frame 'R' carrying the code.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "z5sim_device.h"

namespace z5sim {

class DataLogger : public Device {
public:
    static constexpr const char* kDescription = "Zelto5 Field-Port";
    static constexpr uint8_t kRefusal = 'R';
    // Refusal codes of the firmware frames.
    static constexpr uint8_t kErrorTooLarge = 2;  // start: part beyond the image
    static constexpr uint8_t kErrorOrder = 3;     // block or finish without a start, block beyond the part
    static constexpr uint8_t kErrorCrc = 4;       // finish: CRC-32 of the image differs
    static constexpr uint32_t kImageSize = 500000;

    // One line of a download: the time field (time modes 1 and 2) and the values.
    struct Line {
        std::string time;
        std::vector<std::string> values;
    };
    // Fields of a file header, as the logger writes them.
    struct Header {
        std::string line1, line2;
        int type = 2;
        std::string typeNumber = "0000";  // four digits, types 0 and 3
        int typeDigit = 0;                // types 0 and 3
        std::vector<std::string> text1, text2, units;         // one per channel
        std::vector<std::pair<std::string, std::string>> values;  // one pair per channel
    };
    struct File {
        std::string name;  // 8 characters, "yymmdd" and two more
        int32_t size = 0;
        std::string header;  // answered to 'U' (see HeaderText)
        std::string startTime = "10:00:00";
        int timeMode = 0;
        std::string interval = "0250";  // four digits, time mode 0
        std::vector<Line> lines;
    };
    // What the logger received of a firmware part.
    struct Firmware {
        bool started = false;
        std::vector<uint8_t> startFrame;
        uint16_t address = 0, version = 0, deviceClass = 0;
        uint8_t partIndex = 0, partCount = 0;
        uint32_t size = 0;
        std::vector<uint8_t> hardware;
        std::vector<uint8_t> image;          // the announced size
        std::vector<uint32_t> blockOffsets;  // every block taken into the image
        std::vector<size_t> blockLengths;
        bool finished = false;
        uint32_t checkValue = 0;
        bool crcMatched = false;
    };

    DataLogger(std::string description, std::string serial);

    void SetVersion(std::string text);   // "1.09/2"
    void SetLatest(std::string text);    // the whole 'X' reply
    void SetFiles(std::vector<File> files);
    // The 'T' reply in place of the one made from the files (empty: made from the files).
    void SetDirectoryText(std::string text);
    Firmware GetFirmware() const;
    void ResetFirmware();

    static std::string HeaderText(const Header& header);
    static std::string DownloadText(const File& file);
    static std::string DirectoryText(const std::vector<File>& files);
    static uint32_t Crc32(const std::vector<uint8_t>& bytes);

protected:
    std::vector<Bytes> OnFrame(const Message& request) override;
    Bytes MakeRefusal(const Message& request, uint8_t code) override;

private:
    Bytes Ack(const Message& request) const;
    Bytes Refuse(const Message& request, uint8_t code) { return MakeRefusal(request, code); }
    const File* FindFile(const Message& request) const;  // caller holds lock_
    std::vector<Bytes> Update(const Message& request);   // caller holds lock_

    mutable std::mutex lock_;
    std::string version_ = "1.09/2";
    std::string latest_;
    std::vector<File> files_;
    std::string directory_;
    Firmware firmware_;
};

}  // namespace z5sim
