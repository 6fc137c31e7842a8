#include "configfile.h"

#include <QFile>
#include <QFileDevice>
#include <QSaveFile>
#include <algorithm>

#include "filebytes.h"
#include "textconv.h"

namespace {

QString Header(const QString& section) { return u'[' + section + u']'; }

QStringView KeyOf(const QString& line) {
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QStringView() : QStringView(line).first(eq);
}

QString ValueOf(const QString& line) {
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QString() : line.sliced(eq + 1);
}

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// Keys match ignoring the case of the letters A-Z only; blanks count. (The
// 8-bit text the keys would be compared in is UTF-8, which loses nothing, so
// the UTF-16 keys are compared directly.)
bool SameKey(QStringView a, QStringView b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i].unicode()) != FoldAscii(b[i].unicode())) return false;
    return true;
}

}  // namespace

TConfigfile::TConfigfile(const QString& FileName) : FileName(FileName) {
    QFile file(FileName);
    if (file.exists()) {
        const QFileDevice::Permissions perms = file.permissions();
        if (!(perms & QFileDevice::WriteOwner)) file.setPermissions(perms | QFileDevice::WriteOwner);
    } else if (!file.open(QIODevice::WriteOnly)) {
        throw TFileError(FileErrorText("Cannot create", file));
    }
    file.close();
    LoadLines();
}

TConfigfile::~TConfigfile() = default;

void TConfigfile::LoadLines() {
    std::string error;
    const std::optional<QByteArray> bytes = ReadRegularFile(FileName, error);
    if (!bytes) throw TFileError(error);
    Lines = SplitLines(DecodeFileText(*bytes, &Whole));
}

void TConfigfile::SaveLines() {
    // Saving what was read of a cut text would drop the rest of the file.
    if (!Whole)
        throw TFileError("Not saved: " + FileName.toStdString() +
                         " could not be read whole (a NUL character or bytes that are not text cut it short)");
    const QByteArray bytes = EncodeUtf16LeLines(Lines);
    // A temporary file renamed over the old one: a failed write leaves the old file whole.
    QSaveFile file(FileName);
    const auto fail = [&file, this] {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        throw TFileError("Cannot write " + FileName.toStdString() + ": " + reason);
    };
    // Unbuffered, so that every failed write reaches this code (a failed flush
    // inside commit() would still rename the cut file into place).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) fail();
    if (file.write(bytes) != bytes.size() || !file.flush()) fail();
    if (!file.commit()) throw TFileError("Cannot write " + FileName.toStdString() + ": " + file.errorString().toStdString());
}

QString TConfigfile::FindValue(const QString& Section, const QString& Ident, const QString& Default) {
    LoadLines();
    const QString header = Header(Section);
    bool inSection = false;
    for (const QString& line : Lines) {
        if (line.contains(header)) {
            inSection = true;
            continue;
        }
        if (inSection && SameKey(KeyOf(line), Ident)) return ValueOf(line);
        if (line.contains(u'[')) inSection = false;
    }
    return Default;
}

bool TConfigfile::HasSection(const QString& Section) {
    LoadLines();
    const QString header = Header(Section);
    return std::any_of(Lines.cbegin(), Lines.cend(), [&header](const QString& line) { return line.contains(header); });
}

QString TConfigfile::ReadText(const QString& Section, const QString& Ident, const QString& Default) {
    return FindValue(Section, Ident, Default);
}

int32_t TConfigfile::ReadNumber(const QString& Section, const QString& Ident, int32_t Default) {
    try {
        const QString text = FindValue(Section, Ident, QString::number(Default));
        return ParseInt32(text).value_or(Default);
    } catch (...) {
        return Default;
    }
}

void TConfigfile::WriteText(const QString& Section, const QString& Ident, const QString& Value) {
    LoadLines();
    const QString header = Header(Section);
    const QString keyLine = Ident + u'=' + Value;
    bool inSection = false;
    bool stored = false;
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        const bool isHeader = Lines[i].contains(header);
        if (isHeader) inSection = true;
        if (inSection && SameKey(KeyOf(Lines[i]), Ident)) {
            Lines[i] = keyLine;
            stored = true;
            break;
        }
        // A new key goes before the next header, or before the last line when
        // the section runs to the end of the file.
        if ((Lines[i].contains(u'[') || i == Lines.size() - 1) && !isHeader && inSection) {
            Lines.insert(i, keyLine);
            stored = true;
            break;
        }
    }
    if (!inSection) Lines.append(header);
    if (!stored) Lines.append(keyLine);
    SaveLines();
}

void TConfigfile::WriteNumber(const QString& Section, const QString& Ident, int32_t Value) {
    WriteText(Section, Ident, QString::number(Value));
}
