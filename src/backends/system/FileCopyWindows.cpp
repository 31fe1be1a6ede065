#include "platform/FileCopy.h"

#include <windows.h>

namespace velmora::platform {

namespace fs = std::filesystem;

namespace {

constexpr unsigned kAttempts = 16;

std::error_code LastError() { return {static_cast<int>(GetLastError()), std::system_category()}; }

// A read-only file cannot be deleted until the attribute is gone.
void RemoveTemporary(const fs::path& temporary) {
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temporary.c_str());
}

// CopyFileW keeps the last-write time; the creation and access times are
// taken over here. Opening for attributes only works on read-only files too.
std::error_code CopyTimes(const fs::path& source, const fs::path& target) {
    HANDLE from = CreateFileW(source.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (from == INVALID_HANDLE_VALUE) return LastError();
    FILETIME created{}, accessed{}, written{};
    BOOL read = GetFileTime(from, &created, &accessed, &written);
    std::error_code ec = read ? std::error_code() : LastError();
    CloseHandle(from);
    if (ec) return ec;
    HANDLE to = CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (to == INVALID_HANDLE_VALUE) return LastError();
    if (!SetFileTime(to, &created, &accessed, &written)) ec = LastError();
    CloseHandle(to);
    return ec;
}

}  // namespace

std::error_code CopyFileNoReplace(const fs::path& source, const fs::path& target) {
    fs::path temporary;
    for (unsigned attempt = 0;; ++attempt) {
        temporary = TemporaryNameBeside(target, attempt);
        // bFailIfExists: a name some other file holds is never touched.
        if (CopyFileW(source.c_str(), temporary.c_str(), TRUE)) break;
        std::error_code ec = LastError();
        const DWORD code = GetLastError();
        if ((code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) && attempt + 1 < kAttempts) continue;
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) RemoveTemporary(temporary);
        return ec;
    }
    if (std::error_code ec = CopyTimes(source, temporary)) {
        RemoveTemporary(temporary);
        return ec;
    }
    // Without MOVEFILE_REPLACE_EXISTING the rename fails rather than replace
    // a file that appeared meanwhile.
    if (!MoveFileExW(temporary.c_str(), target.c_str(), 0)) {
        const DWORD code = GetLastError();
        RemoveTemporary(temporary);
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return std::make_error_code(std::errc::file_exists);
        return {static_cast<int>(code), std::system_category()};
    }
    return {};
}

}  // namespace velmora::platform
