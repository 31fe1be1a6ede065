#include <gtest/gtest.h>

#include "TabFixture.h"

namespace velmora::tabtest {
namespace {

using platform::Key;
using platform::ShiftCtrl;
using platform::ShiftShift;

class HeaderInputTest : public TabFixture {
protected:
    void Touch(platform::MessageKind kind, int x, int y) {
        platform::Message m;
        m.kind = kind;
        m.window = Window();
        m.point = {x, y};
        host.Post(m);
        host.DispatchPending();
    }

    // Six headers of 96 units overflow the 368-unit strip.
    void BuildOverflowing() {
        Build({{"Содержание", true, true}, {"Содержание"}, {"Содержание"}, {"Содержание"}, {"Содержание"},
               {"Содержание"}});
        ASSERT_TRUE(tabs->Strip().Overflows());
    }
};

TEST_F(HeaderInputTest, LeftPressOnInactiveHeaderSelectsOnThePressAndFocusesIt) {
    BuildTwoPages();
    platform::PointI p = HeaderCentre(1);
    host.Press(Window(), p.x, p.y);
    host.DispatchPending();
    EXPECT_EQ(tabs->TabIndex(), 1) << "on the press, not on the release";
    EXPECT_TRUE(Content(1).Visible());
    EXPECT_EQ(form->Focused(), pages[1]);
    host.Release(Window(), p.x, p.y);
    host.DispatchPending();
    EXPECT_EQ(tabs->TabIndex(), 1);
}

TEST_F(HeaderInputTest, OnlyTheLeftButtonSelects) {
    BuildTwoPages();
    platform::PointI p = HeaderCentre(1);
    for (auto button : {platform::MouseButton::Right, platform::MouseButton::Middle}) {
        host.Press(Window(), p.x, p.y, button);
        host.Release(Window(), p.x, p.y, button);
        host.DispatchPending();
    }
    EXPECT_EQ(tabs->TabIndex(), 0);
    host.DoubleClick(Window(), p.x, p.y);
    host.DispatchPending();
    EXPECT_EQ(tabs->TabIndex(), 1) << "a double-click acts as a press";
}

TEST_F(HeaderInputTest, ArrowKeysOnAFocusedHeaderMoveWithoutWrapping) {
    Build({{"A", true, true}, {"B", false}, {"C"}});
    pages[0]->SetFocus();
    struct Step {
        Key key;
        int expected;
    };
    for (Step s : {Step{Key::Left, 0}, Step{Key::Right, 2}, Step{Key::Right, 2}, Step{Key::Left, 0}}) {
        PressKey(s.key);
        EXPECT_EQ(tabs->TabIndex(), s.expected);
        EXPECT_EQ(form->Focused(), pages[static_cast<std::size_t>(s.expected)]) << "focus follows the active header";
    }
}

TEST_F(HeaderInputTest, AnyKeyOnAFocusedHeaderMovesFocusToTheActiveHeader) {
    BuildTwoPages();
    tabs->SetTabIndex(1);
    pages[0]->SetFocus();
    ASSERT_EQ(form->Focused(), pages[0]);
    PressKey(Key::Down);
    EXPECT_EQ(form->Focused(), pages[1]);
    EXPECT_EQ(tabs->TabIndex(), 1);
}

TEST_F(HeaderInputTest, CtrlTabFromInsideAPageWrapsBothWays) {
    Build({{"A", true, true}, {"B", false}, {"C"}});
    struct Step {
        unsigned shift;
        int expected;
    };
    buttons[0]->SetFocus();
    ASSERT_EQ(form->Focused(), buttons[0]);
    for (Step s : {Step{ShiftCtrl, 2}, Step{ShiftCtrl, 0}, Step{ShiftCtrl | ShiftShift, 2},
                   Step{ShiftCtrl | ShiftShift, 0}}) {
        PressKey(Key::Tab, s.shift);
        EXPECT_EQ(tabs->TabIndex(), s.expected);
        EXPECT_EQ(form->Focused(), pages[static_cast<std::size_t>(s.expected)]);
    }
}

TEST_F(HeaderInputTest, PageKeysNeedTheFocusInsideTheTabControl) {
    BuildTwoPages();
    form->SetFocused(nullptr);
    PressKey(Key::Tab, ShiftCtrl);
    EXPECT_EQ(tabs->TabIndex(), 0);
}

TEST_F(HeaderInputTest, WheelOverTheStripScrollsOnlyOverflowingHeaders) {
    BuildTwoPages();
    platform::PointI p = HeaderCentre(1);
    host.Wheel(Window(), p.x, p.y, -120);
    host.DispatchPending();
    EXPECT_EQ(tabs->Strip().ScrollOffset(), 0);
    EXPECT_EQ(tabs->TabIndex(), 0);

    pages.clear();
    buttons.clear();
    BuildOverflowing();
    host.Wheel(Window(), 50, 10, -120);
    host.DispatchPending();
    EXPECT_GT(tabs->Strip().ScrollOffset(), 0);
    EXPECT_EQ(pages[0]->Position().X(), -tabs->Strip().ScrollOffset());
    EXPECT_EQ(tabs->TabIndex(), 0) << "the wheel never changes the page";
    for (int i = 0; i < 20; ++i) host.Wheel(Window(), 50, 10, -120);
    host.DispatchPending();
    EXPECT_EQ(tabs->Strip().ScrollOffset(), 6 * 96 - 368) << "not past the last header";
}

TEST_F(HeaderInputTest, ArrowKeysScrollTheActiveHeaderIntoView) {
    BuildOverflowing();
    pages[0]->SetFocus();
    for (int i = 0; i < 5; ++i) PressKey(Key::Right);
    ASSERT_EQ(tabs->TabIndex(), 5);
    RectF header = pages[5]->AbsoluteRect();
    EXPECT_LE(header.right, 368);
    EXPECT_GE(header.left, 0);
    for (int i = 0; i < 5; ++i) PressKey(Key::Left);
    EXPECT_EQ(pages[0]->AbsoluteRect().left, 0);
}

TEST_F(HeaderInputTest, TouchTapSelectsAndAPanCancelsTheTap) {
    BuildOverflowing();
    platform::PointI p = HeaderCentre(1);
    Touch(platform::MessageKind::TouchBegin, p.x, p.y);
    EXPECT_EQ(tabs->TabIndex(), 0) << "nothing on touch-down";
    Touch(platform::MessageKind::TouchEnd, p.x, p.y);
    EXPECT_EQ(tabs->TabIndex(), 1);
    EXPECT_EQ(form->Focused(), pages[1]);

    p = HeaderCentre(2);
    host.Advance(500);
    Touch(platform::MessageKind::TouchBegin, p.x, p.y);
    host.Advance(16);
    Touch(platform::MessageKind::TouchMove, p.x - 30, p.y);
    Touch(platform::MessageKind::TouchEnd, p.x - 30, p.y);
    EXPECT_EQ(tabs->TabIndex(), 1) << "a pan is no tap";
    EXPECT_EQ(tabs->Strip().ScrollOffset(), 30);
}

}  // namespace
}  // namespace velmora::tabtest
