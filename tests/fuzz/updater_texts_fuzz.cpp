// Arbitrary bytes as a configuration file and as a language file.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "configfile.h"
#include "fileerror.h"
#include "global.h"
#include "textconv.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

// A section and a key that the input itself names, so lookups can hit.
void PickNames(const QStringList& lines, QString& section, QString& key) {
    section = QStringLiteral("S");
    key = QStringLiteral("k");
    for (const QString& line : lines) {
        const qsizetype open = line.indexOf(u'['), close = line.indexOf(u']', open + 1);
        if (open >= 0 && close > open + 1) {
            section = line.mid(open + 1, close - open - 1);
            break;
        }
    }
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0) {
            key = line.left(eq);
            break;
        }
    }
}

void LanguageFile(const QByteArray& bytes) {
    const QString text = DecodeUtf16Le(bytes);
    int32_t picked = 0;
    if (bytes.size() >= 4) picked = static_cast<int32_t>(static_cast<uint8_t>(bytes[0]) | (static_cast<uint8_t>(bytes[1]) << 8));
    for (int32_t id : {0, 1, 5, 20, 27, 35, -1, picked}) {
        QString out = QStringLiteral("unchanged");
        if (!FindLanguageText(text, id, out)) {
            Check(out == u"unchanged");
            continue;
        }
        Check(out.size() <= 2 * text.size());
        for (qsizetype i = 0; i < out.size(); ++i)  // a CR only as part of a replaced "\n"
            if (out[i] == u'\r') Check(i + 1 < out.size() && out[i + 1] == u'\n');
    }
}

void ConfigFile(const QByteArray& bytes) {
    bool whole = false;
    const QStringList lines = SplitLines(DecodeFileText(bytes, &whole));
    Check(SplitLines(DecodeFileText(EncodeUtf16LeLines(lines))) == lines);
    for (const QString& line : lines) ParseInt32(line);

    static const QString path = QDir::tempPath() + QStringLiteral("/z5fuzz-%1.cfg").arg(getpid());
    Write(path, bytes);
    QString section, key;
    PickNames(lines, section, key);
    {  // a small readable file: no file error may come up but the refusal to
       // save a text that could not be read whole, which leaves the file as it was
        TConfigfile cfg(path);
        cfg.ReadText(section, key, QString());
        cfg.ReadNumber(section, key, 256);
        bool refused = false;
        try {
            cfg.WriteText(section, key, QStringLiteral("v"));
        } catch (const TFileError&) {
            refused = true;
        }
        Check(refused == !whole);
    }
    QFile saved(path);
    Check(saved.open(QIODevice::ReadOnly));
    Check(whole ? saved.read(2) == "\xFF\xFE" : saved.readAll() == bytes);
    saved.close();
    QFile::remove(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    LanguageFile(bytes);
    ConfigFile(bytes);
    return 0;
}
