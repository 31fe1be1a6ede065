#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FormFixture.h"

namespace velmora::testing {
namespace {

using platform::Key;

class FocusTest : public HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        MakeForm().Build(368, 480, [this](TestForm& f) {
            page = new TControl(&f);
            page->SetParentComponent(&f);
            page->SetName("Page");
            page->SetAlign(TAlignLayout::Client);
            // Child order differs from the tab order on purpose.
            buttons.push_back(f.AddButton(page, "B3", TAlignLayout::Top, 100, 50, 2));
            buttons.push_back(f.AddButton(page, "B1", TAlignLayout::Top, 0, 50, 0));
            buttons.push_back(f.AddButton(page, "B4", TAlignLayout::Top, 150, 50, 3));
            buttons.push_back(f.AddButton(page, "B2", TAlignLayout::Top, 50, 50, 1));
        });
        form->Show();
        host.DispatchPending();
    }

    std::string FocusedName() { return form->Focused() ? form->Focused()->Name() : "-"; }

    std::vector<std::string> Walk(int steps, unsigned shift = platform::ShiftNone) {
        std::vector<std::string> names;
        for (int i = 0; i < steps; ++i) {
            host.Key(Key::Tab, shift);
            host.DispatchPending();
            names.push_back(FocusedName());
        }
        return names;
    }

    TControl* page = nullptr;
    std::vector<TButton*> buttons;
};

TEST_F(FocusTest, TabFollowsTabOrderAndWraps) {
    EXPECT_EQ(Walk(5), (std::vector<std::string>{"B1", "B2", "B3", "B4", "B1"}));
}

TEST_F(FocusTest, ShiftTabGoesBackwards) {
    EXPECT_EQ(Walk(5, platform::ShiftShift), (std::vector<std::string>{"B4", "B3", "B2", "B1", "B4"}));
}

TEST_F(FocusTest, StackingIsByPositionNotByTabOrder) {
    for (TButton* b : buttons) {
        float expectedTop = b->Name() == "B1" ? 0 : b->Name() == "B2" ? 50 : b->Name() == "B3" ? 100 : 150;
        EXPECT_EQ(b->Position().Y(), expectedTop) << b->Name();
        EXPECT_EQ(b->Width(), 368) << b->Name();
    }
}

TEST_F(FocusTest, HiddenAndUnfocusableControlsAreSkipped) {
    static_cast<TControl*>(form->FindComponent("B2"))->SetVisible(false);
    static_cast<TControl*>(form->FindComponent("B3"))->SetCanFocus(false);
    EXPECT_EQ(Walk(3), (std::vector<std::string>{"B1", "B4", "B1"}));
}

TEST_F(FocusTest, ControlsOfAHiddenContainerTakeNoPart) {
    page->SetVisible(false);
    EXPECT_EQ(Walk(2), (std::vector<std::string>{"-", "-"}));
}

TEST_F(FocusTest, HidingTheFocusedControlOrItsContainerDropsTheFocus) {
    Walk(1);
    ASSERT_EQ(FocusedName(), "B1");
    page->SetVisible(false);
    EXPECT_EQ(form->Focused(), nullptr);
    // Keys then reach no control.
    int clicks = 0;
    static_cast<TButton*>(form->FindComponent("B1"))->OnClick = [&](Component*) { ++clicks; };
    host.Key(Key::Enter);
    host.DispatchPending();
    EXPECT_EQ(clicks, 0);
}

TEST_F(FocusTest, DestroyingTheFocusedControlClearsTheFocus) {
    Walk(1);
    delete form->FindComponent("B1");
    EXPECT_EQ(form->Focused(), nullptr);
    EXPECT_EQ(Walk(1), (std::vector<std::string>{"B2"}));
}

TEST_F(FocusTest, CtrlTabIsOfferedToTheAncestorsNotToTraversal) {
    struct Container : TControl {
        using TControl::TControl;
        int seen = 0;
        void DialogKey(Key& key, unsigned shift) override {
            if (key == Key::Tab && (shift & platform::ShiftCtrl)) {
                ++seen;
                key = Key::None;
            }
        }
    };
    auto* box = new Container(form.get());
    box->SetParent(page);
    auto* inner = new TButton(form.get());
    inner->SetParent(box);
    inner->SetFocus();
    ASSERT_TRUE(inner->IsFocused());
    host.Key(Key::Tab, platform::ShiftCtrl);
    host.DispatchPending();
    EXPECT_EQ(box->seen, 1);
    EXPECT_TRUE(inner->IsFocused());
}

}  // namespace
}  // namespace velmora::testing
