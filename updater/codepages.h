// Decoding of 8-bit text in a Windows code page (the code pages RTF files declare).
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <map>
#include <optional>

// Decodes bytes of a Windows code page, keeping one Qt converter per code page.
// Code pages that Qt cannot convert fall back to a built-in table (1250..1258),
// and any other unknown code page is read as 1252.
class CodePageDecoder {
 public:
  // Appends the decoded `bytes` to `out`. Each call stands alone: a multi-byte
  // sequence cut at the end of `bytes` becomes U+FFFD.
  void Decode(int codePage, QByteArrayView bytes, QString& out);

 private:
  QStringDecoder* QtDecoder(int codePage);

  std::map<int, std::optional<QStringDecoder>> decoders_;  // empty optional: Qt has none
};

// True for the code pages that have a built-in table.
bool HasBuiltinCodePage(int codePage);

// Decodes with the built-in table of `codePage` (1250..1258; others use 1252).
// Bytes below 0x80 are ASCII; undefined bytes become U+FFFD.
void DecodeWithBuiltinTable(int codePage, QByteArrayView bytes, QString& out);
