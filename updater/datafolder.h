// Where the update program finds its files. Its read-only data (language texts,
// setup file, language list as shipped, notice texts, firmware parts) lies in the
// program folder in a build tree and in <prefix>/share/zelto5 once installed; the
// language list, which the program rewrites, moves to the user's configuration
// folder when the data folder cannot be written.
#pragma once
#include <QString>

// The data folder with a trailing "/": the program folder (z5::ProgramDir) when it
// holds the English language file, else the installed data folder beside it
// (../share/zelto5) when that does; otherwise the program folder.
QString FindDataDir();

// Path of a file the program writes, named Name, for the data folder DataDir
// (with its trailing "/"): DataDir + Name when files can be created there, else
// Name in the user's configuration folder, which gets a copy of the shipped file
// the first time. When that folder cannot be made either, DataDir + Name.
QString WritableFileName(const QString& DataDir, const QString& Name);

// Path of the networks file that the device access library reads: the user's
// copy in the configuration folder when the program folder cannot be written
// and that copy exists, else the one in the program folder.
QString NetworksFileShown();
