#include "platform/AnsiCodePage.h"

namespace velmora::platform {

std::optional<std::string> SystemAnsiToUtf8(std::string_view) { return std::nullopt; }

}  // namespace velmora::platform
