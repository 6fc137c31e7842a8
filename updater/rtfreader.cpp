#include "rtfreader.h"

#include "codepages.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxDepth = 256;       // deeper groups are skipped whole
constexpr std::size_t kMaxWordLength = 32;   // longer control words are cut
constexpr int kDefaultFontSize = 24;         // half points
constexpr double kTwipsPerPixel = 15.0;      // 96 dots per inch
constexpr std::size_t kMaxTabStops = 64;

enum class Destination : std::uint8_t { Text, FontTable, Skip };

struct GroupState {
  Destination destination = Destination::Text;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  int fontSize = kDefaultFontSize;
  int font = -1;  // -1: the document's default font
  int unicodeSkip = 1;
  Qt::Alignment alignment = Qt::AlignLeft;
  int leftIndent = 0;  // twips
  int rightIndent = 0;
  int firstIndent = 0;
  int spaceBefore = 0;
  int spaceAfter = 0;
  std::vector<int> tabStops;  // twips
};

struct FontInfo {
  int charset = -1;
  int codePage = 0;
};

// Windows code page of an RTF font character set; 0 means the document's code page.
int CodePageOfCharset(int charset) {
  switch (charset) {
    case 0: return 1252;
    case 2: return 1252;  // symbol fonts: bytes as they are
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;
  }
}

// Control words whose group holds no text to show.
bool IsSkippedDestination(std::string_view word) {
  static constexpr std::string_view kWords[] = {
      "author",      "bkmkend",    "bkmkstart",  "buptim",     "colortbl",  "comment",
      "creatim",     "datastore",  "doccomm",    "falt",       "fldinst",   "filetbl",
      "footer",      "footerf",    "footerl",    "footerr",    "footnote",  "generator",
      "header",      "headerf",    "headerl",    "headerr",    "info",      "keywords",
      "latentstyles", "listoverridetable", "listtable", "nonshppict", "object", "operator",
      "pict",        "pn",         "printim",    "private",    "revtim",    "revtbl",
      "rsidtbl",     "stylesheet", "subject",    "template",   "themedata", "title",
      "txe",         "xe",         "xmlnstbl",   "colorschememapping", "userprops"};
  return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Drops characters that a document must not hold as text (controls, the document's
// own frame markers, lone surrogates).
void AppendSanitized(const QString& text, QString& out) {
  out.reserve(out.size() + text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
      out.append(text[i]);
      out.append(text[i + 1]);
      ++i;
    } else if (QChar::isSurrogate(c) || c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC || c == 0xFFFE ||
               c == 0xFFFF) {
      out.append(QChar(QChar::ReplacementCharacter));
    } else if (c == u'\t' || c == 0x2028) {
      out.append(text[i]);
    } else if (c < 0x20 || c == 0x7F || c == 0x2029) {
      continue;
    } else {
      out.append(text[i]);
    }
  }
}

class RtfParser {
 public:
  // `start` is the offset of the document's opening brace.
  RtfParser(QByteArrayView in, qsizetype start, QTextDocument* doc) : in_(in), pos_(start), cursor_(doc) {}

  void Run() {
    cursor_.beginEditBlock();
    states_.push_back(GroupState{});  // outside every group
    while (pos_ < in_.size() && !done_) {
      const char c = in_[pos_];
      if (overflow_ > 0) {
        SkipOverflow(c);
        continue;
      }
      switch (c) {
        case '{':
          ++pos_;
          OpenGroup();
          break;
        case '}':
          ++pos_;
          CloseGroup();
          break;
        case '\\':
          ++pos_;
          ControlSequence();
          break;
        case '\r':
        case '\n':
          ++pos_;
          break;
        default:
          ++pos_;
          TextByte(static_cast<std::uint8_t>(c));
          break;
      }
    }
    FlushText();
    cursor_.endEditBlock();
  }

 private:
  GroupState& State() { return states_.back(); }

  // Inside groups nested too deep only braces count; escaped braces do not.
  void SkipOverflow(char c) {
    ++pos_;
    if (c == '{') {
      ++overflow_;
    } else if (c == '}') {
      --overflow_;
    } else if (c == '\\' && pos_ < in_.size()) {
      ++pos_;
    }
  }

  void OpenGroup() {
    FlushText();
    pendingSkip_ = 0;
    if (states_.size() > kMaxDepth) {
      overflow_ = 1;
      return;
    }
    states_.push_back(State());
  }

  void CloseGroup() {
    FlushText();
    pendingSkip_ = 0;
    if (states_.size() <= 2) {  // the document's own group has ended
      done_ = true;
      return;
    }
    states_.pop_back();
  }

  void ControlSequence() {
    if (pos_ >= in_.size()) {
      return;
    }
    const char c = in_[pos_];
    if (!IsLetter(c)) {
      ++pos_;
      ControlSymbol(c);
      return;
    }
    std::string word;
    while (pos_ < in_.size() && IsLetter(in_[pos_])) {
      if (word.size() < kMaxWordLength) {
        word.push_back(in_[pos_]);
      }
      ++pos_;
    }
    bool hasParam = false;
    bool negative = false;
    std::int64_t value = 0;
    if (pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      hasParam = true;
      value = std::min<std::int64_t>(value * 10 + (in_[pos_] - '0'), INT32_MAX);
      ++pos_;
    }
    if (pos_ < in_.size() && in_[pos_] == ' ') {
      ++pos_;
    }
    const int param = static_cast<int>(negative ? -value : value);
    ControlWord(word, hasParam, param);
  }

  void ControlSymbol(char c) {
    switch (c) {
      case '\'': {
        int value = -1;
        for (int n = 0; n < 2 && pos_ < in_.size(); ++n) {
          const int digit = HexValue(in_[pos_]);
          if (digit < 0) {
            break;
          }
          value = (value < 0 ? 0 : value * 16) + digit;
          ++pos_;
        }
        if (value >= 0) {
          TextByte(static_cast<std::uint8_t>(value));
        }
        break;
      }
      case '\\':
      case '{':
      case '}':
        TextByte(static_cast<std::uint8_t>(c));
        break;
      case '~':
        TextChar(0x00A0);
        break;
      case '-':
        TextChar(0x00AD);
        break;
      case '_':
        TextChar(0x2011);
        break;
      case '*':
        if (State().destination != Destination::Skip) {
          FlushText();
          State().destination = Destination::Skip;
        }
        break;
      case '\r':
      case '\n':
        Paragraph();
        break;
      default:
        break;  // \| \: and unknown symbols
    }
  }

  void ControlWord(const std::string& word, bool hasParam, int param) {
    GroupState& s = State();
    if (word == "bin") {
      // Binary data: never text, skipped within the input's bounds.
      const auto count = static_cast<qsizetype>(hasParam && param > 0 ? param : 0);
      pos_ += std::min(count, in_.size() - pos_);
      return;
    }
    if (s.destination == Destination::Skip) {
      return;
    }
    if (IsSkippedDestination(word)) {
      FlushText();
      s.destination = Destination::Skip;
      return;
    }
    if (s.destination == Destination::FontTable) {
      FontTableWord(word, hasParam, param);
      return;
    }
    if (word == "fonttbl") {
      FlushText();
      s.destination = Destination::FontTable;
      return;
    }
    if (word == "u") {
      // Signed 16-bit in the file; a pair of \u gives a surrogate pair, so the text
      // is not flushed in between.
      pendingSkip_ = 0;
      TextChar(static_cast<char16_t>(param & 0xFFFF));
      pendingSkip_ = s.unicodeSkip;
      return;
    }
    if (TextWord(word)) {
      return;
    }
    FlushText();
    const bool on = !hasParam || param != 0;
    if (word == "par" || word == "row" || word == "sect" || word == "page") {
      Paragraph();
    } else if (word == "pard") {
      s.alignment = Qt::AlignLeft;
      s.leftIndent = s.rightIndent = s.firstIndent = s.spaceBefore = s.spaceAfter = 0;
      s.tabStops.clear();
    } else if (word == "plain") {
      s.bold = s.italic = s.underline = false;
      s.fontSize = kDefaultFontSize;
      s.font = -1;
    } else if (word == "b") {
      s.bold = on;
    } else if (word == "i") {
      s.italic = on;
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "uldash" || word == "ulth" ||
               word == "ulw" || word == "ulwave") {
      s.underline = on;
    } else if (word == "ulnone") {
      s.underline = false;
    } else if (word == "fs") {
      s.fontSize = hasParam && param > 0 ? std::clamp(param, 2, 1000) : kDefaultFontSize;
    } else if (word == "f") {
      s.font = hasParam ? param : -1;
    } else if (word == "uc") {
      s.unicodeSkip = std::clamp(param, 0, 255);
    } else if (word == "qc") {
      s.alignment = Qt::AlignHCenter;
    } else if (word == "ql") {
      s.alignment = Qt::AlignLeft;
    } else if (word == "qr") {
      s.alignment = Qt::AlignRight;
    } else if (word == "qj") {
      s.alignment = Qt::AlignJustify;
    } else if (word == "li") {
      s.leftIndent = std::clamp(param, 0, 31680);
    } else if (word == "ri") {
      s.rightIndent = std::clamp(param, 0, 31680);
    } else if (word == "fi") {
      s.firstIndent = std::clamp(param, -31680, 31680);
    } else if (word == "sb") {
      s.spaceBefore = std::clamp(param, 0, 31680);
    } else if (word == "sa") {
      s.spaceAfter = std::clamp(param, 0, 31680);
    } else if (word == "tx") {
      if (s.tabStops.size() < kMaxTabStops) {
        s.tabStops.push_back(std::clamp(param, 0, 31680));
      }
    } else if (word == "ansi") {
      codePage_ = 1252;
    } else if (word == "mac") {
      codePage_ = 10000;
    } else if (word == "pc") {
      codePage_ = 437;
    } else if (word == "pca") {
      codePage_ = 850;
    } else if (word == "ansicpg") {
      if (param > 0) {
        codePage_ = param;
      }
    } else if (word == "deff") {
      defaultFont_ = param;
    }
  }

  // Control words that stand for a character; true when `word` was one.
  bool TextWord(const std::string& word) {
    static const std::map<std::string_view, char16_t> kChars = {
        {"tab", u'\t'},         {"cell", u'\t'},        {"nestcell", u'\t'},    {"line", 0x2028},
        {"emdash", 0x2014},     {"endash", 0x2013},     {"emspace", 0x2003},    {"enspace", 0x2002},
        {"qmspace", 0x2005},    {"bullet", 0x2022},     {"lquote", 0x2018},     {"rquote", 0x2019},
        {"ldblquote", 0x201C},  {"rdblquote", 0x201D},  {"zwj", 0x200D},        {"zwnj", 0x200C},
        {"ltrmark", 0x200E},    {"rtlmark", 0x200F},    {"zwbo", 0x200B},       {"zwnbo", 0xFEFF}};
    const auto found = kChars.find(word);
    if (found == kChars.end()) {
      return false;
    }
    TextChar(found->second);
    return true;
  }

  void FontTableWord(const std::string& word, bool hasParam, int param) {
    if (word == "f" && hasParam) {
      fontBeingDefined_ = param;
    } else if (word == "fcharset" && fontBeingDefined_ >= 0) {
      fonts_[fontBeingDefined_].charset = param;
    } else if (word == "cpg" && fontBeingDefined_ >= 0 && param > 0) {
      fonts_[fontBeingDefined_].codePage = param;
    }
  }

  int CurrentCodePage() {
    const int font = State().font >= 0 ? State().font : defaultFont_;
    const auto found = fonts_.find(font);
    if (found != fonts_.end()) {
      if (found->second.codePage > 0) {
        return found->second.codePage;
      }
      if (const int cp = CodePageOfCharset(found->second.charset); cp > 0) {
        return cp;
      }
    }
    return codePage_;
  }

  // One byte of 8-bit text in the current code page.
  void TextByte(std::uint8_t b) {
    if (pendingSkip_ > 0) {
      --pendingSkip_;
      return;
    }
    if (State().destination == Destination::Text) {
      pendingBytes_.append(static_cast<char>(b));
    }
  }

  // One UTF-16 code unit of text.
  void TextChar(char16_t c) {
    if (pendingSkip_ > 0) {
      --pendingSkip_;
      return;
    }
    if (State().destination == Destination::Text) {
      DecodeBytes();
      pendingText_.append(QChar(c));
    }
  }

  void DecodeBytes() {
    if (!pendingBytes_.isEmpty()) {
      decoder_.Decode(CurrentCodePage(), pendingBytes_, pendingText_);
      pendingBytes_.clear();
    }
  }

  QTextCharFormat CharFormat() {
    const GroupState& s = State();
    QTextCharFormat format;
    format.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(s.italic);
    format.setFontUnderline(s.underline);
    format.setFontPointSize(s.fontSize / 2.0);
    return format;
  }

  QTextBlockFormat BlockFormat() {
    const GroupState& s = State();
    QTextBlockFormat format;
    format.setAlignment(s.alignment);
    format.setLeftMargin(s.leftIndent / kTwipsPerPixel);
    format.setRightMargin(s.rightIndent / kTwipsPerPixel);
    format.setTextIndent(s.firstIndent / kTwipsPerPixel);
    format.setTopMargin(s.spaceBefore / kTwipsPerPixel);
    format.setBottomMargin(s.spaceAfter / kTwipsPerPixel);
    QList<QTextOption::Tab> tabs;
    for (int stop : s.tabStops) {
      tabs.append(QTextOption::Tab(stop / kTwipsPerPixel, QTextOption::LeftTab));
    }
    format.setTabPositions(tabs);
    return format;
  }

  // Puts the collected text into the document with the current formatting.
  void FlushText() {
    DecodeBytes();
    if (pendingText_.isEmpty()) {
      return;
    }
    QString clean;
    AppendSanitized(pendingText_, clean);
    pendingText_.clear();
    if (!clean.isEmpty()) {
      cursor_.setBlockFormat(BlockFormat());
      cursor_.insertText(clean, CharFormat());
    }
  }

  void Paragraph() {
    pendingSkip_ = 0;
    if (State().destination != Destination::Text) {
      return;
    }
    FlushText();
    cursor_.setBlockFormat(BlockFormat());
    cursor_.insertBlock(BlockFormat(), CharFormat());
  }

  QByteArrayView in_;
  qsizetype pos_ = 0;
  QTextCursor cursor_;
  std::vector<GroupState> states_;
  std::size_t overflow_ = 0;
  bool done_ = false;
  int pendingSkip_ = 0;
  int codePage_ = 1252;
  int defaultFont_ = -1;
  int fontBeingDefined_ = -1;
  std::map<int, FontInfo> fonts_;
  CodePageDecoder decoder_;
  QByteArray pendingBytes_;
  QString pendingText_;
};

// Offset of the opening "{\rtf" after leading white space, or -1.
qsizetype HeaderOffset(QByteArrayView rtf) {
  qsizetype i = 0;
  while (i < rtf.size() && (rtf[i] == ' ' || rtf[i] == '\t' || rtf[i] == '\r' || rtf[i] == '\n')) {
    ++i;
  }
  return rtf.sliced(i).startsWith("{\\rtf") ? i : -1;
}

}  // namespace

bool ReadRtf(QByteArrayView rtf, QTextDocument* doc) {
  const qsizetype start = HeaderOffset(rtf);
  if (doc == nullptr || start < 0) {
    return false;
  }
  doc->clear();
  RtfParser(rtf, start, doc).Run();
  return true;
}
