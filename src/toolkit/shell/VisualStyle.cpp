#include "VisualStyle.h"

namespace velmora {

namespace {
std::string& Current() {
    static std::string style;
    return style;
}
}  // namespace

std::string_view ChooseVisualStyle(platform::OsVersion version) {
    if (version.major >= 10) return "WIN10STYLE";
    if (version.major > 6 || (version.major == 6 && version.minor >= 2)) return "WIN8STYLE";
    return "WIN7STYLE";
}

const std::string& CurrentVisualStyle() { return Current(); }

void SetCurrentVisualStyle(std::string_view style) { Current() = std::string(style); }

}  // namespace velmora
