// The Field-Port data logger. It answers one-letter request frames addressed to
// 0xFFFE, partly with frames and partly with ASCII text; each request is sent
// once and its reply read in the caller's thread under D2XXLock. Its reader runs
// in ASCII mode and starts with the first file download.
//
// An exchange judges only the bytes it read itself, collected behind each other.
// A logger that is not open (never opened, or closed) answers every request with
// its failure value and sends nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "uFrameExchange.h"
#include "uFtdiDevice.h"
#include "uSensorDLU.h"
#include "uTemplateDevices.h"

class TDLU : public TTemplateDevices, private IReaderOwner {
public:
    static constexpr int32_t kTyp = 3;
    static constexpr uint16_t kRequestAddress = 0xFFFE;
    static constexpr size_t kVersionMax = 41;         // characters of the version text
    static constexpr uint32_t kImageSize = 500000;    // largest firmware part
    static constexpr uint32_t kBlockSize = 200;       // image bytes per block frame
    static constexpr int kBlockAttempts = 10;
    static constexpr int kMaxHardwareCount = 120;     // what fits the start frame's LEN

    // Reader created with its threads suspended, in ASCII mode; the sensor with
    // address 1 and this logger as owner, registered as a client handle.
    TDLU();
    // IsDestroying; the sensor's handle withdrawn; CloseDevice; the reader and its
    // threads; 1200 ms; the sensor.
    ~TDLU() override;

    int32_t GetTyp() override;                     // 3
    void GetName(std::u16string& Name) override;   // "DLU"
    // 'W' request: the received characters '.'..'@' (at most 41) followed by one
    // zero character, which belongs to the text (a silent logger gives just that
    // one); empty when the read failed or the logger is not open.
    std::string GetVersion() override;
    int32_t GetMaxSensors() override;              // 1
    int32_t GetSensorCount() override;             // 1: the sensor stands at index 0
    void SetSerialNo(const std::string& SerialNo) override;
    std::string GetSerialNo() override;
    d2xx::Handle GetHandle() override;
    // Plain getter for the scan's liveness test.
    d2xx::Handle GetHandleValue() const;

    // Index 0: the logger's sensor; any other index nullptr.
    TTemplateSensors* GetSensor(int32_t Index) override;
    // Code 17 ('P', after a transmit purge) and 18 ('S'): 0 when the reply is a
    // frame 'Q', else -1. A text without carriage return or a code that is no
    // integer: -1, nothing sent. Other codes: nothing sent, -1. Reply is not written.
    int32_t SendCmdAndGetResponse(const char* Cmd, int32_t& Reply) override;
    // 'X' request: the TAB-ended integer fields of the reply's first line go to
    // Values[0..] (at most Count of them); 0. -1 when no text reply came (none,
    // a frame, a failed read, no carriage return) or a field is no integer;
    // nothing is written then. Address and Mode are not used.
    int32_t ReadLatest(int32_t Address, int32_t Count, int32_t* Values, int32_t Mode) override;
    // Opens by serial number and sets the line: 0, or -1 when no device is
    // attached or the open fails. The reader threads stay as they are.
    int32_t OpenDevice(int32_t BaudRate, int32_t FlowControl) override;
    // "18,0,\r" (the 'S' request), then the close: its status. The handle is
    // cleared (also the reader's). Not open: d2xx::kInvalidHandle, nothing sent.
    int32_t CloseDevice() override;

    // Firmware update of the logger: 0 acknowledged, the logger's error code, or -1
    // (destroying, not open, no byte after the start frame, a block unacknowledged
    // in 10 attempts, a refusal without error code, a part beyond 500000 bytes or a
    // stream that cannot be read whole, a hardware count beyond 120).
    int32_t UpdateStart(int32_t Address, int32_t NewFirmware, int32_t PartIndex, int32_t PartCount,
                        int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                        const uint8_t* HardwareList) override;
    int32_t UpdateFinish(int32_t Address, uint32_t CheckValue) override;
    int32_t UpdateBlocks(int32_t Address, int32_t Reserved, FirmwareStream* const* Stream) override;

    // Directory ('T') and one header ('U') per file into Records[0..n-1] (room for
    // TOVAMOD_DLU_MAX_FILES); n. -1 when the logger refuses the directory (nothing
    // written), a size or header number is not a number (records so far keep
    // their contents), Records is nullptr or the logger is not open.
    int32_t GetDLUFileData(TDLUFileInfo* Records) override;
    // Hangs one sensor node for the logger's sensor on a node that has none: true;
    // false (nothing changed) when the node has one.
    bool RefreshSensors(TDeviceStructure* Node) override;
    // Download request ('V') for Records[Index], then the reader is reset for the
    // file (channel count, stream and parse state together) and its threads run
    // from then on: 0. -1 for nullptr Records, an Index outside 0..200 or a logger
    // that is not open.
    int32_t GetDLUValues(TDLUFileInfo* Records, int32_t Index) override;

    // The logger's sensor and reader (owned by the logger).
    TSensorsDLU* GetSensorDLU() const { return fSensorDLU.get(); }
    TFtdiDevice* GetFtdiDevice() const { return fFtdiDevice.get(); }

    std::recursive_mutex fCriticalSection;  // published; no operation takes it

private:
    using Bytes = std::vector<uint8_t>;

    // One line operation of this logger at a time (taken before D2XXLock): the file
    // list lets D2XXLock go between its exchanges. Recursive: a notification handler
    // raised between them may call this logger's exports.
    std::recursive_mutex fSequenceLock;

    // IReaderOwner (parser thread, under the reader's BufferLock).
    TTemplateSensors* FindSensorByAddressUnderBufferLock(int32_t address) override;
    TTemplateSensors* GetSensorUnderBufferLock(int32_t index) override;
    bool IsIdentity18(TTemplateSensors* sensor) override;

    void SetLineSettings(int32_t Baud, int32_t Flow);  // caller holds D2XXGuard
    // Code 17 or 18 (any other: -1, nothing sent); also while destroying.
    int32_t Command(int32_t Code);

    // Exchange steps; the caller holds D2XXGuard and has checked the handle.
    // False when the frame did not go out whole (a line that is gone).
    bool Send(std::span<const uint8_t> Frame, bool Purge);
    bool SendRequest(uint8_t Cmd, bool Purge);
    // Polls the receive queue until MinBytes wait or WaitMs have passed; the last count.
    uint32_t WaitForReply(uint32_t MinBytes, uint32_t WaitMs);
    // Reads with Count until a read brings nothing, fails or fills the buffer;
    // every read's bytes behind the earlier ones.
    Bytes ReadReply(uint32_t Count);
    // Frame replies ('P', 'S', the update frames): MinBytes awaited up to 500 ms,
    // then the read ends with the reply frame; bytes that start no frame, or all
    // bytes with LateMayFollow, are read until the line is quiet.
    TFrameReply ReadFrameReply(uint32_t MinBytes, bool LateMayFollow = false);
    // Directory and header replies (text, no end mark): the first byte awaited up
    // to 500 ms, then reads of the whole buffer until one brings nothing.
    Bytes ReadTextReply();
    // The text request exchange: send, wait for 4 bytes up to 500 ms, read what
    // waits until the line is quiet.
    Bytes Exchange(uint8_t Cmd, bool Purge);
    // Update reply: 0 acknowledged, else the error code (-1 when it has none).
    static int32_t JudgeUpdateReply(const TFrameReply& Reply);

    std::unique_ptr<TFtdiDevice> fFtdiDevice;
    std::unique_ptr<TSensorsDLU> fSensorDLU;
    std::vector<TTemplateSensors*> fSensors;
    std::string fSerialNo;
    std::atomic<d2xx::Handle> fHandle{nullptr};
};
