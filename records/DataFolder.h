// The data folder that receives the results files.
#pragma once

#include <string>

namespace quorvel {

// The user's documents folder as the desktop reports it (XDG_DOCUMENTS_DIR,
// usually ~/Documents), without a trailing separator. Where the platform has
// none, the home directory.
std::string LocalAppDataPath();

// The data folder, always with a trailing '/':
//   1. `overrideDir` when not empty (the program's --data-dir),
//   2. else the environment variable QUORVEL_DATA_DIR when set and not empty,
//   3. else LocalAppDataPath() + "/Quorvel/".
std::string DataFolderPath(const std::string& overrideDir = {});

// Creates the folder with its missing parents; an existing folder is left as
// it is. Returns whether the folder exists afterwards.
bool CreateDataFolder(const std::string& path);

}  // namespace quorvel
