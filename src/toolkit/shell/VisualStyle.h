// Which of the toolkit's three looks the running system gets.
#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace velmora {

// Major version 10 or later: "WIN10STYLE"; above 6, or 6 with minor 2 or
// more: "WIN8STYLE"; anything older: "WIN7STYLE".
std::string_view ChooseVisualStyle(platform::OsVersion version);

// The style chosen at start-up (empty before).
const std::string& CurrentVisualStyle();
void SetCurrentVisualStyle(std::string_view style);

}  // namespace velmora
