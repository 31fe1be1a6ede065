#include "KeyTranslation.h"

namespace velmora::win32 {

platform::Key TranslateVirtualKey(unsigned virtualKey) {
    switch (virtualKey) {
    case vk::Tab: return platform::Key::Tab;
    case vk::Return: return platform::Key::Enter;
    case vk::Escape: return platform::Key::Escape;
    case vk::Space: return platform::Key::Space;
    case vk::Left: return platform::Key::Left;
    case vk::Up: return platform::Key::Up;
    case vk::Right: return platform::Key::Right;
    case vk::Down: return platform::Key::Down;
    default: return platform::Key::Other;
    }
}

unsigned ShiftStateOf(bool shift, bool ctrl, bool alt) {
    unsigned state = platform::ShiftNone;
    if (shift) state |= platform::ShiftShift;
    if (ctrl) state |= platform::ShiftCtrl;
    if (alt) state |= platform::ShiftAlt;
    return state;
}

std::optional<char32_t> CharacterDecoder::Feed(unsigned unit) {
    // WM_CHAR carries one UTF-16 unit in the low word.
    unit &= 0xFFFFu;
    char32_t c = 0;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        highSurrogate_ = static_cast<char16_t>(unit);
        return std::nullopt;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        const char16_t high = highSurrogate_;
        highSurrogate_ = 0;
        if (!high) return std::nullopt;
        c = 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (static_cast<char32_t>(unit) - 0xDC00);
    } else {
        highSurrogate_ = 0;
        c = unit;
    }
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    return c;
}

}  // namespace velmora::win32
