#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "FormFixture.h"

namespace velmora::testing {
namespace {

using platform::Key;
using platform::MouseButton;

// One button filling the top 50 units of a 200 x 200 form at 96 DPI, so
// pixels and units agree.
class ButtonTest : public HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        MakeForm().Build(200, 200, [this](TestForm& f) {
            button = f.AddButton(nullptr, "Button1", TAlignLayout::Top, 0, 50, 0);
        });
        form->Show();
        button->OnClick = [this](Component* sender) {
            EXPECT_EQ(sender, button);
            ++clicks;
        };
        host.DispatchPending();
    }
    platform::WindowHandle W() { return form->Handle(); }

    TButton* button = nullptr;
    int clicks = 0;
};

struct InputCase {
    std::string name;
    std::function<void(headless::HeadlessPlatform&, platform::WindowHandle)> input;
    int clicks;
};

class ButtonInput : public ButtonTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(ButtonInput, ClicksAsAPushButtonDoes) {
    GetParam().input(host, W());
    host.DispatchPending();
    EXPECT_EQ(clicks, GetParam().clicks);
    EXPECT_FALSE(button->IsPressed());
}

using H = headless::HeadlessPlatform;
using WH = platform::WindowHandle;

// Touch input arrives only as begin, move and end; there is no mouse
// emulation of it.
void Touch(H& h, WH w, platform::MessageKind kind, int x, int y) {
    platform::Message m;
    m.kind = kind;
    m.window = w;
    m.point = {x, y};
    h.Post(m);
}
void TouchPath(H& h, WH w, std::initializer_list<platform::PointI> points) {
    auto p = points.begin();
    Touch(h, w, platform::MessageKind::TouchBegin, p->x, p->y);
    for (++p; p != points.end(); ++p) Touch(h, w, platform::MessageKind::TouchMove, p->x, p->y);
    Touch(h, w, platform::MessageKind::TouchEnd, std::prev(points.end())->x, std::prev(points.end())->y);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ButtonInput,
    ::testing::Values(
        InputCase{"ClickInside", [](H& h, WH w) { h.Click(w, 20, 20); }, 1},
        InputCase{"ReleaseOutside",
                  [](H& h, WH w) {
                      h.Press(w, 20, 20);
                      h.Move(w, 20, 120);
                      h.Release(w, 20, 120);
                  },
                  0},
        InputCase{"LeaveAndComeBackWhileHeld",
                  [](H& h, WH w) {
                      h.Press(w, 20, 20);
                      h.Move(w, 20, 120);
                      h.Move(w, 30, 30);
                      h.Release(w, 30, 30);
                  },
                  1},
        InputCase{"PressOutsideReleaseInside",
                  [](H& h, WH w) {
                      h.Press(w, 20, 120);
                      h.Move(w, 20, 20);
                      h.Release(w, 20, 20);
                  },
                  0},
        InputCase{"RightButton", [](H& h, WH w) { h.Click(w, 20, 20, MouseButton::Right); }, 0},
        InputCase{"MiddleButton", [](H& h, WH w) { h.Click(w, 20, 20, MouseButton::Middle); }, 0},
        InputCase{"RightReleaseDuringLeftPress",
                  [](H& h, WH w) {
                      h.Press(w, 20, 20);
                      h.Release(w, 20, 20, MouseButton::Right);
                      h.Release(w, 20, 20);
                  },
                  1},
        // First click, then the second press clicks at once and its release
        // adds nothing.
        InputCase{"DoubleClick", [](H& h, WH w) { h.DoubleClick(w, 20, 20); }, 2},
        InputCase{"Enter", [](H& h, WH w) { h.Click(w, 20, 20); h.Key(Key::Enter); }, 2},
        InputCase{"Space", [](H& h, WH w) { h.Click(w, 20, 20); h.Key(Key::Space); }, 2},
        InputCase{"ShiftEnter", [](H& h, WH w) { h.Click(w, 20, 20); h.Key(Key::Enter, platform::ShiftShift); }, 1},
        InputCase{"CtrlSpace", [](H& h, WH w) { h.Click(w, 20, 20); h.Key(Key::Space, platform::ShiftCtrl); }, 1},
        InputCase{"AltEnter", [](H& h, WH w) { h.Click(w, 20, 20); h.Key(Key::Enter, platform::ShiftAlt); }, 1},
        InputCase{"OtherKey", [](H& h, WH w) { h.Click(w, 20, 20); h.Key(Key::Escape); }, 1},
        InputCase{"CharacterSpaceIsNoClick", [](H& h, WH w) { h.Click(w, 20, 20); h.Char(U' '); }, 1},
        InputCase{"TouchTap", [](H& h, WH w) { TouchPath(h, w, {{20, 20}}); }, 1},
        InputCase{"TouchTapWithinAUnitOfTravel", [](H& h, WH w) { TouchPath(h, w, {{20, 20}, {21, 21}}); }, 1},
        // The tap gave the focus, so Enter chooses again.
        InputCase{"TouchTapThenEnter", [](H& h, WH w) { TouchPath(h, w, {{20, 20}}); h.Key(Key::Enter); }, 2},
        InputCase{"TouchPanLeavingTheButton", [](H& h, WH w) { TouchPath(h, w, {{20, 20}, {20, 60}, {20, 120}}); }, 0},
        InputCase{"TouchPanWithinTheButton", [](H& h, WH w) { TouchPath(h, w, {{20, 20}, {60, 20}}); }, 0},
        InputCase{"TouchPanOutAndBack", [](H& h, WH w) { TouchPath(h, w, {{20, 20}, {20, 120}, {20, 20}}); }, 0},
        // A unit of travel still counts as a tap, but the end lies off the
        // button's bottom edge.
        InputCase{"TouchTapEndingJustOutside", [](H& h, WH w) { TouchPath(h, w, {{20, 49}, {20, 50}}); }, 0},
        InputCase{"TouchTapBelowTheButton", [](H& h, WH w) { TouchPath(h, w, {{20, 120}}); }, 0}),
    [](const auto& info) { return info.param.name; });

TEST_F(ButtonTest, PressedLookFollowsThePointerWhileHeld) {
    host.Press(W(), 20, 20);
    host.DispatchPending();
    EXPECT_TRUE(button->IsPressed());
    EXPECT_TRUE(button->IsFocused());
    EXPECT_EQ(host.CapturedWindow(), W());

    host.Move(W(), 20, 150);
    host.DispatchPending();
    EXPECT_FALSE(button->IsPressed());

    host.Move(W(), 25, 25);
    host.DispatchPending();
    EXPECT_TRUE(button->IsPressed());

    host.Release(W(), 25, 25);
    host.DispatchPending();
    EXPECT_FALSE(button->IsPressed());
    EXPECT_EQ(host.CapturedWindow(), 0u);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, KeysWithoutFocusDoNothing) {
    host.Key(Key::Enter);
    host.DispatchPending();
    EXPECT_EQ(clicks, 0);
}

TEST_F(ButtonTest, AHandlerThatPumpsMessagesSeesASettledButton) {
    // A click handler may dispatch events (a page slide does); the release
    // that ran it must not be taken for a second one.
    button->OnClick = [this](Component*) {
        ++clicks;
        EXPECT_FALSE(button->IsPressed());
        host.Release(W(), 20, 20);
        host.DispatchPending();
    };
    host.Click(W(), 20, 20);
    host.DispatchPending();
    EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, ErrorsOfTheHandlerReachTheCaller) {
    button->OnClick = [](Component*) { throw EAbort("stop"); };
    host.Click(W(), 20, 20);
    EXPECT_THROW(host.DispatchPending(), EAbort);
}

TEST_F(ButtonTest, PaintsCaptionCentredWrappedAndTrimmed) {
    button->SetText("Радионавигационные средства определения места в море");
    button->TextSettings().SetWordWrap(true);
    host.DispatchPending();
    const headless::RecordingCanvas* canvas = host.LastPaint(W());
    ASSERT_NE(canvas, nullptr);
    bool found = false;
    for (const auto& op : canvas->Ops()) {
        if (op.kind != headless::CanvasOp::Kind::Text) continue;
        found = true;
        EXPECT_EQ(op.text, button->Text());
        EXPECT_TRUE(op.flags & platform::TextWordWrap);
        EXPECT_TRUE(op.flags & platform::TextHCenter);
        EXPECT_TRUE(op.flags & platform::TextVCenter);
        EXPECT_TRUE(op.flags & platform::TextTrimCharacter);
        // Inside the button, and clipped to it.
        EXPECT_GE(op.rect.left, 0);
        EXPECT_LE(op.rect.right, 200);
        EXPECT_LE(op.clip.bottom, 50);
    }
    EXPECT_TRUE(found);
}

TEST_F(ButtonTest, LooksDifferForNormalHoverPressedAndFocused) {
    auto facePaint = [this] {
        host.DispatchPending();
        const auto* canvas = host.LastPaint(W());
        std::vector<std::string> log;
        for (const auto& op : canvas->Ops())
            if (op.kind == headless::CanvasOp::Kind::FillRect || op.kind == headless::CanvasOp::Kind::StrokeRect)
                log.push_back(op.ToString());
        return log;
    };
    host.InvalidateWindow(W());
    auto normal = facePaint();
    host.Move(W(), 20, 20);
    auto hover = facePaint();
    host.Press(W(), 20, 20);
    auto pressed = facePaint();
    host.Release(W(), 20, 20);
    host.Move(W(), 20, 150);
    auto focused = facePaint();
    EXPECT_NE(normal, hover);
    EXPECT_NE(hover, pressed);
    EXPECT_NE(normal, pressed);
    EXPECT_NE(normal, focused);
}

TEST(ButtonReflection, PublishesTextWordWrapAndOnClick) {
    const ClassInfo& info = TButton::StaticClassInfo();
    EXPECT_TRUE(info.InheritsFrom(TControl::StaticClassInfo()));
    ASSERT_TRUE(info.factory);
    Component owner(nullptr);
    auto* b = static_cast<TButton*>(info.factory(&owner));
    EXPECT_EQ(b->Owner(), &owner);
    EXPECT_TRUE(b->CanFocus());
    info.FindProperty("Text")->setString(*b, "Картографические проекции");
    EXPECT_EQ(b->Text(), "Картографические проекции");
    Persistent* ts = info.FindProperty("TextSettings")->getObject(*b);
    ts->GetClassInfo().FindProperty("WordWrap")->setOrdinal(*ts, 1);
    EXPECT_TRUE(b->TextSettings().WordWrap());
    int fired = 0;
    info.FindProperty("OnClick")->setEvent(*b, [&](Component*) { ++fired; });
    b->Click();
    EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace velmora::testing
