// Copying one file without ever replacing one, as the start-up copy needs
// it. Windows keeps a file's attributes and times through its own copy
// call; other systems copy through the standard library.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace velmora::platform {

// Copies source to target unless target exists (then file_exists). The data
// goes to a temporary file beside the target first, which then takes the
// target's name only if that is still free, so that a copy that breaks off
// never leaves a truncated file under the target's name. On Windows the
// copy keeps the source's attributes (hidden, read-only, ...) and times.
std::error_code CopyFileNoReplace(const std::filesystem::path& source, const std::filesystem::path& target);

// A temporary name beside target for the attempt given (0, 1, ...): never
// longer than the target's own name, so that a name or path the file system
// takes for the target it takes for the temporary file too.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target, unsigned attempt);

}  // namespace velmora::platform
