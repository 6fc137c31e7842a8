// Reading whole text files of the program.
#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>
#include <string>

#include "fileerror.h"

// Larger files are refused instead of exhausting memory; the program's own files
// hold a few kilobytes.
inline constexpr qint64 MaxTextFileSize = 16 * 1024 * 1024;

// The bytes of the regular file Name. Never blocks: a FIFO, a device or a folder in
// its place is not opened. Nothing when the file cannot be opened or is larger
// than MaxTextFileSize, with "Cannot open <Name>: <reason>" or "File too large:
// <Name>" in Error. Throws TFileError naming the file on a read error or when it
// grows beyond MaxTextFileSize while it is read.
std::optional<QByteArray> ReadRegularFile(const QString& Name, std::string& Error);

// "<what> <file name>: <reason>" for a failed operation on file (opened by name).
std::string FileErrorText(const char* what, const QFile& file);
