// Conversions between file bytes, text lines and numbers shared by the
// configuration files and the language texts.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>

// Text of a file by its byte-order mark: FF FE UTF-16 LE, FE FF UTF-16 BE,
// EF BB BF UTF-8; without a mark 8-bit text (UTF-8 when valid, else
// Windows-1252). A NUL character ends the text. UTF-16 is read as far as it
// decodes cleanly: an unpaired surrogate ends it, and an odd number of bytes ends
// it after its last line end. Whole, when given, tells whether the text ran to
// the end of the bytes (false when it was cut short, as by the NULs of UTF-16
// without a mark).
QString DecodeFileText(const QByteArray& bytes, bool* Whole = nullptr);

// Bytes taken as UTF-16 little-endian, without looking for a mark.
QString DecodeUtf16Le(const QByteArray& bytes);

// 8-bit text without a mark: UTF-8 when it is valid UTF-8, else Windows-1252.
QString Decode8Bit(const QByteArray& bytes);

// Lines of a text: CR LF, a lone CR, a lone LF and U+2028 each end a line; a
// line end at the very end of the text adds no empty line.
QStringList SplitLines(QStringView text);

// FF FE, then every line followed by CR LF, all in UTF-16 little-endian.
QByteArray EncodeUtf16LeLines(const QStringList& lines);

// Decimal 32-bit signed integer: optional leading blanks, an optional sign and
// at least one digit, nothing after it; nothing on overflow or other text.
std::optional<int32_t> ParseInt32(QStringView text);
