// Files shipped beside the program in a "StartUp" directory land in the
// user's data folder on the first run; nothing already there is replaced.
#pragma once

#include <filesystem>

namespace velmora {

// Copies <executable's directory>/StartUp into the platform's user data
// folder. No "StartUp" directory: nothing happens.
void DeployStartupFiles();

// Copies the tree under source into destination, depth first in the order
// the file system lists the entries. An existing file is left alone; a file
// copy that fails raises EInOutError with the system's message and leaves no
// partial file behind; a directory that cannot be created is skipped with
// its contents. Symbolic links to directories are not followed, so a link
// back up the tree cannot make the walk endless.
void CopyStartupTree(const std::filesystem::path& source, const std::filesystem::path& destination);

}  // namespace velmora
