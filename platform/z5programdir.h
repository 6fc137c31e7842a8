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

}  // namespace z5
