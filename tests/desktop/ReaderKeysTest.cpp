// The reader's keys decided without a window: which key does what, and the
// zoom steps.
#include <gtest/gtest.h>

#include "backends/gtk/ReaderKeys.h"

namespace velmora::gtk::testing {
namespace {

using Action = ReaderKeys::Action;

TEST(ReaderKeys, EachKeyDoesItsOneThingWithItsOwnModifiersOnly) {
    const struct {
        guint keyval;
        guint state;
        bool pageHasKeys;
        Action action;
    } cases[] = {
        {GDK_KEY_F5, 0, false, Action::Reload},
        {GDK_KEY_F5, GDK_CONTROL_MASK, false, Action::None},
        {GDK_KEY_r, GDK_CONTROL_MASK, false, Action::Reload},
        {GDK_KEY_R, GDK_CONTROL_MASK | GDK_SHIFT_MASK, false, Action::Reload},  // Shift does not count
        {GDK_KEY_r, 0, false, Action::None},
        {GDK_KEY_p, GDK_CONTROL_MASK, false, Action::Print},
        {GDK_KEY_p, GDK_CONTROL_MASK | GDK_MOD1_MASK, false, Action::None},
        {GDK_KEY_plus, GDK_CONTROL_MASK | GDK_SHIFT_MASK, false, Action::ZoomIn},
        {GDK_KEY_equal, GDK_CONTROL_MASK, false, Action::ZoomIn},
        {GDK_KEY_KP_Subtract, GDK_CONTROL_MASK, false, Action::ZoomOut},
        {GDK_KEY_minus, 0, false, Action::None},
        {GDK_KEY_0, GDK_CONTROL_MASK, false, Action::ZoomReset},
        {GDK_KEY_Left, GDK_MOD1_MASK, true, Action::Back},
        {GDK_KEY_Left, GDK_MOD1_MASK, false, Action::None},  // Alt+arrows elsewhere move among the controls
        {GDK_KEY_KP_Right, GDK_MOD1_MASK, true, Action::Forward},
        {GDK_KEY_Right, 0, true, Action::None},
        {GDK_KEY_Back, 0, false, Action::Back},
        {GDK_KEY_Forward, 0, false, Action::Forward},
        {GDK_KEY_a, GDK_CONTROL_MASK, true, Action::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReaderKeys::KeyAction(c.keyval, c.state, c.pageHasKeys), c.action)
            << gdk_keyval_name(c.keyval) << " state " << c.state;
}

TEST(ReaderKeys, ZoomStepsThroughItsLevelsAndStopsAtTheEnds) {
    EXPECT_DOUBLE_EQ(ReaderKeys::ZoomStep(1.0, 1), 1.1);
    EXPECT_DOUBLE_EQ(ReaderKeys::ZoomStep(1.0, -1), 0.9);
    EXPECT_DOUBLE_EQ(ReaderKeys::ZoomStep(1.05, 1), 1.1);  // from between two levels to the next
    EXPECT_DOUBLE_EQ(ReaderKeys::ZoomStep(1.05, -1), 1.0);
    EXPECT_DOUBLE_EQ(ReaderKeys::ZoomStep(3.0, 1), 3.0);
    EXPECT_DOUBLE_EQ(ReaderKeys::ZoomStep(0.3, -1), 0.3);
}

}  // namespace
}  // namespace velmora::gtk::testing
