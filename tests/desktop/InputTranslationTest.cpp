#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include "backends/gtk/InputTranslation.h"
#include "backends/gtk/ScaleConversion.h"

namespace velmora::gtk {
namespace {

using platform::Key;
using platform::MouseButton;

TEST(KeyTranslation, MapsTheKeysTheToolkitReactsTo) {
    const struct {
        unsigned keyval;
        Key key;
    } cases[] = {
        {GDK_KEY_Tab, Key::Tab},           {GDK_KEY_ISO_Left_Tab, Key::Tab}, {GDK_KEY_Return, Key::Enter},
        {GDK_KEY_KP_Enter, Key::Enter},    {GDK_KEY_Escape, Key::Escape},    {GDK_KEY_space, Key::Space},
        {GDK_KEY_Left, Key::Left},         {GDK_KEY_KP_Left, Key::Left},     {GDK_KEY_Right, Key::Right},
        {GDK_KEY_KP_Right, Key::Right},    {GDK_KEY_Up, Key::Up},            {GDK_KEY_Down, Key::Down},
        {GDK_KEY_a, Key::Other},           {GDK_KEY_Cyrillic_a, Key::Other}, {GDK_KEY_F1, Key::Other},
        {GDK_KEY_VoidSymbol, Key::None},
    };
    for (const auto& c : cases) EXPECT_EQ(TranslateKeyval(c.keyval), c.key) << gdk_keyval_name(c.keyval);
}

TEST(KeyTranslation, ModifiersBecomeShiftStateBits) {
    EXPECT_EQ(TranslateModifiers(0), platform::ShiftNone);
    EXPECT_EQ(TranslateModifiers(GDK_SHIFT_MASK), platform::ShiftShift);
    EXPECT_EQ(TranslateModifiers(GDK_CONTROL_MASK | GDK_SHIFT_MASK), platform::ShiftCtrl | platform::ShiftShift);
    EXPECT_EQ(TranslateModifiers(GDK_MOD1_MASK), platform::ShiftAlt);
    // Lock keys and mouse buttons held are no shift state.
    EXPECT_EQ(TranslateModifiers(GDK_LOCK_MASK | GDK_MOD2_MASK | GDK_BUTTON1_MASK), platform::ShiftNone);
}

TEST(KeyTranslation, OnlyPrintableKeysWithoutCtrlOrAltTypeACharacter) {
    EXPECT_EQ(TypedCharacter(GDK_KEY_a, 0), U'a');
    EXPECT_EQ(TypedCharacter(GDK_KEY_A, GDK_SHIFT_MASK), U'A');
    EXPECT_EQ(TypedCharacter(GDK_KEY_Cyrillic_ya, 0), U'я');
    EXPECT_EQ(TypedCharacter(GDK_KEY_space, 0), U' ');
    EXPECT_EQ(TypedCharacter(GDK_KEY_a, GDK_CONTROL_MASK), 0u);
    EXPECT_EQ(TypedCharacter(GDK_KEY_a, GDK_MOD1_MASK), 0u);
    EXPECT_EQ(TypedCharacter(GDK_KEY_Tab, 0), 0u);
    EXPECT_EQ(TypedCharacter(GDK_KEY_Return, 0), 0u);
    EXPECT_EQ(TypedCharacter(GDK_KEY_Escape, 0), 0u);
    EXPECT_EQ(TypedCharacter(GDK_KEY_Delete, 0), 0u);
    EXPECT_EQ(TypedCharacter(GDK_KEY_Left, 0), 0u);
}

TEST(ClickCounter, SecondQuickPressAtThePlaceIsTheDoubleClick) {
    ClickCounter counter(400, 5);
    EXPECT_EQ(counter.Press(1, MouseButton::Left, 1000, 10, 10), 1);
    EXPECT_EQ(counter.Press(1, MouseButton::Left, 1300, 12, 9), 2);
    // A third quick press starts a new pair instead of being another double.
    EXPECT_EQ(counter.Press(1, MouseButton::Left, 1400, 12, 9), 1);
    EXPECT_EQ(counter.Press(1, MouseButton::Left, 1500, 12, 9), 2);
}

TEST(ClickCounter, PressesThatDoNotPairStaySingle) {
    const struct {
        const char* what;
        std::uint64_t window;
        MouseButton button;
        std::uint32_t time;
        int x;
    } cases[] = {
        {"too late", 1, MouseButton::Left, 1401, 10},
        {"too far", 1, MouseButton::Left, 1100, 16},
        {"other button", 1, MouseButton::Right, 1100, 10},
        {"other window", 2, MouseButton::Left, 1100, 10},
    };
    for (const auto& c : cases) {
        ClickCounter counter(400, 5);
        ASSERT_EQ(counter.Press(1, MouseButton::Left, 1000, 10, 10), 1);
        EXPECT_EQ(counter.Press(c.window, c.button, c.time, c.x, 10), 1) << c.what;
    }
}

TEST(ClickCounter, SurvivesTheServerClockWrapping) {
    ClickCounter counter(400, 5);
    EXPECT_EQ(counter.Press(1, MouseButton::Left, 0xFFFFFF00u, 0, 0), 1);
    EXPECT_EQ(counter.Press(1, MouseButton::Left, 0x00000010u, 0, 0), 2);
}

TEST(WheelAccumulator, SmoothDeltasAddUpToNotchesWithTheDesktopSign) {
    WheelAccumulator wheel;
    EXPECT_EQ(wheel.AddSmooth(-1.0), 120);  // away from the user
    EXPECT_EQ(wheel.AddSmooth(1.0), -120);
    // Small steps are not lost.
    int total = 0;
    for (int i = 0; i < 10; ++i) total += wheel.AddSmooth(-0.1);
    EXPECT_NEAR(total, 120, 1);
}

TEST(ScaleConversion, DeviceSizesRoundUpAndPositionsDown) {
    const struct {
        int pixels, scale, extent, position;
    } cases[] = {
        {460, 1, 460, 460}, {736, 2, 368, 368}, {737, 2, 369, 368}, {1, 2, 1, 0},
        {0, 2, 0, 0},       {-1, 2, 0, -1},     {-3, 2, 0, -2},     {5, 0, 5, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceToLogicalExtent(c.pixels, c.scale), c.extent) << c.pixels << "/" << c.scale;
        EXPECT_EQ(DeviceToLogicalPosition(c.pixels, c.scale), c.position) << c.pixels << "/" << c.scale;
    }
}

TEST(ScaleConversion, ConvertedRectangleCoversEveryDevicePixel) {
    // A display sliding off the left edge has negative coordinates.
    EXPECT_EQ(DeviceToLogicalRect({-367, 57, 369, 961}, 2), (platform::RectI{-184, 28, 185, 481}));
    EXPECT_EQ(DeviceToLogicalRect({0, 28, 368, 480}, 1), (platform::RectI{0, 28, 368, 480}));
    // An empty or inverted rectangle stays empty instead of turning inside out.
    EXPECT_EQ(DeviceToLogicalRect({10, 10, 4, 4}, 2), (platform::RectI{5, 5, 5, 5}));
    EXPECT_EQ(LogicalToDevicePoint(10.75, 2), 21);
    EXPECT_EQ(LogicalToDevicePoint(-0.5, 1), -1);
}

}  // namespace
}  // namespace velmora::gtk
