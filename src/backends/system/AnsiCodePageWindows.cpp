#include "platform/AnsiCodePage.h"

#include <windows.h>

#include <climits>

namespace velmora::platform {

std::optional<std::string> SystemAnsiToUtf8(std::string_view bytes) {
    if (bytes.empty()) return std::string();
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const int length = static_cast<int>(bytes.size());
    // Bytes without a character in the code page become the system's
    // default character rather than failing the read.
    int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, wide.data(), units);
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::nullopt;
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

}  // namespace velmora::platform
