// What assistive technology is told about the main window: the tree the form
// publishes, what each control reports, what its actions do and when the
// core announces a change.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "program/MainWindowFixture.h"
#include "toolkit/controls/TabItemContent.h"

namespace velmora::a11ytest {
namespace {

using headless::AccessibilityEvent;
using platform::AccessibleChange;
using platform::AccessibleRole;
using platform::IAccessibleNode;

class AccessibilityTreeTest : public velmora::testing::MainWindowFixture {
protected:
    IAccessibleNode& Root() {
        IAccessibleNode* root = host.Accessibility().Root(window->Handle());
        EXPECT_NE(root, nullptr);
        return *root;
    }
    IAccessibleNode& Node(AccessibleRole role, const std::string& name) {
        IAccessibleNode* node = headless::FindAccessible(Root(), role, name);
        EXPECT_NE(node, nullptr) << name;
        return *node;
    }
    // The announcements of one kind about one node since the last clear.
    std::vector<AccessibilityEvent> EventsFor(const IAccessibleNode& node, AccessibleChange change) {
        std::vector<AccessibilityEvent> out;
        for (const AccessibilityEvent& e : host.Accessibility().Events())
            if (e.node == &node && e.kind == AccessibilityEvent::Kind::Changed && e.change == change) out.push_back(e);
        return out;
    }
    static bool Has(unsigned states, unsigned bits) { return (states & bits) == bits; }
};

const char* const kChapter1 = "Зарождение и развитие мореплавания";
const char* const kChapter3 = "Радионавигационные средства определения места в море";

TEST_F(AccessibilityTreeTest, WindowPublishesItsControlTree) {
    // The web view's own document is the engine's to serve; here it is the
    // embedded node the backend replaces with it.
    EXPECT_EQ(headless::DescribeAccessibleTree(Root()),
              "frame \"Тальмерин\" [enabled focused visible showing]\n"
              "  page tab list [enabled visible showing]\n"
              "    page tab \"Оглавление\" [enabled focusable focused selectable selected visible showing] <click>\n"
              "      panel [enabled visible showing]\n"
              "        push button \"Зарождение и развитие мореплавания\" [enabled focusable visible showing] <press>\n"
              "        push button \"Современные способы навигации\" [enabled focusable visible showing] <press>\n"
              "        push button \"Радионавигационные средства определения места в море\" [enabled focusable visible showing] <press>\n"
              "        push button \"Картографические проекции\" [enabled focusable visible showing] <press>\n"
              "    page tab \"Содержание\" [enabled focusable selectable visible showing] <click>\n"
              "      panel [enabled]\n"
              "        embedded [enabled focusable visible]\n");
    EXPECT_NE(window->WebBrowser1->Accessible().EmbeddedWindow(), 0u) << "the engine's display stands in for the view";
}

TEST_F(AccessibilityTreeTest, ButtonsReportTheirPlaceAndPressLikeAClick) {
    IAccessibleNode& button3 = Node(AccessibleRole::PushButton, kChapter3);
    EXPECT_EQ(button3.Bounds(), (platform::RectI{0, 128, 368, 178}));
    EXPECT_EQ(button3.Parent(), &window->TabItem1->Content().Accessible());
    EXPECT_FALSE(button3.DoAction(1)) << "only one action";
    EXPECT_FALSE(button3.DoAction(-1));

    ASSERT_TRUE(button3.DoAction(0));
    EXPECT_EQ(window->TabControl1->TabIndex(), 0) << "the action waits for the queue";
    host.DispatchPending();
    EXPECT_EQ(window->WebBrowser1->URL().substr(window->WebBrowser1->URL().rfind('/')), "/Nav3.html");
    EXPECT_EQ(window->TabControl1->TabIndex(), 1);
    IAccessibleNode& reader = Node(AccessibleRole::PageTab, "Содержание");
    IAccessibleNode& contents = Node(AccessibleRole::PageTab, "Оглавление");
    EXPECT_TRUE(Has(reader.States(), platform::AccessibleSelected));
    EXPECT_FALSE(Has(contents.States(), platform::AccessibleSelected));
    EXPECT_FALSE(Has(button3.States(), platform::AccessibleShowing)) << "slid out of view";
    EXPECT_TRUE(Has(reader.Children().at(0)->States(), platform::AccessibleShowing));
}

TEST_F(AccessibilityTreeTest, HeaderClickChangesThePageAsAPressDoes) {
    window->Button3Click(window->Button3);
    host.Accessibility().ClearEvents();
    IAccessibleNode& contents = Node(AccessibleRole::PageTab, "Оглавление");
    ASSERT_TRUE(contents.DoAction(0));
    host.DispatchPending();
    EXPECT_EQ(window->TabControl1->TabIndex(), 0);
    EXPECT_EQ(window->Focused(), window->TabItem1) << "the header takes the focus, as after a press";
    EXPECT_TRUE(Has(contents.States(), platform::AccessibleSelected | platform::AccessibleFocused));
    EXPECT_TRUE(Has(Node(AccessibleRole::PushButton, kChapter1).States(), platform::AccessibleShowing));

    // Announced: the header's selection and focus, the pages' visibility.
    auto selected = EventsFor(contents, AccessibleChange::States);
    ASSERT_FALSE(selected.empty());
    EXPECT_TRUE(Has(selected.back().states, platform::AccessibleSelected | platform::AccessibleFocused));
    EXPECT_FALSE(EventsFor(Node(AccessibleRole::PageTab, "Содержание"), AccessibleChange::States).empty());
    EXPECT_FALSE(EventsFor(window->TabItem1->Content().Accessible(), AccessibleChange::States).empty());
    EXPECT_FALSE(EventsFor(window->TabItem2->Content().Accessible(), AccessibleChange::States).empty());
}

TEST_F(AccessibilityTreeTest, FocusMovesAreAnnounced) {
    IAccessibleNode& button1 = Node(AccessibleRole::PushButton, kChapter1);
    IAccessibleNode& button2 = Node(AccessibleRole::PushButton, "Современные способы навигации");
    host.Accessibility().ClearEvents();
    host.Key(platform::Key::Tab);
    host.DispatchPending();
    ASSERT_EQ(window->Focused(), window->Button1);
    ASSERT_FALSE(EventsFor(button1, AccessibleChange::States).empty());
    EXPECT_TRUE(Has(EventsFor(button1, AccessibleChange::States).back().states, platform::AccessibleFocused));

    host.Key(platform::Key::Tab);
    host.DispatchPending();
    EXPECT_FALSE(Has(EventsFor(button1, AccessibleChange::States).back().states, platform::AccessibleFocused));
    EXPECT_TRUE(Has(EventsFor(button2, AccessibleChange::States).back().states, platform::AccessibleFocused));
    EXPECT_TRUE(button1.GrabFocus());
    EXPECT_EQ(window->Focused(), window->Button1);
}

// No control has the keyboard after a chapter's slide; a screen reader, which
// speaks on a focus change only, must still hear where the reader now is.
TEST_F(AccessibilityTreeTest, ASlideThatLeavesNoFocusAnnouncesTheSelectedPageTab) {
    host.Key(platform::Key::Tab);
    host.Key(platform::Key::Tab);
    host.Key(platform::Key::Tab);
    host.DispatchPending();
    ASSERT_EQ(window->Focused(), window->Button3);
    IAccessibleNode& button3 = Node(AccessibleRole::PushButton, kChapter3);
    IAccessibleNode& contents = Node(AccessibleRole::PageTab, "Оглавление");
    IAccessibleNode& reader = Node(AccessibleRole::PageTab, "Содержание");
    EXPECT_FALSE(Has(contents.States(), platform::AccessibleFocused)) << "a focused control is the only focus";
    host.Accessibility().ClearEvents();

    window->Button3Click(window->Button3);
    ASSERT_EQ(window->Focused(), nullptr);
    EXPECT_TRUE(Has(reader.States(), platform::AccessibleFocused | platform::AccessibleSelected));
    EXPECT_FALSE(Has(button3.States(), platform::AccessibleFocused));
    // The button's loss is told before the page tab's gain: a screen reader
    // speaks the last focus it heard.
    const auto& events = host.Accessibility().Events();
    auto told = [&](const IAccessibleNode& node, bool focused) {
        return std::find_if(events.begin(), events.end(), [&](const AccessibilityEvent& e) {
            return e.node == &node && e.change == AccessibleChange::States &&
                   Has(e.states, platform::AccessibleFocused) == focused;
        });
    };
    ASSERT_NE(told(reader, true), events.end());
    ASSERT_NE(told(button3, false), events.end());
    EXPECT_LT(told(button3, false), told(reader, true));

    // Back by the header: the header itself takes the focus.
    host.Accessibility().ClearEvents();
    ASSERT_TRUE(contents.DoAction(0));
    host.DispatchPending();
    EXPECT_FALSE(Has(reader.States(), platform::AccessibleFocused));
    ASSERT_FALSE(EventsFor(reader, AccessibleChange::States).empty());
    EXPECT_FALSE(Has(EventsFor(reader, AccessibleChange::States).back().states, platform::AccessibleFocused));
}

TEST_F(AccessibilityTreeTest, SlideAnnouncesMovingBoundsAndNamesAreAnnounced) {
    host.Accessibility().ClearEvents();
    window->Button3Click(window->Button3);
    IAccessibleNode& readerPage = window->TabItem2->Content().Accessible();
    auto moves = EventsFor(readerPage, AccessibleChange::Bounds);
    ASSERT_GE(moves.size(), 3u) << "every step of the slide";
    EXPECT_EQ(readerPage.Bounds(), (platform::RectI{0, 28, 368, 480})) << "bounds end where the page rests";

    host.Accessibility().ClearEvents();
    window->Button4->SetText("Проекции");
    auto renamed = EventsFor(window->Button4->Accessible(), AccessibleChange::Name);
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0].name, "Проекции");
    window->TabItem2->SetText("Глава");
    EXPECT_EQ(EventsFor(window->TabItem2->Accessible(), AccessibleChange::Name).size(), 1u);
}

TEST_F(AccessibilityTreeTest, ActionQueuedForAControlThatGoesAwayDoesNothing) {
    IAccessibleNode& button3 = Node(AccessibleRole::PushButton, kChapter3);
    const IAccessibleNode* address = &button3;
    ASSERT_TRUE(button3.DoAction(0));
    delete window->Button3;
    host.DispatchPending();
    EXPECT_EQ(window->TabControl1->TabIndex(), 0);
    bool removed = false;
    for (const AccessibilityEvent& e : host.Accessibility().Events())
        removed = removed || (e.kind == AccessibilityEvent::Kind::Removed && e.node == address);
    EXPECT_TRUE(removed) << "the service hears of the node going";
    EXPECT_EQ(Root().Children().at(0)->Children().at(0)->Children().at(0)->Children().size(), 3u);

    const platform::WindowHandle handle = window->Handle();
    window.reset();
    EXPECT_EQ(host.Accessibility().Root(handle), nullptr) << "the tree is withdrawn with its window";
}

}  // namespace
}  // namespace velmora::a11ytest
