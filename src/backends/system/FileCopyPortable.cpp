#include "platform/FileCopy.h"

namespace velmora::platform {

namespace fs = std::filesystem;

namespace {
constexpr unsigned kAttempts = 16;
}

std::error_code CopyFileNoReplace(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    fs::path temporary;
    for (unsigned attempt = 0;; ++attempt) {
        temporary = TemporaryNameBeside(target, attempt);
        ec.clear();
        // No overwrite: the temporary file is created exclusively, so a name
        // some other file holds is never touched.
        if (fs::copy_file(source, temporary, fs::copy_options::none, ec) && !ec) break;
        if (ec == std::errc::file_exists && attempt + 1 < kAttempts) continue;
        if (ec != std::errc::file_exists) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
        }
        return ec ? ec : std::make_error_code(std::errc::io_error);
    }
    // Linking fails rather than replace a file that appeared meanwhile.
    fs::create_hard_link(temporary, target, ec);
    if (ec && ec != std::errc::file_exists) {
        // File systems without hard links: take the name if it is still free.
        std::error_code probe;
        if (fs::exists(fs::symlink_status(target, probe))) {
            ec = std::make_error_code(std::errc::file_exists);
        } else {
            ec.clear();
            fs::rename(temporary, target, ec);
        }
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return ec;
}

}  // namespace velmora::platform
