#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FormFixture.h"

namespace velmora::testing {
namespace {

// Records what the form routes to it, in local coordinates.
class Probe : public TControl {
public:
    using TControl::TControl;
    std::vector<std::string> log;
    bool takeWheel = false;
    void MouseEnter() override { log.push_back("enter"); }
    void MouseLeave() override { log.push_back("leave"); }
    void MouseDown(platform::MouseButton, unsigned, float x, float y, int) override {
        log.push_back("down " + std::to_string(int(x)) + "," + std::to_string(int(y)));
    }
    void MouseUp(platform::MouseButton, unsigned, float x, float y) override {
        log.push_back("up " + std::to_string(int(x)) + "," + std::to_string(int(y)));
    }
    void MouseWheel(unsigned, int delta, bool& handled) override {
        log.push_back("wheel " + std::to_string(delta));
        handled = takeWheel;
    }
    void Tap(float x, float y) override { log.push_back("tap " + std::to_string(int(x)) + "," + std::to_string(int(y))); }
    void TouchPan(float dx, float) override { log.push_back("pan " + std::to_string(int(dx))); }
};

class RoutingTest : public HeadlessTest {
protected:
    // At 120 DPI, so pixel input has to be converted to units.
    void SetUp() override {
        HeadlessTest::SetUp();
        MakeForm(120).Build(200, 200, [this](TestForm& f) {
            outer = new Probe(&f);
            outer->SetParentComponent(&f);
            outer->SetBounds(0, 100, 200, 100);
            inner = new Probe(&f);
            inner->SetParentComponent(outer);
            inner->SetBounds(20, 20, 40, 40);
        });
        form->Show();
        host.DispatchPending();
    }
    platform::WindowHandle W() { return form->Handle(); }
    // Unit coordinates to client pixels at 1.25.
    int Px(float units) { return static_cast<int>(units * 1.25f); }

    Probe* outer = nullptr;
    Probe* inner = nullptr;
};

TEST_F(RoutingTest, ThePressedControlKeepsTheMouseUntilRelease) {
    host.Press(W(), Px(40), Px(140));  // inner at local (20, 20)
    host.Move(W(), Px(152), Px(52));   // far outside
    host.Release(W(), Px(152), Px(52));
    host.DispatchPending();
    ASSERT_GE(inner->log.size(), 2u);
    EXPECT_EQ(inner->log[0], "enter");
    EXPECT_EQ(inner->log[1], "down 20,20");
    // The release went to inner in its own coordinates, although outside it.
    EXPECT_NE(std::find(inner->log.begin(), inner->log.end(), "up 132,-68"), inner->log.end());
    EXPECT_TRUE(std::none_of(outer->log.begin(), outer->log.end(), [](const std::string& e) { return e.rfind("up", 0) == 0; }));
    // It was told when the pointer left, while still holding the mouse.
    EXPECT_EQ(std::count(inner->log.begin(), inner->log.end(), "leave"), 1);
    EXPECT_EQ(host.CapturedWindow(), 0u);
}

TEST_F(RoutingTest, HoverMovesBetweenControls) {
    host.Move(W(), Px(10), Px(110));
    host.Move(W(), Px(40), Px(140));
    host.Move(W(), Px(10), Px(110));
    host.DispatchPending();
    EXPECT_EQ(outer->log, (std::vector<std::string>{"enter", "leave", "enter"}));
    EXPECT_EQ(inner->log, (std::vector<std::string>{"enter", "leave"}));
}

TEST_F(RoutingTest, WheelBubblesUpUntilHandled) {
    host.Wheel(W(), Px(40), Px(140), 120);
    host.DispatchPending();
    EXPECT_EQ(inner->log.back(), "wheel 120");
    EXPECT_EQ(outer->log.back(), "wheel 120");
    outer->log.clear();
    inner->takeWheel = true;
    host.Wheel(W(), Px(40), Px(140), -120);
    host.DispatchPending();
    EXPECT_TRUE(outer->log.empty());
}

TEST_F(RoutingTest, ATouchThatStaysPutIsATap) {
    platform::Message m;
    m.window = W();
    m.kind = platform::MessageKind::TouchBegin;
    m.point = {Px(40), Px(140)};
    host.Post(m);
    m.kind = platform::MessageKind::TouchEnd;
    host.Post(m);
    host.DispatchPending();
    EXPECT_EQ(inner->log, (std::vector<std::string>{"tap 20,20"}));
}

TEST_F(RoutingTest, ATouchThatTravelsIsAPanNotATap) {
    platform::Message m;
    m.window = W();
    m.kind = platform::MessageKind::TouchBegin;
    m.point = {Px(40), Px(140)};
    host.Post(m);
    m.kind = platform::MessageKind::TouchMove;
    m.point = {Px(52), Px(140)};
    host.Post(m);
    m.kind = platform::MessageKind::TouchEnd;
    m.point = {Px(40), Px(140)};  // back where it began: still no tap
    host.Post(m);
    host.DispatchPending();
    EXPECT_EQ(inner->log, (std::vector<std::string>{"pan 12"}));
}

TEST_F(RoutingTest, PaintingClipsChildrenOfAClippingControl) {
    inner->SetBounds(180, 20, 40, 40);  // reaches past outer's right edge
    struct Painter : Probe {
        using Probe::Probe;
        void Paint(platform::ICanvas& canvas) override { canvas.FillRect(LocalRect(), 0xFF00FF00); }
    };
    auto* painted = new Painter(form.get());
    painted->SetParent(inner);
    painted->SetBounds(0, 0, 40, 40);
    outer->SetClipChildren(true);
    host.DispatchPending();
    const auto* canvas = host.LastPaint(W());
    ASSERT_NE(canvas, nullptr);
    bool found = false;
    for (const auto& op : canvas->Ops()) {
        if (op.kind != headless::CanvasOp::Kind::FillRect || op.color != 0xFF00FF00) continue;
        found = true;
        EXPECT_EQ(op.rect, (RectF{180, 120, 220, 160}));
        EXPECT_LE(op.clip.right, 200);
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace velmora::testing
