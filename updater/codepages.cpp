#include "codepages.h"

#include <QList>

#include <array>
#include <cstdint>

namespace {

struct BuiltinTable {
  int codePage;
  std::array<char16_t, 128> upper;  // bytes 0x80..0xFF
};

constexpr BuiltinTable kTables[] = {
#include "codepagetables.inc"
};

const BuiltinTable* FindTable(int codePage) {
  for (const BuiltinTable& t : kTables) {
    if (t.codePage == codePage) {
      return &t;
    }
  }
  return nullptr;
}

}  // namespace

bool HasBuiltinCodePage(int codePage) { return FindTable(codePage) != nullptr; }

void DecodeWithBuiltinTable(int codePage, QByteArrayView bytes, QString& out) {
  const BuiltinTable* table = FindTable(codePage);
  if (table == nullptr) {
    table = FindTable(1252);
  }
  out.reserve(out.size() + bytes.size());
  for (char c : bytes) {
    auto b = static_cast<std::uint8_t>(c);
    out.append(b < 0x80 ? QChar(b) : QChar(table->upper[b - 0x80]));
  }
}

QStringDecoder* CodePageDecoder::QtDecoder(int codePage) {
  auto found = decoders_.find(codePage);
  if (found == decoders_.end()) {
    std::optional<QStringDecoder> decoder;
    QList<QByteArray> names;
    if (codePage == 65001) {
      names = {"UTF-8"};
    } else if (codePage == 10000) {
      names = {"macintosh"};
    } else if (codePage > 0) {
      names = {"windows-" + QByteArray::number(codePage), "cp" + QByteArray::number(codePage)};
    }
    for (const QByteArray& name : names) {
      QStringDecoder candidate(name.constData(), QStringConverter::Flag::Stateless);
      if (candidate.isValid()) {
        decoder.emplace(std::move(candidate));
        break;
      }
    }
    found = decoders_.emplace(codePage, std::move(decoder)).first;
  }
  return found->second ? &*found->second : nullptr;
}

void CodePageDecoder::Decode(int codePage, QByteArrayView bytes, QString& out) {
  if (bytes.isEmpty()) {
    return;
  }
  if (QStringDecoder* decoder = QtDecoder(codePage)) {
    out.append(decoder->decode(bytes));
  } else if (HasBuiltinCodePage(codePage)) {
    DecodeWithBuiltinTable(codePage, bytes, out);
  } else if (QStringDecoder* fallback = QtDecoder(1252)) {
    out.append(fallback->decode(bytes));
  } else {
    DecodeWithBuiltinTable(1252, bytes, out);
  }
}
