#include "StartupDeployment.h"

#include <string>
#include <system_error>

#include "platform/FileCopy.h"
#include "platform/Platform.h"
#include "base/Exceptions.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseIoError(const std::error_code& ec) { throw EInOutError(ec.message()); }

// The platform's paths are UTF-8. A path built from a plain std::string is
// read in the narrow encoding of the C runtime's locale on Windows, which
// mangles (or refuses) every name outside ASCII.
fs::path PathFromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

// Copies source to target unless target exists; the system's copy keeps a
// truncated file from ever taking the target's name.
void CopyFileNoReplace(const fs::path& source, const fs::path& target) {
    if (std::error_code ec = platform::CopyFileNoReplace(source, target)) RaiseIoError(ec);
}

bool IsExistingFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

}  // namespace

void CopyStartupTree(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    fs::directory_iterator it(source, ec);
    if (ec) return;  // an unreadable directory lists nothing
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::directory_entry& entry = *it;
        const fs::path name = entry.path().filename();
        std::error_code statusError;
        fs::file_status link = entry.symlink_status(statusError);
        if (statusError) continue;
        if (fs::is_directory(link)) {
            fs::path target = destination / name;
            std::error_code mkdirError;
            fs::create_directories(target, mkdirError);
            if (mkdirError || !fs::is_directory(target, mkdirError)) continue;
            CopyStartupTree(entry.path(), target);
            continue;
        }
        if (fs::is_symlink(link)) {
            // A link to a directory is not walked; a link to a file is copied
            // like the file it names.
            std::error_code targetError;
            if (fs::is_directory(entry.status(targetError))) continue;
        }
        fs::path target = destination / name;
        if (IsExistingFile(target)) continue;
        CopyFileNoReplace(entry.path(), target);
    }
}

void DeployStartupFiles() {
    auto& platform = platform::CurrentPlatform();
    std::string executable = platform.ExecutablePath();
    if (executable.empty()) return;
    fs::path source = PathFromUtf8(executable).parent_path() / "StartUp";
    std::error_code ec;
    if (!fs::is_directory(source, ec)) return;
    const std::string folder = platform.UserDataFolder();
    if (folder.empty()) return;
    fs::path destination = PathFromUtf8(folder);
    // The per-user folder may not exist yet on a fresh account.
    fs::create_directories(destination, ec);
    CopyStartupTree(source, destination);
}

}  // namespace velmora
