#include "filebytes.h"

#include <new>

std::string FileErrorText(const char* what, const QFile& file) {
    return std::string(what) + ' ' + file.fileName().toStdString() + ": " + file.errorString().toStdString();
}

QByteArray ReadAllBytes(QFile& file) {
    QByteArray bytes;
    try {
        char chunk[16 * 1024];
        for (;;) {
            const qint64 got = file.read(chunk, sizeof chunk);
            if (got < 0) throw TFileError(FileErrorText("Cannot read", file));
            if (got == 0) break;
            if (bytes.size() + got > MaxTextFileSize)
                throw TFileError("File too large: " + file.fileName().toStdString());
            bytes.append(chunk, got);
        }
    } catch (const std::bad_alloc&) {
        throw TFileError("Out of memory reading " + file.fileName().toStdString());
    }
    return bytes;
}
