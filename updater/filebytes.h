// Opening and reading whole text files of the program.
#pragma once
#include <QByteArray>
#include <QFile>
#include <string>

#include "fileerror.h"

// Larger files are refused instead of exhausting memory; the program's own files
// hold a few kilobytes.
inline constexpr qint64 MaxTextFileSize = 16 * 1024 * 1024;

// Opens file (named already) for reading when it is a regular file. Never blocks:
// a FIFO, a device or a folder in its place is not opened. False on failure, with
// "Cannot open <file name>: <reason>" in Error.
bool OpenRegularFile(QFile& file, std::string& Error);

// Everything from the open file's position to its end. Throws TFileError on a
// read error or when the file holds more than MaxTextFileSize bytes (devices
// and pipes that never end included).
QByteArray ReadAllBytes(QFile& file);

// "<what> <file name>: <reason>" for a failed operation on file.
std::string FileErrorText(const char* what, const QFile& file);
