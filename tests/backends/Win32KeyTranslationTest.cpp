// The Windows backend's translation of virtual keys and typed characters,
// checked on every machine (the file holds no system header).
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "backends/win32/KeyTranslation.h"

namespace velmora::win32 {
namespace {

using platform::Key;

TEST(Win32KeyTranslation, VirtualKeysTheToolkitTellsApart) {
    // The numbers as the system defines them, written out: the constants
    // must not drift from them.
    const struct {
        unsigned virtualKey;
        Key key;
    } cases[] = {
        {0x09, Key::Tab},   {0x0D, Key::Enter}, {0x1B, Key::Escape}, {0x20, Key::Space},
        {0x25, Key::Left},  {0x26, Key::Up},    {0x27, Key::Right},  {0x28, Key::Down},
        // Everything else is one key to the toolkit: letters, digits,
        // function keys, the modifiers themselves, Backspace, Delete.
        {'A', Key::Other},  {'0', Key::Other},  {0x70, Key::Other},  {0x10, Key::Other},
        {0x11, Key::Other}, {0x12, Key::Other}, {0x08, Key::Other},  {0x2E, Key::Other},
        {0x00, Key::Other}, {0xFF, Key::Other}, {0x1234, Key::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TranslateVirtualKey(c.virtualKey), c.key) << "virtual key 0x" << std::hex << c.virtualKey;
    EXPECT_EQ(vk::Shift, 0x10u);
    EXPECT_EQ(vk::Control, 0x11u);
    EXPECT_EQ(vk::Menu, 0x12u);
}

TEST(Win32KeyTranslation, ShiftStateFromHeldModifiers) {
    EXPECT_EQ(ShiftStateOf(false, false, false), platform::ShiftNone);
    EXPECT_EQ(ShiftStateOf(true, false, false), platform::ShiftShift);
    EXPECT_EQ(ShiftStateOf(false, true, false), platform::ShiftCtrl);
    EXPECT_EQ(ShiftStateOf(false, false, true), platform::ShiftAlt);
    EXPECT_EQ(ShiftStateOf(true, true, true),
              static_cast<unsigned>(platform::ShiftShift | platform::ShiftCtrl | platform::ShiftAlt));
}

// Feeds units in order and collects what comes out.
std::vector<char32_t> Decode(std::initializer_list<unsigned> units) {
    CharacterDecoder decoder;
    std::vector<char32_t> out;
    for (unsigned unit : units)
        if (std::optional<char32_t> c = decoder.Feed(unit)) out.push_back(*c);
    return out;
}

TEST(Win32KeyTranslation, CharactersFromUtf16Units) {
    const struct {
        const char* what;
        std::initializer_list<unsigned> units;
        std::vector<char32_t> expected;
    } cases[] = {
        {"latin letter", {'a'}, {U'a'}},
        {"cyrillic letters", {0x0422, 0x0430}, {U'Т', U'а'}},
        {"space and the last of the basic plane", {0x20, 0xFFFD}, {U' ', U'\uFFFD'}},
        {"surrogate pair", {0xD83D, 0xDE00}, {U'\U0001F600'}},
        {"highest pair", {0xDBFF, 0xDFFF}, {U'\U0010FFFF'}},
        {"two pairs in a row", {0xD834, 0xDD1E, 0xD83D, 0xDE00}, {U'\U0001D11E', U'\U0001F600'}},
        // Control characters come as keys already.
        {"tab, enter, backspace, escape, delete", {0x09, 0x0D, 0x08, 0x1B, 0x7F}, {}},
        {"Ctrl+A", {0x01}, {}},
        // A half of a pair is dropped, and never glued to a later unit.
        {"low surrogate alone", {0xDE00, 'x'}, {U'x'}},
        {"high surrogate then a letter", {0xD83D, 'x', 0xDE00}, {U'x'}},
        {"high surrogate replaced by another", {0xD83D, 0xD834, 0xDD1E}, {U'\U0001D11E'}},
        {"pair's partner used once", {0xD83D, 0xDE00, 0xDE00}, {U'\U0001F600'}},
        // The message's word may carry more than the unit.
        {"unit in the low word", {0x10000u + 'b'}, {U'b'}},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.units), c.expected) << c.what;
}

}  // namespace
}  // namespace velmora::win32
