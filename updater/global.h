// Program-wide state of the update program, its language texts and its update log.
#pragma once
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "fileerror.h"

// Local time for the log lines; tests install a fixed one.
using TLogClock = std::function<std::tm()>;

// 8-bit text file of the update log. Every line is flushed as it is written, so
// the file holds every step even when the program ends abruptly.
class TLogFile {
public:
    TLogFile();
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // An empty clock restores the system's local time.
    void SetClock(TLogClock Clock);
    // Time of day as hh:mm:ss (24 hours).
    std::string TimeOfDay() const;

    // Creates the file anew (an open file is closed first). Throws TFileError.
    void Rewrite(const std::string& Path);
    // Text + CR LF, flushed at once. Throws TFileError.
    void WriteLine(std::string_view Text);
    // Throws TFileError when the close fails; the file is closed either way.
    void Close();
    bool IsOpen() const { return fFile != nullptr; }

private:
    std::FILE* fFile = nullptr;
    std::string fPath;
    TLogClock fClock;
};

// Program folder with a trailing "/"; the language files are read from it.
extern QString ExeDir;
// Logging switched on (1) by the options.
extern uint8_t LogEnabled;
// The log file is open (1).
extern uint8_t LogOpen;
// Path of the log file (UTF-8).
extern std::string LogFileName;
extern TLogFile LogFile;
// Program version in the window caption and the log header.
extern std::string ProgramVersion;
// Type code of the connected device (RTUU, DUU, ST, DLU, LIGHTSPEED, UNIZ,
// TIMER62, DDS, XRAY, RTCU, RCU).
extern std::string TypeCode;
// 1: refuse an update whose offered firmware is not newer.
extern uint8_t VersionCheck;

// Languages 0..23 ("de", "uk", "sp", ...); any other index reads "uk".
inline constexpr int32_t LanguageCount = 24;
const char* LanguageSuffix(int32_t Language);

// Language index for a Windows primary language number; 1 (English) for every
// language without a table entry.
int32_t LanguageOfPrimary(int PrimaryLanguage);
// Language index from the user's locale.
int32_t StartLanguage();

// Looks up entry Id ("_" id "," maxlen ">" text) in the text of a language file.
// False when no well-formed entry has the id; Text is then untouched.
bool FindLanguageText(QStringView FileText, int32_t Id, QString& Text);

// Text Id in Language from ExeDir + "Z5update." + suffix; from the English file
// when that cannot be opened or holds no entry with the id. Text keeps its value
// when neither file has the id. Throws TFileError when neither file can be opened,
// or one cannot be read.
void GetLanguageText(int32_t Id, int32_t Language, QString& Text);

// The files that the texts of Language are read from (its own, then the English
// one) that open but hold no entry at all: empty, garbage, or not UTF-16.
QStringList LanguageFilesWithoutTexts(int32_t Language);

// Starts a new log file LogFileName with the report header, when LogEnabled.
// FirmwareText and HardwareText are the shown installed firmware and hardware
// version. Throws TFileError (LogOpen stays 0).
void CreateLog(const QString& FirmwareText, const QString& HardwareText);
// Appends Msg + " - " + time of day, when LogEnabled and LogOpen. Throws TFileError.
void WriteLog(std::string_view Msg);
// Closes the log, when LogEnabled and LogOpen. Throws TFileError.
void CloseLog();
