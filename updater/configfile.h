// Sectioned text file of the program (setup file, language list). Nothing is
// cached: every read loads the file again, every write loads it, changes or adds
// one line and saves the whole file as UTF-16 LE with mark and CR LF line ends,
// through a temporary file renamed over the old one. A file whose text does not
// decode cleanly (a NUL character, a byte lost from UTF-16) is read as far as it
// is clean but never saved.
#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

#include "fileerror.h"

class TConfigfile {
public:
    // Clears a read-only mark of the file and creates it empty when missing.
    // Throws TFileError when the file can be neither found nor created or read.
    explicit TConfigfile(const QString& FileName);
    ~TConfigfile();
    TConfigfile(const TConfigfile&) = delete;
    TConfigfile& operator=(const TConfigfile&) = delete;

    // Value of key Ident in Section, or Default. Throws TFileError when the file
    // cannot be read at that moment.
    QString FindValue(const QString& Section, const QString& Ident, const QString& Default);
    // The file holds the header of Section. Throws TFileError when the file
    // cannot be read at that moment.
    bool HasSection(const QString& Section);
    QString ReadText(const QString& Section, const QString& Ident, const QString& Default);
    // The value as a decimal integer; Default for a missing key, a value that is
    // not an integer, or a file that cannot be read. Never throws.
    int32_t ReadNumber(const QString& Section, const QString& Ident, int32_t Default);

    // Stores Ident=Value in Section (a new key goes at the end of its section, a
    // new section at the end of the file) and saves. Throws TFileError, also
    // when the file could not be read whole (it is then left as it is).
    void WriteText(const QString& Section, const QString& Ident, const QString& Value);
    void WriteNumber(const QString& Section, const QString& Ident, int32_t Value);

private:
    void LoadLines();
    void SaveLines();

    QString FileName;
    QStringList Lines;
    // The last load read the file's text to its end.
    bool Whole = true;
};
