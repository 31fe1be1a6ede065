// What the window procedure makes of the system's key and character
// messages, as plain integers: no system header here, so the rules build and
// are tested on every machine, not only where the backend runs.
#pragma once

#include <optional>

#include "platform/PlatformTypes.h"

namespace velmora::win32 {

// The system's virtual-key numbers the toolkit tells apart (the values the
// system defines as VK_TAB and so on).
namespace vk {
constexpr unsigned Tab = 0x09;
constexpr unsigned Return = 0x0D;
constexpr unsigned Shift = 0x10;
constexpr unsigned Control = 0x11;
constexpr unsigned Menu = 0x12;  // Alt
constexpr unsigned Escape = 0x1B;
constexpr unsigned Space = 0x20;
constexpr unsigned Left = 0x25;
constexpr unsigned Up = 0x26;
constexpr unsigned Right = 0x27;
constexpr unsigned Down = 0x28;
}  // namespace vk

// The key of a WM_KEYDOWN/WM_KEYUP (and their WM_SYS forms) by its virtual key.
platform::Key TranslateVirtualKey(unsigned virtualKey);

// The shift state from which modifier keys are held down.
unsigned ShiftStateOf(bool shift, bool ctrl, bool alt);

// Turns the UTF-16 units of WM_CHAR into the characters the toolkit receives.
// A character beyond the basic plane arrives as two messages (a surrogate
// pair); the first is kept until the second comes. Nothing comes out for the
// control characters (Tab, Enter, Backspace, Ctrl+letter: they arrive as keys
// already) nor for a surrogate without its partner.
class CharacterDecoder {
public:
    std::optional<char32_t> Feed(unsigned unit);

private:
    char16_t highSurrogate_ = 0;
};

}  // namespace velmora::win32
