// The 8-bit strings of form descriptions are text in the system's ANSI code
// page. Windows has one per system locale; other systems have none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

// The bytes decoded with the system's ANSI code page, as UTF-8; nullopt
// where the system has no such code page (the caller picks its own).
std::optional<std::string> SystemAnsiToUtf8(std::string_view bytes);

}  // namespace velmora::platform
