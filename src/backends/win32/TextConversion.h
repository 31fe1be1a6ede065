// UTF-8 (the platform interface's text) to UTF-16 (the system's) and back,
// and the system's own wording of an error code.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const wchar_t* utf16, std::size_t length);
std::string Narrow(const std::wstring& utf16);

// The system's message for an error code (a Win32 error or an HRESULT),
// without the trailing line break; empty when the system has none.
std::string SystemMessage(std::uint32_t code);

}  // namespace velmora::win32
