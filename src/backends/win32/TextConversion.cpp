#include "WinApi.h"

#include "TextConversion.h"

#include <climits>

namespace velmora::win32 {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(utf8.size());
    // Invalid sequences become U+FFFD rather than failing the whole text.
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
    return wide;
}

std::string Narrow(const wchar_t* utf16, std::size_t length) {
    if (!utf16 || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return {};
    const int count = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, utf16, count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, count, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

std::string SystemMessage(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer) text = Narrow(buffer, length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace velmora::win32
