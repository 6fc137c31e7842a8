// Feeds arbitrary bytes to the RTF reader.
#include "rtfreader.h"

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static int argc = 1;
  static char name[] = "rtf_fuzz";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication app(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QTextDocument doc;
  if (ReadRtf(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), &doc)) {
    // walk what was built (no layout: fonts are the system's, not the reader's)
    std::size_t length = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
      length += static_cast<std::size_t>(b.text().size());
    }
    if (length > size * 2 + 16) {
      __builtin_trap();  // the reader never makes more text than its input allows
    }
  }
  return 0;
}
