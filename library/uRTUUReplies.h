// The pure halves of the radio base's requests (unit uRTUU): the command text and
// the decoding of each reply. A decoder judges the bytes of one exchange; false
// fails the attempt, and its output is written only from a reply it accepts.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tovamod.h"
#include "uFrameExchange.h"

// MAC text when no address is known.
inline constexpr std::string_view kNoMAC = "FFFFFFFFFFFFFFFF";

// Parses a command text such as "0017,1,\r": Code := the integer before the first
// comma; then, after the first five characters, up to three comma-terminated
// integers (missing ones 0). False (values 0, Code unchanged) without a carriage
// return. A code or value that is no decimal integer throws std::invalid_argument.
bool ParseCommandText(std::string_view Text, int32_t& Code, int32_t& Value1, int32_t& Value2, int32_t& Value3);
// The instruments' reading of a command text: code and first value; false for a
// nil text or one that does not parse (nothing is thrown).
bool ParseInstrumentCommand(const char* Cmd, int32_t& Code, int32_t& Value1);

// The float whose little-endian bytes are B0..B3.
float FloatOfBytes(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3);

// Whether a whole frame answers a read: the reply command, the address the request
// carried (bytes 3, 4) and the id it asked (byte 5). A reply to another address or
// id, a late one to an earlier request, is no answer.
bool AnswersRead(const TFrameReply& Reply, uint8_t ReplyCmd, int32_t Address, uint8_t Id);
// The block reads: each id stands before its value; the ids within the frame must be
// the asked ones, in order (a frame cut short is left to the decoder to fail).
enum class TReadBlock { RTUUParams, RTCUParams, EEPROMData, EEPROMCalibration, EEPROMTrim };
bool AnswersBlockRead(const TFrameReply& Reply, uint8_t ReplyCmd, int32_t Address, TReadBlock Block);

// Parameter read (CMD 0x1A): LEN 5, 6, 8, 12 give 1, 2, 4, 8 value bytes from byte 6.
bool DecodeParamReply(const TFrameReply& Reply, int64_t& Value);
// Block read of the device parameters 0..13.
bool DecodeRTUUParamsReply(const TFrameReply& Reply, TRTUUParams& Params);
// Block read of a radio unit's parameters 0..28; Param3 (the MAC text) is replaced.
bool DecodeRTCUParamsReply(const TFrameReply& Reply, TRTCUParam& Params);
// MAC read: bytes 13 down to 6 as text, whatever LEN says; false for kNoMAC too.
bool DecodeMACReply(const TFrameReply& Reply, std::string& Text);
// Node list (CMD 0x1F): the addresses from byte 5 into Table from entry 0, at most
// Table.size() - 1 of them, then the end mark -1; the number stored.
bool DecodeNodeListReply(const TFrameReply& Reply, std::span<int32_t> Table, int& Stored);
// Sensor parameter read (CMD 0x4A): LEN 5..8 give 1..4 value bytes from byte 6.
bool DecodeSensorParamReply(const TFrameReply& Reply, int64_t& Value);
// Sensor EEPROM block 0 (data), 1 (15 calibration values) or 2 (10 trim values):
// only the asked block's output is written (and must not be nil).
bool DecodeSensorEEPROMReply(const TFrameReply& Reply, int32_t Block, TSensorEEPROMData* Data, float* Calibration,
                             float* Trim);
// Range read (CMD 0x4C): the value of the last pair (id, value) whose id is Id or 0xFF.
bool DecodeRangeReply(const TFrameReply& Reply, int32_t Id, int32_t& Value);
// Any reply with an empty payload: whole, 0x7E at byte 5.
bool IsEmptyReply(const TFrameReply& Reply);
// A latest-values reply (CMD 0x09 or 0x0A) that carries Count 16-bit values.
bool IsLatestReply(const TFrameReply& Reply, int32_t Count);
// Value I of a latest-values reply (bytes 5+2I, 6+2I).
uint32_t LatestValue(const TFrameReply& Reply, int32_t I);
// The whole frames from byte 0 include one with ReplyCode (the instruments' short
// commands, whose replies may come behind measurement frames).
bool HasReplyFrame(const TFrameReply& Reply, uint8_t ReplyCode);
