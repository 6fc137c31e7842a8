// Program folder and the folder for files the program writes.
#pragma once
#include <filesystem>

namespace z5 {

// Folder of the running executable, or ZELTO5_PROGRAM_DIR when that is set.
std::filesystem::path ProgramDir();

// The user's configuration folder: $XDG_CONFIG_HOME/zelto5, else ~/.config/zelto5.
std::filesystem::path UserConfigDir();

// A file can be created in dir now (a probe file, so it holds for root and
// read-only mounts alike).
bool CanCreateFilesIn(const std::filesystem::path& dir);

// Where files that must be written beside the program live: the program folder
// when it can be written, otherwise the user's configuration folder (created on
// demand). Such files are read from the same place.
std::filesystem::path WritableDataDir();

// Where such a file named name is read while dataDir (from WritableDataDir) holds
// none: a program folder that cannot be written may still hold the file as
// shipped or left there. dataDir/name when it exists or when the program folder
// has none either (or is dataDir itself), else the program folder's copy. Saves
// always go to dataDir, which is then read from.
std::filesystem::path DataFileToRead(const std::filesystem::path& dataDir, const std::filesystem::path& name);

}  // namespace z5
