#include "global.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

#include "filebytes.h"
#include "textconv.h"
#include "userlocale.h"

QString ExeDir;
uint8_t LogEnabled = 0;
uint8_t LogOpen = 0;
std::string LogFileName;
TLogFile LogFile;
std::string ProgramVersion;
std::string TypeCode;
uint8_t VersionCheck = 0;

// ---- languages -------------------------------------------------------------

namespace {

constexpr std::array<const char*, LanguageCount> Suffixes{
    "de", "uk", "sp", "ru", "pl", "ar", "fr", "pt", "nl", "ro", "bg", "cs",
    "hr", "ukr", "hu", "lt", "lv", "kk", "it", "sv", "grc", "tr", "vi", "ko",
};

struct PrimaryToLanguage {
    int primary;
    int32_t language;
};

constexpr std::array<PrimaryToLanguage, 24> StartLanguages{{
    {0x01, 5},  {0x02, 10}, {0x05, 11}, {0x07, 0},  {0x08, 20}, {0x09, 1},
    {0x0A, 2},  {0x0C, 6},  {0x0E, 14}, {0x10, 18}, {0x12, 23}, {0x13, 8},
    {0x15, 4},  {0x16, 7},  {0x18, 9},  {0x19, 3},  {0x1A, 12}, {0x1D, 19},
    {0x1F, 21}, {0x22, 13}, {0x26, 16}, {0x27, 15}, {0x2A, 22}, {0x3F, 17},
}};

// Windows finds files whatever the case of their names; the program names its
// fallback "Z5Update.uk" while the file ships as "Z5update.uk". So a name that
// does not exist as written is looked up in its folder ignoring case.
QString FindIgnoringCase(const QString& dir, const QString& name) {
    const QString exact = dir + name;
    if (QFileInfo::exists(exact)) return exact;
    const QDir folder(dir.isEmpty() ? QStringLiteral(".") : dir);
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& candidate : names)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0) return folder.filePath(candidate);
    return exact;
}

}  // namespace

const char* LanguageSuffix(int32_t Language) {
    return (Language >= 0 && Language < LanguageCount) ? Suffixes[static_cast<size_t>(Language)] : "uk";
}

int32_t LanguageOfPrimary(int PrimaryLanguage) {
    for (const PrimaryToLanguage& entry : StartLanguages)
        if (entry.primary == PrimaryLanguage) return entry.language;
    return 1;
}

int32_t StartLanguage() { return LanguageOfPrimary(UserPrimaryLanguage() & 0xFF); }

namespace {

// The first well-formed entry ("_" id "," maxlen ">" text) whose id Wanted accepts;
// its text goes to Text when given. False when there is none.
template <class Pred>
bool FindEntry(QStringView FileText, Pred Wanted, QString* Text) {
    const qsizetype size = FileText.size();
    // The next "," and ">" only move forward, so the scan stays linear however
    // many "_" the text holds.
    qsizetype comma = -1;
    qsizetype close = -1;
    for (qsizetype i = 0; i < size; ++i) {
        if (FileText[i] != u'_') continue;
        if (comma <= i) comma = FileText.indexOf(u',', i + 1);
        if (comma < 0) return false;  // no entry can follow
        const std::optional<int32_t> id = ParseInt32(FileText.sliced(i + 1, comma - i - 1));
        if (!id || !Wanted(*id)) continue;
        if (close <= comma) close = FileText.indexOf(u'>', comma + 1);
        if (close < 0) return false;
        const std::optional<int32_t> maxlen = ParseInt32(FileText.sliced(comma + 1, close - comma - 1));
        if (!maxlen) continue;  // malformed entry: look for a later one
        if (!Text) return true;
        const qsizetype start = close + 1;
        qsizetype length = *maxlen > 0 ? qMin<qsizetype>(*maxlen, size - start) : 0;
        const qsizetype cr = FileText.sliced(start, length).indexOf(u'\r');
        if (cr >= 0) length = cr;
        *Text = FileText.sliced(start, length).toString().replace(QStringLiteral("\\n"), QStringLiteral("\r\n"));
        return true;
    }
    return false;
}

QString LanguageFileName(int32_t Language) {
    return FindIgnoringCase(ExeDir, QStringLiteral("Z5update.") + QLatin1String(LanguageSuffix(Language)));
}

// Spelled as the program has always asked for it.
QString EnglishFileName() { return FindIgnoringCase(ExeDir, QStringLiteral("Z5Update.uk")); }

bool IsEnglish(int32_t Language) { return std::strcmp(LanguageSuffix(Language), "uk") == 0; }

// The text of a language file; nothing when it cannot be opened.
std::optional<QString> LanguageFileText(const QString& Name, std::string& Error) {
    const std::optional<QByteArray> bytes = ReadRegularFile(Name, Error);
    if (!bytes) return std::nullopt;
    return DecodeUtf16Le(*bytes);
}

// Opened and holds no entry at all (empty, garbage, not UTF-16).
bool WithoutTexts(const QString& Name) {
    std::string error;
    try {
        const std::optional<QString> text = LanguageFileText(Name, error);
        return text && !FindEntry(*text, [](int32_t) { return true; }, nullptr);
    } catch (const TFileError&) {
        return false;
    }
}

}  // namespace

bool FindLanguageText(QStringView FileText, int32_t Id, QString& Text) {
    return FindEntry(FileText, [Id](int32_t id) { return id == Id; }, &Text);
}

void GetLanguageText(int32_t Id, int32_t Language, QString& Text) {
    std::string error;
    const std::optional<QString> chosen = LanguageFileText(LanguageFileName(Language), error);
    if (chosen && FindLanguageText(*chosen, Id, Text)) return;
    if (chosen && IsEnglish(Language)) return;
    // A text the chosen file does not hold comes from the English file.
    const std::optional<QString> english = LanguageFileText(EnglishFileName(), error);
    if (english) FindLanguageText(*english, Id, Text);
    else if (!chosen) throw TFileError(error);
}

QStringList LanguageFilesWithoutTexts(int32_t Language) {
    QStringList names;
    const QString chosen = LanguageFileName(Language);
    if (WithoutTexts(chosen)) names << chosen;
    if (!IsEnglish(Language) && WithoutTexts(EnglishFileName())) names << EnglishFileName();
    return names;
}

// ---- update log ------------------------------------------------------------

namespace {

std::tm SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

TFileError LogError(const char* what, const std::string& path, int error) {
    return TFileError(std::string(what) + " log file " + path + ": " + std::strerror(error));
}

size_t CharacterCount(std::string_view utf8) {
    size_t count = 0;
    for (char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

}  // namespace

TLogFile::TLogFile() : fClock(SystemLocalTime) {}

TLogFile::~TLogFile() {
    if (fFile) std::fclose(fFile);
}

void TLogFile::SetClock(TLogClock Clock) { fClock = Clock ? std::move(Clock) : TLogClock(SystemLocalTime); }

std::string TLogFile::TimeOfDay() const {
    const std::tm t = fClock();
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour % 100, t.tm_min % 100, t.tm_sec % 100);
    return text;
}

void TLogFile::Rewrite(const std::string& Path) {
    if (fFile) {
        std::fclose(fFile);
        fFile = nullptr;
    }
    if (Path.empty()) throw TFileError("No log file name given");
    fFile = std::fopen(Path.c_str(), "wb");
    if (!fFile) throw LogError("Cannot create", Path, errno);
    fPath = Path;
}

void TLogFile::WriteLine(std::string_view Text) {
    if (!fFile) throw TFileError("Log file is not open");
    const bool ok = std::fwrite(Text.data(), 1, Text.size(), fFile) == Text.size() &&
                    std::fwrite("\r\n", 1, 2, fFile) == 2 && std::fflush(fFile) == 0;
    if (!ok) {
        const int error = errno;
        std::clearerr(fFile);
        throw LogError("Cannot write", fPath, error);
    }
}

void TLogFile::Close() {
    if (!fFile) return;
    std::FILE* file = fFile;
    fFile = nullptr;
    if (std::fclose(file) != 0) throw LogError("Cannot close", fPath, errno);
}

namespace {

constexpr const char* MakerTail = "Zelto5 device software";

}  // namespace

void CreateLog(const QString& FirmwareText, const QString& HardwareText) {
    if (LogEnabled != 1) return;
    LogOpen = 0;
    const std::string title = "Zelto5 Update - Version " + ProgramVersion + std::string(10, ' ') + MakerTail;
    const std::string rule(CharacterCount(title), '-');
    const std::string lines[] = {
        rule,
        title,
        rule,
        "",
        "Supported devices:",
        "",
        TypeCode + " Firmware version: " + FirmwareText.toStdString(),
        TypeCode + " Hardware version: " + HardwareText.toStdString(),
        "",
        rule,
        " Please send this report to the Zelto5 support team if you have",
        " problems updating your Zelto5 device using this software.",
        " The latest version of this update software is available",
        " on the download page of the Zelto5 project.",
        rule,
        "",
    };
    LogFile.Rewrite(LogFileName);
    try {
        for (const std::string& line : lines) LogFile.WriteLine(line);
    } catch (const TFileError&) {
        try {
            LogFile.Close();
        } catch (const TFileError&) {
        }
        throw;
    }
    LogOpen = 1;
    WriteLog("Log file created");
}

void WriteLog(std::string_view Msg) {
    if (LogEnabled != 1 || LogOpen != 1) return;
    std::string line(Msg);
    line += " - ";
    line += LogFile.TimeOfDay();
    LogFile.WriteLine(line);
}

void CloseLog() {
    if (LogEnabled != 1 || LogOpen != 1) return;
    LogOpen = 0;
    LogFile.Close();
}
