// The radio base device (Radio Master) on one FTDI line, parent of the Desk-Port
// and instrument classes: its line, its reader, its sensor tables and every request
// of the frame protocol that it and its children send.
//
// Locks (the library's order, see uFtdiDevice.h): DeviceLock -> D2XXLock ->
// BufferLock. The parameter and MAC reads take DeviceLock, then D2XXLock; the other
// requests D2XXLock alone; the getters DeviceLock, then BufferLock. The parser looks
// sensors up with BufferLock alone (IReaderOwner). Notifications found during an
// exchange are raised once every lock of the request is released.
//
// Sensors: registered with the handle registry when added; on removal they leave
// the tables under DeviceLock and BufferLock, and are unregistered (waiting for the
// clients inside them) and freed after both locks are let go.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "uFrameExchange.h"
#include "uFtdiDevice.h"
#include "uGlobalDev.h"
#include "uRTUUReplies.h"
#include "uTemplateDevices.h"
#include "uTemplateSensors.h"

// SensorCountSum (the sensor counts of the radio base, Desk-Port and Starter-Port
// devices, rebuilt by every scan) is declared in uGlobalDev.h, next to the records.
// Set while a device frees or removes sensor objects; the exports refuse calls meanwhile.
extern std::atomic<bool> DevicesBusy;

// Number of set bits in Length bytes.
uint32_t CountBits(const uint8_t* Buffer, uint32_t Length);
// Number of set bits of Value's four bytes.
uint32_t CountBits32(uint32_t Value);

class TRTUU : public TTemplateDevices {
public:
    static constexpr int kNodeAddresses = 100;
    static constexpr int kSensorSlots = 100;
    static constexpr int kCalibrationValues = TTemplateSensors::kCalibrationValues;
    static constexpr int kTrimValues = TTemplateSensors::kTrimValues;

    // Asks whether a radio unit's MAC is allowed with this base's MAC.
    using TSensorAllowedEvent = std::function<bool(const std::string& SensorMAC, const std::string& OwnMAC)>;

    // Reader made with this object as owner, both threads running; line closed.
    TRTUU();
    // IsDestroying, close, wait 1200 ms, free the sensors, stop the reader.
    ~TRTUU() override;

    // ---- object, line, tables ----
    int32_t GetReaderPending() override;
    int32_t GetTyp() override;                         // 2
    void GetName(std::u16string& Name) override;       // "RTUU"; empty while destroying
    int32_t GetMaxSensors() override;
    void SetSerialNo(const std::string& SerialNo) override;
    std::string GetSerialNo() override;
    d2xx::Handle GetHandle() override;                 // the handle of the last open, kept after a close
    TTemplateSensors* GetSensor(int32_t Index) override;  // Index < 0 throws std::out_of_range
    TTemplateSensors* FindSensorByAddress(int32_t Address) override;
    int32_t GetSensorCount() override;
    // 0 open (the handle: GetHandle), -1 failed.
    int32_t OpenDevice(int32_t BaudRate, int32_t FlowControl) override;
    // 0 open with Handle := the new handle, -1 failed (no device, or the open failed).
    int32_t SetLineSettings(const std::string& SerialNo, int32_t BaudRate, uint8_t WordLength, uint8_t StopBits,
                            uint8_t Parity, uint16_t FlowControl, d2xx::Handle& Handle);
    // Status of the close. A line closed already is not closed again (kInvalidHandle).
    int32_t CloseDevice() override;
    bool IsLineOpen() const { return LineOpen.load(); }
    // Hardware kind (parameter 11); OwnAddress := parameter 4; -1 while measuring, 0 while destroying.
    virtual int32_t Identify(d2xx::Handle Handle, int64_t& OwnAddress);
    bool GetOwnAddressValid() const { return OwnAddressValid.load(); }
    // Frees every sensor object and empties the tables (DevicesBusy meanwhile).
    void FreeAllSensors();
    // Takes the sensor out of the tables and frees it (DevicesBusy meanwhile); true
    // when it was there. Kind: its node's kind byte (0 remote, 1 own unit).
    bool RemoveSensor(TTemplateSensors* Sensor, uint8_t Kind);
    // Node list, admission and ejection, identities, channel counts and node values of
    // the radio units (scan thread, DeviceListLock held); true when a sensor node came,
    // went or got a new identity.
    bool RefreshSensors(TDeviceStructure* Node) override;

    void SetOnSensorAllowed(TSensorAllowedEvent Event);
    // OnSensorAllowed's answer; false when none is set.
    bool SensorAllowed(const std::string& SensorMAC, const std::string& OwnMAC);
    void SetNetworkLock(bool Value) { NetworkLock.store(Value); }
    bool GetNetworkLock() const { return NetworkLock.load(); }
    void SetOwnMAC(const std::string& Value);
    std::string GetOwnMAC();
    void SetReaderTimeBase(uint32_t Value);
    uint8_t GetSampleRate() const { return SampleRate.load(); }
    // The node list of the last ReadNodeList; -1 ends it.
    const std::array<int32_t, kNodeAddresses>& GetNodeAddresses() const { return NodeAddresses; }
    TFtdiDevice& GetReader() { return *Reader; }

    // ---- requests (address: 16-bit radio address, 0 the device itself) ----
    // 0 written, -1 failed. Size <= 1 sends one byte, 2 two, larger four.
    int32_t WriteParam(int32_t Address, int32_t Param, int32_t Size, int32_t Value);
    // Value zero-extended; -1 failed.
    int64_t ReadParam(int32_t Address, int32_t Param);
    int32_t SetRTUUParam(int32_t Param, int32_t Size, int32_t Value) override;
    int64_t GetRTUUParam(int32_t Param) override;
    // 1 filled, -1 failed (record untouched).
    int32_t GetRTUUParams(TRTUUParams* Params) override;
    // 1 filled, -1 failed (record untouched).
    int32_t ReadRTCUParams(int32_t Address, TRTCUParam* Params);
    // MAC of the device (address 0, parameter 7), of its own radio unit (parameter 2)
    // or of a remote unit (parameter 3); kNoMAC on failure.
    std::string GetMACExtAddr(int32_t Address, bool OwnRadioUnit);
    // Fills the node-address table; false (entry 0 -1) when no valid list came.
    bool ReadNodeList();
    // Size 1 to 4 value bytes from the low 32 bits; 0 / -1 (-1 for other sizes, nothing sent).
    int32_t WriteSensorEEPROM(int32_t Address, int32_t Id, int32_t Size, int64_t Value);
    // The float's four bytes; calibration and trim values alike. 0 / -1.
    int32_t WriteSensorEEPROMFloat(int32_t Address, int32_t Id, float Value);
    // 1 to 4 value bytes zero-extended; -1 failed.
    int64_t ReadSensorParam(int32_t Address, int32_t Id);
    // Block 0 fills Data, 1 Calibration (15 values), 2 Trim (10 values); 1 / -1.
    int32_t ReadSensorEEPROM(int32_t Address, int32_t Block, TSensorEEPROMData* Data, float* Calibration,
                             float* Trim);
    int32_t SetRange(int32_t Address, int32_t Value1, int32_t Value2);
    // The value byte of the last pair whose id is Id or 0xFF; -1 failed.
    int32_t GetRange(int32_t Address, int32_t Id);
    int32_t SendSensorCommand(int32_t Address, int32_t Command, int32_t Value);
    int32_t SetValueToZero(int32_t Address, int32_t Value);
    // Count 16-bit values into Values[0..Count-1]; mode 18 (5 or 6 values, the last a
    // status word) combines two replies into 32-bit values in Values[0..4]. 0 / -1.
    int32_t ReadLatest(int32_t Address, int32_t Count, int32_t* Values, int32_t Mode) override;
    // 0 started, -1 refused (MeasureMode is set either way once the request went
    // out; a closed line sends nothing and sets nothing).
    virtual int32_t StartMeasure();
    // Clears the reader's active flag and MeasureMode whatever happens; 0, or -1
    // when the stop could not go out (closed line, destroying).
    virtual int32_t StopMeasure();
    // True from a start that went out to the stop that followed it.
    bool GetMeasureStarted() const { return MeasureStarted.load(); }
    int32_t SendZ();
    // Codes 5 StartMeasure, 6 StopMeasure, 10 SendZ; -1 for a text that does not
    // parse and for any other code (nothing sent). Reply is not written.
    int32_t SendCmdAndGetResponse(const char* Cmd, int32_t& Reply) override;
    // Bytes in the receive queue of CurrentHandle; -1 while destroying or on failure.
    int32_t BytesWaiting();
    // The float whose little-endian bytes are B0..B3.
    static float FloatFromBytes(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3);

    // ---- firmware update (uRTUUUpdate.cpp) ----
    // Each holds D2XXLock for its own exchange only. 0 acknowledged; the device's
    // error code (1..255) from a fresh refusal; -1 when destroying, the line is
    // closed, the arguments do not fit the frame, or no fresh whole reply came.
    // HardwareCount 0..kMaxHardwareCount (nothing sent otherwise, nor for a nil
    // list with a count above 0).
    int32_t UpdateStart(int32_t Address, int32_t NewFirmware, int32_t PartIndex, int32_t PartCount,
                        int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                        const uint8_t* HardwareList) override;
    int32_t UpdateFinish(int32_t Address, uint32_t CheckValue) override;
    // Reads the whole part from the stream, then sends it in blocks. A part larger
    // than the image or of negative size, a nil stream, or a stream that cannot be
    // read whole: -1, nothing sent. Size 0: 0, nothing sent. A block that stays
    // unacknowledged after the attempts gives the last attempt's error code (-1
    // when that attempt brought no fresh refusal).
    int32_t UpdateBlocks(int32_t Address, int32_t Reserved, FirmwareStream* const* Stream) override;

    // The constants of the update exchanges; a child class returns its own.
    struct TUpdateConstants {
        uint32_t ImageSize = 100000;        // largest part
        uint32_t BlockSize = 100;           // image bytes per block frame (at most kMaxBlockSize)
        int BlockAttempts = 10;             // per block
        uint32_t StartWaitMs = 2000;
        uint32_t StartWaitBytes = 5;
        uint32_t BlockWaitMs = 500;
        uint32_t BlockWaitBytes = 5;
        uint32_t BlockBytesNeeded = 5;      // waiting after the wait, else the attempt fails unread
        uint32_t FinishWaitMs = 2000;
        uint32_t FinishWaitBytes = 5;
    };
    static constexpr int32_t kMaxHardwareCount = 120;  // 2n + 14 fits LEN
    static constexpr uint32_t kMaxBlockSize = 247;     // k + 7 fits LEN
    static constexpr uint8_t kUpdateAck = 0x28;

    // ---- the parser's lookups (parser thread, BufferLock held, no device lock) ----
    TTemplateSensors* FindSensorByAddressUnderBufferLock(int32_t Address);
    TTemplateSensors* GetSensorUnderBufferLock(int32_t Index);
    // True for a sensor of exactly the class TSensorsRTCU whose identity is 18.
    bool IsIdentity18(TTemplateSensors* Sensor);

protected:
    // Registers the sensor and puts it at the end of Sensors and into the first free
    // slot; false when every slot is taken (the caller keeps the sensor).
    bool AddSensor(TTemplateSensors* Sensor);
    // The instruments' one sensor: unless Node has a sensor node already, Sensor
    // (its owner set) gets address 1 and kind byte Kind, goes into the tables and
    // becomes Node's only sensor node; true when it was made.
    bool AddOnlySensorNode(TDeviceStructure* Node, std::unique_ptr<TTemplateSensors> Sensor, uint8_t Kind);

    // Short exchange of the instruments' commands, under D2XXLock alone: the
    // receive buffer (and the transmit buffer) purged first where asked, the frame
    // written, up to 500 ms for 4 bytes, then read until the first whole frame (of
    // EndCommand, when given: the frames of a stream before it are read too). The
    // bytes of this exchange only; empty when destroying or the line is closed.
    TFrameReply ShortExchange(std::span<const uint8_t> Frame, bool PurgeRxFirst, bool PurgeTxFirst = false,
                              int EndCommand = -1);
    // A short command without a reply to judge: purged and written as ShortExchange
    // does, but nothing is awaited. True when the frame went out whole.
    bool ShortSend(std::span<const uint8_t> Frame, bool PurgeRxFirst);
    // The purges and the write of both; caller holds D2XXGuard.
    bool ShortWrite(std::span<const uint8_t> Frame, bool PurgeRxFirst, bool PurgeTxFirst);
    // 0 when the short exchange brought a whole frame with ReplyCode (after whole
    // frames of a stream, if any), else -1.
    int32_t ShortCommand(std::span<const uint8_t> Frame, bool PurgeRxFirst, uint8_t ReplyCode);
    // The command code and first value of a command text; false (nothing to send)
    // for a nil text or one that does not parse.
    static bool ParseCommand(const char* Cmd, int32_t& Code, int32_t& Value1);

    // Set by a class with one sensor that answers every address (the parser's
    // lookups and FindSensorByAddress then give the first sensor).
    std::atomic<bool> OneSensorForEveryAddress{false};
    // This device's part of MeasureMode (see GetMeasureStarted).
    std::atomic<bool> MeasureStarted{false};

    // One request: the frame is in TransmitBuffer; Decode judges each attempt's reply
    // and returns true when it took it.
    struct TRequest {
        int Attempts = 4;
        bool TakeDeviceLock = false;
        bool ReaderTest = true;
        bool Abort = false;
        bool PumpBeforeAttempts = false;
        bool PumpAfterReads = false;
        bool RebuildEachAttempt = false;  // purge the transmit buffer and build again
        // No reply is judged: success once the frame went out; no reply is awaited,
        // so the request holds D2XXLock only for its write.
        bool NoReply = false;
        std::function<int()> Build;  // builds the frame in TransmitBuffer, returns its length
        // The frame answers this request (its command; for reads also the address and
        // ids it carries). Other frames are handed on and the attempt waits on.
        std::function<bool(const TFrameReply&)> Answers;
        std::function<bool(const TFrameReply&)> Decode;
    };
    // False when destroying or the line is closed (nothing sent) or no attempt's reply
    // was taken. A write that fails or a line that hangs up ends it at once.
    bool Request(const TRequest& Request);
    // The handle requests use: nullptr once the line is closed.
    d2xx::Handle LineHandle() const { return LineOpen.load() ? FTHandle.load() : nullptr; }
    TExchangeSettings Settings(bool Abort) const;

    // ---- update exchange steps (caller holds D2XXGuard, CurrentHandle set) ----
    virtual TUpdateConstants UpdateConstants() const;
    // The frames in TransmitBuffer; their length. Count > kMaxHardwareCount or a
    // block beyond kMaxBlockSize are the caller's to refuse.
    static int BuildUpdateStartFrame(int32_t Address, int32_t NewFirmware, int32_t PartIndex, int32_t PartCount,
                                     int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                                     const uint8_t* HardwareList);
    static int BuildUpdateBlockFrame(int32_t Address, uint32_t Offset, const uint8_t* Bytes, uint32_t Count);
    static int BuildUpdateFinishFrame(int32_t Address, uint32_t CheckValue);
    // Sends the first Length bytes of TransmitBuffer, then UpdateWait; an empty
    // reply when the line takes no frame.
    // LateMayFollow: the attempt before brought no whole frame (see TExchangeSettings).
    TFrameReply UpdateExchange(int Length, uint32_t WaitMs, uint32_t WaitBytes, uint32_t NeededBytes,
                               bool LateMayFollow = false);
    // Waits for WaitBytes or WaitMs; with fewer than NeededBytes waiting then (a
    // failed queue query counts as none), nothing is read: an empty reply. Else
    // the bytes of this exchange.
    TFrameReply UpdateWait(uint32_t WaitMs, uint32_t WaitBytes, uint32_t NeededBytes, bool LateMayFollow = false);
    // The finish frame and its reply with the class's finish wait; the caller
    // holds D2XXLock. Empty when destroying or the line is closed.
    TFrameReply FinishExchange(int32_t Address, uint32_t CheckValue);
    // 0 for an acknowledgement (a whole frame 0x28); the error code of a whole
    // fresh refusal; -1 for anything else (no reply, a cut frame, code 0).
    static int32_t JudgeUpdateReply(const TFrameReply& Reply);

    std::recursive_mutex DeviceLock;  // Sensors, SensorSlots, parameter and MAC reads
    std::unique_ptr<TFtdiDevice> Reader;
    std::atomic<d2xx::Handle> FTHandle{nullptr};
    std::atomic<bool> LineOpen{false};

    // Under DeviceLock and BufferLock; the parser reads them with BufferLock alone.
    std::vector<TTemplateSensors*> Sensors;
    std::array<TTemplateSensors*, kSensorSlots> SensorSlots{};

    // Written and read by the scan thread.
    std::array<int32_t, kNodeAddresses> NodeAddresses{};

private:
    // Answers the reader's parser for this object. A member object of its own, so
    // the parser never dispatches through this object's vtable, which a derived
    // class's destructor rewrites while the parser still runs.
    class TReaderOwner final : public IReaderOwner {
    public:
        explicit TReaderOwner(TRTUU& Owner) : Owner(Owner) {}
        TTemplateSensors* FindSensorByAddressUnderBufferLock(int32_t Address) override {
            return Owner.FindSensorByAddressUnderBufferLock(Address);
        }
        TTemplateSensors* GetSensorUnderBufferLock(int32_t Index) override {
            return Owner.GetSensorUnderBufferLock(Index);
        }
        bool IsIdentity18(TTemplateSensors* Sensor) override { return Owner.IsIdentity18(Sensor); }

    private:
        TRTUU& Owner;
    };
    TReaderOwner ReaderOwner{*this};

    int32_t ReadLatestMode18(int32_t Address, int32_t Count, int32_t* Values);

    // Refresh steps (uRTUURefresh.cpp).
    bool AdmitListedUnits(TDeviceStructure& Node);
    bool AdmitNewUnit(TDeviceStructure& Node, int32_t Address);
    void CheckKnownUnit(TSensorStructure& Unit);
    void EjectUnit(int32_t Address, bool OwnUnit);
    bool UpdateSensorNodes(TDeviceStructure& Node, bool ListValid);
    bool UpdateRemoteUnit(TSensorStructure& Unit, bool& Changed);
    void UpdateOwnUnit(TSensorStructure& Unit);
    bool IsListed(int32_t Address) const;
    // Unregisters (waiting for the clients still inside) and frees a sensor that is
    // out of the tables already.
    static void DestroySensor(TTemplateSensors* Sensor);

    std::mutex TextLock;  // SerialNo, OwnMAC, OnSensorAllowed
    std::string SerialNo;
    std::string OwnMAC;
    TSensorAllowedEvent OnSensorAllowed;
    std::atomic<bool> OwnAddressValid{false};
    std::atomic<bool> NetworkLock{false};
    std::atomic<uint8_t> SampleRate{50};
};
